// The input watch: the buttons of one or more boards as they change, stamped when each report
// arrives, read on a thread of the watch's own so that the window's thread never waits on a
// board.
//
// Each watched board gets a second handle of its own. Both systems hand every input report to
// every open handle, so the session's handle (and its liveness read) is untouched by the watch.
//
// Threads: the constructor opens the handles on the caller's thread (the one that owns the
// platform); from then on only the reader uses them. The reader and the caller share nothing but
// the event queue, which the caller drains (from its timer tick, or after waitForEvents). The
// platform's own object is not used after the constructor returns.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hid/discovery.h"
#include "hid/platform.h"
#include "input/buttons.h"

namespace rotorix::input {

struct WatchEvent {
    enum class Kind {
        // The board's first report: how its buttons stood when watching began. It has no
        // changes; later events are the changes after it, so a button held at the start
        // counts only once it is let go and pressed again.
        Baseline,
        Changes,  // the report changed one or more buttons
        Ended,    // the board went, or its reads failed: nothing more comes from it
    };
    Kind kind = Kind::Changes;
    std::size_t board = 0;              // index into the boards the watch was given
    Clock::time_point stamp;            // when the reader had the report (Ended: when it noticed)
    std::vector<ButtonChange> changes;  // Changes: in the descriptor's order
    PairButtons pair_buttons = 0;       // buttons 1..16 down after this report
    std::string why;  // Ended: the system's words for the failed read; empty if it gave none
};

// Why a board is not watched.
struct Unwatched {
    enum class Kind {
        OpenFailed,            // the second handle could not be opened: see open_error
        DescriptorUnreadable,  // which bits are buttons is not known
        NoButtons,             // its report descriptor declares no buttons
    };
    Kind kind = Kind::OpenFailed;
    hid::OpenError open_error;  // OpenFailed only
};

class InputWatch {
  public:
    // The reader waits at most this long in one read; stopping takes at most about as long.
    static constexpr std::chrono::milliseconds kReadBound{20};
    // Events the caller has not drained are kept up to this many; later ones are counted in
    // dropped() instead (a front end that stopped draining must not grow without end).
    static constexpr std::size_t kMaxQueued = 100'000;

    // Opens a handle on each board (as a listing gave it) and starts reading those that could be
    // watched. With none, no thread is started.
    InputWatch(hid::Platform& platform, std::span<const hid::BoardEntry> boards);
    ~InputWatch();  // stops
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

    // Per board given, in order: empty when it is watched (or was, until it Ended), else why not.
    const std::vector<std::optional<Unwatched>>& unwatched() const { return unwatched_; }

    // Takes every event that has arrived, oldest first. Never waits.
    std::vector<WatchEvent> drain();

    // Waits until an event is there to drain, every board has ended, or `limit` has passed.
    // True when events are waiting.
    bool waitForEvents(std::chrono::milliseconds limit);

    // Whether the reader still reads a board: false once every watched board has ended (the
    // Ended events may still wait in the queue), after stop(), or when nothing was watched.
    bool reading() const;

    // Ends the reader and closes the handles; returns within about one read bound. The events
    // already queued stay to be drained. Calling it again does nothing.
    void stop();

    // Events left out because the queue was full.
    std::size_t dropped() const;

  private:
    struct Watched;

    void run();
    bool readOnce(Watched& watched, int wait_ms);
    void push(WatchEvent event);

    std::vector<std::optional<Unwatched>> unwatched_;
    std::vector<std::unique_ptr<Watched>> watched_;  // the reader's alone while it runs

    mutable std::mutex mutex_;  // guards the queue, dropped_ and reading_
    std::condition_variable arrived_;
    std::deque<WatchEvent> queue_;
    std::size_t dropped_ = 0;
    bool reading_ = false;

    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

}  // namespace rotorix::input
