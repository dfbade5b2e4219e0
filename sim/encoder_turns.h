// Encoder turns as the board makes them: one pulse on one button of a pair per step, each as
// long as the board's pulse setting, at a given number of steps per second.
//
// Timed on std::chrono::steady_clock (CLOCK_MONOTONIC on Linux), so that inside the VM rig the
// emulated board's record of its pulses and the host's stamps on the reports share one clock.
// Nothing here reads the clock: every call is given its time, so a test decides it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace rotorix::sim {

using Clock = std::chrono::steady_clock;

// One pulse the board makes for one step: `button` held down from `start` until `end`.
struct Pulse {
    int pair = 0;    // 1..8
    int button = 0;  // 2 x pair - 1 for a positive step, 2 x pair for a negative one
    Clock::time_point start;
    Clock::time_point end;

    friend bool operator==(const Pulse&, const Pulse&) = default;
};

class EncoderTurns {
  public:
    static constexpr int kPairs = 8;
    static constexpr int kMaxStepsPerTurn = 10'000;
    static constexpr int kMaxStepsPerSecond = 1'000;
    // The least time a button stays up between two pulses: one polling interval of the board's
    // interrupt endpoint (4 ms), so that a host polling at that interval can still see the gap.
    // A turn faster than pulse plus gap allows is slowed down to pulses back to back; its steps
    // are late, never lost (the pulses turn() returns say when each one really is).
    static constexpr std::chrono::milliseconds kMinGap{4};

    // Schedules `steps` steps on pair `pair` (1..8): positive steps pulse the pair's first
    // button, negative ones its second. Step k is due at now + k / steps_per_second; a turn asked
    // for while earlier pulses are still to come starts after them. Returns the pulses it
    // scheduled, their times fixed from now on: the board's own record of what it will make.
    // None, and nothing scheduled, for a pair outside 1..8, no steps, more than
    // kMaxStepsPerTurn, a rate outside 1..kMaxStepsPerSecond, or a pulse that is not positive.
    std::vector<Pulse> turn(int pair, int steps, int steps_per_second,
                            std::chrono::microseconds pulse, Clock::time_point now);

    // The buttons held by pulses at `now` (bit n-1: button n). Pulses that have ended by then are
    // forgotten: ask in time order.
    std::uint16_t buttonsAt(Clock::time_point now);

    // Whether pulses are still to come or under way at `now`.
    bool turning(Clock::time_point now) const;

  private:
    std::deque<Pulse> scheduled_;  // in time order, none overlapping
};

}  // namespace rotorix::sim
