#include <gtest/gtest.h>

#include <functional>

#include "fixtures.h"
#include "sim/sim_platform.h"

namespace rotorix::sim {
namespace {

using test::openDevice;

std::vector<std::string> paths(const hid::Enumeration& walk) {
    const auto& list = walk.interfaces;
    std::vector<std::string> result;
    for (const auto& info : list) {
        result.push_back(info.path);
    }
    return result;
}

void expectDead(hid::Device& device) {
    std::vector<std::uint8_t> buffer(9, 0);
    const std::vector<std::uint8_t> request{0, 8, 0, 0};
    EXPECT_EQ(device.serialNumber(), std::nullopt);
    EXPECT_EQ(device.manufacturer(), std::nullopt);
    EXPECT_EQ(device.product(), std::nullopt);
    EXPECT_EQ(device.reportLengths(), std::nullopt);
    EXPECT_FALSE(device.sendFeatureReport(request));
    EXPECT_EQ(device.getFeatureReport(buffer), std::nullopt);
    EXPECT_EQ(device.readInputReport(buffer, 0), hid::ReadOutcome::Gone);
}

class SimPlatformTest : public ::testing::Test {
  protected:
    SimPlatform platform;
    SimPlatform::BoardId board = platform.addBoard(test::saneBoard());
};

TEST_F(SimPlatformTest, EnumerationListsEveryInterfaceInInsertionOrder) {
    auto design = test::saneBoard(u"0002");
    design.interfaces = 2;
    const auto twin = platform.addBoard(design);
    const auto foreign = platform.addForeign(0x1234, 0x5678);

    EXPECT_EQ(paths(platform.enumerate()),
              (std::vector<std::string>{platform.path(board), platform.path(twin, 0),
                                        platform.path(twin, 1), platform.path(foreign)}));

    // Both interfaces of the twin talk to the same firmware.
    auto second = openDevice(platform, twin, 1);
    ASSERT_TRUE(second->sendFeatureReport(std::vector<std::uint8_t>{0, 0xEE, 10, 7}));
    EXPECT_EQ(platform.firmware(twin).setting(10), 7);
    EXPECT_EQ(platform.firmware(board).setting(10), 6);
}

TEST_F(SimPlatformTest, UnplugKillsHandlesAndReplugDoesNotRevive) {
    const auto later = platform.addBoard(test::saneBoard(u"0002"));
    auto old_handle = openDevice(platform, board);

    platform.unplug(board);
    expectDead(*old_handle);
    EXPECT_EQ(paths(platform.enumerate()), std::vector<std::string>{platform.path(later)});
    auto refused = platform.open(hid::unlistedEntry(platform.path(board)));
    ASSERT_TRUE(std::holds_alternative<hid::OpenError>(refused));
    EXPECT_EQ(std::get<hid::OpenError>(refused).kind, hid::OpenError::Kind::Gone);

    platform.replug(board);
    expectDead(*old_handle);
    EXPECT_EQ(paths(platform.enumerate()),
              (std::vector<std::string>{platform.path(board), platform.path(later)}));
    auto new_handle = openDevice(platform, board);
    EXPECT_EQ(new_handle->serialNumber(), u"0001");
}

TEST_F(SimPlatformTest, EachHandleIsCountedOnceAndMayOutliveThePlatform) {
    auto other = std::make_unique<SimPlatform>();
    const auto id = other->addBoard(test::saneBoard());
    auto first = openDevice(*other, id);
    auto second = openDevice(*other, id);
    EXPECT_EQ(other->openHandles(id), 2);
    first.reset();
    EXPECT_EQ(other->openHandles(), 1);

    other.reset();
    EXPECT_EQ(second->serialNumber(), u"0001");
    second.reset();
}

TEST_F(SimPlatformTest, FetchNeverWritesPastTheCallersBuffer) {
    auto device = openDevice(platform, board);
    ASSERT_TRUE(device->sendFeatureReport(std::vector<std::uint8_t>(65, 0)));

    std::vector<std::uint8_t> storage{0, 0xCC, 0xCC};
    EXPECT_EQ(device->getFeatureReport(std::span(storage).first(2)), 2u);
    EXPECT_EQ(storage[2], 0xCC);

    platform.setShortFeatureReply(board, 2);
    std::vector<std::uint8_t> buffer(9, 0xCC);
    buffer[0] = 0;
    EXPECT_EQ(device->getFeatureReport(buffer), 2u);
    EXPECT_EQ(device->getFeatureReport(std::span<std::uint8_t>{}), std::nullopt);
}

TEST_F(SimPlatformTest, InjectedFailuresCountDownPerDeviceOrGlobally) {
    const auto other = platform.addBoard(test::saneBoard(u"0002"));
    auto device = openDevice(platform, board);
    auto other_device = openDevice(platform, other);

    platform.failCall(board, Call::SerialNumber, 2);
    EXPECT_EQ(other_device->serialNumber(), u"0002");
    EXPECT_EQ(device->serialNumber(), std::nullopt);
    EXPECT_EQ(device->serialNumber(), std::nullopt);
    EXPECT_EQ(device->serialNumber(), u"0001");

    platform.failCall(Call::Product, -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(other_device->product(), std::nullopt);
    }
    platform.clearFailures();
    EXPECT_EQ(other_device->product(), u"Rotary Encoder Board");

    EXPECT_EQ(platform.callCount(Call::SerialNumber), 4);
    EXPECT_EQ(platform.callCount(board, Call::SerialNumber), 3);
    EXPECT_EQ(platform.callCount(Call::Product), 4);
}

TEST_F(SimPlatformTest, HungBoardLeavesFeatureExchangesUnansweredUntilClearedOrUnplugged) {
    auto device = openDevice(platform, board);
    const std::vector<std::uint8_t> request{0, 8, 0, 0};
    std::vector<std::uint8_t> buffer(9, 0);
    platform.hang(board, 1);  // one more exchange is served
    EXPECT_TRUE(device->sendFeatureReport(request));
    EXPECT_FALSE(device->timedOut());
    EXPECT_FALSE(device->sendFeatureReport(request));
    EXPECT_TRUE(device->timedOut());
    EXPECT_EQ(device->lastError(), "Connection timed out");
    EXPECT_EQ(device->getFeatureReport(buffer), std::nullopt);
    EXPECT_TRUE(device->timedOut());
    EXPECT_EQ(device->readInputReport(buffer, 0), hid::ReadOutcome::Report) << "input goes on";
    EXPECT_FALSE(device->timedOut());
    EXPECT_EQ(platform.firmware(board).received().size(), 1u);
    EXPECT_EQ(platform.waits(board), 2);

    platform.hang(board, -1);
    EXPECT_TRUE(device->sendFeatureReport(request));
    platform.hang(board);
    platform.unplug(board);
    EXPECT_FALSE(device->sendFeatureReport(request));
    EXPECT_FALSE(device->timedOut()) << "a board that is gone is not one that does not answer";
    platform.replug(board);
    EXPECT_TRUE(openDevice(platform, board)->sendFeatureReport(request))
        << "the hang outlived a replug";
    EXPECT_EQ(platform.waits(board), 2);
    EXPECT_EQ(platform.callCount(board, Call::SendFeature), 5);
}

TEST_F(SimPlatformTest, OpenFailsAsToldAndOnUnknownPaths) {
    const hid::OpenError busy{hid::OpenError::Kind::Busy, "Device or resource busy"};
    platform.refuseOpen(board, busy);
    auto refused = platform.open(hid::unlistedEntry(platform.path(board)));
    ASSERT_TRUE(std::holds_alternative<hid::OpenError>(refused));
    EXPECT_EQ(std::get<hid::OpenError>(refused), busy);

    platform.refuseOpen(board, std::nullopt);
    EXPECT_TRUE(std::holds_alternative<hid::DeviceHandle>(
        platform.open(hid::unlistedEntry(platform.path(board)))));

    for (const char* path : {"", "sim:", "sim:7:0", "sim:0:1", "sim:0:0x", "/dev/hidraw0"}) {
        EXPECT_TRUE(std::holds_alternative<hid::OpenError>(platform.open(hid::unlistedEntry(path))))
            << path;
    }
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(SimPlatformTest, ForeignDevicesAnswerOnlyStringsAndInput) {
    const auto foreign = platform.addForeign(0x2B7E, 0x0104);
    auto device = openDevice(platform, foreign);
    std::vector<std::uint8_t> buffer(8, 0);

    EXPECT_EQ(device->serialNumber(), u"F-1");
    EXPECT_EQ(device->manufacturer(), u"Foreign");
    EXPECT_EQ(device->reportLengths(), (hid::ReportLengths{8, 0, 0}));
    EXPECT_FALSE(device->sendFeatureReport(std::vector<std::uint8_t>{0, 8}));
    EXPECT_EQ(device->getFeatureReport(buffer), std::nullopt);
    EXPECT_EQ(device->readInputReport(buffer, 0), hid::ReadOutcome::Report);
}

TEST_F(SimPlatformTest, SilentBoardIsQuietNotGone) {
    auto device = openDevice(platform, board);
    std::vector<std::uint8_t> buffer(9, 0);

    platform.setSilent(board, true);
    EXPECT_EQ(device->readInputReport(buffer, 1000), hid::ReadOutcome::NothingYet);
    platform.setSilent(board, false);
    EXPECT_EQ(device->readInputReport(buffer, 0), hid::ReadOutcome::Report);
}

// The monitor answers each question about what happened since the one before it.
TEST_F(SimPlatformTest, DeviceSetChangesAreReportedOnceAndPermissionChangesNever) {
    const auto other = platform.addBoard(test::saneBoard(u"0002"));
    struct Step {
        const char* what;
        std::function<void()> act;
        bool changed;
    };
    const std::vector<Step> steps{
        {"first question, whatever happened before", [] {}, true},
        {"nothing happened", [] {}, false},
        {"a board unplugged", [&] { platform.unplug(board); }, true},
        {"unplugged again: no event", [&] { platform.unplug(board); }, false},
        {"replugged", [&] { platform.replug(board); }, true},
        {"replugged again: no event", [&] { platform.replug(board); }, false},
        {"a foreign device added", [&] { platform.addForeign(0x1234, 0x5678); }, true},
        {"a board added", [&] { platform.addBoard(test::saneBoard(u"0003")); }, true},
        {"open refused, then allowed",
         [&] {
             platform.refuseOpen(other, hid::OpenError{hid::OpenError::Kind::AccessDenied, ""});
             platform.refuseOpen(other, std::nullopt);
         },
         false},
        {"vanished in the middle of an exchange",
         [&] {
             platform.unplugAfter(other, Call::Open, 1);
             auto handle = openDevice(platform, other);
         },
         true},
        {"monitor failed", [&] { platform.setMonitorFailed(true); }, true},
        {"failed monitor, nothing happened", [] {}, true},
        {"monitor back", [&] { platform.setMonitorFailed(false); }, false},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(platform.devicesMayHaveChanged(), step.changed) << step.what;
    }
    EXPECT_EQ(platform.callCount(Call::Enumerate), 0) << "the question walks nothing";
}

}  // namespace
}  // namespace rotorix::sim
