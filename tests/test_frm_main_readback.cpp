// What the window shows of a board: identity, version, settings, and what it does when the board's
// answers are missing, out of range or too short to use.
#include "window_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

class ReadBack : public WindowTest {};
class Identity : public WindowTest {};
class ReadBackFailure : public WindowTest {};
class OddValues : public WindowTest {};

const std::vector<std::string> kSaneTypes{"1:1", "1:4", "1:2", "OFF", "OFF", "OFF", "OFF", "OFF"};

// ---- Settings ----

TEST_F(ReadBack, ShowsTheBoardsSettings) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 1);
    const BoardId board = addBoard(design);
    frmMain& window = load();

    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(shownTypes(), kSaneTypes);
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("24 ms"));
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_TRUE(settingControlsEnabled());
    for (const char* label : {"Label1", "Label6", "Label9", "Label13"}) {
        EXPECT_TRUE(control<QWidget>(label)->isEnabled()) << label;
    }
    EXPECT_TRUE(control<QWidget>("Frame3")->isEnabled());
    // Exactly the four read requests, in order, each as long as the feature report; nothing
    // the refresh selected was written back.
    EXPECT_EQ(received(board), readBack(9));
}

TEST_F(ReadBack, ListsHoldTheirItemsInOrder) {
    addBoard();
    load();
    for (int n = 1; n <= 8; ++n) {
        ASSERT_EQ(enc(n)->count(), 4);
        EXPECT_EQ(enc(n)->itemText(0), QStringLiteral("OFF"));
        EXPECT_EQ(enc(n)->itemText(1), QStringLiteral("1:1"));
        EXPECT_EQ(enc(n)->itemText(2), QStringLiteral("1:2"));
        EXPECT_EQ(enc(n)->itemText(3), QStringLiteral("1:4"));
    }
    ASSERT_EQ(pulse()->count(), 25);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(pulse()->itemText(i), QStringLiteral("%1 ms").arg(4 * (i + 1)));
    }
}

TEST_F(ReadBack, PairNTakesBitNMinus1OfEachPlane) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::EncoderLowPlane, 0xA5);   // 1010 0101
    setBoardSetting(design, Setting::EncoderHighPlane, 0x3C);  // 0011 1100
    setBoardSetting(design, Setting::PulseLength, 25);
    addBoard(design);
    load();
    EXPECT_EQ(shownTypes(),
              (std::vector<std::string>{"1:1", "OFF", "1:4", "1:2", "1:2", "1:4", "OFF", "1:1"}));
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("100 ms"));
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
}

TEST_F(ReadBack, FollowsTheFeatureReportLength) {
    for (std::uint16_t length : {std::uint16_t{4}, std::uint16_t{65}}) {
        SCOPED_TRACE(length);
        SimPlatform local;
        sim::BoardSpec design = saneBoard();
        design.lengths = {9, 0, length};
        const BoardId board = local.addBoard(design);
        frmMain window(local);
        window.Form_Load();
        EXPECT_TRUE(window.settingsLoaded());
        EXPECT_EQ(local.firmware(board).received(), readBack(length));
        window.Form_Unload();
    }
}

TEST_F(ReadBack, RepeatedRefreshesNeverPileUpItems) {
    const BoardId board = addBoard();
    load();
    for (int round = 0; round < 3; ++round) {
        platform.unplug(board);
        tick();
        platform.replug(board);
        tick(2);
    }
    ASSERT_TRUE(window().settingsLoaded());
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(enc(n)->count(), 4);
    }
    EXPECT_EQ(pulse()->count(), 25);
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_EQ(shownTypes(), kSaneTypes);
}

// ---- Identity and version ----

