// What the session reads of a board: identity, version, settings, and what it does when the
// board's answers are missing, out of range or too short to use.
#include "session_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

class ReadBack : public SessionTest {};
class Identity : public SessionTest {};
class ReadBackFailure : public SessionTest {};
class OddValues : public SessionTest {};

// ---- Settings ----

TEST_F(ReadBack, ReadsTheFourSettingsInOrderAndWritesNothingBack) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 1);
    const BoardId board = addBoard(design);
    start();
    EXPECT_TRUE(loaded());
    EXPECT_EQ(shown().settings, (config::BoardSettings{{0x03, 0x06}, 6, 1}));
    EXPECT_EQ(shownTypes(), kSaneTypes);
    EXPECT_EQ(received(board), readBack(9));
}

TEST_F(ReadBack, PairNTakesBitNMinus1OfEachPlane) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::EncoderLowPlane, 0xA5);   // 1010 0101
    setBoardSetting(design, Setting::EncoderHighPlane, 0x3C);  // 0011 1100
    setBoardSetting(design, Setting::PulseLength, 25);
    addBoard(design);
    start();
    EXPECT_EQ(shownTypes(),
              (std::vector<std::string>{"1:1", "OFF", "1:4", "1:2", "1:2", "1:4", "OFF", "1:1"}));
    EXPECT_EQ(shown().settings->pulse_code, 25);
    EXPECT_EQ(shown().settings->hide_flag, 0);
}

TEST_F(ReadBack, FollowsTheFeatureReportLength) {
    for (std::uint16_t length : {std::uint16_t{4}, std::uint16_t{65}}) {
        SCOPED_TRACE(length);
        SimPlatform local;
        sim::BoardSpec design = saneBoard();
        design.lengths = {9, 0, length};
        const BoardId board = local.addBoard(design);
        BoardSession own(local);
        own.start();
        EXPECT_TRUE(own.snapshot().settings.has_value());
        EXPECT_EQ(own.deviceCaps().feature, length);
        EXPECT_EQ(local.firmware(board).received(), readBack(length));
    }
}

// ---- Identity and version ----

TEST_F(Identity, KeepsManufacturerProductAndSerialAsWholeUtf16Text) {
    const BoardId first = addBoard(saneBoard(u"RX-\u0141"));
    sim::BoardSpec design = saneBoard(u"RX-\u0241");
    design.manufacturer = u"\u00E9";
    design.product = u"A\u0100B \u65E5\u672C";
    const BoardId second = addBoard(design);
    start();
    // Serials that differ only above the low byte are two boards.
    EXPECT_EQ(shown().serials, (std::vector<std::u16string>{u"RX-\u0141", u"RX-\u0241"}));
    EXPECT_EQ(shown().selected, 1);
    EXPECT_EQ(platform.openHandles(first), 0);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(shown().manufacturer, u"\u00E9");
    EXPECT_EQ(shown().product, u"A\u0100B \u65E5\u672C");
}

struct VersionCase {
    std::uint16_t version;
    const char* caption;
    Firmware firmware;
};
std::ostream& operator<<(std::ostream& out, const VersionCase& c) {
    return out << "version 0x" << std::hex << c.version << " -> \"" << c.caption << '"';
}

