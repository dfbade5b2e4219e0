// The encoder meter from stamped button states: the steps it counts, which way, their widths,
// and each finding, on either side of its threshold.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "input/encoder_meter.h"

namespace rotorix::input {
namespace {

using std::chrono::milliseconds;
using Kind = Finding::Kind;

Clock::time_point at(double ms) {
    return Clock::time_point{} + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double, std::milli>(ms));
}

double inMs(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct State {
    double ms;
    PairButtons down;
};
struct ExpectedStep {
    int pair;
    bool positive;
    double width_ms;

    friend bool operator==(const ExpectedStep&, const ExpectedStep&) = default;
};

void PrintTo(const ExpectedStep& s, std::ostream* os) {
    *os << "{pair " << s.pair << (s.positive ? " +" : " -") << " " << s.width_ms << " ms}";
}

struct Case {
    const char* what;
    config::EncoderTypes types;
    std::optional<int> pulse_ms;
    std::vector<State> states;  // the first is the baseline
    std::vector<ExpectedStep> steps;
    std::vector<std::pair<Kind, int>> findings;  // in the meter's order
};

// Pairs 1 and 2 set to encoders, 3 to OFF, as a board with two encoders and plain buttons.
constexpr config::EncoderTypes kTwoEncoders{1, 3, 0, 0, 0, 0, 0, 0};

const Case kCases[] = {
    {"steps each way on two pairs, each as wide as its stamps say",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 0x0001}, {124, 0}, {200, 0x0002}, {226, 0}, {300, 0x0004}, {322, 0}},
     {{1, true, 24}, {1, false, 26}, {2, true, 22}},
     {}},
    {"buttons already down when watching began make neither a step nor a finding",
     kTwoEncoders,
     24,
     {{0, 0x0003}, {50, 0x0002}, {80, 0}, {200, 0x0001}, {224, 0}},
     {{1, true, 24}},
     {}},
    {"pulses shorter than a frame, judged by their median",
     kTwoEncoders,
     8,
     {{0, 0}, {10, 1}, {18, 0}, {50, 1}, {54, 0}, {90, 2}, {98, 0}, {130, 4}, {142, 0}},
     {{1, true, 8}, {1, true, 4}, {1, false, 8}, {2, true, 12}},
     {{Kind::ShortPulses, 0}}},
    {"pulses of a frame or more are not short, though one came in under it",
     kTwoEncoders,
     20,
     {{0, 0}, {10, 1}, {26, 0}, {100, 1}, {120, 0}, {200, 2}, {224, 0}},
     {{1, true, 16}, {1, true, 20}, {1, false, 24}},
     {}},
    {"both buttons of an encoder pair down at once",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 0x0001}, {110, 0x0003}, {124, 0x0002}, {134, 0}},
     {{1, true, 24}, {1, false, 24}},
     {{Kind::BothDown, 1}}},
    {"both buttons of an OFF pair down at once are two plain buttons",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 0x0010}, {110, 0x0030}, {300, 0x0020}, {400, 0}},
     {},
     {}},
    {"a pulse starting within two polling intervals of the last is back to back",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 1}, {124, 0}, {132, 1}, {156, 0}},
     {{1, true, 24}, {1, true, 24}},
     {{Kind::BackToBack, 1}}},
    {"a change of direction within one report is back to back, not both down",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 0x0001}, {124, 0x0002}, {148, 0}},
     {{1, true, 24}, {1, false, 24}},
     {{Kind::BackToBack, 1}}},
    {"a gap of more than two polling intervals leaves room",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 1}, {124, 0}, {133, 1}, {157, 0}},
     {{1, true, 24}, {1, true, 24}},
     {}},
    {"an OFF pair whose buttons make four quick presses pulses like an encoder",
     kTwoEncoders,
     24,
     {{0, 0},
      {100, 0x10},
      {120, 0},
      {200, 0x20},
      {230, 0},
      {300, 0x10},
      {349, 0},
      {400, 0x30},
      {420, 0}},
     {},
     {{Kind::OffPairPulses, 3}}},
    {"three quick presses and a slow one are a finger's",
     kTwoEncoders,
     24,
     {{0, 0},
      {100, 0x10},
      {120, 0},
      {200, 0x20},
      {230, 0},
      {300, 0x10},
      {350, 0},
      {400, 0x10},
      {420, 0}},
     {},
     {}},
    {"a press on an encoder pair far beyond its pulse is a plain button, not a step",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 0x0004}, {300, 0}, {400, 0x0004}, {498, 0}},
     {{2, true, 98}},  // twice the pulse plus 50 ms is still a pulse seen late
     {{Kind::EncoderPairHeld, 2}}},
    {"with a pulse code of no meaning, the longest pulse sets what counts as held",
     kTwoEncoders,
     std::nullopt,
     {{0, 0}, {100, 1}, {340, 0}, {400, 1}, {660, 0}},
     {{1, true, 240}},
     {{Kind::EncoderPairHeld, 1}}},
    {"a stamp earlier than the last counts as the last",
     kTwoEncoders,
     24,
     {{0, 0}, {100, 1}, {90, 0}},
     {{1, true, 0}},
     {{Kind::ShortPulses, 0}}},
    {"findings come by kind, then pair",
     {1, 1, 0, 1, 0, 0, 0, 0},
     24,
     {{0, 0},
      {100, 0xC0},
      {110, 0},
      {200, 0x03},
      {210, 0},
      {214, 0x02},
      {224, 0},
      {300, 0x10},
      {310, 0},
      {320, 0x10},
      {330, 0},
      {340, 0x10},
      {350, 0},
      {360, 0x20},
      {370, 0}},
     {{4, true, 10}, {4, false, 10}, {1, true, 10}, {1, false, 10}, {1, false, 10}},
     {{Kind::ShortPulses, 0},
      {Kind::BothDown, 1},
      {Kind::BothDown, 4},
      {Kind::BackToBack, 1},
      {Kind::OffPairPulses, 3}}},
};

