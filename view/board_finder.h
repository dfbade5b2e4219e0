// "Find a board by pressing a button" without a toolkit: watches the input of every attached
// board at once and, when one's buttons change, makes it the session's board, so that the main
// window's selector shows it.
//
// How a front end drives it (Qt and Win32 alike), all on the window's thread:
// - When the user opens the find window, make a BoardFinder from the platform and the main
//   window's session. It opens a handle of its own on each board and reads them all through one
//   input watch; the session and its handle are left alone until a board is found.
// - Start a timer of the find window's own at kTickMs. On each timeout call tick(); when its
//   `show` is set, copy it into the window; say each of `announce` politely, in order.
//   Before the first tick, shown() holds what to show.
// - When shown().outcome is Found, the session has switched to that board: show the main window
//   afresh as after a pick in its selector (view::Presenter::switched()), and close the find
//   window. The finder reads nothing more.
// - Esc or Cancel calls cancel() (or just destroys the finder): the session is left as it was.
// Buttons held when watching began do not count; a release does, as does a press. A board plugged
// in while the finder waits is watched from then on.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "hid/discovery.h"
#include "hid/platform.h"
#include "session/board_session.h"

namespace rotorix::view {

struct BoardFinderView {
    enum class Outcome {
        Waiting,    // watching; nothing has changed yet
        Found,      // a board's buttons changed, and the session was switched to it
        Cancelled,  // the user gave up; the session was not touched
    };
    std::u16string title;   // the find window's caption
    std::u16string prompt;  // what the user is asked to do
    // What the finder is doing, in words for a screen reader as well: how many boards it
    // watches, which cannot be watched and why, that none is attached, or what it found.
    std::u16string status;
    Outcome outcome = Outcome::Waiting;
    // Found: the board as the main window's selector names it (its serial number).
    std::u16string found;

    friend bool operator==(const BoardFinderView&, const BoardFinderView&) = default;
};

struct BoardFinderUpdate {
    std::optional<BoardFinderView> show;  // none: the window already shows it
    std::vector<std::u16string> announce;
};

class BoardFinder {
  public:
    // How often a front end calls tick(): short enough that the pick feels immediate.
    static constexpr std::chrono::milliseconds kTickMs{25};
    // How often the attached boards are walked for one plugged in while the finder waits.
    static constexpr std::chrono::milliseconds kWalkEvery{500};

    // Starts watching every attached board that matches. The platform must be the session's;
    // both must outlive the finder.
    BoardFinder(hid::Platform& platform, session::BoardSession& session,
                hid::DeviceMatch match = {config::kVendorId, config::kProductId});
    ~BoardFinder();
    BoardFinder(const BoardFinder&) = delete;
    BoardFinder& operator=(const BoardFinder&) = delete;

    // Takes what the watch read since the last tick; the first board whose buttons changed is
    // selected in the session. Watches boards plugged in since the last walk.
    BoardFinderUpdate tick();
    // Stops watching and leaves the session as it was.
    BoardFinderUpdate cancel();

    // For a caller without a timer (and tests): waits up to `limit` for input to tick on. True
    // when some is waiting.
    bool waitForInput(std::chrono::milliseconds limit);

    const BoardFinderView& shown() const { return shown_; }

  private:
    struct Batch;
    struct Watched;

    void walk();
    void watch(std::vector<hid::BoardEntry> entries);
    void select(const hid::BoardEntry& entry);
    void stop();
    BoardFinderUpdate publish(bool announce_status);
    std::u16string statusNow() const;

    hid::Platform& platform_;
    session::BoardSession& session_;
    hid::DeviceMatch match_;
    std::vector<std::unique_ptr<Batch>> batches_;  // one input watch per batch of boards
    std::vector<Watched> boards_;                  // every board met, in the order met
    std::optional<std::string> walk_failure_;
    std::chrono::steady_clock::time_point last_walk_;
    BoardFinderView::Outcome outcome_ = BoardFinderView::Outcome::Waiting;
    std::u16string found_;
    std::u16string found_status_;
    BoardFinderView shown_;
};

}  // namespace rotorix::view
