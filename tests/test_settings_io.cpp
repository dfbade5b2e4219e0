#include <gtest/gtest.h>

#include "config/settings_io.h"
#include "fixtures.h"

namespace rotorix::config {
namespace {

using sim::Call;
using test::paddedReport;
using Reports = std::vector<std::vector<std::uint8_t>>;

class SettingsIo : public ::testing::Test {
  protected:
    void SetUp() override { device = test::openDevice(platform, board); }

    const Reports& received() const { return platform.firmware(board).received(); }

    static constexpr std::uint16_t kLength = 9;
    sim::SimPlatform platform;
    sim::SimPlatform::BoardId board = platform.addBoard(test::saneBoard());
    hid::DeviceHandle device;
};

class ReadBackLength : public SettingsIo, public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(ReadBackLength, ReadsEightNineTenOneInReportsOfExactlyTheFeatureLength) {
    const std::uint16_t length = GetParam();
    platform.setReportLengths(board, {length, 0, length});

    const auto settings = readSettings(*device, length);

    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(*settings, (BoardSettings{{0x03, 0x06}, 6, 0}));
    EXPECT_EQ(received(), (Reports{paddedReport(length, {0, 8}), paddedReport(length, {0, 9}),
                                   paddedReport(length, {0, 10}), paddedReport(length, {0, 1})}));
    EXPECT_EQ(platform.callCount(Call::GetFeature), 4);
}

INSTANTIATE_TEST_SUITE_P(FeatureLengths, ReadBackLength, ::testing::Values(4, 9, 65));

TEST_F(SettingsIo, ReadBackKeepsValuesOutsideTheirCodingRaw) {
    auto& firmware = platform.firmware(board);
    firmware.setSetting(10, 0);
    firmware.setSetting(1, 2);

    const auto settings = readSettings(*device, kLength);

    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->pulse_code, 0);
    EXPECT_EQ(settings->hide_flag, 2);
}

TEST_F(SettingsIo, EncoderTypesGoOutLowPlaneThenHighPlane) {
    EXPECT_TRUE(writeEncoderTypes(*device, kLength, {1, 3, 2, 0, 0, 0, 0, 0}));

    EXPECT_EQ(received(), (Reports{paddedReport(kLength, {0, 0xEE, 8, 0x03}),
                                   paddedReport(kLength, {0, 0xEE, 9, 0x06})}));
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 0);
}

TEST_F(SettingsIo, PulseCodeIsOneWrite) {
    EXPECT_TRUE(writePulseCode(*device, kLength, 25));

    EXPECT_EQ(received(), (Reports{paddedReport(kLength, {0, 0xEE, 10, 25})}));
    EXPECT_EQ(platform.firmware(board).setting(10), 25);
}

TEST_F(SettingsIo, HideFlagIsFollowedByCommandB0CarryingTheWritesBytes) {
    EXPECT_TRUE(writeHideFlag(*device, kLength, 1));
    EXPECT_TRUE(writeHideFlag(*device, kLength, 0));

    EXPECT_EQ(
        received(),
        (Reports{paddedReport(kLength, {0, 0xEE, 1, 1}), paddedReport(kLength, {0, 0xB0, 1, 1}),
                 paddedReport(kLength, {0, 0xEE, 1, 0}), paddedReport(kLength, {0, 0xB0, 1, 0})}));
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 2);
}

TEST_F(SettingsIo, BoardTooShortToConfigureGetsNoTraffic) {
    for (std::uint16_t length : {std::uint16_t{0}, std::uint16_t{3}}) {
        EXPECT_FALSE(canConfigure(length));
        EXPECT_FALSE(readSettings(*device, length).has_value());
        EXPECT_FALSE(writeEncoderTypes(*device, length, {}));
        EXPECT_FALSE(writePulseCode(*device, length, 1));
        EXPECT_FALSE(writeHideFlag(*device, length, 1));
    }
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(Call::GetFeature), 0);
}

TEST_F(SettingsIo, RefusedReadRequestFailsTheReadBack) {
    platform.failCall(board, Call::SendFeature);

    EXPECT_FALSE(readSettings(*device, kLength).has_value());
}

TEST_F(SettingsIo, FailedOrShortFetchNeverYieldsAnEarlierValue) {
    auto channel = SettingsChannel::open(*device, kLength);
    ASSERT_TRUE(channel.has_value());
    ASSERT_EQ(channel->read(Setting::EncoderHighPlane), 0x06);

    platform.failCall(board, Call::SendFeature);
    EXPECT_EQ(channel->read(Setting::PulseLength), std::nullopt);

    platform.failCall(board, Call::GetFeature);
    EXPECT_EQ(channel->read(Setting::PulseLength), std::nullopt);

    platform.setShortFeatureReply(board, 2);
    EXPECT_EQ(channel->read(Setting::PulseLength), std::nullopt);

    // Three bytes are enough to carry the value.
    platform.setShortFeatureReply(board, 3);
    EXPECT_EQ(channel->read(Setting::PulseLength), 6);
}

TEST_F(SettingsIo, ShortRepliesFailTheReadBack) {
    platform.setShortFeatureReply(board, 2);

    EXPECT_FALSE(readSettings(*device, kLength).has_value());
}

TEST_F(SettingsIo, BothPlanesGoOutEvenWhenTheFirstIsRefused) {
    platform.failCall(board, Call::SendFeature);

    EXPECT_FALSE(writeEncoderTypes(*device, kLength, {1, 3, 2, 0, 0, 0, 0, 0}));

    EXPECT_EQ(platform.callCount(Call::SendFeature), 2);
    EXPECT_EQ(received(), (Reports{paddedReport(kLength, {0, 0xEE, 9, 0x06})}));
}

TEST_F(SettingsIo, LostHighPlaneFailsTheWrite) {
    platform.unplugAfter(board, Call::SendFeature, 1);

    EXPECT_FALSE(writeEncoderTypes(*device, kLength, {3, 3, 3, 3, 3, 3, 3, 3}));
    EXPECT_EQ(received(), (Reports{paddedReport(kLength, {0, 0xEE, 8, 0xFF})}));
}

TEST_F(SettingsIo, CommandB0GoesOutEvenWhenTheHideWriteIsRefused) {
    platform.failCall(board, Call::SendFeature);

    EXPECT_FALSE(writeHideFlag(*device, kLength, 1));

    EXPECT_EQ(received(), (Reports{paddedReport(kLength, {0, 0xB0, 1, 1})}));
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 1);
}

TEST_F(SettingsIo, BoardUnpluggedMidReadBackFailsIt) {
    for (Call call : {Call::SendFeature, Call::GetFeature}) {
        SCOPED_TRACE(static_cast<int>(call));
        platform.replug(board);
        device = test::openDevice(platform, board);
        platform.unplugAfter(board, call, 2);

        EXPECT_FALSE(readSettings(*device, kLength).has_value());
        EXPECT_FALSE(writePulseCode(*device, kLength, 1));
        EXPECT_FALSE(platform.plugged(board));
    }
}

}  // namespace
}  // namespace rotorix::config
