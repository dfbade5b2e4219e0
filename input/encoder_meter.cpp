#include "input/encoder_meter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace rotorix::input {

namespace {

using std::chrono::duration_cast;
using Milliseconds = std::chrono::duration<double, std::milli>;

// Pair index 0..7 -> "buttons 1-2" .. "buttons 15-16".
std::string pairName(int pair_index) {
    return "buttons " + std::to_string(2 * pair_index + 1) + "-" +
           std::to_string(2 * pair_index + 2);
}

std::string typeText(std::uint8_t type) {
    const auto& texts = config::encoderTypeTexts();
    return type < texts.size() ? texts[type] : std::to_string(type);
}

// The shortest pulse setting that outlasts a frame.
int shortestSafePulseMs() {
    const double frame_ms = Milliseconds(kFrame).count();
    return static_cast<int>(std::ceil(frame_ms / config::kPulseStepMs)) * config::kPulseStepMs;
}

std::optional<Clock::duration> median(std::vector<Clock::duration> widths) {
    if (widths.empty()) {
        return std::nullopt;
    }
    const std::size_t middle = widths.size() / 2;
    std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(middle),
                     widths.end());
    const Clock::duration upper = widths[middle];
    if (widths.size() % 2 == 1) {
        return upper;
    }
    const Clock::duration lower =
        *std::max_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(middle));
    return lower + (upper - lower) / 2;
}

}  // namespace

MeterSettings meterSettings(const config::BoardSettings& settings) {
    MeterSettings meter;
    meter.types = config::unpackEncoderTypes(settings.planes);
    if (config::pulseIndexFromCode(settings.pulse_code)) {
        meter.pulse = std::chrono::milliseconds(settings.pulse_code * config::kPulseStepMs);
    }
    return meter;
}

EncoderMeter::EncoderMeter(MeterSettings settings) : settings_(settings) {}

Clock::duration EncoderMeter::heldLimit() const {
    return 2 * settings_.pulse.value_or(kLongestPulse) + kHeldMargin;
}

std::vector<Step> EncoderMeter::feed(Clock::time_point stamp, PairButtons down) {
    std::vector<Step> steps;
    const auto isDown = [down](int index) { return ((down >> index) & 1u) != 0; };
    if (!started_) {
        started_ = true;
        last_stamp_ = stamp;
        for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
            buttons_[static_cast<std::size_t>(i)] = {isDown(i), std::nullopt};
        }
        return steps;
    }
    stamp = std::max(stamp, last_stamp_);
    last_stamp_ = stamp;
    // Releases first: a step one way and a step the other way in one report are a pulse that
    // ended and one that began with no gap between them.
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
        if (buttons_[static_cast<std::size_t>(i)].down && !isDown(i)) {
            release(i, stamp, steps);
        }
    }
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
        if (!buttons_[static_cast<std::size_t>(i)].down && isDown(i)) {
            press(i, stamp);
        }
    }
    for (int p = 0; p < kPairs; ++p) {
        const Button& first = buttons_[static_cast<std::size_t>(2 * p)];
        const Button& second = buttons_[static_cast<std::size_t>(2 * p + 1)];
        // Two buttons already down together at the baseline are no news of this test.
        if (encoder(p) && first.down && second.down && (first.since || second.since)) {
            see(Finding::Kind::BothDown, p + 1);
        }
    }
    advance(stamp);
    return steps;
}

void EncoderMeter::press(int button_index, Clock::time_point stamp) {
    Button& button = buttons_[static_cast<std::size_t>(button_index)];
    button.down = true;
    button.since = stamp;
    const int p = button_index / 2;
    const Pair& pair = pairs_[static_cast<std::size_t>(p)];
    if (encoder(p) && pair.last_end && stamp - *pair.last_end <= kBackToBackGap) {
        see(Finding::Kind::BackToBack, p + 1);
    }
}

