// Picking a board: switching to another, re-picking the open one, picking while none is open, and
// picking one that has gone.
#include "session_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

class Switching : public SessionTest {
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

    BoardId first = 0;
    BoardId second = 0;
};

TEST_F(Switching, PickingAnotherBoardClosesTheOpenOneAndLoadsTheNew) {
    start();
    ASSERT_EQ(tick().interval_ms, 500);
    forgetTraffic(first);
    forgetTraffic(second);

    EXPECT_EQ(session.select(0), 250);

    EXPECT_EQ(platform.openHandles(second), 0);
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_TRUE(loaded());
    EXPECT_FALSE(session.switchPending());
    EXPECT_EQ(received(first), readBack(9));
    EXPECT_TRUE(received(second).empty());
    EXPECT_EQ(shown().settings, (config::BoardSettings{{0, 0}, 25, 1}));
    EXPECT_EQ(shown().selected, 0);
    EXPECT_EQ(shown().serials.size(), 2u) << "a switch does not rebuild the listing";
    EXPECT_EQ(session.interval(), 250);

    const auto steady = tick();  // the switched-to board answers: steady state again
    EXPECT_FALSE(steady.lost);
    EXPECT_EQ(steady.interval_ms, 500);
    EXPECT_EQ(platform.openHandles(first), 1);
}

TEST_F(Switching, RepickingTheOpenBoardReopensAndReloadsIt) {
    start();
    // Changed behind the session's back: only a real reload shows it.
    platform.firmware(second).setSetting(code(Setting::EncoderLowPlane), 0xFF);
    platform.firmware(second).setSetting(code(Setting::EncoderHighPlane), 0x00);
    forgetTraffic(second);
    const int opens = platform.callCount(second, Call::Open);

    session.select(1);

    EXPECT_EQ(platform.callCount(second, Call::Open), opens + 1);
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(received(second), readBack(9));
    EXPECT_EQ(shownTypes(), std::vector<std::string>(8, "1:1"));
    EXPECT_TRUE(loaded());
    EXPECT_EQ(session.interval(), 250);
}

TEST_F(Switching, PickingWhileNoBoardIsOpenClosesNothingAndKeepsTheInterval) {
    // RX-2 vanishes right after the listing opened it, so the start-up opens nothing and the
    // interval is still the start value.
    platform.unplugAfter(second, Call::Open, 1);
    start();
    ASSERT_FALSE(session.snapshot().board_open);
    ASSERT_EQ(shown().serials.size(), 2u);

    EXPECT_EQ(session.select(0), 50);

    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(received(first), readBack(9));
}

TEST_F(Switching, PickingAfterAFailedSwitchOpensTheChosenBoard) {
    start();
    platform.unplug(first);
    session.select(0);  // RX-1 has gone: nothing open now
    ASSERT_FALSE(session.snapshot().board_open);
    ASSERT_EQ(shown().serials.size(), 2u);
    const int opens = platform.callCount(Call::Open);

    EXPECT_EQ(session.select(1), 250);

    EXPECT_EQ(platform.callCount(Call::Open), opens + 1) << "one open, no rescan";
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_FALSE(session.switchPending());
    EXPECT_TRUE(loaded());
}

TEST_F(Switching, PickingABoardThatHasGoneLeavesTheSwitchPendingUntilABoardIsFound) {
    start();
    platform.unplug(first);

    EXPECT_EQ(session.select(0), 250);

    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_TRUE(session.switchPending());
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(shown().settings);
    EXPECT_FALSE(shown().board_open);
    EXPECT_EQ(shown().selected, 0);

    // A rescan that finds nothing keeps it pending.
    platform.unplug(second);
    tick(2);
    EXPECT_TRUE(session.switchPending());
    EXPECT_FALSE(session.snapshot().board_open);

    // The next rescan that finds a board clears it.
    platform.replug(second);
    const auto found = tick();
    EXPECT_FALSE(found.lost) << "a switch the user asked for is not a loss";
    EXPECT_TRUE(loaded());
    EXPECT_FALSE(session.switchPending());
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(shown().serials, std::vector<std::u16string>{u"RX-2"});
}

TEST_F(Switching, PicksWhileTheListingIsIncompleteDoNothing) {
    start();
    const int opens = platform.callCount(Call::Open);
    session.close();  // leaves ScanComplete false, as a rebuild of the listing does
    EXPECT_EQ(session.select(0), std::nullopt);
    EXPECT_EQ(session.interval(), 50);
    EXPECT_EQ(platform.callCount(Call::Open), opens);
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Switching, OpeningRefusedByTheSystemEndsWithNoBoardAndTheWatchdogTakesOver) {
    start();
    platform.refuseOpen(first,
                        hid::OpenError{hid::OpenError::Kind::AccessDenied, "Permission denied"});
    session.select(0);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_TRUE(session.switchPending());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_NE(shown().notice.find("(Permission denied)"), std::string::npos) << shown().notice;
    tick();  // the rescan lists only RX-2 now and opens it
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_FALSE(session.switchPending());
    EXPECT_TRUE(shown().notice.empty());
}

// Boards straight from the factory share a serial: each entry of the list is its own board, and
// a name that fits several opens none of them.
TEST_F(Switching, EachEntryIsItsOwnBoardEvenWhenSerialsRepeat) {
    const BoardId twin = addBoard(saneBoard(u"RX-2"));
    start();
    ASSERT_EQ(shown().serials, (std::vector<std::u16string>{u"RX-1", u"RX-2", u"RX-2"}));
    EXPECT_EQ(platform.openHandles(twin), 1) << "the last entry is the last board";

    session.select(1);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(shown().selectedBoard()->path, platform.path(second));
    ASSERT_EQ(session.pickHidden(true), WriteOutcome::Taken);
    EXPECT_EQ(platform.firmware(second).setting(code(Setting::HideFromGameControllers)), 1);
    EXPECT_EQ(platform.firmware(twin).setting(code(Setting::HideFromGameControllers)), 0);
    session.select(2);
    EXPECT_EQ(platform.openHandles(twin), 1);
}

TEST_F(Switching, ANameOpensExactlyOneBoardAndSendsNothingToAnyOther) {
    const BoardId twin = addBoard(saneBoard(u"RX-2"));
    const auto names = [&](const std::u16string& name) {
        for (const BoardId board : {first, second, twin}) {
            forgetTraffic(board);
        }
        return session.start(name);
    };
    using Kind = session::NameMatch::Kind;

    auto match = names(u"RX-1");
    EXPECT_EQ(match.kind, Kind::One);
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(received(first), readBack(9));
    EXPECT_TRUE(received(second).empty() && received(twin).empty());

    match = names(u"RX-2");
    EXPECT_EQ(match.kind, Kind::Several);
    EXPECT_EQ(match.boards, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(received(first).empty() && received(second).empty() && received(twin).empty());

    const std::string path = platform.path(twin);
    match = names(std::u16string(path.begin(), path.end()));
    EXPECT_EQ(match.kind, Kind::One);
    EXPECT_EQ(platform.openHandles(twin), 1);
    EXPECT_TRUE(received(first).empty() && received(second).empty());

    for (const char16_t* unknown : {u"RX-", u"RX-10", u"rx-1", u"RX-1 ", u""}) {
        EXPECT_EQ(names(unknown).kind, Kind::None) << "exact matches only";
        EXPECT_EQ(platform.openHandles(), 0);
    }
}

}  // namespace
}  // namespace rotorix::test
