// A board that does not answer at all costs the caller one wait: it is told as not answering and
// sent nothing more, however many ticks and picks follow, until it is plugged in again or picked
// again. A board that refuses keeps the back-off (test_session_readback, test_session_writes).
#include "session_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;

constexpr const char* kNotice = "The board does not answer; unplug it and plug it in again";

// Where the board stops answering, and what it took before: each row's `exchange` makes exactly
// one wait.
struct HangCase {
    const char* name;
    // The board hangs before start(), and start() is the exchange; otherwise after start().
    bool at_start;
    // Feature exchanges (sends and fetches) the board still serves once it was told to hang.
    int served;
    // What the board was sent before it hung (after the start-up read-back, for a write).
    std::vector<Report> taken;
    std::function<void(BoardSession&)> exchange;
};
std::ostream& operator<<(std::ostream& out, const HangCase& c) {
    return out << c.name;
}

void expectLost(WriteOutcome outcome) {
    EXPECT_EQ(outcome, WriteOutcome::RefusedLost);
}

const std::vector<HangCase> kHangCases = {
    {"StartUpReadBack", true, 0, {}, [](BoardSession& s) { s.start(); }},
    {"ThirdRequestOfTheReadBack",
     true,
     4,
     {readRequest(9, Setting::EncoderLowPlane), readRequest(9, Setting::EncoderHighPlane)},
     [](BoardSession& s) { s.start(); }},
    {"EncoderWriteSendsNoSecondPlane",
     false,
     0,
     {},
     [](BoardSession& s) { expectLost(s.writeEncoderTypes(Types{})); }},
    {"EncoderWriteHangsAtTheSecondPlane",
     false,
     1,
     {settingWrite(9, Setting::EncoderLowPlane, 0x00)},
     [](BoardSession& s) { expectLost(s.writeEncoderTypes(Types{})); }},
    {"PulseWrite", false, 0, {}, [](BoardSession& s) { expectLost(s.writePulseCode(7)); }},
    {"HideWriteSendsNoCommandB0",
     false,
     0,
     {},
     [](BoardSession& s) { expectLost(s.pickHidden(true)); }},
    {"Reload", false, 0, {}, [](BoardSession& s) { EXPECT_FALSE(s.reload()); }},
    {"RePick", false, 0, {}, [](BoardSession& s) { s.select(0); }},
    // The command line's set: the first part waits; the other parts and the check that follows
    // are not sent.
    {"ApplyAndVerify",
     false,
     0,
     {},
     [](BoardSession& s) {
         const auto applied = s.applyAndVerify({Types{}, std::uint8_t{7}, std::uint8_t{1}});
         EXPECT_EQ(applied.encoders, WriteOutcome::RefusedLost);
         EXPECT_EQ(applied.pulse, WriteOutcome::NotSent);
         EXPECT_EQ(applied.hidden, WriteOutcome::NotSent);
         EXPECT_FALSE(applied.read_back);
         EXPECT_FALSE(applied.verified);
         EXPECT_EQ(applied.refused_words, "Connection timed out");
     }},
};

class Unanswered : public SessionTest, public ::testing::WithParamInterface<HangCase> {
  protected:
    // Starts the board, hung as the row says, and runs its exchange.
    BoardId hungBoard() {
        const HangCase& row = GetParam();
        const BoardId board = addBoard();
        if (row.at_start) {
            platform.hang(board, row.served);
        } else {
            start();
            EXPECT_TRUE(loaded());
            forgetTraffic(board);
            platform.hang(board, row.served);
        }
        row.exchange(session);
        return board;
    }

    // The snapshot tells the board as not answering, open, with nothing to write to.
    void expectToldNotAnswering() {
        EXPECT_TRUE(shown().board_open);
        EXPECT_TRUE(shown().not_answering);
        EXPECT_EQ(shown().verdict(), session::Verdict::Unreadable);
        EXPECT_EQ(shown().notice, kNotice);
        EXPECT_EQ(shown().last_error, "Connection timed out");
        EXPECT_FALSE(shown().settings) << "what it holds after a lost exchange is unknown";
        EXPECT_EQ(shown().manufacturer, u"Rotorix");
        EXPECT_FALSE(session.snapshot().settings.has_value());
    }