void EncoderMeter::release(int button_index, Clock::time_point stamp, std::vector<Step>& steps) {
    Button& button = buttons_[static_cast<std::size_t>(button_index)];
    button.down = false;
    const std::optional<Clock::time_point> since = std::exchange(button.since, std::nullopt);
    if (!since) {
        return;  // held since before the baseline: its start is unknown
    }
    const int p = button_index / 2;
    Pair& pair = pairs_[static_cast<std::size_t>(p)];
    const Clock::duration width = stamp - *since;
    if (!encoder(p)) {
        if (width < kQuickPress && ++pair.quick_presses >= kQuickPresses) {
            see(Finding::Kind::OffPairPulses, p + 1);
        }
        return;
    }
    if (width > heldLimit()) {
        see(Finding::Kind::EncoderPairHeld, p + 1);
        return;  // a button press, not a step
    }
    const bool positive = button_index % 2 == 0;
    ++(positive ? pair.positive : pair.negative);
    pair.widths.push_back(width);
    pair.last_width = width;
    pair.last_end = stamp;
    steps.push_back({p + 1, positive, static_cast<std::uint16_t>(button_index + 1), *since, stamp});
}

void EncoderMeter::advance(Clock::time_point now) {
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
        const Button& button = buttons_[static_cast<std::size_t>(i)];
        if (encoder(i / 2) && button.down && button.since && now - *button.since > heldLimit()) {
            see(Finding::Kind::EncoderPairHeld, i / 2 + 1);
        }
    }
}

PairSummary EncoderMeter::pair(int number) const {
    PairSummary summary;
    if (number < 1 || number > kPairs) {
        return summary;
    }
    const Pair& pair = pairs_[static_cast<std::size_t>(number - 1)];
    summary.type = settings_.types[static_cast<std::size_t>(number - 1)];
    summary.positive = pair.positive;
    summary.negative = pair.negative;
    summary.last_width = pair.last_width;
    if (!pair.widths.empty()) {
        const auto [min, max] = std::minmax_element(pair.widths.begin(), pair.widths.end());
        summary.min_width = *min;
        summary.max_width = *max;
        summary.median_width = median(pair.widths);
    }
    return summary;
}

std::optional<Clock::duration> EncoderMeter::medianOfAllSteps() const {
    std::vector<Clock::duration> all;
    for (const Pair& pair : pairs_) {
        all.insert(all.end(), pair.widths.begin(), pair.widths.end());
    }
    return median(std::move(all));
}

std::vector<Finding> EncoderMeter::findings() const {
    std::vector<Finding> found;
    if (const auto typical = medianOfAllSteps(); typical && *typical < kFrame) {
        const auto ms = static_cast<long long>(std::lround(Milliseconds(*typical).count()));
        found.push_back({Finding::Kind::ShortPulses, 0,
                         "pulses of " + std::to_string(ms) +
                             " ms: a game that reads the controller 60 times a second can miss "
                             "them; choose " +
                             std::to_string(shortestSafePulseMs()) + " ms or more"});
    }
    const auto each = [&](Finding::Kind kind, auto text) {
        for (int p = 0; p < kPairs; ++p) {
            if (seen_[static_cast<std::size_t>(kind)][static_cast<std::size_t>(p + 1)]) {
                found.push_back({kind, p + 1, text(p)});
            }
        }
    };
    each(Finding::Kind::BothDown, [](int p) {
        return pairName(p) +
               ": both buttons were down at once: a wiring fault or a bouncing switch";
    });
    each(Finding::Kind::BackToBack, [](int p) {
        return pairName(p) +
               ": pulses ran back to back: fast turns will lose steps at this pulse length";
    });
    each(Finding::Kind::OffPairPulses, [](int p) {
        return pairName(p) +
               " are set to OFF but pulse like an encoder: if one is wired there, set its type";
    });
    each(Finding::Kind::EncoderPairHeld, [this](int p) {
        return pairName(p) + " are set to " +
               typeText(settings_.types[static_cast<std::size_t>(p)]) +
               " but a button was held like a plain button: if one is wired there, set them to OFF";
    });
    return found;
}

void EncoderMeter::clearCounts() {
    for (Pair& pair : pairs_) {
        pair = Pair{};
    }
    seen_ = {};
}

}  // namespace rotorix::input
