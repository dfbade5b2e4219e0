// The input watch on the simulated platform: its own reader thread, its own handles, and the
// events the window's thread drains. The simulated boards send a report every millisecond, so
// the reader waits as it would on a real board. Nothing here sleeps or asserts on time: a test
// waits for the events it expects, with a bound that only a broken watch runs into.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "fixtures.h"
#include "hid/discovery.h"
#include "input/encoder_meter.h"
#include "input/watch.h"

namespace rotorix::input {
namespace {

using Kind = WatchEvent::Kind;
using sim::Call;

constexpr std::chrono::seconds kBrokenBound{20};

class InputWatchTest : public ::testing::Test {
  protected:
    InputWatchTest() {
        platform.setReportInterval(std::chrono::milliseconds(1));
        first = platform.addBoard(test::saneBoard(u"A"));
        second = platform.addBoard(test::saneBoard(u"B"));
    }

    std::vector<hid::BoardEntry> listed() {
        return hid::listBoards(platform, {config::kVendorId, config::kProductId}).boards;
    }

    // Drains the watch into `events` until `done` holds for what has arrived.
    bool collectUntil(InputWatch& watch, const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + kBrokenBound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) {
                return false;
            }
            watch.waitForEvents(std::chrono::milliseconds(100));
            for (WatchEvent& event : watch.drain()) {
                events.push_back(std::move(event));
            }
        }
        return true;
    }

    int count(Kind kind, std::size_t board) const {
        int n = 0;
        for (const WatchEvent& event : events) {
            n += event.kind == kind && event.board == board ? 1 : 0;
        }
        return n;
    }

    std::vector<ButtonChange> changes(std::size_t board) const {
        std::vector<ButtonChange> all;
        for (const WatchEvent& event : events) {
            if (event.board == board) {
                all.insert(all.end(), event.changes.begin(), event.changes.end());
            }
        }
        return all;
    }

    sim::SimPlatform platform;
    sim::SimPlatform::BoardId first = 0;
    sim::SimPlatform::BoardId second = 0;
    std::vector<WatchEvent> events;
};

// A button held when watching begins is part of the baseline, not an event; the changes after
// it arrive in order, each stamped no earlier than the one before, and the meter counts them.
TEST_F(InputWatchTest, FirstReportIsTheBaselineAndLaterChangesArriveInOrder) {
    platform.setButtons(first, 0x0100);  // button 9 held from the start
    InputWatch watch(platform, listed());
    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Baseline, 0) == 1; }));
    const WatchEvent baseline = *std::find_if(events.begin(), events.end(), [](const auto& e) {
        return e.board == 0 && e.kind == Kind::Baseline;
    });
    EXPECT_EQ(baseline.pair_buttons, 0x0100);
    EXPECT_TRUE(baseline.changes.empty());

    // Pair 1 stepped one way and then the other, then button 9 let go.
    platform.queueButtons(first, {0x0101, 0x0100, 0x0102, 0x0100, 0x0000});
    ASSERT_TRUE(collectUntil(watch, [&] { return changes(0).size() == 5; }));
    EXPECT_EQ(changes(0), (std::vector<ButtonChange>{
                              {1, true}, {1, false}, {2, true}, {2, false}, {9, false}}));
    EXPECT_EQ(count(Kind::Baseline, 0), 1);
    EXPECT_EQ(
        std::find_if(events.rbegin(), events.rend(), [](const auto& e) { return e.board == 0; })
            ->pair_buttons,
        0);

    EncoderMeter meter({{1, 0, 0, 0, 0, 0, 0, 0}, std::chrono::milliseconds(24)});
    Clock::time_point previous{};
    for (const WatchEvent& event : events) {
        if (event.board == 0) {
            EXPECT_GE(event.stamp, previous);
            previous = event.stamp;
            meter.feed(event.stamp, event.pair_buttons);
        }
    }
    EXPECT_EQ(meter.pair(1).positive, 1);
    EXPECT_EQ(meter.pair(1).negative, 1);
}

TEST_F(InputWatchTest, EventsNameTheBoardWhoseButtonChanged) {
    InputWatch watch(platform, listed());
    ASSERT_TRUE(collectUntil(
        watch, [&] { return count(Kind::Baseline, 0) == 1 && count(Kind::Baseline, 1) == 1; }));
    platform.queueButtons(second, {0x8000});
    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Changes, 1) == 1; }));
    EXPECT_EQ(changes(1), (std::vector<ButtonChange>{{16, true}}));
    EXPECT_EQ(count(Kind::Changes, 0), 0);
}

