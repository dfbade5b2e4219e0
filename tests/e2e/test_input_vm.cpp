// The input watch and the encoder meter on the Linux backend, against an emulated board that
// turns its encoders: the pulses the board makes cross usbhid and hidraw, are stamped as they
// arrive, and the meter counts exactly the steps the board made. Runs in the platform suite's VM
// (e2e.platform), on its boards (tests/e2e_boards.cmake).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "config/protocol.h"
#include "hid/discovery.h"
#include "hid/linux/linux_platform.h"
#include "input/encoder_meter.h"
#include "input/watch.h"
#include "vm_rig.h"

namespace rotorix::e2e {
namespace {

using input::InputWatch;
using input::WatchEvent;

// The pair's second board: pairs 1 and 2 at "1:2", 100 ms pulses (code 25), long enough that an
// emulated host polling late still sees every one.
constexpr int kBoard = 1;

class VmInputWatch : public ::testing::Test {
  protected:
    void SetUp() override {
        rig = VmRig::fromEnvironment();
        ASSERT_TRUE(rig.has_value()) << "this suite runs inside the VM: ctest -L e2e";
        ASSERT_TRUE(events.listening()) << "no uevent socket";
        platform = hid::makeLinuxPlatform();
        serial = base::fromUtf8(rig->board(kBoard).serial.value_or("")).value_or(u"");
        board = find();
        ASSERT_TRUE(board.has_value()) << "board " << kBoard << " is not listed";
        pulses_before = rig->pulses(kBoard).size();
    }

    void TearDown() override {
        if (rig && !rig->bound(kBoard)) {
            ASSERT_TRUE(rig->replug(kBoard));
            ASSERT_TRUE(events.waitUntil([&] { return find().has_value(); }));
        }
    }

    std::optional<hid::BoardEntry> find() {
        for (auto& entry : hid::listBoards(*platform, match).boards) {
            if (entry.identity.serial == serial) {
                return entry;
            }
        }
        return std::nullopt;
    }

    input::MeterSettings settings() const {
        const RigBoard& b = rig->board(kBoard);
        const auto byte = [&](unsigned code) { return static_cast<std::uint8_t>(b.setting(code)); };
        return input::meterSettings({{byte(8), byte(9)}, byte(10), byte(1)});
    }

    // Drains the watch, handing each event to `take`, until `done` holds; false when it never
    // does within a bound only a broken watch runs into.
    bool drainUntil(InputWatch& watch, const std::function<void(const WatchEvent&)>& take,
                    const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + kEventLimit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) {
                return false;
            }
            watch.waitForEvents(std::chrono::milliseconds(200));
            for (const WatchEvent& event : watch.drain()) {
                take(event);
            }
        }
        return true;
    }

    std::optional<VmRig> rig;
    DeviceEvents events;
    std::unique_ptr<hid::Platform> platform;
    const hid::DeviceMatch match{config::kVendorId, config::kProductId};
    std::u16string serial;
    std::optional<hid::BoardEntry> board;
    std::size_t pulses_before = 0;
};

double ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Two pairs turned one after the other, each way: the meter counts exactly the board's steps,
// and each step's stamps are set beside the board's own record of that pulse (printed, as a
// measurement: nothing here asserts on time).
TEST_F(VmInputWatch, CountsExactlyTheStepsTheBoardTurnedEachWay) {
    InputWatch watch(*platform, std::span(&*board, 1));
    ASSERT_FALSE(watch.unwatched()[0].has_value());
    input::EncoderMeter meter(settings());
    ASSERT_EQ(meter.settings().types[0], 2);
    ASSERT_EQ(meter.settings().types[1], 2);
    std::vector<input::Step> steps;
    bool baseline = false;
    const auto take = [&](const WatchEvent& event) {
        ASSERT_NE(event.kind, WatchEvent::Kind::Ended) << event.why;
        baseline = baseline || event.kind == WatchEvent::Kind::Baseline;
        for (const input::Step& step : meter.feed(event.stamp, event.pair_buttons)) {
            steps.push_back(step);
        }
    };
    ASSERT_TRUE(drainUntil(watch, take, [&] { return baseline; }));

    ASSERT_TRUE(rig->control(kBoard, "turn 1 3 5"));
    ASSERT_TRUE(rig->control(kBoard, "turn 2 -2 5"));
    ASSERT_TRUE(drainUntil(watch, take, [&] { return steps.size() >= 5; }))
        << steps.size() << " steps arrived";
    EXPECT_EQ(meter.pair(1).positive, 3);
    EXPECT_EQ(meter.pair(1).negative, 0);
    EXPECT_EQ(meter.pair(2).positive, 0);
    EXPECT_EQ(meter.pair(2).negative, 2);

    const auto all = rig->pulses(kBoard);
    ASSERT_EQ(all.size(), pulses_before + 5);
    const std::vector<BoardPulse> made(all.begin() + static_cast<std::ptrdiff_t>(pulses_before),
                                       all.end());
    for (std::size_t k = 0; k < steps.size() && k < made.size(); ++k) {
        EXPECT_EQ(steps[k].button, made[k].button) << "step " << k;
        std::printf(
            "step %zu: button %d, width %.1f ms (board %.1f ms), stamped %.1f ms after "
            "the board began it\n",
            k, made[k].button, ms(steps[k].width()), ms(made[k].end - made[k].start),
            ms(steps[k].start - made[k].start));
    }
    for (const input::Finding& finding : meter.findings()) {
        std::printf("finding: %s\n", finding.text.c_str());
    }
}

TEST_F(VmInputWatch, UnplugEndsTheWatchInTheSystemsWords) {
    InputWatch watch(*platform, std::span(&*board, 1));
    std::optional<WatchEvent> ended;
    bool baseline = false;
    const auto take = [&](const WatchEvent& event) {
        baseline = baseline || event.kind == WatchEvent::Kind::Baseline;
        if (event.kind == WatchEvent::Kind::Ended) {
            ended = event;
        }
    };
    ASSERT_TRUE(drainUntil(watch, take, [&] { return baseline; }));
    ASSERT_TRUE(rig->unplug(kBoard));
    ASSERT_TRUE(drainUntil(watch, take, [&] { return ended.has_value(); }));
    EXPECT_FALSE(ended->why.empty()) << "the system's words for the lost board";
    std::printf("ended: %s\n", ended->why.c_str());
    ASSERT_TRUE(drainUntil(watch, take, [&] { return !watch.reading(); }));
}

}  // namespace
}  // namespace rotorix::e2e
