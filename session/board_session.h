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

#include <cstdint>
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

// Everything a front end shows. Plain values, copied out of the session.
struct Snapshot {
    // The attached boards' serial numbers in the system's order, and the one the session works
    // with (-1: none).
    std::vector<std::u16string> serials;
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

    // Attached boards that could not be used, and the plain-words notice about them, shown
    // while no board is open (empty when there is nothing to say).
    std::vector<hid::UnusableBoard> unusable;
    std::string notice;

    // The system's words for the most recent failed exchange with a board (open, feature report,
    // input read); empty when the most recent exchange succeeded.
    std::string last_error;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// What a write did.
enum class WriteOutcome {
    NotSent,        // the gate was shut (no board, settings not loaded, or nothing to write)
    Taken,          // the board took every report
    RefusedReread,  // the board refused a report; its settings were read back into the snapshot
    RefusedLost,    // the board refused a report and did not answer the read-back either
};

// What one watchdog tick did.
struct TickResult {
    int interval_ms = 0;  // the timer's interval from now on
    bool lost = false;    // an open board stopped answering (not a switch the user asked for)
};

class BoardSession {
  public:
    static constexpr int kStartIntervalMs = 50;       // until the first read or loss
    static constexpr int kConnectedIntervalMs = 500;  // a board answers
    static constexpr int kSearchIntervalMs = 250;     // after a loss or a switch
    // How long the liveness read may wait. A quiet board is not a lost one, so this only bounds
    // how long a tick can hold the caller.
    static constexpr int kLivenessWaitMs = 5;
    // A board that could not be opened (no access, say) is tried again after this long without
    // a device event: a permission granted by hand makes none.
    static constexpr int kRetryUnusableMs = 1000;

    // The platform must outlive the session. Boards are the interfaces with this match.
    explicit BoardSession(hid::Platform& platform,
                          hid::DeviceMatch match = {config::kVendorId, config::kProductId});
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Lists the boards, selects the last one listed, opens it and reads it back.
    void start();

    // One watchdog tick: a liveness read of the open board; on loss, or with no board open, a
    // rescan, reopen and read-back. With no board open the rescan is skipped, and the listing,
    // the selection and the notice stay as they are, while the platform knows that no device
    // came or went, no switch is pending and no board that could not be opened is due a retry.
    TickResult tick();

    // The user picked the board at `index` of the listing (a re-pick of the open board reopens
    // it). Closes the open board, opens the chosen one and reads it back. Returns the timer's
    // interval from now on; does nothing while the listing is being rebuilt.
    int select(int index);
    // The same by serial number, matched exactly; false when no listed board has it.
    bool selectSerial(const std::u16string& serial);

    // Setting writes, each behind the SettingsLoaded gate. A refused write reads the board back.
    WriteOutcome writeEncoderTypes(const config::EncoderTypes& types);
    WriteOutcome writePulseCode(std::uint8_t code);
    WriteOutcome writeHideFlag(std::uint8_t value);

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
    bool retryDue() const;
    void scan();
    bool findTheHid();
    void refresh();
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
    // The read-back failed on an open board: the next tick drops and reopens it rather than sit
    // on a connection that does not answer.
    bool read_back_failed_ = false;
    int interval_ms_ = kStartIntervalMs;
    // Time since the last listing walk, as the sum of the intervals the ticks ran at: a count
    // the session keeps itself, so it needs no clock.
    int since_walk_ms_ = 0;

    std::optional<hid::OpenedBoard> board_;
    hid::ReportLengths caps_{};

    Snapshot snapshot_;
    Snapshot published_;
    std::uint64_t generation_ = 0;
};

}  // namespace rotorix::session
