// Start-up with none, one or two boards, the watchdog's intervals, loss and reconnection, and
// closing, on the session alone.
#include <span>

#include "session_fixture.h"
#include "sim/demo_boards.h"

namespace rotorix::test {
namespace {

class StartUp : public SessionTest {};
class Watchdog : public SessionTest {};
class Closing : public SessionTest {};

// ---- Start-up ----

TEST_F(StartUp, WithoutABoardShowsNothingAndKeepsLooking) {
    start();
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_TRUE(session.scanComplete());
    EXPECT_EQ(shown(), Snapshot{}) << "nothing to show, not even a notice";
    EXPECT_EQ(session.interval(), 50);
}

TEST_F(StartUp, WithOneBoardOpensAndReadsIt) {
    const BoardId board = addBoard(saneBoard(u"RX-77"));
    start();
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(shown().serials, std::vector<std::u16string>{u"RX-77"});
    EXPECT_EQ(shown().selected, 0);
    EXPECT_TRUE(shown().board_open);
    EXPECT_EQ(shown().firmware, Firmware::Ready);
    EXPECT_EQ(shownTypes(), kSaneTypes);
    EXPECT_EQ(session.interval(), 50);
}

TEST_F(StartUp, WithTwoBoardsOpensTheLastListed) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    start();
    EXPECT_EQ(shown().serials, (std::vector<std::u16string>{u"RX-1", u"RX-2"}));
    EXPECT_EQ(shown().selected, 1);
    EXPECT_EQ(platform.openHandles(first), 0);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_TRUE(received(first).empty()) << "the board that is not open was read";
    EXPECT_EQ(received(second), readBack(9));
}

TEST_F(StartUp, ForeignDevicesAreNeitherListedNorTouched) {
    const BoardId mouse = platform.addForeign(0x046D, 0xC077);
    const BoardId sameVendor = platform.addForeign(0x2B7E, 0x0104);
    const BoardId board = addBoard();
    start();
    EXPECT_EQ(shown().serials.size(), 1u);
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(platform.callCount(mouse, Call::Open), 0);
    EXPECT_EQ(platform.callCount(sameVendor, Call::Open), 0);
}

TEST_F(StartUp, TheDemoBoardsComeUpConfigured) {
    sim::addDemoBoards(platform);
    start();
    ASSERT_TRUE(loaded());
    EXPECT_EQ(shown().serials.size(), 2u);
    EXPECT_EQ(shown().version_caption, " 1.4");
    EXPECT_NE(shownTypes(), std::vector<std::string>(8, "OFF"));
    EXPECT_TRUE(config::pulseIndexFromCode(shown().settings->pulse_code).has_value());
}

// ---- The watchdog ----

TEST_F(Watchdog, FirstSuccessfulReadSettlesTheIntervalAt500) {
    addBoard();
    start();
    const int reads = platform.callCount(Call::ReadInput);
    EXPECT_EQ(tick().interval_ms, 500);
    EXPECT_EQ(platform.callCount(Call::ReadInput), reads + 1);
    EXPECT_EQ(session.interval(), 500);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(tick().interval_ms, 500);
    EXPECT_EQ(platform.callCount(Call::Open), 2) << "a connected tick must not rescan";
}

TEST_F(Watchdog, WithoutABoardEveryTickRescansAtTheStartInterval) {
    platform.setMonitorFailed(true);  // a platform that cannot tell whether a device came
    start();
    const int walks = platform.callCount(Call::Enumerate);
    EXPECT_EQ(tick(3).interval_ms, 50);
    EXPECT_GT(platform.callCount(Call::Enumerate), walks + 2);
    EXPECT_FALSE(shown().settings);
}

TEST_F(Watchdog, BoardAttachedLaterIsOpenedAtTheNextTick) {
    start();
    tick();
    const BoardId board = addBoard();
    const auto found = tick();
    EXPECT_FALSE(found.lost);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(found.interval_ms, 50) << "the first read has not happened yet";
    EXPECT_EQ(tick().interval_ms, 500);
}

TEST_F(Watchdog, UnplugClearsTheSnapshotAndReplugReconnects) {
    const BoardId board = addBoard();
    start();
    tick();
    platform.unplug(board);
    const auto lost = tick();
    EXPECT_TRUE(lost.lost);
    EXPECT_EQ(lost.interval_ms, 250);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(shown().serials.empty());
    EXPECT_EQ(shown().selected, -1);
    EXPECT_FALSE(shown().board_open);
    EXPECT_FALSE(shown().manufacturer);
    EXPECT_FALSE(shown().product);
    EXPECT_TRUE(shown().version_caption.empty());
    EXPECT_EQ(shown().firmware, Firmware::None);
    EXPECT_FALSE(shown().settings);

    const auto searching = tick();  // still nothing: keeps searching at 250 ms
    EXPECT_FALSE(searching.lost) << "a loss is reported once";
    EXPECT_EQ(searching.interval_ms, 250);

    forgetTraffic(board);
    platform.replug(board);
    tick();
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.openHandles(board), 1);
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(shownTypes(), kSaneTypes);
    EXPECT_EQ(shown().serials, std::vector<std::u16string>{u"0001"});
    EXPECT_EQ(shown().selected, 0);
    EXPECT_EQ(tick().interval_ms, 500);
}

