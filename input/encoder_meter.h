// The encoder meter: from stamped button states, each step an encoder made, which way, and how
// long its pulse lasted as the host saw it; counts and pulse widths per pair; and what looks
// wrong, in plain words. Pure: it never reads a clock or a board, so a table of stamped states
// tests it whole.
//
// The board turns each encoder step into one pulse on one button of the pair: the pair's first
// button (1 of 1-2, 3 of 3-4, ...) for a step one way, counted positive, its second for the other.
// A pair set to OFF passes its two switches through as plain buttons and makes no steps.
//
// Why the thresholds are what they are:
// - kFrame: a game reads the controller once a frame. At 60 frames a second a pulse shorter than
//   1/60 s can begin and end between two reads and be missed. The advice names the shortest pulse
//   setting that outlasts a frame (20 ms).
// - kBackToBackGap: the board's endpoint is polled every 4 ms and each edge reaches the host up
//   to one interval late, so a gap the board made of one interval or none shows as up to two
//   intervals. A pulse starting within that after the pair's previous one ended means the board
//   had no room left between steps: a faster turn loses steps at this pulse length.
// - kHeldMargin: the board holds a button for its pulse length only; the host sees that give or
//   take a polling interval or two. A press on an encoder pair longer than twice the pulse plus
//   50 ms is no pulse the board made: a plain button is wired there (or the switch sticks).
// - kQuickPress, kQuickPresses: a finger rarely lets a button go within 50 ms, let alone four
//   times. Presses that quick on a pair set to OFF come from an encoder's contacts.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "config/settings_io.h"
#include "input/buttons.h"

namespace rotorix::input {

inline constexpr std::chrono::microseconds kFrame{16'667};
inline constexpr std::chrono::milliseconds kBackToBackGap{8};
inline constexpr std::chrono::milliseconds kHeldMargin{50};
inline constexpr std::chrono::milliseconds kQuickPress{50};
inline constexpr int kQuickPresses = 4;
// Stands in for the pulse length of a board whose pulse code has no meaning: the longest there
// is, so that nothing is called held that might be a pulse.
inline constexpr std::chrono::milliseconds kLongestPulse{config::kPulseCodeMax *
                                                         config::kPulseStepMs};

struct MeterSettings {
    config::EncoderTypes types{};  // per pair: 0 OFF, 1 "1:1", 2 "1:2", 3 "1:4"
    // The board's pulse length; empty for a pulse code outside 1..25.
    std::optional<std::chrono::milliseconds> pulse;
};

// The settings as the board holds them (the read-back).
MeterSettings meterSettings(const config::BoardSettings& settings);

struct Step {
    int pair = 0;          // 1..8
    bool positive = true;  // the pair's first button pulsed; false: its second
    std::uint16_t button = 0;
    Clock::time_point start;  // stamps of the reports that pressed the button and let it go
    Clock::time_point end;

    Clock::duration width() const { return end - start; }
    friend bool operator==(const Step&, const Step&) = default;
};

struct PairSummary {
    std::uint8_t type = 0;  // as set
    long long positive = 0;
    long long negative = 0;
    // Over the steps counted (both ways); empty before the first.
    std::optional<Clock::duration> min_width;
    std::optional<Clock::duration> median_width;  // of an even count: the mean of the middle two
    std::optional<Clock::duration> max_width;
    std::optional<Clock::duration> last_width;
};

struct Finding {
    enum class Kind {
        ShortPulses,      // the steps' median width is under a frame
        BothDown,         // both buttons of an encoder pair were down at once
        BackToBack,       // a pulse started within kBackToBackGap of the one before it
        OffPairPulses,    // an OFF pair's buttons made kQuickPresses presses under kQuickPress
        EncoderPairHeld,  // an encoder pair's button stayed down like a plain button's
    };
    Kind kind = Kind::ShortPulses;
    int pair = 0;  // 1..8; 0 for ShortPulses, which is about the board's pulse setting
    std::string text;

    friend bool operator==(const Finding&, const Finding&) = default;
};

class EncoderMeter {
  public:
    explicit EncoderMeter(MeterSettings settings);

    // One stamped state of buttons 1..16 (a watch event's pair_buttons and stamp). The first
    // state is the baseline: a button down in it has no known start, so its release makes no step
    // and proves nothing. A stamp earlier than the one before counts as that one. Returns the
    // steps this state completed, in pair order.
    std::vector<Step> feed(Clock::time_point stamp, PairButtons down);

    // Lets time pass without a report, so that a button of an encoder pair held too long is found
    // while it is still held.
    void advance(Clock::time_point now);

    PairSummary pair(int pair) const;  // 1..8; an empty summary for any other number

    // What was seen so far: each kind once per pair, ordered by kind, then pair.
    std::vector<Finding> findings() const;

    // Counts, widths and findings start again. The buttons' states, and presses under way, are
    // kept: a pulse that began before the clearing is still measured when it ends.
    void clearCounts();

    const MeterSettings& settings() const { return settings_; }

  private:
    static constexpr int kPairs = static_cast<int>(config::kEncoderCount);
    static constexpr int kKinds = 5;

    struct Button {
        bool down = false;
        std::optional<Clock::time_point> since;  // empty: down since before the baseline
    };
    struct Pair {
        long long positive = 0;
        long long negative = 0;
        std::vector<Clock::duration> widths;
        std::optional<Clock::duration> last_width;
        std::optional<Clock::time_point> last_end;  // of the pair's last step
        int quick_presses = 0;
    };

    bool encoder(int pair_index) const { return settings_.types[pair_index] != 0; }
    Clock::duration heldLimit() const;
    void see(Finding::Kind kind, int pair) {
        seen_[static_cast<std::size_t>(kind)][static_cast<std::size_t>(pair)] = true;
    }
    void release(int button_index, Clock::time_point stamp, std::vector<Step>& steps);
    void press(int button_index, Clock::time_point stamp);
    std::optional<Clock::duration> medianOfAllSteps() const;

    MeterSettings settings_;
    bool started_ = false;
    Clock::time_point last_stamp_;
    std::array<Button, 2 * config::kEncoderCount> buttons_{};
    std::array<Pair, config::kEncoderCount> pairs_{};
    std::array<std::array<bool, config::kEncoderCount + 1>, kKinds> seen_{};
};

}  // namespace rotorix::input
