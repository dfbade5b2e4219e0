// The board logic every front end shares: which boards are attached, which one is open, whether
// its settings may be written, the watchdog that notices a lost board and finds it again, and the
// outcome of every exchange. No toolkit: a front end calls these operations on user events and on
// its timer, and shows the snapshot.
//
// Gates, as the window has always had them:
// - ScanComplete: the listing is not being rebuilt; a board switch acts only while it is true.
// - SettingsLoaded: the last read-back succeeded; writes go out only while it is true.
// - SwitchPending: the user picked another board and none has been found since.
// - DeviceFound: a board is open.
// Every operation runs to the end before it returns; nothing here yields or starts a thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "config/settings_io.h"
#include "hid/discovery.h"
#include "hid/platform.h"

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
    Unreadable,       // it answers, but its settings could not be read; retried
    Ready,            // its settings are loaded; writes go out
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

class BoardSession {
  public:
    static constexpr int kStartIntervalMs = 50;       // until the first read or loss
    static constexpr int kConnectedIntervalMs = 500;  // a board answers
    static constexpr int kSearchIntervalMs = 250;     // after a loss or a switch
    // How long the liveness read may wait. A quiet board is not a lost one, so this only bounds
    // how long a tick can hold the caller.
    static constexpr int kLivenessWaitMs = 5;
    // A board that could not be opened (no access, say), or a walk that failed, is tried again
    // after this long without a device event: a permission granted by hand makes none.
    static constexpr int kRetryUnusableMs = 1000;
    // An open board whose settings could not be read is reopened after these waits, the last
    // one repeating, so a board that keeps refusing holds the caller once per wait at most.
    static constexpr int kReopenBackoffMs[] = {1000, 2000, 4000, 8000};

    // The platform must outlive the session. Boards are the interfaces with this match.
    explicit BoardSession(hid::Platform& platform,
                          hid::DeviceMatch match = {config::kVendorId, config::kProductId});
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Lists the boards, selects the last one listed, opens it and reads it back.
    void start();
    // Lists the boards and opens exactly the one `name` names (a listed path, or a serial that
    // one listed board alone has) and reads it back. Nothing is opened, and nothing sent to any
    // board, when the name matches several boards or none. A board that cannot be opened is
    // matched all the same: the snapshot then shows no board open, and why.
    NameMatch start(const std::u16string& name);
    // Lists the boards and opens none.
    void list();
    // Opens board `board` of the last listing (an index into Snapshot::boards) and reads it back,
    // without walking again: exactly the entry the caller chose from the list it was shown.
    void openListedBoard(std::size_t board) { openListed(board); }
    // The last walk's entry for board `board` (an index into Snapshot::boards), so that a second
    // handle (an input watch's) is opened on exactly the board this session read back.
    const hid::BoardEntry& entry(std::size_t board) const { return entries_.at(board); }

    // Lists the boards, then opens each listed board in turn (those that cannot be opened
    // included, with no board open), reads it back and calls `visit` with its index in
    // Snapshot::boards. One walk; every board is visited exactly once; the session is closed
    // afterwards. `visit` may write to the open board through the session.
    void visitEach(const std::function<void(std::size_t board)>& visit);

    // One watchdog tick: a liveness read of the open board; on loss, or with no board open, a
    // rescan, reopen and read-back. With no board open the rescan is skipped, and the listing,
    // the selection and the notice stay as they are, while the platform knows that no device
    // came or went, no switch is pending and no board that could not be opened is due a retry.
    TickResult tick();

    // The user picked entry `index` of the selector (a re-pick of the open board reopens it):
    // exactly that board, whatever serial it shares with others. Closes the open board, opens the
    // chosen one and reads it back; an index out of the list opens nothing. Returns the timer's
    // interval from now on; does nothing while the listing is being rebuilt.
    int select(int index);

    // Setting writes, each behind the SettingsLoaded gate. A refused write reads the board back.
    WriteOutcome writeEncoderTypes(const config::EncoderTypes& types);
    WriteOutcome writePulseCode(std::uint8_t code);
    WriteOutcome writeHideFlag(std::uint8_t value);

    // The same from the lists' picks, as a front end gets them: list indices, clamped into the
    // list (an encoder pick outside 0..3 takes the nearest end; a pulse index outside the list
    // sends nothing), and the check box's state (anything but unchecked means hidden).
    WriteOutcome pickEncoderTypes(const std::array<int, config::kEncoderCount>& indices);
    WriteOutcome pickPulse(int index);
    WriteOutcome pickHidden(bool checked);

    // Writes every part of `change` that is present, then reads the board back and checks that
    // it holds each of them.
    AppliedChange applyAndVerify(const SettingsChange& change);

    // Reads the open board's identity and settings again. True when the settings were read.
    bool reload();

    // Closes the board and shuts every gate; later calls find nothing to act on.
    void close();

    const Snapshot& snapshot() const { return snapshot_; }
    // Grows by one whenever the snapshot changes, so a view can skip redrawing.
    std::uint64_t generation() const { return generation_; }
    int interval() const { return interval_ms_; }

    bool deviceFound() const { return device_found_; }
    bool settingsLoaded() const { return settings_loaded_; }
    bool switchPending() const { return switch_pending_; }
    bool scanComplete() const { return scan_complete_; }
    hid::ReportLengths deviceCaps() const { return caps_; }

  private:
    void beginStart();
    // Opens listed board `board` (an index into Snapshot::boards; none: opens nothing) and
    // reads it back.
    void openListed(std::optional<std::size_t> board);
    bool retryDue() const;
    bool reopenDue() const;
    void reopen();
    void scan();
    bool findTheHid();
    void refresh();
    void readBack();
    void showNotice();
    void closeBoard();
    // `words`: the system's words for the first report of the write that was refused.
    WriteOutcome afterWrite(bool taken, const config::BoardSettings& written, std::string words);
    void noteDeviceError();
    // Counts a change of the snapshot since the last call.
    void publish();

    hid::Platform& platform_;
    hid::DeviceMatch match_;

    bool device_found_ = false;
    bool settings_loaded_ = false;
    bool switch_pending_ = false;
    bool scan_complete_ = false;
    // The read-back failed on a board that still answers: it stays open, and is reopened after
    // the back-off (counted, like since_walk_ms_, from the intervals the ticks ran at).
    bool read_back_failed_ = false;
    int reopen_attempt_ = 0;
    int since_read_back_ms_ = 0;
    int interval_ms_ = kStartIntervalMs;
    // The platform said the device set changed, and no walk has succeeded since.
    bool change_pending_ = false;
    // Time since the last listing walk, as the sum of the intervals the ticks ran at: a count
    // the session keeps itself, so it needs no clock.
    int since_walk_ms_ = 0;

    // The boards of the last walk, one per entry of Snapshot::boards.
    std::vector<hid::BoardEntry> entries_;
    std::optional<hid::OpenedBoard> board_;
    hid::ReportLengths caps_{};

    Snapshot snapshot_;
    Snapshot published_;
    std::uint64_t generation_ = 0;
};

}  // namespace rotorix::session
