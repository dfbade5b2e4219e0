#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <vector>

#include "hid/linux/linux_platform.h"
#include "hid/linux/udev_monitor.h"

namespace rotorix::hid::hidraw {
namespace {

using R = Receipt;

// The socket hands out these receipts in order, then Empty for ever.
struct Case {
    const char* what;
    std::vector<Receipt> pending;
    bool changed;
    bool broken;
    std::size_t taken;  // receipts read before the drain stopped
};

TEST(DrainEvents, TakesEverythingPendingAndStopsOnEmptyOrBroken) {
    const std::vector<Case> cases{
        {"quiet socket", {}, false, false, 1},
        {"one event", {R::Event}, true, false, 2},
        {"a burst: add, change, remove", {R::Event, R::Event, R::Event}, true, false, 4},
        {"lost events are a change", {R::Overrun}, true, false, 2},
        {"overrun, then more events", {R::Overrun, R::Event}, true, false, 3},
        {"broken socket", {R::Broken, R::Event}, true, true, 1},
        {"events, then broken", {R::Event, R::Broken}, true, true, 2},
        // libudev answers "nothing" for a message it throws away, while more may wait behind it
        {"thrown away, then an event", {R::Dropped, R::Dropped, R::Event}, true, false, 4},
        {"only thrown away", {R::Dropped, R::Dropped}, false, false, 3},
    };
    for (const auto& c : cases) {
        std::deque<Receipt> socket(c.pending.begin(), c.pending.end());
        std::size_t taken = 0;
        const Drained drained = drainEvents([&] {
            ++taken;
            if (socket.empty()) {
                return R::Empty;
            }
            const Receipt next = socket.front();
            socket.pop_front();
            return next;
        });
        EXPECT_EQ(drained.changed, c.changed) << c.what;
        EXPECT_EQ(drained.broken, c.broken) << c.what;
        EXPECT_EQ(taken, c.taken) << c.what;
    }
}

TEST(DrainEvents, ASocketThatNeverEmptiesCannotHoldTheCaller) {
    int taken = 0;
    const Drained drained = drainEvents(
        [&] {
            ++taken;
            return R::Event;
        },
        100);
    EXPECT_EQ(taken, 100);
    EXPECT_TRUE(drained.changed);
    EXPECT_FALSE(drained.broken);
}

// Whether or not this machine lets us listen, the first answer must send the caller walking.
TEST(LinuxPlatform, FirstQuestionAboutTheDeviceSetAnswersTrue) {
    const auto platform = makeLinuxPlatform();
    EXPECT_TRUE(platform->devicesMayHaveChanged());
}

// A monitor that hears nothing may be deaf (no kernel events in a sandbox): it is believed only
// for so long after the last walk, and then the answer is true all the same.
TEST(LinuxPlatform, AQuietMonitorIsBelievedOnlySoLongAfterAWalk) {
    if (!DeviceMonitor::create()) {
        GTEST_SKIP() << "no device monitor on this machine: every answer is true";
    }
    const struct {
        std::chrono::milliseconds trust;
        bool answer;
    } cases[] = {{std::chrono::hours(1), false}, {std::chrono::milliseconds(0), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.trust.count()) + " ms");
        const auto platform = makeLinuxPlatform(c.trust);
        EXPECT_TRUE(platform->devicesMayHaveChanged());
        ASSERT_EQ(platform->enumerateMatching({0x2B7E, 0x0103}).failure, std::nullopt);
        EXPECT_EQ(platform->devicesMayHaveChanged(), c.answer);
    }
}

}  // namespace
}  // namespace rotorix::hid::hidraw