TEST_F(Identity, ShowsManufacturerAndProductAfterASpace) {
    sim::BoardSpec design = saneBoard();
    design.manufacturer = u"ACM";
    design.product = u"Rotary Encoder Board";
    addBoard(design);
    load();
    EXPECT_EQ(caption("lblManuf"), QStringLiteral(" ACM"));
    EXPECT_EQ(caption("lblProduct"), QStringLiteral(" Rotary Encoder Board"));
    EXPECT_TRUE(caption("lblSerialNumber").isEmpty());
}

struct VersionCase {
    std::uint16_t version;
    const char* caption;
};
std::ostream& operator<<(std::ostream& out, const VersionCase& c) {
    return out << "version 0x" << std::hex << c.version << " -> \"" << c.caption << '"';
}

class VersionCaption : public WindowTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCaption, MajorInDecimalMinorInHex) {
    sim::BoardSpec design = saneBoard();
    design.version = GetParam().version;
    addBoard(design);
    load();
    EXPECT_EQ(caption("lblVersion"), QString::fromLatin1(GetParam().caption));
    EXPECT_TRUE(window().settingsLoaded());
}

INSTANTIATE_TEST_SUITE_P(Identity, VersionCaption,
                         ::testing::Values(VersionCase{0x0104, " 1.4"}, VersionCase{0x010A, " 1.A"},
                                           VersionCase{0x0110, " 1.10"},
                                           VersionCase{0x0200, " 2.0"}, VersionCase{0x0001, " 0.1"},
                                           VersionCase{0x8001, " 128.1"},
                                           VersionCase{0xFFFF, " 255.FF"}));

TEST_F(Identity, FirmwareZeroAsksForAnUpgradeAndIsLeftAlone) {
    sim::BoardSpec design = saneBoard();
    design.version = 0x0000;
    const BoardId board = addBoard(design);
    frmMain& window = load();
    EXPECT_EQ(caption("lblVersion"), QStringLiteral(" 0.0 - upgrade firmware!"));
    EXPECT_EQ(caption("lblManuf"), QStringLiteral(" Rotorix"));
    EXPECT_TRUE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(control<QWidget>("Frame1")->isEnabled());
    EXPECT_FALSE(control<QWidget>("Frame3")->isEnabled());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(board, Call::GetFeature), 0);

    tick(2);  // an old board is not a failed one: it stays open, still untouched
    EXPECT_EQ(platform.callCount(board, Call::Open), 2);
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
}

TEST_F(Identity, WithoutManufacturerOnlyTheUpgradeSuffixIsShown) {
    sim::BoardSpec design = saneBoard();
    design.manufacturer.reset();
    const BoardId board = addBoard(design);
    load();
    EXPECT_TRUE(caption("lblManuf").isEmpty());
    EXPECT_EQ(caption("lblVersion"), QStringLiteral(" - upgrade firmware!"));
    EXPECT_EQ(caption("lblProduct"), QStringLiteral(" Rotary Encoder Board"));
    EXPECT_FALSE(window().settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_TRUE(received(board).empty());
}

TEST_F(Identity, WithoutProductTheProductLabelStaysEmpty) {
    sim::BoardSpec design = saneBoard();
    design.product.reset();
    addBoard(design);
    load();
    EXPECT_TRUE(caption("lblProduct").isEmpty());
    EXPECT_TRUE(window().settingsLoaded());
}

TEST_F(Identity, StringsAreWholeUtf16Text) {
    sim::BoardSpec design = saneBoard();
    design.manufacturer = u"\u00E9";
    design.product = u"A\u0100B \u65E5\u672C";
    addBoard(design);
    load();
    EXPECT_EQ(caption("lblManuf"), QString(QChar(0x20)) + QChar(0xE9));
    EXPECT_EQ(caption("lblProduct"), QStringLiteral(" A\u0100B \u65E5\u672C"));
}

TEST_F(Identity, SerialsDifferingOnlyAboveTheLowByteAreTwoBoards) {
    const BoardId first = addBoard(saneBoard(u"RX-\u0141"));
    const BoardId second = addBoard(saneBoard(u"RX-\u0241"));
    load();
    ASSERT_EQ(serNo()->count(), 2);
    EXPECT_EQ(serNo()->itemText(0), QStringLiteral("RX-\u0141"));
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("RX-\u0241"));
    EXPECT_EQ(platform.openHandles(first), 0);
    EXPECT_EQ(platform.openHandles(second), 1);
}

