#include <gtest/gtest.h>

#include <vector>

#include "config/protocol.h"

namespace rotorix::config {
namespace {

TEST(EncoderPlanes, PackAndUnpackKnownAssignments) {
    struct Case {
        EncoderTypes types;
        EncoderPlanes planes;
    };
    const Case cases[] = {
        {{1, 3, 2, 0, 0, 0, 0, 0}, {0x03, 0x06}},
        {{0, 0, 0, 0, 0, 0, 0, 0}, {0x00, 0x00}},
        {{3, 3, 3, 3, 3, 3, 3, 3}, {0xFF, 0xFF}},
        {{0, 0, 0, 0, 0, 0, 0, 2}, {0x00, 0x80}},  // only pair 15-16 at "1:2"
        {{3, 0, 2, 1, 1, 1, 1, 1}, {0xF9, 0x05}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packEncoderTypes(c.types), c.planes);
        EXPECT_EQ(unpackEncoderTypes(c.planes), c.types);
    }
}

TEST(EncoderPlanes, EveryPlanePairSurvivesTheRoundTrip) {
    for (unsigned low = 0; low < 256; ++low) {
        for (unsigned high = 0; high < 256; ++high) {
            const EncoderPlanes planes{static_cast<std::uint8_t>(low),
                                       static_cast<std::uint8_t>(high)};
            const EncoderTypes types = unpackEncoderTypes(planes);
            for (auto type : types) {
                ASSERT_LT(type, kEncoderTypeCount);
            }
            ASSERT_EQ(packEncoderTypes(types), planes) << low << "/" << high;
        }
    }
}

TEST(PulseLength, CodesAndListIndicesCorrespond) {
    EXPECT_EQ(pulseIndexFromCode(1), 0);
    EXPECT_EQ(pulseIndexFromCode(6), 5);
    EXPECT_EQ(pulseIndexFromCode(25), 24);
    EXPECT_EQ(pulseIndexFromCode(0), std::nullopt);
    EXPECT_EQ(pulseIndexFromCode(26), std::nullopt);
    EXPECT_EQ(pulseIndexFromCode(255), std::nullopt);

    EXPECT_EQ(pulseCodeFromIndex(0), 1);
    EXPECT_EQ(pulseCodeFromIndex(5), 6);
    EXPECT_EQ(pulseCodeFromIndex(24), 25);
    EXPECT_EQ(pulseCodeFromIndex(-1), std::nullopt);
    EXPECT_EQ(pulseCodeFromIndex(25), std::nullopt);
}

TEST(ListTexts, MatchTheCodesTheyStandFor) {
    const auto pulses = pulseLengthTexts();
    ASSERT_EQ(pulses.size(), 25u);
    EXPECT_EQ(pulses.front(), "4 ms");
    EXPECT_EQ(pulses[5], "24 ms");
    EXPECT_EQ(pulses.back(), "100 ms");

    const auto& types = encoderTypeTexts();
    EXPECT_EQ(std::vector<std::string>(types.begin(), types.end()),
              (std::vector<std::string>{"OFF", "1:1", "1:2", "1:4"}));
}

TEST(VersionCaption, MajorInDecimalMinorInHex) {
    EXPECT_EQ(versionCaption(0x0104), " 1.4");
    EXPECT_EQ(versionCaption(0x010A), " 1.A");
    EXPECT_EQ(versionCaption(0x0110), " 1.10");
    EXPECT_EQ(versionCaption(0x0200), " 2.0");
    EXPECT_EQ(versionCaption(0x0000), " 0.0");
    // bcdDevice is unsigned: the top bit is no sign.
    EXPECT_EQ(versionCaption(0x8001), " 128.1");
    EXPECT_EQ(versionCaption(0xFFFF), " 255.FF");
}

TEST(VersionCaption, OnlyFirmwareZeroIsTooOld) {
    EXPECT_TRUE(firmwareTooOld(0x0000));
    EXPECT_FALSE(firmwareTooOld(0x0001));
    EXPECT_FALSE(firmwareTooOld(0x0100));
    EXPECT_FALSE(firmwareTooOld(0x8000));
}

// The builders write only the bytes their layout names: a fill pattern shows any other write.
class ReportBuilders : public ::testing::Test {
  protected:
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(9, 0xA5);
};

TEST_F(ReportBuilders, ReadRequestNamesBytesZeroAndOne) {
    setReadRequest(buffer, Setting::PulseLength);
    EXPECT_EQ(buffer,
              (std::vector<std::uint8_t>{0x00, 10, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));
}

TEST_F(ReportBuilders, WriteNamesBytesZeroToThree) {
    setSettingWrite(buffer, Setting::EncoderHighPlane, 0x06);
    EXPECT_EQ(buffer,
              (std::vector<std::uint8_t>{0x00, 0xEE, 9, 0x06, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));
}

TEST_F(ReportBuilders, LaterReportsInheritWhatTheirLayoutLeavesOut) {
    setSettingWrite(buffer, Setting::HideFromGameControllers, 1);
    setCommandB0(buffer);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x00, 0xB0, 1, 1, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));

    setReadRequest(buffer, Setting::EncoderLowPlane);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x00, 8, 1, 1, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));
}

TEST_F(ReportBuilders, FitTheShortestConfigurableReport) {
    std::vector<std::uint8_t> report(kMinFeatureLength, 0);
    setSettingWrite(report, Setting::PulseLength, 25);
    EXPECT_EQ(report, (std::vector<std::uint8_t>{0x00, 0xEE, 10, 25}));
}

}  // namespace
}  // namespace rotorix::config
