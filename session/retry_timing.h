// When the session tries again what failed. Time is the sum of the intervals the watchdog's ticks
// ran at, a count kept here, so no clock is needed and a test drives it by hand.
// - A walk that failed, or that found boards it could not open (no access, say), is walked again
//   after a while without any device event: a permission granted by hand makes none.
// - An open board that answers but whose settings could not be read is reopened after a wait that
//   grows with each reopen that still cannot read it, the last wait repeating, so a board that
//   keeps refusing holds the caller once per wait at most. A board opened afresh, or read once,
//   owes nothing to that count.
// A board that does not answer at all is not retried: it waits for a replug or a new pick.
#pragma once

#include <array>
#include <cstddef>

namespace rotorix::session {

class RetryTiming {
  public:
    static constexpr int kWalkRetryMs = 1000;
    static constexpr std::array<int, 4> kReopenBackoffMs{1000, 2000, 4000, 8000};

    // A tick ran `interval_ms` after the one before.
    void elapse(int interval_ms);

    // A listing walk ran; `walkDue` counts from here.
    void walked() { since_walk_ms_ = 0; }
    // Whether to walk again without a device event, given whether the last walk left something
    // worth retrying (boards it could not open, or its own failure).
    bool walkDue(bool worth_retrying) const {
        return worth_retrying && since_walk_ms_ >= kWalkRetryMs;
    }

    // A board was opened afresh (not reopened by the back-off): its reopens start at the first
    // wait.
    void opened() { reopens_ = 0; }
    // The unreadable board was reopened: should it still be unreadable, the next wait is longer.
    void reopened() { ++reopens_; }
    // The open board was closed: nothing is due on it.
    void closed();
    // A read-back of the open board begins (its outcome replaces the last one's), or the board is
    // left alone: either way it is not waiting to be reopened.
    void clearUnreadable() { unreadable_ = false; }
    // The read-back found a board that answers but whose settings could not be read.
    void readBackFailed() { unreadable_ = true; }
    // The read-back read the settings: the board owes nothing to earlier failures.
    void settingsRead() { reopens_ = 0; }

    // The open board is unreadable and waits to be reopened.
    bool unreadable() const { return unreadable_; }
    // Its wait is over.
    bool reopenDue() const;

  private:
    static constexpr int kLongestWaitMs = kReopenBackoffMs.back();

    int since_walk_ms_ = 0;
    bool unreadable_ = false;
    int since_read_back_ms_ = 0;
    std::size_t reopens_ = 0;
};

}  // namespace rotorix::session