TEST_F(Identity, DisconnectEmptiesTheIdentityLabels) {
    const BoardId board = addBoard();
    load();
    ASSERT_FALSE(caption("lblManuf").isEmpty());
    platform.unplug(board);
    tick();
    EXPECT_TRUE(caption("lblManuf").isEmpty());
    EXPECT_TRUE(caption("lblProduct").isEmpty());
    EXPECT_TRUE(caption("lblVersion").isEmpty());
}

// ---- A read-back whose exchanges fail ----

struct FailedExchange {
    Call call;
    const char* name;
};
std::ostream& operator<<(std::ostream& out, const FailedExchange& e) {
    return out << e.name;
}

class ReadBackExchangeFails : public WindowTest,
                              public ::testing::WithParamInterface<FailedExchange> {};

TEST_P(ReadBackExchangeFails, ControlsStayClosedAndTheNextTickReopens) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::EncoderLowPlane, 0xFF);
    setBoardSetting(design, Setting::EncoderHighPlane, 0xFF);
    const BoardId board = addBoard(design);
    platform.failCall(board, GetParam().call, 1);
    frmMain& window = load();

    EXPECT_TRUE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_EQ(caption("lblManuf"), QStringLiteral(" Rotorix")) << "the identity was readable";
    const int sends = platform.callCount(board, Call::SendFeature);
    window.Enc1_Click();
    window.ModeCh1_Click();
    window.NoJoy_Click();
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), sends) << "the write gate opened";

    forgetTraffic(board);
    const int opens = platform.callCount(board, Call::Open);
    tick();
    EXPECT_GT(platform.callCount(board, Call::Open), opens) << "the dead connection was kept";
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(shownTypes(), std::vector<std::string>(8, "1:4"));
}

INSTANTIATE_TEST_SUITE_P(ReadBackFailure, ReadBackExchangeFails,
                         ::testing::Values(FailedExchange{Call::GetFeature, "GetFeature"},
                                           FailedExchange{Call::SendFeature, "SendFeature"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ReadBackFailure, LaterExchangeFailingShowsNothingHalfRead) {
    const BoardId board = addBoard();
    frmMain& window = load();
    // The board stops answering after the second fetch of the next read-back.
    platform.unplugAfter(board, Call::GetFeature, 2);
    platform.unplug(board);
    tick();
    platform.replug(board);
    tick();
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    platform.replug(board);
    tick();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(shownTypes(), kSaneTypes);
}

TEST_F(ReadBackFailure, ShortRepliesAreNotTakenAsValues) {
    const BoardId board = addBoard();
    platform.setShortFeatureReply(board, 2);  // report ID and setting code, no value
    frmMain& window = load();
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    platform.setShortFeatureReply(board, 0);
    tick();
    EXPECT_TRUE(window.settingsLoaded());
}

TEST_F(ReadBackFailure, PersistentFailureKeepsRetryingWithoutWriting) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::GetFeature, -1);
    frmMain& window = load();
    tick(4);
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_LE(platform.openHandles(), 1);
    EXPECT_TRUE(writesTo(board).empty());

    platform.clearFailures();
    tick();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(shownTypes(), kSaneTypes);
}

// ---- Values outside their coding, and boards that cannot be configured ----