// The watch reads handles of its own: the session's handle stays open and keeps its reports,
// and stopping closes the watch's handles only.
TEST_F(InputWatchTest, SecondHandleLeavesTheSessionsAloneAndStoppingClosesIt) {
    auto session_handle = test::openDevice(platform, first);
    ASSERT_NE(session_handle, nullptr);
    {
        InputWatch watch(platform, listed());
        ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Baseline, 1) == 1; }));
        EXPECT_EQ(platform.openHandles(first), 2);
        std::vector<std::uint8_t> report(9);
        EXPECT_EQ(session_handle->readInputReport(report, 50), hid::ReadOutcome::Report);
        watch.stop();
        EXPECT_FALSE(watch.reading());
        EXPECT_EQ(platform.openHandles(first), 1);
        EXPECT_EQ(platform.openHandles(second), 0);
        watch.stop();  // again: nothing more to do
    }
    EXPECT_EQ(platform.callCount(first, Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(first, Call::GetFeature), 0);
}

TEST_F(InputWatchTest, BoardThatGoesEndsItsWatchInTheSystemsWordsWhileTheOtherGoesOn) {
    InputWatch watch(platform, listed());
    ASSERT_TRUE(collectUntil(
        watch, [&] { return count(Kind::Baseline, 0) == 1 && count(Kind::Baseline, 1) == 1; }));
    platform.unplug(first);
    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Ended, 0) == 1; }));
    EXPECT_EQ(std::find_if(events.begin(), events.end(),
                           [](const auto& e) { return e.kind == Kind::Ended; })
                  ->why,
              "No such device");
    EXPECT_EQ(platform.openHandles(first), 0) << "the gone board's handle is closed at once";
    EXPECT_TRUE(watch.reading());

    platform.queueButtons(second, {0x0004});
    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Changes, 1) == 1; }));

    platform.unplug(second);
    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Ended, 1) == 1; }));
    ASSERT_TRUE(collectUntil(watch, [&] { return !watch.reading(); }));
    EXPECT_FALSE(watch.waitForEvents(std::chrono::milliseconds(0)));
    EXPECT_EQ(count(Kind::Ended, 0), 1) << "a board ends once";
}

// Each board that cannot be watched says why; the others are watched all the same.
TEST_F(InputWatchTest, BoardsThatCannotBeWatchedSayWhy) {
    sim::BoardSpec no_buttons = test::saneBoard(u"C");
    no_buttons.report_descriptor = std::vector<std::uint8_t>{
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xC0};
    const auto third = platform.addBoard(no_buttons);
    const auto fourth = platform.addBoard(test::saneBoard(u"D"));
    const hid::OpenError denied{hid::OpenError::Kind::AccessDenied, "Permission denied"};
    const auto entries = listed();
    ASSERT_EQ(entries.size(), 4u);
    platform.refuseOpen(first, denied);
    platform.failCall(fourth, Call::InputButtons);

    InputWatch watch(platform, entries);
    const auto& unwatched = watch.unwatched();
    ASSERT_EQ(unwatched.size(), 4u);
    ASSERT_TRUE(unwatched[0].has_value());
    EXPECT_EQ(unwatched[0]->kind, Unwatched::Kind::OpenFailed);
    EXPECT_EQ(unwatched[0]->open_error, denied);
    EXPECT_FALSE(unwatched[1].has_value());
    ASSERT_TRUE(unwatched[2].has_value());
    EXPECT_EQ(unwatched[2]->kind, Unwatched::Kind::NoButtons);
    ASSERT_TRUE(unwatched[3].has_value());
    EXPECT_EQ(unwatched[3]->kind, Unwatched::Kind::DescriptorUnreadable);
    EXPECT_EQ(platform.openHandles(third) + platform.openHandles(fourth), 0);

    ASSERT_TRUE(collectUntil(watch, [&] { return count(Kind::Baseline, 1) == 1; }));
    for (const WatchEvent& event : events) {
        EXPECT_EQ(event.board, 1u);
    }
}

TEST_F(InputWatchTest, NothingToWatchStartsNoReader) {
    platform.refuseOpen(first,
                        hid::OpenError{hid::OpenError::Kind::Busy, "Device or resource busy"});
    const auto entries = listed();
    InputWatch watch(platform, std::span(entries).first(1));
    EXPECT_FALSE(watch.reading());
    EXPECT_FALSE(watch.waitForEvents(kBrokenBound)) << "returns at once: nothing can come";
    EXPECT_TRUE(watch.drain().empty());
}

// A board that stays silent keeps the reader waiting in its reads; stopping still returns.
TEST_F(InputWatchTest, SilentBoardsAreWaitedOnAndStoppingEndsTheWait) {
    platform.setSilent(first, true);
    platform.setSilent(second, true);
    InputWatch watch(platform, listed());
    EXPECT_FALSE(watch.waitForEvents(std::chrono::milliseconds(50)));
    EXPECT_TRUE(watch.reading());
    watch.stop();
    EXPECT_FALSE(watch.reading());
    EXPECT_EQ(platform.openHandles(), 0);
}

}  // namespace
}  // namespace rotorix::input
