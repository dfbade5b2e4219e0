// Real key and mouse events: each user action runs its handler exactly once, whichever way the
// user makes it.
#include <QAbstractItemView>
#include <QWheelEvent>

#include "window_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

class UserInput : public WindowTest {
  protected:
    // Opens the list's popup, moves to `index` and confirms with Return, as a keyboard user does.
    void pickFromPopup(QComboBox* combo, int index) {
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        view->setCurrentIndex(combo->model()->index(index, combo->modelColumn()));
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_FALSE(view->isVisible()) << "the popup did not close";
    }
};

TEST_F(UserInput, KeystrokeOnAnEncoderListWritesOnce) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    press(enc(3), Qt::Key_Down);
    EXPECT_EQ(received(board).size(), 2u);
    EXPECT_EQ(enc(3)->currentText(), QStringLiteral("1:4"));
}

TEST_F(UserInput, PopupPickOnAnEncoderListWritesOnce) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    pickFromPopup(enc(6), 2);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(9, Setting::EncoderLowPlane, 0x03),
                                   settingWrite(9, Setting::EncoderHighPlane, 0x26)}));
}

TEST_F(UserInput, RepickOfTheSameEncoderItemWritesAgain) {
    // Nothing changed, but the user picked: the board gets all eight pairs once more.
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    pickFromPopup(enc(1), enc(1)->currentIndex());
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(9, Setting::EncoderLowPlane, 0x03),
                                   settingWrite(9, Setting::EncoderHighPlane, 0x06)}));
}

TEST_F(UserInput, MouseClickOnTheCheckBoxWritesOnce) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    click(noJoy());
    EXPECT_EQ(received(board).size(), 2u);
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 1);
}

TEST_F(UserInput, SpaceBarOnTheCheckBoxWritesOnce) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    noJoy()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(noJoy(), Qt::Key_Space);
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(received(board).size(), 2u);
}

TEST_F(UserInput, TwoClicksWriteTwiceAndEndWhereTheyStarted) {
    const BoardId board = addBoard();
    load();
    forgetTraffic(board);
    click(noJoy());
    click(noJoy());
    EXPECT_EQ(received(board).size(), 4u);
    EXPECT_EQ(boardSetting(platform, board, Setting::HideFromGameControllers), 0);
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
}

TEST_F(UserInput, RepickOfTheOpenBoardInThePopupSwitchesOnce) {
    addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    load();
    forgetTraffic(second);
    const int opens = platform.callCount(second, Call::Open);
    pickFromPopup(serNo(), 1);
    EXPECT_EQ(platform.callCount(second, Call::Open), opens + 1);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(received(second), readBack(9));
}

TEST_F(UserInput, InputToDisabledControlsIsIgnored) {
    sim::BoardSpec design = saneBoard();
    design.version = 0;  // the board is open but cannot be configured
    const BoardId board = addBoard(design);
    load();
    ASSERT_TRUE(window().deviceFound());
    press(enc(2), Qt::Key_Down);
    press(pulse(), Qt::Key_Down);
    click(noJoy());
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 0);
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
}

TEST_F(UserInput, AnEncoderPickSendsWhatAllEightListsShow) {
    // Enc1 1:4, Enc2 OFF, Enc3 1:1 -> 1:2, Enc4..Enc8 1:1, on a board with the longest report.
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = 65;
    setBoardSetting(design, Setting::EncoderLowPlane, 0xFD);
    setBoardSetting(design, Setting::EncoderHighPlane, 0x01);
    const BoardId board = addBoard(design);
    load();
    forgetTraffic(board);
    press(enc(3), Qt::Key_Down);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(65, Setting::EncoderLowPlane, 0xF9),
                                   settingWrite(65, Setting::EncoderHighPlane, 0x05)}));
}

TEST_F(UserInput, PulseKeysSendTheCodeOfThePickedLength) {
    const struct {
        std::uint8_t before;
        Qt::Key key;
        std::uint8_t want;
    } kPicks[] = {{6, Qt::Key_Home, 1},
                  {5, Qt::Key_Down, 6},
                  {6, Qt::Key_End, 25},
                  {0, Qt::Key_Down, 1}};  // the last from a list without a selection
    for (const auto& pick : kPicks) {
        SCOPED_TRACE(::testing::Message() << "from code " << int{pick.before});
        sim::BoardSpec design = saneBoard();
        setBoardSetting(design, Setting::PulseLength, pick.before);
        const BoardId board = addBoard(design);
        load();
        forgetTraffic(board);
        press(pulse(), pick.key);
        EXPECT_EQ(received(board),
                  (std::vector<Report>{settingWrite(9, Setting::PulseLength, pick.want)}));
        EXPECT_EQ(pulse()->currentText(), QStringLiteral("%1 ms").arg(4 * pick.want));
        window().Form_Unload();
        platform.unplug(board);
    }
}