class PulseOutOfRange : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(PulseOutOfRange, LeavesThePulseListWithoutSelectionAndWritesNothing) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::PulseLength, static_cast<std::uint8_t>(GetParam()));
    const BoardId board = addBoard(design);
    frmMain& window = load();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_TRUE(pulse()->isEnabled());
    EXPECT_EQ(pulse()->count(), 25);
    EXPECT_EQ(pulse()->currentIndex(), -1);
    EXPECT_EQ(received(board), readBack(9));

    // A change to another control writes that control only; the odd pulse code stays as it is.
    press(enc(4), Qt::Key_Down);
    for (const Report& report : writesTo(board)) {
        EXPECT_NE(report[2], code(Setting::PulseLength)) << hex(report);
    }
    EXPECT_EQ(boardSetting(platform, board, Setting::PulseLength), GetParam());
}

INSTANTIATE_TEST_SUITE_P(OddValues, PulseOutOfRange, ::testing::Values(0, 26, 255));

TEST_F(OddValues, PulseCodesAtTheEdgesSelectTheEndItems) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::PulseLength, 1);
    addBoard(design);
    setBoardSetting(design, Setting::PulseLength, 25);
    design.serial = u"0002";
    const BoardId last = addBoard(design);
    load();
    EXPECT_EQ(pulse()->currentIndex(), 24);
    platform.unplug(last);
    tick();
    EXPECT_EQ(pulse()->currentIndex(), 0);
}

TEST_F(OddValues, HideFlagTwoShowsThePartialStateAndIsNotWrittenBack) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 2);
    const BoardId board = addBoard(design);
    frmMain& window = load();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(noJoy()->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(received(board), readBack(9));
    tick();
    EXPECT_TRUE(writesTo(board).empty());

    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(writesTo(board),
              (std::vector<Report>{settingWrite(9, Setting::HideFromGameControllers, 1),
                                   commandB0(9, Setting::HideFromGameControllers, 1)}));
    // From now on the box is two-state: clicks toggle, they never go back to grey.
    forgetTraffic(board);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(writesTo(board),
              (std::vector<Report>{settingWrite(9, Setting::HideFromGameControllers, 0),
                                   commandB0(9, Setting::HideFromGameControllers, 0),
                                   settingWrite(9, Setting::HideFromGameControllers, 1),
                                   commandB0(9, Setting::HideFromGameControllers, 1)}));
}

TEST_F(OddValues, HideFlagAboveTwoAlsoShowsThePartialState) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 7);
    const BoardId board = addBoard(design);
    load();
    EXPECT_EQ(noJoy()->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(writesTo(board).empty());
}

TEST_F(OddValues, ABoardBackInRangeLeavesNoGreyBehind) {
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::HideFromGameControllers, 2);
    const BoardId board = addBoard(design);
    load();
    platform.firmware(board).setSetting(code(Setting::HideFromGameControllers), 0);
    platform.unplug(board);
    tick();
    platform.replug(board);
    tick();
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_FALSE(noJoy()->isTristate());
}

class ShortFeatureReport : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShortFeatureReport, ShowsTheBoardButSendsItNothing) {
    sim::BoardSpec design = saneBoard();
    design.lengths = {9, 0, static_cast<std::uint16_t>(GetParam())};
    const BoardId board = addBoard(design);
    frmMain& window = load();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_EQ(caption("lblManuf"), QStringLiteral(" Rotorix"));
    EXPECT_EQ(caption("lblVersion"), QStringLiteral(" 1.4"));
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("0001"));
    EXPECT_TRUE(settingControlsClearedAndDisabled());

    window.Enc1_Click();
    window.ModeCh1_Click();
    window.NoJoy_Click();
    tick(2);
    EXPECT_TRUE(received(board).empty());
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(board, Call::GetFeature), 0);
    EXPECT_TRUE(window.deviceFound()) << "a board that cannot be configured is still shown";
    EXPECT_EQ(platform.callCount(board, Call::Open), 2) << "and is not reopened on every tick";
}

INSTANTIATE_TEST_SUITE_P(OddValues, ShortFeatureReport, ::testing::Values(0, 1, 3));

}  // namespace
}  // namespace rotorix::test
