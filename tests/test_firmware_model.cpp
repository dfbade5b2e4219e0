#include <gtest/gtest.h>

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

}  // namespace
}  // namespace rotorix::sim
