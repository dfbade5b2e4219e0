// Start-up, the connection watchdog and closing the window.
#include <span>

#include "app/demo_boards.h"
#include "window_fixture.h"

namespace rotorix::test {
namespace {

class StartUp : public WindowTest {};
class Watchdog : public WindowTest {};
class Closing : public WindowTest {};

// ---- Start-up ----

TEST_F(StartUp, WithoutABoardShowsEmptyDisabledControlsAndKeepsLooking) {
    frmMain& window = load();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_TRUE(window.scanComplete());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_FALSE(serNo()->isEnabled());
    EXPECT_EQ(serNo()->count(), 0);
    EXPECT_FALSE(control<QWidget>("Frame1")->isEnabled());
    EXPECT_FALSE(control<QWidget>("Frame3")->isEnabled());
    for (const char* label : {"lblManuf", "lblProduct", "lblVersion"}) {
        EXPECT_TRUE(caption(label).isEmpty()) << label;
    }
    EXPECT_EQ(window.timer().interval(), 50);
    EXPECT_TRUE(window.timer().isActive());
}

TEST_F(StartUp, WithOneBoardShowsItsSerialInADisabledSelector) {
    const BoardId board = addBoard(saneBoard(u"RX-77"));
    frmMain& window = load();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_FALSE(serNo()->isEnabled());
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("RX-77"));
    EXPECT_TRUE(control<QWidget>("Frame1")->isEnabled());
    EXPECT_TRUE(settingControlsEnabled());
    EXPECT_EQ(window.timer().interval(), 50);
    EXPECT_TRUE(window.timer().isActive());
}

TEST_F(StartUp, WithTwoBoardsOpensTheLastListedAndLetsTheUserChoose) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    load();
    EXPECT_TRUE(serNo()->isEnabled());
    ASSERT_EQ(serNo()->count(), 2);
    EXPECT_EQ(serNo()->itemText(0), QStringLiteral("RX-1"));
    EXPECT_EQ(serNo()->currentIndex(), 1);
    EXPECT_EQ(platform.openHandles(first), 0);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_TRUE(received(first).empty()) << "the board that is not open was read";
    EXPECT_EQ(received(second), readBack(9));
}

TEST_F(StartUp, ForeignDevicesAreNeitherListedNorTouched) {
    const BoardId mouse = platform.addForeign(0x046D, 0xC077);
    const BoardId sameVendor = platform.addForeign(0x2B7E, 0x0104);
    const BoardId board = addBoard();
    load();
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(platform.callCount(mouse, Call::Open), 0);
    EXPECT_EQ(platform.callCount(sameVendor, Call::Open), 0);
}

TEST_F(StartUp, TheDemoBoardsComeUpConfigured) {
    app::addDemoBoards(platform);
    load();
    ASSERT_TRUE(window().settingsLoaded());
    EXPECT_EQ(serNo()->count(), 2);
    EXPECT_TRUE(serNo()->isEnabled());
    EXPECT_EQ(caption("lblVersion"), QStringLiteral(" 1.4"));
    EXPECT_NE(shownTypes(), std::vector<std::string>(8, "OFF"));
    EXPECT_NE(pulse()->currentIndex(), -1);
}

// ---- The watchdog ----

TEST_F(Watchdog, FirstSuccessfulReadSettlesTheIntervalAt500) {
    addBoard();
    frmMain& window = load();
    ASSERT_EQ(window.timer().interval(), 50);
    const int reads = platform.callCount(Call::ReadInput);
    tick();
    EXPECT_EQ(platform.callCount(Call::ReadInput), reads + 1);
    EXPECT_EQ(window.timer().interval(), 500);
    EXPECT_TRUE(window.timer().isActive());
    EXPECT_TRUE(window.settingsLoaded());
    tick();
    EXPECT_EQ(window.timer().interval(), 500);
    EXPECT_EQ(platform.callCount(Call::Open), 2) << "a connected tick must not rescan";
}

TEST_F(Watchdog, WithoutABoardEveryTickRescansAtTheStartInterval) {
    platform.setMonitorFailed(true);  // a platform that cannot tell whether a device came
    frmMain& window = load();
    const int walks = platform.callCount(Call::Enumerate);
    tick(3);
    EXPECT_GT(platform.callCount(Call::Enumerate), walks + 2);
    EXPECT_EQ(window.timer().interval(), 50);
    EXPECT_TRUE(settingControlsClearedAndDisabled());
}

TEST_F(Watchdog, BoardAttachedLaterIsOpenedAtTheNextTick) {
    frmMain& window = load();
    tick();
    const BoardId board = addBoard();
    tick();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(window.timer().interval(), 50) << "the first read has not happened yet";
    tick();
    EXPECT_EQ(window.timer().interval(), 500);
}

TEST_F(Watchdog, UnplugClearsTheWindowAndReplugReconnects) {
    const BoardId board = addBoard();
    frmMain& window = load();
    tick();
    platform.unplug(board);
    tick();
    EXPECT_FALSE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_EQ(window.timer().interval(), 250);
    EXPECT_TRUE(window.timer().isActive());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_EQ(serNo()->count(), 0);
    for (const char* label : {"lblManuf", "lblProduct", "lblVersion"}) {
        EXPECT_TRUE(caption(label).isEmpty()) << label;
    }
    EXPECT_TRUE(control<QWidget>("Frame1")->isEnabled()) << "once opened, the frame stays enabled";

    tick();  // still nothing: keeps searching at 250 ms
    EXPECT_EQ(window.timer().interval(), 250);

    forgetTraffic(board);
    platform.replug(board);
    tick();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(shownTypes(),
              (std::vector<std::string>{"1:1", "1:4", "1:2", "OFF", "OFF", "OFF", "OFF", "OFF"}));
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("0001"));
    tick();
    EXPECT_EQ(window.timer().interval(), 500);
}

