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
#include "session/retry_timing.h"
#include "session/values.h"

namespace rotorix::session {

class BoardSession {
  public:
    static constexpr int kStartIntervalMs = 50;       // until the first read or loss
    static constexpr int kConnectedIntervalMs = 500;  // a board answers
    static constexpr int kSearchIntervalMs = 250;     // after a loss or a switch
    // How long the liveness read may wait. A quiet board is not a lost one, so this only bounds
    // how long a tick can hold the caller.
    static constexpr int kLivenessWaitMs = 5;
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
    // interval from now on, or nothing when it did nothing because the listing is being rebuilt.
    std::optional<int> select(int index);

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
    // The walk's entry of board `board` (an index into Snapshot::boards), for a front end that
    // opens a handle of its own on exactly that board (the input watch); null out of range.
    const hid::BoardEntry* entry(std::size_t board) const {
        return board < entries_.size() ? &entries_[board] : nullptr;
    }
    // Grows by one whenever the snapshot changes, so a view can skip redrawing.
    std::uint64_t generation() const { return generation_; }
    int interval() const { return interval_ms_; }

    // The gates the snapshot does not show (DeviceFound and SettingsLoaded it does: board_open,
    // settings), and the open board's report lengths.
    bool switchPending() const { return switch_pending_; }
    bool scanComplete() const { return scan_complete_; }
    hid::ReportLengths deviceCaps() const { return caps_; }

  private:
    // DeviceFound: whether a board is open is whether the session holds its handle.
    bool open() const { return board_.has_value(); }
    // SettingsLoaded: the snapshot holds settings only while writes may go out.
    bool loaded() const { return snapshot_.settings.has_value(); }
    void beginStart();
    // Opens listed board `board` (an index into Snapshot::boards; none: opens nothing) and
    // reads it back.
    void openListed(std::optional<std::size_t> board);
    bool retryDue() const;
    void reopen();
    void scan();
    bool findTheHid();
    // Opens the selected board and reads it back; `again`: the back-off reopens the same board.
    void openSelected(bool again = false);
    void refresh();
    void readBack();
    void showNotice();
    void closeBoard();
    // Behind the SettingsLoaded gate: sends what `send` sends, through a device that keeps the
    // first refusal's words; `change` makes the settings shown into what the board then holds.
    WriteOutcome write(const std::function<void(config::BoardSettings&)>& change,
                       const std::function<bool(hid::Device&)>& send);
    // `words`: the system's words for the first report of the write that was refused;
    // `unanswered`: a report of it went unanswered.
    WriteOutcome afterWrite(bool taken, const config::BoardSettings& written, std::string words,
                            bool unanswered);
    // The open board left an exchange unanswered: shut the gates and leave it alone.
    void stopTalking();
    void noteDeviceError();
    // Counts a change of the snapshot since the last call.
    void publish();

    hid::Platform& platform_;
    hid::DeviceMatch match_;

    bool switch_pending_ = false;
    bool scan_complete_ = false;
    // The open board left an exchange unanswered (Snapshot::not_answering): no back-off, no
    // read-back, no writes, until a handle is opened afresh.
    bool not_answering_ = false;
    int interval_ms_ = kStartIntervalMs;
    // The platform said the device set changed, and no walk has succeeded since.
    bool change_pending_ = false;
    RetryTiming retry_;

    // The boards of the last walk, one per entry of Snapshot::boards.
    std::vector<hid::BoardEntry> entries_;
    std::optional<hid::OpenedBoard> board_;
    hid::ReportLengths caps_{};

    Snapshot snapshot_;
    Snapshot published_;
    std::uint64_t generation_ = 0;
};

}  // namespace rotorix::session
