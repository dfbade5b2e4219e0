#include "session/retry_timing.h"

#include <algorithm>

namespace rotorix::session {

void RetryTiming::elapse(int interval_ms) {
    // No need to count past a due time.
    since_walk_ms_ = std::min(since_walk_ms_ + interval_ms, kWalkRetryMs);
    if (unreadable_) {
        since_read_back_ms_ = std::min(since_read_back_ms_ + interval_ms, kLongestWaitMs);
    }
}

void RetryTiming::closed() {
    unreadable_ = false;
    since_read_back_ms_ = 0;
}

bool RetryTiming::reopenDue() const {
    const std::size_t step = std::min(reopens_, kReopenBackoffMs.size() - 1);
    return unreadable_ && since_read_back_ms_ >= kReopenBackoffMs[step];
}

}  // namespace rotorix::session