TEST(EncoderMeter, CountsStepsAndFindsWhatIsWrong) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        MeterSettings settings{c.types, std::nullopt};
        if (c.pulse_ms) {
            settings.pulse = milliseconds(*c.pulse_ms);
        }
        EncoderMeter meter(settings);
        std::vector<ExpectedStep> steps;
        for (const State& state : c.states) {
            for (const Step& step : meter.feed(at(state.ms), state.down)) {
                EXPECT_EQ(step.button, 2 * step.pair - (step.positive ? 1 : 0));
                steps.push_back({step.pair, step.positive, inMs(step.width())});
            }
        }
        EXPECT_EQ(steps, c.steps);
        std::vector<std::pair<Kind, int>> found;
        for (const Finding& finding : meter.findings()) {
            found.emplace_back(finding.kind, finding.pair);
            EXPECT_FALSE(finding.text.empty());
        }
        EXPECT_EQ(found, c.findings);
    }
}

TEST(EncoderMeter, FindingsSayWhatToDoInPlainWords) {
    EncoderMeter meter({{1, 0, 2, 0, 0, 0, 0, 0}, milliseconds(8)});
    const State states[] = {
        {0, 0},      {10, 0x01}, {18, 0x03},  {20, 0},  {22, 0x02},  {30, 0},
        {100, 0x04}, {110, 0},   {120, 0x08}, {130, 0}, {140, 0x04}, {150, 0},
        {160, 0x08}, {170, 0},   {200, 0x10}, {500, 0},
    };
    for (const State& state : states) {
        meter.feed(at(state.ms), state.down);
    }
    std::vector<std::string> texts;
    for (const Finding& finding : meter.findings()) {
        texts.push_back(finding.text);
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "pulses of 8 ms: a game that reads the controller 60 times a second can miss "
                  "them; choose 20 ms or more",
                  "buttons 1-2: both buttons were down at once: a wiring fault or a bouncing "
                  "switch",
                  "buttons 1-2: pulses ran back to back: fast turns will lose steps at this "
                  "pulse length",
                  "buttons 3-4 are set to OFF but pulse like an encoder: if one is wired there, "
                  "set its type",
                  "buttons 5-6 are set to 1:2 but a button was held like a plain button: if one "
                  "is wired there, set them to OFF",
              }));
}