TEST_F(UserInput, InputWithoutABoardOrAfterALossSendsNothing) {
    load();
    const auto tryEveryChange = [this] {
        press(enc(1), Qt::Key_Down);
        press(pulse(), Qt::Key_Down);
        click(noJoy());
        window().Enc8_Click();
        window().ModeCh1_Click();
        window().NoJoy_Click();
    };
    tryEveryChange();
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
    const BoardId board = addBoard();
    tick();
    ASSERT_TRUE(window().settingsLoaded());
    platform.unplug(board);
    tick();
    tryEveryChange();
    EXPECT_EQ(platform.callCount(Call::SendFeature), 4) << "one read-back, nothing else";
}

TEST_F(UserInput, EveryRefusedPickIsReplacedByWhatTheBoardHolds) {
    // The second refusal in a row leaves the session's snapshot as it was; the list must still
    // drop the refused pick.
    const BoardId board = addBoard();
    load();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        platform.failCall(board, Call::SendFeature, 1);
        press(enc(2), Qt::Key_Up);
        EXPECT_EQ(enc(2)->currentText(), QStringLiteral("1:4"));
        platform.failCall(board, Call::SendFeature, 1);
        press(pulse(), Qt::Key_Down);
        EXPECT_EQ(pulse()->currentText(), QStringLiteral("24 ms"));
        platform.failCall(board, Call::SendFeature, 1);
        click(noJoy());
        EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    }
}

// The wheel over a list the user is not working in (a scroll passing over the window) neither
// picks nor writes; over the list with the keyboard focus it picks as before.
TEST_F(UserInput, TheWheelPicksOnlyInTheListWithTheFocus) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    load();
    window().activateWindow();  // focus is only the keyboard's in the active window
    QApplication::processEvents();
    const auto wheel = [](QComboBox* combo) {
        const QPointF at = QRectF(combo->rect()).center();
        QWheelEvent event(at, combo->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &event);
    };
    for (QComboBox* combo : {enc(1), pulse(), serNo()}) {
        SCOPED_TRACE(combo->objectName().toStdString());
        forgetTraffic(first);
        forgetTraffic(second);
        const int opens = platform.callCount(Call::Open);
        noJoy()->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(noJoy()->hasFocus());
        const int before = combo->currentIndex();
        wheel(combo);
        EXPECT_EQ(combo->currentIndex(), before);
        EXPECT_TRUE(received(first).empty());
        EXPECT_TRUE(received(second).empty());
        EXPECT_EQ(platform.callCount(Call::Open), opens);
        EXPECT_FALSE(combo->hasFocus()) << "the wheel gave the list the focus";
    }
    // With the focus: the next item, written once.
    enc(1)->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(enc(1)->hasFocus());
    wheel(enc(1));
    EXPECT_EQ(enc(1)->currentText(), QStringLiteral("1:2"));
    EXPECT_EQ(received(second),
              (std::vector<Report>{settingWrite(9, Setting::EncoderLowPlane, 0x02),
                                   settingWrite(9, Setting::EncoderHighPlane, 0x07)}));
}

// A board that answers but refuses every read of its settings stays shown with the notice, which
// is announced once, not on every tick, and never as a disconnection.
TEST_F(UserInput, AnUnreadableBoardIsAnnouncedOnceAndNotAsLost) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::GetFeature, 1'000'000);
    load();
    const QString notice = window().boardNotice();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("The board's settings could not be read")))
        << notice.toStdString();
    EXPECT_EQ(window().accessibleDescription(), notice);
    window().setAccessibleDescription({});
    for (int i = 0; i < 60; ++i) {
        tick();
    }
    EXPECT_GT(platform.callCount(board, Call::Open), 1) << "never tried again";
    EXPECT_EQ(window().accessibleDescription(), QString()) << "announced again";
    EXPECT_EQ(window().boardNotice(), notice);
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("0001"));
    EXPECT_EQ(caption("lblManuf"), QStringLiteral(" Rotorix"));
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_TRUE(writesTo(board).empty());
}

}  // namespace
}  // namespace rotorix::test
