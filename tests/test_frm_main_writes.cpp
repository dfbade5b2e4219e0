// Every change the user makes goes to the board at once, byte for byte, and only when the window
// shows the board's own settings.
#include <tuple>

#include "window_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

// ---- Encoder types ----

struct EncoderPick {
    const char* name;
    std::uint8_t low, high;  // the board's planes before the pick
    int list;                // Enc1..Enc8
    Qt::Key key;
    std::uint8_t wantLow, wantHigh;
};
std::ostream& operator<<(std::ostream& out, const EncoderPick& p) {
    return out << p.name;
}

const EncoderPick kEncoderPicks[] = {
    // Enc1 1:1 -> OFF leaves every pair off.
    {"AllOff", 0x01, 0x00, 1, Qt::Key_Up, 0x00, 0x00},
    // Enc8 1:2 -> 1:4 with every other pair on 1:4.
    {"AllQuarter", 0x7F, 0xFF, 8, Qt::Key_Down, 0xFF, 0xFF},
    // Enc1 1:4, Enc2 OFF, Enc3 1:1 -> 1:2, Enc4..Enc8 1:1.
    {"Mixed", 0xFD, 0x01, 3, Qt::Key_Down, 0xF9, 0x05},
    // Only Enc8 on, 1:1 -> 1:2: the most significant bit of the high plane.
    {"OnlyPair8Half", 0x80, 0x00, 8, Qt::Key_Down, 0x00, 0x80},
    // Enc5 OFF -> 1:1 on the sane board: both planes go out with all eight pairs.
    {"OnlyPair5Changes", 0x03, 0x06, 5, Qt::Key_Down, 0x13, 0x06},
};

class EncoderWrite : public WindowTest,
                     public ::testing::WithParamInterface<std::tuple<EncoderPick, int>> {};

TEST_P(EncoderWrite, SendsBothPlanesAsLongAsTheFeatureReport) {
    const auto& [pick, length] = GetParam();
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = static_cast<std::uint16_t>(length);
    setBoardSetting(design, Setting::EncoderLowPlane, pick.low);
    setBoardSetting(design, Setting::EncoderHighPlane, pick.high);
    const BoardId board = addBoard(design);
    load();
    ASSERT_TRUE(window().settingsLoaded());
    forgetTraffic(board);

    press(enc(pick.list), pick.key);

    const auto size = static_cast<std::size_t>(length);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(size, Setting::EncoderLowPlane, pick.wantLow),
                                   settingWrite(size, Setting::EncoderHighPlane, pick.wantHigh)}));
    EXPECT_EQ(boardSetting(platform, board, Setting::EncoderLowPlane), pick.wantLow);
    EXPECT_EQ(boardSetting(platform, board, Setting::EncoderHighPlane), pick.wantHigh);
}

INSTANTIATE_TEST_SUITE_P(Writes, EncoderWrite,
                         ::testing::Combine(::testing::ValuesIn(kEncoderPicks),
                                            ::testing::Values(4, 9, 65)),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_Length" +
                                    std::to_string(std::get<1>(row.param));
                         });

class Writes : public WindowTest {};

TEST_F(Writes, EncoderListKeepsTheUsersChoiceWithoutReadingBack) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    press(enc(3), Qt::Key_Down);
    EXPECT_EQ(enc(3)->currentText(), QStringLiteral("1:4"));
    EXPECT_EQ(writesTo(board).size(), received(board).size()) << "a write was followed by a read";
}

// ---- Pulse length ----

struct PulsePick {
    const char* name;
    std::uint8_t before;
    Qt::Key key;
    std::uint8_t want;
};
std::ostream& operator<<(std::ostream& out, const PulsePick& p) {
    return out << p.name;
}

class PulseWrite : public WindowTest, public ::testing::WithParamInterface<PulsePick> {};

TEST_P(PulseWrite, SendsTheCodeOfThePickedLength) {
    const PulsePick& pick = GetParam();
    sim::BoardSpec design = saneBoard();
    setBoardSetting(design, Setting::PulseLength, pick.before);
    const BoardId board = addBoard(design);
    load();
    forgetTraffic(board);
    press(pulse(), pick.key);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(9, Setting::PulseLength, pick.want)}));
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("%1 ms").arg(4 * pick.want));
}

INSTANTIATE_TEST_SUITE_P(Writes, PulseWrite,
                         ::testing::Values(PulsePick{"Shortest4ms", 6, Qt::Key_Home, 1},
                                           PulsePick{"Pick24ms", 5, Qt::Key_Down, 6},
                                           PulsePick{"Longest100ms", 6, Qt::Key_End, 25},
                                           PulsePick{"FromNoSelection", 0, Qt::Key_Down, 1}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Hide from gaming devices ----

class HideWrite : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(HideWrite, CheckingSendsTheFlagThenCommandB0) {
    const auto length = static_cast<std::size_t>(GetParam());
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = static_cast<std::uint16_t>(length);
    const BoardId board = addBoard(design);
    load();
    forgetTraffic(board);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(length, Setting::HideFromGameControllers, 1),
                                   commandB0(length, Setting::HideFromGameControllers, 1)}));
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 1);
}