class VersionCaption : public SessionTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCaption, MajorInDecimalMinorInHex) {
    sim::BoardSpec design = saneBoard();
    design.version = GetParam().version;
    const BoardId board = addBoard(design);
    start();
    EXPECT_EQ(shown().version_caption, GetParam().caption);
    EXPECT_EQ(shown().version, GetParam().version);
    EXPECT_EQ(shown().firmware, GetParam().firmware);
    EXPECT_EQ(session.snapshot().settings.has_value(), GetParam().firmware == Firmware::Ready);
    if (GetParam().firmware == Firmware::TooOld) {
        // Firmware 0.0 is left alone, also by later ticks: an old board is not a failed one.
        tick(2);
        EXPECT_TRUE(session.snapshot().board_open);
        EXPECT_FALSE(shown().settings);
        EXPECT_EQ(shown().manufacturer, u"Rotorix");
        EXPECT_EQ(platform.callCount(board, Call::Open), 2);
        EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
        EXPECT_EQ(platform.callCount(board, Call::GetFeature), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Identity, VersionCaption,
                         ::testing::Values(VersionCase{0x0104, " 1.4", Firmware::Ready},
                                           VersionCase{0x010A, " 1.A", Firmware::Ready},
                                           VersionCase{0x0110, " 1.10", Firmware::Ready},
                                           VersionCase{0x0200, " 2.0", Firmware::Ready},
                                           VersionCase{0x0001, " 0.1", Firmware::Ready},
                                           VersionCase{0x8001, " 128.1", Firmware::Ready},
                                           VersionCase{0xFFFF, " 255.FF", Firmware::Ready},
                                           VersionCase{0x0000, " 0.0 - upgrade firmware!",
                                                       Firmware::TooOld}));

TEST_F(Identity, WithoutManufacturerOnlyTheUpgradeSuffixIsShown) {
    sim::BoardSpec design = saneBoard();
    design.manufacturer.reset();
    const BoardId board = addBoard(design);
    start();
    EXPECT_FALSE(shown().manufacturer);
    EXPECT_FALSE(shown().version) << "a version is only shown beside a manufacturer";
    EXPECT_EQ(shown().version_caption, " - upgrade firmware!");
    EXPECT_EQ(shown().product, u"Rotary Encoder Board");
    EXPECT_EQ(shown().firmware, Firmware::TooOld);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_TRUE(received(board).empty());
}

TEST_F(Identity, WithoutProductTheBoardIsStillConfigured) {
    sim::BoardSpec design = saneBoard();
    design.product.reset();
    addBoard(design);
    start();
    EXPECT_FALSE(shown().product);
    EXPECT_EQ(shown().manufacturer, u"Rotorix");
    EXPECT_TRUE(session.snapshot().settings.has_value());
}

// ---- A read-back whose exchanges fail ----

struct FailedExchange {
    Call call;
    const char* name;
};
std::ostream& operator<<(std::ostream& out, const FailedExchange& e) {
    return out << e.name;
}

class ReadBackExchangeFails : public SessionTest,
                              public ::testing::WithParamInterface<FailedExchange> {};

TEST_P(ReadBackExchangeFails, GateStaysShutAndTheBoardIsReopened) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::EncoderLowPlane, 0xFF);
    setBoardSetting(design, Setting::EncoderHighPlane, 0xFF);
    const BoardId board = addBoard(design);
    platform.failCall(board, GetParam().call, 1);
    start();

    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(shown().settings);
    EXPECT_EQ(shown().manufacturer, u"Rotorix") << "the identity was readable";
    EXPECT_EQ(shown().last_error, "Input/output error");
    const int sends = platform.callCount(board, Call::SendFeature);
    EXPECT_EQ(session.writeEncoderTypes(Types{}), WriteOutcome::NotSent);
    EXPECT_EQ(session.writePulseCode(1), WriteOutcome::NotSent);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::NotSent);
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), sends) << "the write gate opened";

    forgetTraffic(board);
    const int opens = platform.callCount(board, Call::Open);
    tickUntilReopened(board);
    EXPECT_GT(platform.callCount(board, Call::Open), opens) << "the dead connection was kept";
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(shownTypes(), std::vector<std::string>(8, "1:4"));
    EXPECT_TRUE(shown().last_error.empty()) << "the words outlived the failure";
}

INSTANTIATE_TEST_SUITE_P(ReadBackFailure, ReadBackExchangeFails,
                         ::testing::Values(FailedExchange{Call::GetFeature, "GetFeature"},
                                           FailedExchange{Call::SendFeature, "SendFeature"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ReadBackFailure, LaterExchangeFailingShowsNothingHalfRead) {
    const BoardId board = addBoard();
    start();
    // The board stops answering after the second fetch of the next read-back.
    platform.unplugAfter(board, Call::GetFeature, 2);
    platform.unplug(board);
    tick();
    platform.replug(board);
    tick();
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(shown().settings);
    EXPECT_EQ(shown().last_error, "No such device");
    platform.replug(board);
    tick();
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_EQ(shownTypes(), kSaneTypes);
}

TEST_F(ReadBackFailure, ShortRepliesAreNotTakenAsValues) {
    const BoardId board = addBoard();
    platform.setShortFeatureReply(board, 2);  // report ID and setting code, no value
    start();
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(shown().settings);
    platform.setShortFeatureReply(board, 0);
    tickUntilReopened(board);
    EXPECT_TRUE(session.snapshot().settings.has_value());
}

TEST_F(ReadBackFailure, PersistentFailureKeepsRetryingWithoutWriting) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::GetFeature, -1);
    start();
    tick(4);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(shown().settings);
    EXPECT_LE(platform.openHandles(), 1);
    EXPECT_TRUE(writesTo(board).empty());

    platform.clearFailures();
    tickUntilReopened(board);
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_EQ(shownTypes(), kSaneTypes);
}

