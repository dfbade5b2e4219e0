// The searching watchdog walks the HID interfaces only when the platform says a device came or
// went, a switch is pending, or a board that could not be opened is due its retry; otherwise a
// tick changes nothing the front end shows.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "session/board_session.h"
#include "sim/sim_platform.h"

namespace rotorix::session {
namespace {

using sim::Call;
using sim::SimPlatform;

const hid::OpenError kPermissionDenied{hid::OpenError::Kind::AccessDenied, "Permission denied"};

class SessionSearch : public ::testing::Test {
  protected:
    SessionSearch() {
        // A desktop's keyboard, mouse, headset...: devices every walk must pass by.
        for (std::uint16_t i = 0; i < 10; ++i) {
            foreign_.push_back(platform.addForeign(static_cast<std::uint16_t>(0x1000 + i), 1));
        }
    }

    int walks() const { return platform.callCount(Call::Enumerate); }

    // Ticks `count` times; returns how many of them walked.
    int ticksThatWalked(int count) {
        int walked = 0;
        for (int i = 0; i < count; ++i) {
            const int before = walks();
            session.tick();
            walked += walks() > before ? 1 : 0;
        }
        return walked;
    }

    SimPlatform platform;
    std::vector<SimPlatform::BoardId> foreign_;
    BoardSession session{platform};
};

TEST_F(SessionSearch, QuietTicksWalkNothingAndChangeNothing) {
    session.start();
    const Snapshot shown = session.snapshot();
    const auto generation = session.generation();
    const int walked = walks();

    for (int i = 0; i < 100; ++i) {
        const TickResult result = session.tick();
        ASSERT_EQ(result.interval_ms, BoardSession::kStartIntervalMs) << "tick " << i;
        ASSERT_FALSE(result.lost);
    }
    EXPECT_EQ(walks(), walked);
    EXPECT_EQ(platform.callCount(Call::Open), 0);
    EXPECT_EQ(session.snapshot(), shown);
    EXPECT_EQ(session.generation(), generation);
}

TEST_F(SessionSearch, BoardPluggedInWhileSearchingIsFoundOnTheNextTick) {
    session.start();
    session.tick();
    const auto board = platform.addBoard(test::saneBoard(u"RX-1"));
    session.tick();
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_EQ(session.snapshot().serials, std::vector<std::u16string>{u"RX-1"});
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(session.tick().interval_ms, BoardSession::kConnectedIntervalMs);
}

TEST_F(SessionSearch, BoardUnpluggedAndPluggedBackWhileSearchingIsFound) {
    const auto board = platform.addBoard(test::saneBoard(u"RX-1"));
    session.start();
    session.tick();
    ASSERT_EQ(session.interval(), BoardSession::kConnectedIntervalMs);

    platform.unplug(board);
    EXPECT_TRUE(session.tick().lost);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_EQ(ticksThatWalked(3), 0) << "the tick that lost the board took its removal's event";
    platform.replug(board);
    session.tick();
    EXPECT_TRUE(session.snapshot().settings.has_value()) << "back at the next tick";
    EXPECT_EQ(session.interval(), BoardSession::kSearchIntervalMs);
}

TEST_F(SessionSearch, ForeignDeviceArrivingWalksButOpensNothing) {
    session.start();
    const auto generation = session.generation();
    const int walked = walks();
    const auto mouse = platform.addForeign(0x046D, 0xC077);
    const auto sameVendor = platform.addForeign(config::kVendorId, 0x0104);
    session.tick();
    EXPECT_GT(walks(), walked);
    EXPECT_EQ(platform.callCount(Call::Open), 0);
    EXPECT_EQ(platform.callCount(mouse, Call::Open) + platform.callCount(sameVendor, Call::Open),
              0);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_EQ(session.generation(), generation) << "nothing new to show";
    EXPECT_EQ(ticksThatWalked(10), 0);
}

// Access granted by hand (a rule installed, a mode changed) makes no device event, so the
// watchdog tries a refused board again once a second, by the sum of its own intervals.
TEST_F(SessionSearch, RefusedBoardIsRetriedOnceASecondAndFoundOnceAccessIsGranted) {
    const auto board = platform.addBoard(test::saneBoard(u"RX-1"));
    platform.refuseOpen(board, kPermissionDenied);
    session.start();
    const std::string notice = session.snapshot().notice;
    ASSERT_FALSE(notice.empty());
    const int perSecond =
        session::RetryTiming::kWalkRetryMs / BoardSession::kStartIntervalMs;  // 20

    EXPECT_EQ(ticksThatWalked(perSecond - 1), 0);
    EXPECT_EQ(ticksThatWalked(1), 1) << "one second after the last walk";
    EXPECT_EQ(ticksThatWalked(3 * perSecond), 3);
    EXPECT_EQ(session.snapshot().notice, notice);
    EXPECT_EQ(platform.openHandles(), 0);

    platform.refuseOpen(board, std::nullopt);
    int ticks = 0;
    while (!session.snapshot().board_open && ticks < perSecond) {
        session.tick();
        ++ticks;
    }
    EXPECT_TRUE(session.snapshot().settings.has_value())
        << "not found within a second's worth of ticks";
    EXPECT_TRUE(session.snapshot().notice.empty());
}

TEST_F(SessionSearch, RefusedBoardIsRetriedOnceASecondAtTheIntervalAfterALoss) {
    const auto refused = platform.addBoard(test::saneBoard(u"RX-1"));
    platform.refuseOpen(refused, kPermissionDenied);
    const auto open = platform.addBoard(test::saneBoard(u"RX-2"));
    session.start();
    session.tick();
    ASSERT_EQ(platform.openHandles(open), 1);

    platform.unplug(open);
    session.tick();  // lost: this tick walks
    ASSERT_EQ(session.interval(), BoardSession::kSearchIntervalMs);
    ASSERT_EQ(session.snapshot().unusable.size(), 1u);
    // 250 ms a tick: every fourth tick retries.
    EXPECT_EQ(ticksThatWalked(12), 3);
    EXPECT_EQ(session.interval(), BoardSession::kSearchIntervalMs);
}

TEST_F(SessionSearch, PendingSwitchIsLookedForOnEveryTick) {
    const auto first = platform.addBoard(test::saneBoard(u"RX-1"));
    const auto second = platform.addBoard(test::saneBoard(u"RX-2"));
    session.start();
    ASSERT_EQ(session.snapshot().selected, 1);

    // The user picks RX-1, which was switched to no access meanwhile (no event): the switch
    // fails, and the next tick must look again at once, not a second later.
    platform.refuseOpen(first, kPermissionDenied);
    session.select(0);
    ASSERT_TRUE(session.switchPending());
    ASSERT_FALSE(session.snapshot().board_open);
    const int walked = walks();
    session.tick();
    EXPECT_GT(walks(), walked);
    EXPECT_FALSE(session.switchPending());
    EXPECT_EQ(platform.openHandles(second), 1) << "the rescan selected the last usable board";
}

TEST_F(SessionSearch, LossWithoutADeviceEventStillRescansInTheSameTick) {
    const auto board = platform.addBoard(test::saneBoard(u"RX-1"));
    session.start();
    session.tick();
    platform.failCall(board, Call::ReadInput);  // one read fails; the board stays plugged in
    const int walked = walks();
    const TickResult result = session.tick();
    EXPECT_TRUE(result.lost);
    EXPECT_GT(walks(), walked);
    EXPECT_TRUE(session.snapshot().settings.has_value()) << "reopened in the tick that lost it";
}

TEST_F(SessionSearch, FailedMonitorFallsBackToWalkingOnEveryTick) {
    platform.setMonitorFailed(true);
    session.start();
    EXPECT_EQ(ticksThatWalked(10), 10);
    const auto board = platform.addBoard(test::saneBoard(u"RX-1"));
    session.tick();
    EXPECT_EQ(platform.openHandles(board), 1);
}

// A walk that fails is not "no board": the notice says so, and the walk is tried again once a
// second, also when the device event that called for it came before the failure.
TEST_F(SessionSearch, FailedWalkIsToldAndRetriedEachSecondAndLosesNoEvent) {
    session.start();
    platform.failCall(Call::Enumerate, 3);
    const auto board = platform.addBoard(test::saneBoard());  // the event the failed walks miss

    EXPECT_EQ(ticksThatWalked(1), 1);
    EXPECT_EQ(session.snapshot().walk_failure, "Too many open files");
    EXPECT_EQ(session.snapshot().notice,
              "The attached devices could not be listed (Too many open files); trying again");
    // 50 ms ticks: the next walk is due after a second of them, and only then.
    EXPECT_EQ(ticksThatWalked(19), 0);
    EXPECT_EQ(ticksThatWalked(1), 1);
    EXPECT_EQ(ticksThatWalked(20), 1);
    EXPECT_FALSE(session.snapshot().board_open);

    EXPECT_EQ(ticksThatWalked(20), 1) << "the plug was lost with the failed walks";
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_FALSE(session.snapshot().walk_failure);
    EXPECT_TRUE(session.snapshot().notice.empty());
}

}  // namespace
}  // namespace rotorix::session
