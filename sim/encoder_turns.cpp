#include "sim/encoder_turns.h"

#include <algorithm>
#include <cstdlib>

namespace rotorix::sim {

std::vector<Pulse> EncoderTurns::turn(int pair, int steps, int steps_per_second,
                                      std::chrono::microseconds pulse, Clock::time_point now) {
    if (pair < 1 || pair > kPairs || steps == 0 || std::abs(steps) > kMaxStepsPerTurn ||
        steps_per_second < 1 || steps_per_second > kMaxStepsPerSecond ||
        pulse <= std::chrono::microseconds::zero()) {
        return {};
    }
    const int button = steps > 0 ? 2 * pair - 1 : 2 * pair;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / steps_per_second;
    const auto width = std::chrono::duration_cast<Clock::duration>(pulse);
    // Every pulse follows the one before it, whichever button that was: the board makes one
    // pulse at a time, as its firmware turns one step into one pulse.
    Clock::time_point earliest = now;
    if (!scheduled_.empty()) {
        earliest = std::max(earliest, scheduled_.back().end + kMinGap);
    }
    const Clock::time_point first = earliest;
    std::vector<Pulse> made;
    for (int k = 0; k < std::abs(steps); ++k) {
        const Clock::time_point start = std::max(first + k * period, earliest);
        made.push_back({pair, button, start, start + width});
        earliest = start + width + kMinGap;
    }
    scheduled_.insert(scheduled_.end(), made.begin(), made.end());
    return made;
}

std::uint16_t EncoderTurns::buttonsAt(Clock::time_point now) {
    while (!scheduled_.empty() && scheduled_.front().end <= now) {
        scheduled_.pop_front();
    }
    std::uint16_t held = 0;
    for (const Pulse& pulse : scheduled_) {
        if (pulse.start > now) {
            break;  // in time order: the rest are still to come
        }
        held = static_cast<std::uint16_t>(held | (1u << (pulse.button - 1)));
    }
    return held;
}

bool EncoderTurns::turning(Clock::time_point now) const {
    return !scheduled_.empty() && scheduled_.back().end > now;
}

}  // namespace rotorix::sim