// A board that answers its liveness reads but refuses every fetch is unreadable, not gone: it
// stays shown, is told about once, and is reopened at growing intervals so that it cannot hold
// the caller on every tick.
TEST_F(ReadBackFailure, AnsweringBoardThatRefusesFetchesIsRetriedWithBackOffNotLost) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::GetFeature, -1);
    start();
    EXPECT_EQ(shown().notice,
              "The board's settings could not be read (Input/output error); "
              "trying again");
    const std::uint64_t generation = session.generation();

    std::vector<int> waits;
    for (int attempt = 0; attempt < 5; ++attempt) {
        waits.push_back(tickUntilReopened(board));
    }
    EXPECT_EQ(waits, (std::vector<int>{1050, 2000, 4000, 8000, 8000}))
        << "the first tick runs at 50 ms";
    EXPECT_EQ(session.generation(), generation) << "an unchanged failure was shown again";
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(tick().lost) << "a board that answers was called disconnected";
    }
    EXPECT_TRUE(shown().board_open);
    EXPECT_EQ(shown().verdict(), session::Verdict::Unreadable);
    EXPECT_TRUE(writesTo(board).empty());

    platform.clearFailures();
    tickUntilReopened(board);
    EXPECT_EQ(shown().verdict(), session::Verdict::Ready);
    EXPECT_TRUE(shown().notice.empty());
}

// ---- Values outside their coding, and boards that cannot be configured ----

TEST_F(OddValues, AreKeptAsTheBoardHoldsThemAndNeverWrittenBack) {
    for (const auto& [pulse, hide] :
         {std::pair<std::uint8_t, std::uint8_t>{0, 2}, {26, 7}, {255, 0}, {1, 1}, {25, 0}}) {
        SCOPED_TRACE(::testing::Message() << "pulse " << int{pulse} << ", hide " << int{hide});
        SimPlatform local;
        sim::BoardSpec design = saneBoard();
        setBoardSetting(design, Setting::PulseLength, pulse);
        setBoardSetting(design, Setting::HideFromGameControllers, hide);
        const BoardId board = local.addBoard(design);
        BoardSession own(local);
        own.start();
        ASSERT_TRUE(own.snapshot().settings.has_value());
        EXPECT_EQ(own.snapshot().settings->pulse_code, pulse);
        EXPECT_EQ(own.snapshot().settings->hide_flag, hide);
        own.tick();
        EXPECT_EQ(local.firmware(board).received(), readBack(9));

        // A change of another setting writes that setting only; the odd values stay as they are.
        EXPECT_EQ(own.writeEncoderTypes({1, 3, 3, 0, 0, 0, 0, 0}), WriteOutcome::Taken);
        EXPECT_EQ(writesIn(local.firmware(board).received()),
                  (std::vector<Report>{settingWrite(9, Setting::EncoderLowPlane, 0x07),
                                       settingWrite(9, Setting::EncoderHighPlane, 0x06)}));
        EXPECT_EQ(own.snapshot().settings->pulse_code, pulse);
        EXPECT_EQ(own.snapshot().settings->hide_flag, hide);
    }
}

class ShortFeatureReport : public SessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShortFeatureReport, ShowsTheBoardButSendsItNothing) {
    sim::BoardSpec design = saneBoard();
    design.lengths = {9, 0, static_cast<std::uint16_t>(GetParam())};
    const BoardId board = addBoard(design);
    start();
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_EQ(shown().firmware, Firmware::NotConfigurable);
    EXPECT_EQ(shown().manufacturer, u"Rotorix");
    EXPECT_EQ(shown().version_caption, " 1.4");
    EXPECT_EQ(shown().serials, std::vector<std::u16string>{u"0001"});

    EXPECT_EQ(session.writeEncoderTypes(Types{}), WriteOutcome::NotSent);
    EXPECT_EQ(session.writePulseCode(1), WriteOutcome::NotSent);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::NotSent);
    tick(2);
    EXPECT_TRUE(received(board).empty());
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(board, Call::GetFeature), 0);
    EXPECT_TRUE(session.snapshot().board_open)
        << "a board that cannot be configured is still shown";
    EXPECT_EQ(platform.callCount(board, Call::Open), 2) << "and is not reopened on every tick";
}

INSTANTIATE_TEST_SUITE_P(OddValues, ShortFeatureReport, ::testing::Values(0, 1, 3));

}  // namespace
}  // namespace rotorix::test