TEST_F(Watchdog, LosingTheOpenBoardOfTwoOpensTheOtherInTheSameTick) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    frmMain& window = load();
    ASSERT_EQ(platform.openHandles(second), 1);
    platform.unplug(second);
    tick();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(platform.openHandles(second), 0);
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_EQ(serNo()->currentText(), QStringLiteral("RX-1"));
    EXPECT_FALSE(serNo()->isEnabled());
    EXPECT_EQ(window.timer().interval(), 250);
}

TEST_F(Watchdog, QuietBoardIsNotLost) {
    const BoardId board = addBoard();
    frmMain& window = load();
    platform.setSilent(board, true);
    tick(3);
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.callCount(board, Call::Open), 2) << "a quiet board was reopened";
    EXPECT_EQ(window.timer().interval(), 500);
}

TEST_F(Watchdog, FailedReadCountsAsLoss) {
    const BoardId board = addBoard();
    frmMain& window = load();
    platform.failCall(board, Call::ReadInput, 1);
    const int opens = platform.callCount(board, Call::Open);
    tick();
    // The board is still there, so the same tick finds it again.
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(platform.callCount(board, Call::Open), opens + 2);  // listing, then opening
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_EQ(window.timer().interval(), 250);
}

TEST_F(Watchdog, UnreadableReportLengthsAreRetriedNotTakenAsAnUnconfigurableBoard) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::ReportLengths, 1);
    frmMain& window = load();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_FALSE(window.settingsLoaded());
    EXPECT_FALSE(enc(1)->isEnabled());
    EXPECT_TRUE(platform.firmware(board).received().empty())
        << "nothing goes to a board of unknown length";
    tick();
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_EQ(window.deviceCaps().feature, 9);
    EXPECT_EQ(platform.openHandles(), 1);
}

// Records the longest wait any liveness read asked for; otherwise the simulated platform.
class WaitRecorder : public hid::Platform {
  public:
    explicit WaitRecorder(SimPlatform& inner) : inner_(inner) {}

    std::vector<hid::InterfaceInfo> enumerate() override { return inner_.enumerate(); }
    hid::OpenResult open(const std::string& path) override {
        auto result = inner_.open(path);
        if (auto* handle = std::get_if<hid::DeviceHandle>(&result)) {
            return hid::DeviceHandle{std::make_unique<Device>(std::move(*handle), waits_)};
        }
        return result;
    }
    const std::vector<int>& waits() const { return waits_; }

  private:
    class Device : public hid::Device {
      public:
        Device(hid::DeviceHandle inner, std::vector<int>& waits)
            : inner_(std::move(inner)), waits_(waits) {}
        std::optional<std::u16string> serialNumber() override { return inner_->serialNumber(); }
        std::optional<std::u16string> manufacturer() override { return inner_->manufacturer(); }
        std::optional<std::u16string> product() override { return inner_->product(); }
        std::optional<hid::ReportLengths> reportLengths() override {
            return inner_->reportLengths();
        }
        bool sendFeatureReport(std::span<const std::uint8_t> report) override {
            return inner_->sendFeatureReport(report);
        }
        std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
            return inner_->getFeatureReport(buffer);
        }
        hid::ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
            waits_.push_back(timeout_ms);
            return inner_->readInputReport(buffer, timeout_ms);
        }

      private:
        hid::DeviceHandle inner_;
        std::vector<int>& waits_;
    };

    SimPlatform& inner_;
    std::vector<int> waits_;
};

TEST_F(Watchdog, LivenessReadNeverWaitsLongerThanTheBound) {
    const BoardId board = addBoard();
    WaitRecorder recorder(platform);
    frmMain window(recorder);
    window.Form_Load();
    platform.setSilent(board, true);
    window.Timer_Timer();
    platform.setSilent(board, false);
    window.Timer_Timer();
    ASSERT_EQ(recorder.waits().size(), 2u);
    for (int wait : recorder.waits()) {
        EXPECT_GE(wait, 0) << "a negative wait blocks until a report comes";
        EXPECT_LE(wait, frmMain::kLivenessWaitMs);
    }
    EXPECT_LE(frmMain::kLivenessWaitMs, 20) << "a tick may hold the window only briefly";
    window.Form_Unload();
}

// ---- Closing ----

TEST_F(Closing, ClosingTheWindowReleasesTheBoardAndStopsTheTimer) {
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

TEST_F(Closing, ClosingWithoutABoardIsHarmless) {
    frmMain& window = load();
    tick();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive());
}

TEST_F(Closing, ClosingAfterTheBoardVanishedIsHarmless) {
    const BoardId board = addBoard();
    frmMain& window = load();
    platform.unplug(board);  // the handle is dead but still held until the next tick
    EXPECT_TRUE(window.close());
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Closing, HandlersArrivingAfterUnloadSendNothing) {
    const BoardId board = addBoard();
    frmMain& window = load();
    window.Form_Unload();
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(window.timer().isActive());
    EXPECT_FALSE(window.scanComplete());
    const int sends = platform.callCount(Call::SendFeature);
    window.Enc1_Click();
    window.ModeCh1_Click();
    window.NoJoy_Click();
    EXPECT_EQ(platform.callCount(Call::SendFeature), sends);
    EXPECT_TRUE(writesTo(board).empty());
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Closing, DestroyingAnOpenWindowReleasesTheBoard) {
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
