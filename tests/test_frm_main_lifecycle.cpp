// The window's own part of start-up, the watchdog and closing: it is shown before the first scan,
// its timer runs at the session's interval, a pick in the selector stops the timer around the
// switch, and closing or destroying the window releases the board.
#include "window_fixture.h"

namespace rotorix::test {
namespace {

class Lifecycle : public WindowTest {};

TEST_F(Lifecycle, TheTimerRunsAtTheSessionsInterval) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    frmMain& window = load();
    EXPECT_TRUE(window.isVisible());
    const auto expectTimer = [&](int interval, const char* after) {
        EXPECT_EQ(window.timer().interval(), interval) << after;
        EXPECT_EQ(window.session().interval(), interval) << after;
        EXPECT_TRUE(window.timer().isActive()) << after;
    };
    expectTimer(50, "start-up");
    tick();
    expectTimer(500, "the first read");
    press(serNo(), Qt::Key_Up);  // a switch to RX-1
    ASSERT_EQ(platform.openHandles(first), 1);
    expectTimer(250, "a switch");
    tick();
    expectTimer(500, "the switched-to board's first read");
    platform.unplug(first);
    platform.unplug(second);
    tick();
    expectTimer(250, "a loss");
    tick();
    expectTimer(250, "searching");
    platform.replug(second);
    tick(2);
    expectTimer(500, "a reconnection");
    EXPECT_TRUE(writesTo(first).empty());
    EXPECT_TRUE(writesTo(second).empty());
}

TEST_F(Lifecycle, APickWhileNoBoardIsOpenKeepsTheStartInterval) {
    // RX-2 vanishes right after the listing opened it, so the start-up opens nothing.
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    platform.unplugAfter(second, Call::Open, 1);
    frmMain& window = load();
    ASSERT_FALSE(window.deviceFound());
    ASSERT_EQ(serNo()->count(), 2);
    // The selector's frame stays disabled until a board has been open, so no user can reach it
    // here; the notification is raised as the list would raise it.
    serNo()->setCurrentIndex(0);
    emit serNo()->activated(0);
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(window.timer().interval(), 50);
    EXPECT_TRUE(window.timer().isActive());
}

TEST_F(Lifecycle, ClosingReleasesTheBoardAndStopsTheTimer) {
    const BoardId board = addBoard();
    frmMain& window = load();
    tick();
    ASSERT_EQ(platform.openHandles(board), 1);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive());
    EXPECT_FALSE(window.scanComplete());
    EXPECT_TRUE(writesTo(board).empty());
}

TEST_F(Lifecycle, ClosingWithoutABoardIsHarmless) {
    frmMain& window = load();
    tick();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive());
}

TEST_F(Lifecycle, HandlersArrivingAfterUnloadDoNothing) {
    const BoardId board = addBoard(saneBoard(u"RX-1"));
    addBoard(saneBoard(u"RX-2"));
    frmMain& window = load();
    window.Form_Unload();
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive());
    const int sends = platform.callCount(Call::SendFeature);
    const int opens = platform.callCount(Call::Open);
    window.Enc1_Click();
    window.Enc8_Click();
    window.ModeCh1_Click();
    window.NoJoy_Click();
    serNo()->setCurrentIndex(0);
    window.SerNo_Click();  // the listing counts as incomplete: no switch
    EXPECT_EQ(platform.callCount(Call::SendFeature), sends);
    EXPECT_EQ(platform.callCount(Call::Open), opens);
    EXPECT_TRUE(writesTo(board).empty());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive()) << "a refused pick restarted the timer";
}

TEST_F(Lifecycle, DestroyingAnOpenWindowReleasesTheBoard) {
    const BoardId board = addBoard();
    {
        frmMain window(platform);
        window.Form_Load();
        ASSERT_EQ(platform.openHandles(board), 1);
    }
    EXPECT_EQ(platform.openHandles(), 0);
}

}  // namespace
}  // namespace rotorix::test
