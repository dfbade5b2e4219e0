// The encoder test window without a toolkit, on the simulated platform: the board the session has
// open turns its encoders and presses buttons, and the test shows it. Ticks are driven here; the
// only wait is for the watch's reader, bounded so that only a broken test runs into it.
#include <gtest/gtest.h>

#include <functional>

#include "base/unicode.h"
#include "fixtures.h"
#include "session/board_session.h"
#include "view/encoder_test.h"

namespace rotorix::view {
namespace {

constexpr auto kBrokenBound = std::chrono::seconds(20);

class EncoderTestTest : public ::testing::Test {
  protected:
    EncoderTestTest() {
        platform.setReportInterval(std::chrono::milliseconds(4));
        board = platform.addBoard(test::saneBoard(u"RX-1"));
        session.start();
    }

    // Ticks (waiting for input between ticks) until `done` holds; keeps what was announced.
    bool tickUntil(EncoderTest& test, const std::function<bool(const EncoderTestView&)>& done) {
        const auto limit = std::chrono::steady_clock::now() + kBrokenBound;
        while (!done(test.shown())) {
            if (std::chrono::steady_clock::now() > limit) {
                for (const auto& r : test.shown().rows)
                    std::printf("%s lit %d%d %lld %lld\n", base::toUtf8(r.spoken).c_str(), r.lit[0],
                                r.lit[1], r.first_steps, r.second_steps);
                for (const auto& r : test.shown().findings)
                    std::printf("%s\n", base::toUtf8(r).c_str());
                return false;
            }
            test.waitForInput(std::chrono::milliseconds(50));
            take(test.tick());
        }
        return true;
    }
    void take(const EncoderTestUpdate& update) {
        announced.insert(announced.end(), update.announce.begin(), update.announce.end());
    }

    sim::SimPlatform platform;
    sim::SimPlatform::BoardId board = 0;
    session::BoardSession session{platform};
    std::vector<std::u16string> announced;
};

TEST_F(EncoderTestTest, CountsStepsClearsLightsButtonsAndTellsFindings) {
    EncoderTest test(platform, session);
    EXPECT_EQ(test.shown().title, u"Test the encoders of RX-1");
    EXPECT_EQ(test.shown().rows[1].type, u"1:4");
    EXPECT_EQ(test.shown().rows[3].type, u"OFF");

    // Steps under way when the watch's first report came are not counted: start after it.
    ASSERT_TRUE(test.waitForInput(kBrokenBound));
    take(test.tick());
    ASSERT_TRUE(platform.turn(board, 2, 3, 20));
    ASSERT_TRUE(platform.turn(board, 3, -2, 20));
    ASSERT_TRUE(tickUntil(test, [](const EncoderTestView& v) {
        return v.rows[1].first_steps == 3 && v.rows[2].second_steps == 2;
    }));
    EXPECT_FALSE(test.shown().rows[1].last_width.empty());
    EXPECT_EQ(test.shown().rows[1].spoken.substr(0, 46),
              u"Buttons 3-4, 1:4: 3 steps on button 3, 0 on bu");

    // Cleared, then both buttons of an encoder pair down at once: lit, and found. (What the
    // steps' widths were found to be depends on how busy the machine was.)
    take(test.clearCounts());
    EXPECT_EQ(test.shown().rows[1].first_steps, 0);
    EXPECT_TRUE(test.shown().rows[1].last_width.empty());
    EXPECT_TRUE(test.shown().findings.empty());
    announced.clear();
    platform.setButtons(board, 0x0003);
    ASSERT_TRUE(tickUntil(test, [](const EncoderTestView& v) {
        return v.rows[0].lit == std::array<bool, 2>{true, true};
    }));
    ASSERT_EQ(test.shown().findings.size(), 1u);
    EXPECT_EQ(test.shown().findings[0],
              u"Buttons 1-2: both buttons were down at once: a wiring fault or a bouncing switch");
    EXPECT_EQ(announced, test.shown().findings);
    platform.setButtons(board, 0);
    ASSERT_TRUE(tickUntil(test, [](const EncoderTestView& v) {
        return v.rows[0].lit == std::array<bool, 2>{false, false};
    }));

    // A pick in the main window: the types follow, and the counts start again.
    session.writeEncoderTypes({0, 1, 0, 0, 0, 0, 0, 3});
    take(test.follow(session.snapshot()));
    EXPECT_EQ(test.shown().rows[0].type, u"OFF");
    EXPECT_EQ(test.shown().rows[7].type, u"1:4");
    EXPECT_EQ(announced.back(), u"The settings changed: the counts start again.");
    EXPECT_FALSE(test.follow(session.snapshot()).show) << "unchanged settings change nothing";

    ASSERT_TRUE(platform.turn(board, 8, 1, 20));
    ASSERT_TRUE(tickUntil(test, [](const EncoderTestView& v) { return v.rows[7].first_steps; }));
}

// The board goes: the test ends in the system's words, and the session's own handle notices the
// loss at its next tick as it always did.
TEST_F(EncoderTestTest, BoardThatGoesEndsTheTestAndTheSessionStillNoticesTheLoss) {
    EncoderTest test(platform, session);
    EXPECT_EQ(platform.openHandles(board), 2);
    platform.unplug(board);
    ASSERT_TRUE(tickUntil(test, [](const EncoderTestView& v) { return !v.running; }));
    const std::u16string ended = u"The board went away (No such device). The test has ended.";
    EXPECT_EQ(test.shown().status, ended);
    EXPECT_EQ(announced, std::vector<std::u16string>{ended});
    EXPECT_FALSE(test.tick().show);
    EXPECT_TRUE(session.tick().lost);
}

// A test that cannot start says why and counts nothing.
TEST_F(EncoderTestTest, TestThatCannotStartSaysWhy) {
    platform.refuseOpen(board, hid::OpenError{hid::OpenError::Kind::Busy, "Device busy"});
    EncoderTest refused(platform, session);
    EXPECT_FALSE(refused.shown().running);
    EXPECT_EQ(refused.shown().status, u"The board could not be opened for the test (Device busy).");

    session.close();
    EncoderTest none(platform, session);
    EXPECT_FALSE(none.shown().running);
    EXPECT_EQ(none.shown().status,
              u"No board to test: the main window has no board open whose "
              u"settings it could read.");
}

}  // namespace
}  // namespace rotorix::view
