// Picking a board in the selector: switching to another, re-picking the open one, picking while
// none is open, and picking one that has gone.
#include "window_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

class Switching : public WindowTest {
  protected:
    // Two boards told apart by their settings: RX-1 all pairs off, RX-2 the sane board.
    void SetUp() override {
        sim::BoardSpec design = saneBoard(u"RX-1");
        setBoardSetting(design, Setting::EncoderLowPlane, 0);
        setBoardSetting(design, Setting::EncoderHighPlane, 0);
        setBoardSetting(design, Setting::PulseLength, 25);
        setBoardSetting(design, Setting::HideFromGameControllers, 1);
        first = addBoard(design);
        second = addBoard(saneBoard(u"RX-2"));
    }

    // A user's pick of the item at `index`, as the list reports it.
    void pick(int index) {
        serNo()->setCurrentIndex(index);
        emit serNo()->activated(index);
    }

    BoardId first = 0;
    BoardId second = 0;
};

TEST_F(Switching, PickingAnotherBoardClosesTheOpenOneAndLoadsTheNew) {
    frmMain& window = load();
    tick();
    ASSERT_EQ(window.timer().interval(), 500);
    forgetTraffic(first);
    forgetTraffic(second);

    press(serNo(), Qt::Key_Up);

    EXPECT_EQ(platform.openHandles(second), 0);
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_FALSE(window.switchPending());
    EXPECT_EQ(received(first), readBack(9));
    EXPECT_TRUE(received(second).empty());
    EXPECT_EQ(shownTypes(), std::vector<std::string>(8, "OFF"));
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("100 ms"));
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("RX-1"));
    EXPECT_EQ(serNo()->count(), 2) << "a switch does not rebuild the selector";
    EXPECT_EQ(window.timer().interval(), 250);
    EXPECT_TRUE(window.timer().isActive());

    tick();  // the switched-to board answers: steady state again
    EXPECT_EQ(window.timer().interval(), 500);
    EXPECT_EQ(platform.openHandles(first), 1);
}

TEST_F(Switching, RepickingTheOpenBoardReopensAndReloadsIt) {
    frmMain& window = load();
    // Changed behind the window's back: only a real reload shows it.
    platform.firmware(second).setSetting(code(Setting::EncoderLowPlane), 0xFF);
    platform.firmware(second).setSetting(code(Setting::EncoderHighPlane), 0x00);
    forgetTraffic(second);
    const int opens = platform.callCount(second, Call::Open);

    pick(1);

    EXPECT_EQ(platform.callCount(second, Call::Open), opens + 1);
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(received(second), readBack(9));
    EXPECT_EQ(shownTypes(), std::vector<std::string>(8, "1:1"));
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(window.timer().interval(), 250);
}

TEST_F(Switching, PickingWhileNoBoardIsOpenClosesNothingAndKeepsTheInterval) {
    // RX-2 vanishes right after the listing read its serial, so the start-up opens nothing and
    // the interval is still the start value.
    platform.unplugAfter(second, Call::SerialNumber, 1);
    frmMain& window = load();
    ASSERT_FALSE(window.deviceFound());
    ASSERT_EQ(serNo()->count(), 2);
    ASSERT_EQ(window.timer().interval(), 50);

    // The selector's frame stays disabled until a board has been open, so no user can reach it
    // here; the notification is raised as the list would raise it.
    pick(0);

    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(window.timer().interval(), 50);
    EXPECT_TRUE(window.timer().isActive());
    EXPECT_EQ(received(first), readBack(9));
}

TEST_F(Switching, PickingAfterAFailedSwitchOpensTheChosenBoard) {
    frmMain& window = load();
    platform.unplug(first);
    press(serNo(), Qt::Key_Up);  // RX-1 has gone: nothing open now
    ASSERT_FALSE(window.deviceFound());
    ASSERT_TRUE(serNo()->isEnabled());
    const int opens = platform.callCount(Call::Open);

    press(serNo(), Qt::Key_Down);  // RX-2

    EXPECT_EQ(platform.callCount(Call::Open), opens + 1) << "one open, no rescan";
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_FALSE(window.switchPending());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(window.timer().interval(), 250);
}

TEST_F(Switching, PickingABoardThatHasGoneLeavesTheSwitchPending) {
    frmMain& window = load();
    platform.unplug(first);

    press(serNo(), Qt::Key_Up);

    EXPECT_FALSE(window.deviceFound());
    EXPECT_TRUE(window.switchPending());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_EQ(window.timer().interval(), 250);
    EXPECT_TRUE(window.timer().isActive());

    // The next tick rescans, finds RX-2 and clears the pending switch.
    tick();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_FALSE(window.switchPending());
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_FALSE(serNo()->isEnabled());
    EXPECT_TRUE(window.settingsLoaded());
}

TEST_F(Switching, RescanFindingNothingKeepsTheSwitchPendingUntilABoardIsFound) {
    frmMain& window = load();
    platform.unplug(first);
    press(serNo(), Qt::Key_Up);
    ASSERT_TRUE(window.switchPending());
    platform.unplug(second);
    tick(2);
    EXPECT_TRUE(window.switchPending());
    EXPECT_FALSE(window.deviceFound());
    platform.replug(first);
    tick();
    EXPECT_FALSE(window.switchPending());
    EXPECT_EQ(platform.openHandles(first), 1);
}

TEST_F(Switching, PicksWhileTheScanIsIncompleteDoNothing) {
    frmMain& window = load();
    const int opens = platform.callCount(Call::Open);
    window.Form_Unload();  // leaves ScanComplete false, as a rebuild of the selector does
    pick(0);
    EXPECT_EQ(platform.callCount(Call::Open), opens);
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Switching, OpeningRefusedByTheSystemEndsWithNoBoardAndTheWatchdogRunning) {
    frmMain& window = load();
    platform.refuseOpen(first,
                        hid::OpenError{hid::OpenError::Kind::AccessDenied, "Permission denied"});
    press(serNo(), Qt::Key_Up);
    EXPECT_FALSE(window.deviceFound());
    EXPECT_TRUE(window.switchPending());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(window.timer().isActive());
    tick();  // the rescan lists only RX-2 now and opens it
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_FALSE(window.switchPending());
}

}  // namespace
}  // namespace rotorix::test