TEST_F(Watchdog, LosingTheOpenBoardOfTwoOpensTheOtherInTheSameTick) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    start();
    ASSERT_EQ(platform.openHandles(second), 1);
    platform.unplug(second);
    const auto result = tick();
    EXPECT_TRUE(result.lost);
    EXPECT_EQ(result.interval_ms, 250);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.openHandles(first), 1);
    EXPECT_EQ(platform.openHandles(second), 0);
    EXPECT_EQ(shown().serials, std::vector<std::u16string>{u"RX-1"});
    EXPECT_EQ(shown().selected, 0);
}

TEST_F(Watchdog, QuietBoardIsNotLost) {
    const BoardId board = addBoard();
    start();
    platform.setSilent(board, true);
    const auto result = tick(3);
    EXPECT_FALSE(result.lost);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.callCount(board, Call::Open), 2) << "a quiet board was reopened";
    EXPECT_EQ(result.interval_ms, 500);
}

TEST_F(Watchdog, FailedReadCountsAsLoss) {
    const BoardId board = addBoard();
    start();
    platform.failCall(board, Call::ReadInput, 1);
    const int opens = platform.callCount(board, Call::Open);
    const auto result = tick();
    // The board is still there, so the same tick finds it again.
    EXPECT_TRUE(result.lost);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(platform.callCount(board, Call::Open), opens + 2);  // listing, then opening
    EXPECT_EQ(platform.openHandles(), 1);
    EXPECT_EQ(result.interval_ms, 250);
}

TEST_F(Watchdog, UnreadableReportLengthsAreRetriedNotTakenAsAnUnconfigurableBoard) {
    const BoardId board = addBoard();
    platform.failCall(board, Call::ReportLengths, 1);
    start();
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_EQ(shown().firmware, Firmware::Ready);
    EXPECT_FALSE(shown().settings);
    EXPECT_TRUE(received(board).empty()) << "nothing goes to a board of unknown length";
    tickUntilReopened(board);
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_EQ(session.deviceCaps().feature, 9);
    EXPECT_EQ(platform.openHandles(), 1);
}

// Records the longest wait any liveness read asked for; otherwise the simulated platform.
class WaitRecorder : public hid::Platform {
  public:
    explicit WaitRecorder(SimPlatform& inner) : inner_(inner) {}

    hid::Enumeration enumerate() override { return inner_.enumerate(); }
    std::optional<hid::Identity> identify(const hid::InterfaceInfo& entry) override {
        return inner_.identify(entry);
    }
    hid::OpenResult open(const hid::InterfaceInfo& entry) override {
        auto result = inner_.open(entry);
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
    BoardSession recorded(recorder);
    recorded.start();
    platform.setSilent(board, true);
    recorded.tick();
    platform.setSilent(board, false);
    recorded.tick();
    ASSERT_EQ(recorder.waits().size(), 2u);
    for (int wait : recorder.waits()) {
        EXPECT_GE(wait, 0) << "a negative wait blocks until a report comes";
        EXPECT_LE(wait, BoardSession::kLivenessWaitMs);
    }
    EXPECT_LE(BoardSession::kLivenessWaitMs, 20) << "a tick may hold the caller only briefly";
    recorded.close();
}

// ---- Closing ----

TEST_F(Closing, ReleasesTheBoardAndShutsEveryGate) {
    const BoardId board = addBoard(saneBoard(u"RX-1"));
    addBoard(saneBoard(u"RX-2"));
    start();
    session.select(0);
    tick();
    ASSERT_EQ(platform.openHandles(board), 1);
    session.close();
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(session.scanComplete());
    EXPECT_FALSE(shown().board_open);
    EXPECT_FALSE(shown().settings);

    // Calls arriving after close find nothing to act on: no write, no switch, no open.
    const int sends = platform.callCount(Call::SendFeature);
    const int opens = platform.callCount(Call::Open);
    EXPECT_EQ(session.writeEncoderTypes(Types{}), WriteOutcome::NotSent);
    EXPECT_EQ(session.writePulseCode(1), WriteOutcome::NotSent);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::NotSent);
    session.select(1);
    EXPECT_EQ(platform.callCount(Call::SendFeature), sends);
    EXPECT_EQ(platform.callCount(Call::Open), opens);
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(writesTo(board).empty());
}

TEST_F(Closing, WithoutABoardOrAfterItVanishedIsHarmless) {
    start();
    tick();
    session.close();
    EXPECT_EQ(platform.openHandles(), 0);

    BoardSession other(platform);
    const BoardId board = addBoard();
    other.start();
    platform.unplug(board);  // the handle is dead but still held until the next tick
    other.close();
    EXPECT_EQ(platform.openHandles(), 0);
    other.close();  // twice is harmless too
}

TEST_F(Closing, DestroyingAnOpenSessionReleasesTheBoard) {
    const BoardId board = addBoard();
    {
        BoardSession open(platform);
        open.start();
        ASSERT_EQ(platform.openHandles(board), 1);
    }
    EXPECT_EQ(platform.openHandles(), 0);
}

}  // namespace
}  // namespace rotorix::test