TEST(EncoderMeter, ButtonHeldTooLongIsFoundWhileStillHeld) {
    EncoderMeter meter({kTwoEncoders, milliseconds(24)});
    meter.feed(at(0), 0);
    meter.feed(at(100), 0x0002);
    meter.advance(at(198));
    EXPECT_TRUE(meter.findings().empty()) << "98 ms may still be a 24 ms pulse seen late";
    meter.advance(at(199));
    ASSERT_EQ(meter.findings().size(), 1u);
    EXPECT_EQ(meter.findings()[0].kind, Kind::EncoderPairHeld);
}

TEST(EncoderMeter, SummaryHasCountsEachWayAndTheWidthsSpread) {
    EncoderMeter meter({kTwoEncoders, milliseconds(24)});
    meter.feed(at(0), 0);
    const State states[] = {{100, 1}, {130, 0}, {200, 2}, {220, 0},
                            {300, 1}, {328, 0}, {400, 1}, {424, 0}};
    for (const State& state : states) {
        meter.feed(at(state.ms), state.down);
    }
    const PairSummary one = meter.pair(1);
    EXPECT_EQ(one.type, 1);
    EXPECT_EQ(one.positive, 3);
    EXPECT_EQ(one.negative, 1);
    EXPECT_EQ(inMs(*one.min_width), 20);
    EXPECT_EQ(inMs(*one.median_width), 26);  // 24 and 28 in the middle
    EXPECT_EQ(inMs(*one.max_width), 30);
    EXPECT_EQ(inMs(*one.last_width), 24);

    const PairSummary two = meter.pair(2);
    EXPECT_EQ(two.type, 3);
    EXPECT_EQ(two.positive + two.negative, 0);
    EXPECT_FALSE(two.median_width.has_value());
    EXPECT_EQ(meter.pair(0).positive, 0);
    EXPECT_EQ(meter.pair(9).positive, 0);
}

TEST(EncoderMeter, ClearingCountsStartsAgainButMeasuresAPulseUnderWay) {
    EncoderMeter meter({kTwoEncoders, milliseconds(8)});
    meter.feed(at(0), 0);
    meter.feed(at(10), 0x0003);
    meter.feed(at(18), 0);
    meter.feed(at(30), 0x0001);
    ASSERT_FALSE(meter.findings().empty());

    meter.clearCounts();
    EXPECT_TRUE(meter.findings().empty());
    EXPECT_EQ(meter.pair(1).positive + meter.pair(1).negative, 0);
    EXPECT_FALSE(meter.pair(1).last_width.has_value());

    const auto steps = meter.feed(at(54), 0);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(inMs(steps[0].width()), 24);
    EXPECT_EQ(meter.pair(1).positive, 1);
}

TEST(EncoderMeter, SettingsComeFromTheBoardsReadBack) {
    const MeterSettings settings = meterSettings({{0x03, 0x06}, 6, 0});
    EXPECT_EQ(settings.types, (config::EncoderTypes{1, 3, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(settings.pulse, milliseconds(24));
    EXPECT_EQ(meterSettings({{0, 0}, 25, 0}).pulse, milliseconds(100));
    EXPECT_FALSE(meterSettings({{0, 0}, 0, 0}).pulse.has_value());
    EXPECT_FALSE(meterSettings({{0, 0}, 26, 0}).pulse.has_value());
}

}  // namespace
}  // namespace rotorix::input