TEST_P(HideWrite, UncheckingSendsZeroThenCommandB0) {
    const auto length = static_cast<std::size_t>(GetParam());
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = static_cast<std::uint16_t>(length);
    setBoardSetting(design, Setting::HideFromGameControllers, 1);
    const BoardId board = addBoard(design);
    load();
    forgetTraffic(board);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(length, Setting::HideFromGameControllers, 0),
                                   commandB0(length, Setting::HideFromGameControllers, 0)}));
}

INSTANTIATE_TEST_SUITE_P(Writes, HideWrite, ::testing::Values(4, 9, 65));

TEST_F(Writes, CommandB0GoesOutEvenWhenTheFlagWriteIsRefused) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    platform.failCall(board, Call::SendFeature, 1);
    click(noJoy());
    ASSERT_FALSE(received(board).empty());
    EXPECT_EQ(received(board).front(), commandB0(9, Setting::HideFromGameControllers, 1));
}

// ---- When nothing may be written ----

// Every way a user, or a notification the window raises itself, could ask for a write.
class NoWrite : public WindowTest {
  protected:
    void tryEveryChange() {
        press(enc(1), Qt::Key_Down);
        press(pulse(), Qt::Key_Down);
        click(noJoy());
        window().Enc1_Click();
        window().Enc8_Click();
        window().ModeCh1_Click();
        window().NoJoy_Click();
    }
};

TEST_F(NoWrite, WithoutABoard) {
    load();
    tryEveryChange();
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
}

TEST_F(NoWrite, AfterTheBoardWasLost) {
    const BoardId board = addBoard();
    load();
    platform.unplug(board);
    tick();
    const int sends = platform.callCount(Call::SendFeature);
    tryEveryChange();
    EXPECT_EQ(platform.callCount(Call::SendFeature), sends);
}

TEST_F(NoWrite, ToABoardWithOldFirmware) {
    sim::BoardSpec design = saneBoard();
    design.version = 0;
    const BoardId board = addBoard(design);
    load();
    tryEveryChange();
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
    EXPECT_TRUE(received(board).empty());
}

TEST_F(NoWrite, WhileReconnectingOrSwitching) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    load();
    press(serNo(), Qt::Key_Up);  // switch to RX-1
    ASSERT_EQ(platform.openHandles(first), 1);
    platform.unplug(first);
    tick();  // lost: RX-2 is opened in the same tick
    ASSERT_EQ(platform.openHandles(second), 1);
    platform.replug(first);
    tick(2);
    EXPECT_TRUE(writesTo(first).empty());
    EXPECT_TRUE(writesTo(second).empty());
    EXPECT_EQ(received(second).size(), 8u) << "two read-backs, nothing else";
}

// ---- A write the board refuses ----

class RefusedWrite : public WindowTest {};

TEST_F(RefusedWrite, EncoderPickIsReplacedByWhatTheBoardHolds) {
    const BoardId board = addBoard();
    load();
    // Someone else changed the board meanwhile, so its values differ from the window's.
    platform.firmware(board).setSetting(code(Setting::EncoderLowPlane), 0x10);
    forgetTraffic(board);
    platform.failCall(board, Call::SendFeature, 1);  // the low plane is refused

    press(enc(3), Qt::Key_Down);

    std::vector<Report> expected{settingWrite(9, Setting::EncoderHighPlane, 0x06)};
    for (const Report& read : readBack(9)) {
        expected.push_back(read);
    }
    EXPECT_EQ(received(board), expected);
    EXPECT_TRUE(window().settingsLoaded());
    EXPECT_EQ(shownTypes(),
              (std::vector<std::string>{"OFF", "1:2", "1:2", "OFF", "1:1", "OFF", "OFF", "OFF"}));
}

TEST_F(RefusedWrite, PulsePickIsReplacedByWhatTheBoardHolds) {
    const BoardId board = addBoard();
    load();
    platform.firmware(board).setSetting(code(Setting::PulseLength), 12);
    forgetTraffic(board);
    platform.failCall(board, Call::SendFeature, 1);
    press(pulse(), Qt::Key_Down);
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("48 ms"));
    EXPECT_TRUE(window().settingsLoaded());
}

TEST_F(RefusedWrite, HideClickIsReplacedByWhatTheBoardHolds) {
    const BoardId board = addBoard();
    load();
    platform.firmware(board).setSetting(code(Setting::EncoderLowPlane), 0xFF);
    platform.failCall(board, Call::SendFeature, 1);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_EQ(boardSetting(platform, board, Setting::HideFromGameControllers), 0);
    EXPECT_EQ(enc(4)->currentText(), QStringLiteral("1:1")) << "the whole window was reloaded";
}

TEST_F(RefusedWrite, WhenTheReloadFailsTooTheWatchdogReconnects) {
    const BoardId board = addBoard();
    frmMain& window = load();
    platform.failCall(board, Call::SendFeature, 2);  // the write, then the first read request
    press(pulse(), Qt::Key_Down);
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    tick();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("24 ms"));
    EXPECT_EQ(platform.openHandles(), 1);
}

TEST_F(RefusedWrite, BoardUnpluggedMidWriteIsClearedByTheNextTick) {
    const BoardId board = addBoard();
    frmMain& window = load();
    platform.unplugAfter(board, Call::SendFeature, 1);  // the low plane arrives, then it is gone
    press(enc(1), Qt::Key_Down);
    EXPECT_FALSE(window.settingsLoaded());
    tick();
    EXPECT_FALSE(window.deviceFound());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(settingControlsClearedAndDisabled());
}

}  // namespace
}  // namespace rotorix::test
