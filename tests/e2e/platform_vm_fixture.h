// The platform suite's boards and fixture, shared by its files: tests/e2e_boards.cmake plugs the
// boards in, and every test starts with all of them present and as plugged in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "by_serial.h"
#include "config/protocol.h"
#include "config/settings_io.h"
#include "hid/discovery.h"
#include "hid/linux/linux_platform.h"
#include "vm_rig.h"

namespace rotorix::e2e {

// Longer than any test takes: the fixture's platform then answers devicesMayHaveChanged() from
// its monitor alone.
inline constexpr std::chrono::hours kBelieveTheMonitor{1};

using config::BoardSettings;
using hid::ReadOutcome;
using Bytes = std::vector<std::uint8_t>;
using Serials = std::vector<std::u16string>;

struct Board {
    std::u16string serial;
    std::u16string manufacturer;
    std::u16string product;
    std::uint16_t version;
    hid::ReportLengths lengths;
    BoardSettings settings;  // as plugged in: planes (8, 9), pulse code (10), hide flag (1)
};

inline Board described(const RigBoard& board) {
    const auto text = [](const std::optional<std::string>& utf8) {
        return base::fromUtf8(utf8.value_or("")).value_or(u"(not UTF-8)");
    };
    const auto byte = [&](unsigned code) { return static_cast<std::uint8_t>(board.setting(code)); };
    return {text(board.serial),
            text(board.manufacturer),
            text(board.product),
            board.version,
            {static_cast<std::uint16_t>(board.input_length), 0,
             static_cast<std::uint16_t>(board.feature_length)},
            {{byte(8), byte(9)}, byte(10), byte(1)}};
}

// The boards tests/e2e_boards.cmake has run-vm plug in, in bus order: two that can be
// configured, an odd one with no strings, firmware 0.0 and a feature report too short to
// configure, then one whose strings are longer than the 63 bytes the kernel keeps in HID_UNIQ.
inline const std::vector<Board> kBoards = [] {
    std::vector<Board> boards;
    if (const auto rig = VmRig::fromEnvironment()) {
        for (int i = 0; i < rig->boardCount(); ++i) {
            boards.push_back(described(rig->board(i)));
        }
    }
    return boards;
}();
constexpr int kBoardCount = 4;
constexpr int kConfigurable = 2;  // boards 0 and 1
constexpr int kOddBoard = 2;
constexpr int kLongBoard = 3;

inline Serials allSerials() {
    Serials serials;
    for (const Board& board : kBoards) {
        serials.push_back(board.serial);
    }
    return serials;
}

inline Bytes padded(std::size_t length, std::initializer_list<std::uint8_t> head) {
    Bytes report(head);
    report.resize(length, 0);
    return report;
}

inline LoggedReport feature(std::size_t length, std::initializer_list<std::uint8_t> head) {
    return {"feature", padded(length, head)};
}

class VmPlatform : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // As the window does: QCoreApplication takes the locale from the environment, and run-vm
        // exports a UTF-8 one.
        std::setlocale(LC_ALL, "");
        rig_ = VmRig::fromEnvironment();
    }

    void SetUp() override {
        ASSERT_TRUE(rig_.has_value()) << "this suite runs inside the VM: ctest -L e2e, or "
                                         "e2e/vm/run-vm with the boards of tests/e2e_boards.cmake";
        ASSERT_EQ(rig_->boardCount(), kBoardCount);
        ASSERT_TRUE(events.listening()) << "no uevent socket";
        // Only what the monitor hears may turn its answer true: these tests take their time.
        platform = hid::makeLinuxPlatform(kBelieveTheMonitor);
        ASSERT_EQ(boards().size(), static_cast<std::size_t>(kBoardCount))
            << "an earlier test left a board unplugged";
        for (int i = 0; i < kBoardCount; ++i) {
            log_marks[i] = rig_->log(i).size();
        }
    }

    void TearDown() override {
        for (int i = 0; i < kBoardCount; ++i) {
            rig_->control(i, "disarm");
            rig_->control(i, "talkative");
            rig_->control(i, "full-reply");
            if (!rig_->bound(i)) {
                replugAndWait(i);
            }
            if (dirty[i] && i < kConfigurable) {
                restoreSettings(i);
            }
        }
    }

    // The interfaces with the board's IDs, in the platform's order.
    std::vector<hid::InterfaceInfo> boards() {
        std::vector<hid::InterfaceInfo> found;
        for (auto& info : platform->enumerate().interfaces) {
            if (match.matches(info)) {
                found.push_back(info);
            }
        }
        return found;
    }

    bool present(int board) {
        return std::ranges::count(listedSerials(*platform, match), kBoards[board].serial) > 0;
    }

    hid::OpenedBoard open(int board) {
        auto outcome = openBySerial(*platform, match, kBoards[board].serial);
        EXPECT_TRUE(outcome.unusable.empty());
        if (!outcome.board) {
            ADD_FAILURE() << "board " << board << " did not open";
            return {};
        }
        return std::move(*outcome.board);
    }

    // The reports `board` received since the test began. `device`, open on that board, fences
    // the log first: the function answers a fetch only after it has logged every report before
    // it, while a SET_REPORT completes on the host before the function has seen its data.
    std::vector<LoggedReport> traffic(int board, hid::Device& device) {
        Bytes fence(kBoards[board].lengths.feature, 0);
        EXPECT_TRUE(device.getFeatureReport(fence).has_value()) << "the fencing fetch failed";
        auto all = rig_->log(board);
        return {all.begin() + static_cast<std::ptrdiff_t>(log_marks[board]), all.end()};
    }

    // Puts the plugged-in settings back after a test that wrote.
    void restoreSettings(int board) {
        auto opened = open(board);
        if (!opened.device) {
            return;
        }
        const Board& b = kBoards[board];
        const std::pair<std::uint8_t, std::uint8_t> writes[] = {{1, b.settings.hide_flag},
                                                                {8, b.settings.planes.low},
                                                                {9, b.settings.planes.high},
                                                                {10, b.settings.pulse_code}};
        for (const auto& [code, value] : writes) {
            EXPECT_TRUE(opened.device->sendFeatureReport(
                padded(b.lengths.feature, {0, config::kWriteCommand, code, value})));
        }
    }

    // Unplugs `board` and waits until the host side has let go of it.
    void unplugAndWait(int board) {
        ASSERT_TRUE(rig_->unplug(board));
        ASSERT_TRUE(events.waitUntil([&] { return !present(board); }))
            << "board " << board << " is still enumerated after its unplug";
    }

    void replugAndWait(int board) {
        ASSERT_TRUE(rig_->replug(board));
        ASSERT_TRUE(events.waitUntil([&] { return present(board); }))
            << "board " << board << " did not come back";
    }

    static inline std::optional<VmRig> rig_;
    const hid::DeviceMatch match{config::kVendorId, config::kProductId};
    DeviceEvents events;
    std::unique_ptr<hid::Platform> platform;
    std::size_t log_marks[kBoardCount] = {};
    bool dirty[kBoardCount] = {};
};

}  // namespace rotorix::e2e
