#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "sim/firmware_model.h"

namespace rotorix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Firmware : public ::testing::Test {
  protected:
    void receive(const Bytes& report) { model.receiveFeatureReport(report); }

    static FirmwareModel::Settings initial() {
        FirmwareModel::Settings settings{};
        settings[0] = 0x42;
        settings[8] = 0x03;
        settings[9] = 0x06;
        return settings;
    }

    FirmwareModel model{initial()};
};

TEST_F(Firmware, ShortReportsAreLoggedWholeAndChangeNothing) {
    const std::vector<Bytes> reports{{}, {0x00}, {0x00, 0xEE}, {0x00, 0xEE, 8}};
    for (const auto& report : reports) {
        receive(report);
    }

    EXPECT_EQ(model.received(), reports);
    EXPECT_EQ(model.settings(), initial());
    EXPECT_EQ(model.featureReportReply(3), (Bytes{0, 0, 0x42}));
}

TEST_F(Firmware, UnknownSettingCodesAreIgnored) {
    receive({0x00, 0xEE, 16, 0x55});
    receive({0x00, 0xEE, 0xFF, 0x55});
    EXPECT_EQ(model.settings(), initial());

    receive({0x00, 8});
    receive({0x00, 200});  // the earlier request still stands
    EXPECT_EQ(model.featureReportReply(3), (Bytes{0, 8, 0x03}));

    EXPECT_EQ(model.setting(200), 0);
    model.setSetting(200, 1);
    EXPECT_EQ(model.settings(), initial());
}

TEST_F(Firmware, NumberedReportsDoNotReachTheBoard) {
    receive({0x01, 0xEE, 8, 0x55});
    receive({0x01, 0xB0});

    EXPECT_EQ(model.setting(8), 0x03);
    EXPECT_EQ(model.commandB0Count(), 0);
    EXPECT_EQ(model.received().size(), 2u);
}

TEST_F(Firmware, ReplyIsExactlyAsLongAsAskedFor) {
    receive({0x00, 9, 0x00, 0x00});

    EXPECT_EQ(model.featureReportReply(0), Bytes{});
    EXPECT_EQ(model.featureReportReply(1), (Bytes{0}));
    EXPECT_EQ(model.featureReportReply(2), (Bytes{0, 9}));
    EXPECT_EQ(model.featureReportReply(3), (Bytes{0, 9, 0x06}));
    EXPECT_EQ(model.featureReportReply(6), (Bytes{0, 9, 0x06, 0, 0, 0}));
}

TEST_F(Firmware, WritesTakeEffectAndCommandB0LeavesSettingsAlone) {
    receive({0x00, 0xEE, 10, 25, 0x00});
    receive({0x00, 0xEE, 1, 1});
    receive({0x00, 0xB0, 1, 1});
    receive({0x00, 0xB0});

    EXPECT_EQ(model.setting(10), 25);
    EXPECT_EQ(model.setting(1), 1);
    EXPECT_EQ(model.commandB0Count(), 2);
    receive({0x00, 10});
    EXPECT_EQ(model.featureReportReply(4), (Bytes{0, 10, 25, 0}));
}

TEST_F(Firmware, InputReportsHaveTheAskedLengthWithEveryButtonReleased) {
    for (std::size_t length : {0u, 1u, 3u, 9u, 64u}) {
        const Bytes report = model.inputReport(length);
        ASSERT_EQ(report.size(), length);
        for (std::size_t i = 0; i < length && i < 3; ++i) {
            EXPECT_EQ(report[i], 0) << "byte " << i;
        }
    }
    EXPECT_NE(model.inputReport(9), model.inputReport(9));
}

// --- encoder turns --------------------------------------------------------------------------

Clock::time_point at(int ms) {
    return Clock::time_point{} + std::chrono::milliseconds(ms);
}

FirmwareModel withPulseCode(std::uint8_t code) {
    FirmwareModel::Settings settings{};
    settings[10] = code;
    return FirmwareModel(settings);
}

std::uint16_t buttonsIn(const Bytes& report) {
    return static_cast<std::uint16_t>(report.at(1) | (report.at(2) << 8));
}

TEST(FirmwareTurns, StepsPulseThePairsFirstButtonOneWayAndItsSecondTheOther) {
    FirmwareModel model = withPulseCode(6);  // 24 ms
    EXPECT_EQ(model.turn(2, 2, 10, at(1000)),
              (std::vector<Pulse>{{2, 3, at(1000), at(1024)}, {2, 3, at(1100), at(1124)}}));
    // After the first turn's last pulse and a gap.
    EXPECT_EQ(model.turn(2, -1, 10, at(1000)), (std::vector<Pulse>{{2, 4, at(1128), at(1152)}}));
    model.setButton(16, true);
    const std::pair<int, std::uint16_t> reports[] = {
        {999, 0x8000},  {1000, 0x8004}, {1023, 0x8004}, {1024, 0x8000}, {1100, 0x8004},
        {1123, 0x8004}, {1124, 0x8000}, {1128, 0x8008}, {1151, 0x8008}, {1152, 0x8000}};
    for (const auto& [ms, buttons] : reports) {
        EXPECT_EQ(buttonsIn(model.inputReport(3, at(ms))), buttons) << "at " << ms << " ms";
    }
    EXPECT_FALSE(model.turning(at(1152)));
}

// Faster than pulse and gap allow, the steps come late, one after the other with the gap.
TEST(FirmwareTurns, TooFastATurnRunsItsPulsesBackToBack) {
    FirmwareModel model = withPulseCode(6);
    EXPECT_EQ(model.turn(1, 3, 100, at(0)),
              (std::vector<Pulse>{
                  {1, 1, at(0), at(24)}, {1, 1, at(28), at(52)}, {1, 1, at(56), at(80)}}));
    EXPECT_TRUE(model.turning(at(79)));
    EXPECT_FALSE(model.turning(at(80)));
    // The report without a time never shows a pulse.
    ASSERT_FALSE(model.turn(1, 1, 10, at(1000)).empty());
    EXPECT_EQ(buttonsIn(model.inputReport(3)), 0);
}

TEST(FirmwareTurns, PulseFollowsTheSettingAndNonsenseIsRefused) {
    const std::pair<std::uint8_t, int> lengths[] = {{1, 4}, {6, 24}, {25, 100}, {0, 4}, {200, 100}};
    for (const auto& [code, ms] : lengths) {
        EXPECT_EQ(withPulseCode(code).pulseLength(), std::chrono::milliseconds(ms)) << int{code};
    }
    FirmwareModel model = withPulseCode(6);
    const std::tuple<int, int, int> refused[] = {{0, 1, 10},     {9, 1, 10},      {1, 0, 10},
                                                 {1, 10001, 10}, {1, -10001, 10}, {1, 1, 0},
                                                 {1, 1, 1001}};
    for (const auto& [pair, steps, rate] : refused) {
        EXPECT_TRUE(model.turn(pair, steps, rate, at(0)).empty())
            << pair << " " << steps << " " << rate;
    }
    EXPECT_FALSE(model.turning(at(0)));
    EXPECT_EQ(model.turn(8, -10000, 1000, at(0)).size(), 10000u);
}

}  // namespace
}  // namespace rotorix::sim