    // Feature exchanges and opens made with the board so far.
    int traffic(BoardId board) const {
        return platform.callCount(board, Call::SendFeature) +
               platform.callCount(board, Call::GetFeature) + platform.callCount(board, Call::Open);
    }
};

TEST_P(Unanswered, CostsOneWaitAndNothingIsSentAfterwards) {
    const BoardId board = hungBoard();
    EXPECT_EQ(platform.waits(board), 1);
    EXPECT_EQ(received(board), GetParam().taken);
    expectToldNotAnswering();

    // Longer than the whole back-off a refusing board gets, with every pick and reload a user or
    // a script could make meanwhile: none of it reaches the board, and nothing changes.
    const auto generation = session.generation();
    const int before = traffic(board);
    for (int i = 0; i < 40; ++i) {
        EXPECT_FALSE(tick().lost) << "its input reports still come";
        EXPECT_EQ(session.pickEncoderTypes({3, 3, 3, 3, 3, 3, 3, 3}), WriteOutcome::NotSent);
        EXPECT_EQ(session.pickPulse(3), WriteOutcome::NotSent);
        EXPECT_EQ(session.pickHidden(true), WriteOutcome::NotSent);
        EXPECT_FALSE(session.reload());
    }
    EXPECT_EQ(traffic(board), before) << "the board was sent something, or reopened";
    EXPECT_EQ(platform.waits(board), 1);
    EXPECT_EQ(session.generation(), generation) << "told more than once";
    EXPECT_EQ(session.interval(), BoardSession::kConnectedIntervalMs);
    EXPECT_TRUE(session.snapshot().board_open)
        << "it is left open: its liveness read notices an unplug";
    EXPECT_EQ(platform.openHandles(board), 1);
}

TEST_P(Unanswered, ReplugReadsItBackAfresh) {
    const BoardId board = hungBoard();
    tick(3);
    platform.unplug(board);
    EXPECT_TRUE(tick().lost);
    EXPECT_FALSE(shown().not_answering);
    EXPECT_NE(shown().notice, kNotice);
    platform.replug(board);
    forgetTraffic(board);
    tick();
    EXPECT_TRUE(loaded());
    EXPECT_FALSE(shown().not_answering);
    EXPECT_TRUE(shown().notice.empty());
    EXPECT_TRUE(shown().last_error.empty());
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(platform.waits(board), 1);
}

TEST_P(Unanswered, PickingItAgainTriesOnceMore) {
    const BoardId board = hungBoard();
    tick(3);
    // Still hung: the pick costs one more wait, and is told the same way.
    session.select(0);
    EXPECT_EQ(platform.waits(board), 2);
    expectToldNotAnswering();
    tick(20);
    EXPECT_EQ(platform.waits(board), 2);

    // It answers again, but nothing goes to it until the user asks.
    platform.hang(board, -1);
    forgetTraffic(board);
    tick(20);
    EXPECT_TRUE(received(board).empty());
    EXPECT_TRUE(shown().not_answering);
    session.select(0);
    EXPECT_TRUE(loaded());
    EXPECT_FALSE(shown().not_answering);
    EXPECT_TRUE(shown().notice.empty());
    EXPECT_EQ(received(board), readBack(9));
}

INSTANTIATE_TEST_SUITE_P(Session, Unanswered, ::testing::ValuesIn(kHangCases),
                         [](const auto& row) { return std::string(row.param.name); });

// Only the board that hung is left alone: another one is picked, written and read as ever.
TEST_F(SessionTest, AnotherBoardIsPickedAndWrittenAsEver) {
    const BoardId quiet = addBoard(saneBoard(u"A"));
    const BoardId other = addBoard(saneBoard(u"B"));
    platform.hang(other);
    start();
    EXPECT_TRUE(shown().not_answering);
    EXPECT_EQ(platform.waits(other), 1);

    session.select(0);
    EXPECT_TRUE(loaded());
    EXPECT_FALSE(shown().not_answering);
    EXPECT_TRUE(shown().notice.empty());
    EXPECT_EQ(session.writePulseCode(7), WriteOutcome::Taken);
    tick(40);
    EXPECT_EQ(boardSetting(platform, quiet, Setting::PulseLength), 7);
    EXPECT_EQ(platform.waits(other), 1);
    EXPECT_TRUE(received(other).empty());
}

}  // namespace
}  // namespace rotorix::test
