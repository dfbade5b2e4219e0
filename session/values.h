// The plain values the board session hands a front end: what it shows (the snapshot and its
// verdict), how a name matches the listed boards, and what a write or a watchdog tick did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "config/settings_io.h"
#include "hid/discovery.h"

namespace rotorix::session {

// What the open board allows.
enum class Firmware {
    None,             // no board open
    TooOld,           // firmware 0.0, or no manufacturer string to read a version beside
    NotConfigurable,  // its feature report is too short to carry a setting write
    Ready,            // configurable; `settings` holds its values once a read-back succeeded
};

// One board of the last walk, usable or not.
struct ListedBoard {
    std::string path;  // names exactly this board (serials may repeat, or be empty)
    hid::Identity identity;
    std::uint16_t version = 0;
    // Why it could not be opened; empty when it could.
    std::optional<hid::OpenError> problem;

    friend bool operator==(const ListedBoard&, const ListedBoard&) = default;
};

// Whether the open board can be configured, and if not, why: the one verdict every front end
// shows.
enum class Verdict {
    NotOpen,          // no board open
    TooOld,           // firmware too old (or its version cannot be read)
    NotConfigurable,  // feature report too short to carry settings
    // Its settings could not be read: either it answers but refused (retried with a back-off), or
    // it left an exchange unanswered (Snapshot::not_answering: left alone until replugged or
    // picked again).
    Unreadable,
    Ready,  // its settings are loaded; writes go out
};

// Everything a front end shows. Plain values, copied out of the session.
struct Snapshot {
    // Every board the last walk found, in the system's order, with those that cannot be opened.
    std::vector<ListedBoard> boards;
    // The boards that can be picked (those that could be opened), as the selector lists them:
    // their serial numbers, and for each its index in `boards`. `selected` indexes these (-1:
    // none).
    std::vector<std::u16string> serials;
    std::vector<std::size_t> listed;
    int selected = -1;

    bool board_open = false;
    // Identity of the open board as it reported it; empty optional when a query failed.
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    std::optional<std::uint16_t> version;  // only shown beside a manufacturer
    // " 1.4", " 0.0 - upgrade firmware!", " - upgrade firmware!" (no version), or empty.
    std::string version_caption;
    Firmware firmware = Firmware::None;
    // The board's settings, present only while writes are allowed (SettingsLoaded): never a
    // half-read mix, never a value from an earlier board. After a write the board took, they
    // hold what was written.
    std::optional<config::BoardSettings> settings;

    // Attached boards that could not be used. The notice says in plain words what keeps the
    // window from working with a board: boards it cannot open or a walk that failed (while no
    // board is open), or an open board whose settings cannot be read. Empty when all is well.
    std::vector<hid::UnusableBoard> unusable;
    std::string notice;
    // The system's words when the last walk over the attached devices failed.
    std::optional<std::string> walk_failure;

    // The system's words for the most recent failed exchange with a board (open, feature report,
    // input read); empty when the most recent exchange succeeded.
    std::string last_error;
    // The open board did not answer a feature exchange within its bound. Every such exchange holds
    // the caller for the whole bound (5 s on Linux), so the board is sent nothing more, and not
    // read back, until it is unplugged and found again or the user picks it again. Only its
    // liveness read goes on, which sends nothing and is how an unplug is noticed.
    bool not_answering = false;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;

    Verdict verdict() const;
    // The listed board the session works with, if any.
    const ListedBoard* selectedBoard() const;
};

// A name the user gave for a board, matched against the listed boards.
struct NameMatch {
    enum class Kind {
        One,      // exactly one board: a listed path, or a serial only one board has
        Several,  // a serial that several boards have: ambiguous, nothing is opened
        None,     // no listed board has that serial or path
    };
    Kind kind = Kind::None;
    std::vector<std::size_t> boards;  // indices into Snapshot::boards
};

// Which of `boards` `name` names: a listed path names its board alone (it wins over a serial
// that happens to look alike); a serial names every board that has it. Shared by start(name) and
// a front end that walks the boards itself (one that must send nothing, such as watching them).
NameMatch matchName(const std::vector<ListedBoard>& boards, const std::u16string& name);

// Settings to write in one go; each part that is present is written.
struct SettingsChange {
    std::optional<config::EncoderTypes> encoders;
    std::optional<std::uint8_t> pulse_code;
    std::optional<std::uint8_t> hide_flag;
};

// What a write did.
enum class WriteOutcome {
    NotSent,        // the gate was shut (no board, settings not loaded, or nothing to write)
    Taken,          // the board took every report
    RefusedReread,  // the board refused a report; its settings were read back into the snapshot
    RefusedLost,    // the board refused a report and did not answer the read-back either
};

// What writing a change and reading the board back found.
struct AppliedChange {
    // One per part of the change, NotSent for a part not asked for.
    WriteOutcome encoders = WriteOutcome::NotSent;
    WriteOutcome pulse = WriteOutcome::NotSent;
    WriteOutcome hidden = WriteOutcome::NotSent;
    // What the board holds afterwards; empty when it could not be read back.
    std::optional<config::BoardSettings> read_back;
    // The system's words for the first part the board refused (the read-back that follows
    // clears the snapshot's last_error when it succeeds); empty when none was refused.
    std::string refused_words;
    // Every part asked for was taken and the board holds it.
    bool verified = false;
};

// What one watchdog tick did.
struct TickResult {
    int interval_ms = 0;  // the timer's interval from now on
    // An open board stopped answering its liveness read. Not a switch the user asked for, and not
    // a board that answers but whose settings could not be read.
    bool lost = false;
};

}  // namespace rotorix::session
