// Every change goes to the board at once, byte for byte, and only while the session holds the
// board's own settings; a write the board refuses reads the board back.
#include <tuple>

#include "session_fixture.h"

namespace rotorix::test {
namespace {

using config::Setting;
constexpr auto kHide = Setting::HideFromGameControllers;

// ---- Encoder types ----

struct EncoderCase {
    const char* name;
    Types types;
    std::uint8_t low, high;  // the planes that go out
};
std::ostream& operator<<(std::ostream& out, const EncoderCase& c) {
    return out << c.name;
}

const EncoderCase kEncoderCases[] = {
    {"AllOff", {0, 0, 0, 0, 0, 0, 0, 0}, 0x00, 0x00},
    {"AllQuarter", {3, 3, 3, 3, 3, 3, 3, 3}, 0xFF, 0xFF},
    // Enc1 1:4, Enc2 OFF, Enc3 1:2, Enc4..Enc8 1:1.
    {"Mixed", {3, 0, 2, 1, 1, 1, 1, 1}, 0xF9, 0x05},
    // Only pair 8 on 1:2: the most significant bit of the high plane.
    {"OnlyPair8Half", {0, 0, 0, 0, 0, 0, 0, 2}, 0x00, 0x80},
    // Pair 5 OFF -> 1:1 on the sane board: both planes go out with all eight pairs.
    {"OnlyPair5Changes", {1, 3, 2, 0, 1, 0, 0, 0}, 0x13, 0x06},
    // A type beyond 1:4 is taken as 1:4, never spilling into a neighbour's bit.
    {"OutOfRangeIsClamped", {7, 0, 0, 0, 0, 0, 0, 255}, 0x81, 0x81},
};

class EncoderWrite : public SessionTest,
                     public ::testing::WithParamInterface<std::tuple<EncoderCase, int>> {};

TEST_P(EncoderWrite, SendsBothPlanesAsLongAsTheFeatureReportAndKeepsThem) {
    const auto& [pick, length] = GetParam();
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = static_cast<std::uint16_t>(length);
    const BoardId board = addBoard(design);
    start();
    ASSERT_TRUE(loaded());
    forgetTraffic(board);

    EXPECT_EQ(session.writeEncoderTypes(pick.types), WriteOutcome::Taken);

    const auto size = static_cast<std::size_t>(length);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(size, Setting::EncoderLowPlane, pick.low),
                                   settingWrite(size, Setting::EncoderHighPlane, pick.high)}))
        << "a write was followed by a read, or a plane was missing";
    EXPECT_EQ(boardSetting(platform, board, Setting::EncoderLowPlane), pick.low);
    EXPECT_EQ(boardSetting(platform, board, Setting::EncoderHighPlane), pick.high);
    // The snapshot holds what was written; the other settings stay as read.
    EXPECT_EQ(shown().settings, (config::BoardSettings{{pick.low, pick.high}, 6, 0}));
}

INSTANTIATE_TEST_SUITE_P(Writes, EncoderWrite,
                         ::testing::Combine(::testing::ValuesIn(kEncoderCases),
                                            ::testing::Values(4, 9, 65)),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_Length" +
                                    std::to_string(std::get<1>(row.param));
                         });

// ---- Pulse length and hide flag ----

TEST_F(SessionTest, PulseCodesGoOutAsGivenAndCodesWithoutAnItemAreNotSent) {
    const BoardId board = addBoard();
    start();
    for (const std::uint8_t code : {std::uint8_t{1}, std::uint8_t{6}, std::uint8_t{25}}) {
        forgetTraffic(board);
        EXPECT_EQ(session.writePulseCode(code), WriteOutcome::Taken) << int{code};
        EXPECT_EQ(received(board),
                  (std::vector<Report>{settingWrite(9, Setting::PulseLength, code)}));
        EXPECT_EQ(shown().settings->pulse_code, code);
    }
    forgetTraffic(board);
    for (const std::uint8_t code : {std::uint8_t{0}, std::uint8_t{26}, std::uint8_t{255}}) {
        EXPECT_EQ(session.writePulseCode(code), WriteOutcome::NotSent) << int{code};
    }
    EXPECT_TRUE(received(board).empty());
    EXPECT_EQ(shown().settings->pulse_code, 25);
}

class HideWrite : public SessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(HideWrite, SendsTheFlagThenCommandB0) {
    const auto length = static_cast<std::size_t>(GetParam());
    sim::BoardSpec design = saneBoard();
    design.lengths.feature = static_cast<std::uint16_t>(length);
    const BoardId board = addBoard(design);
    start();
    forgetTraffic(board);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::Taken);
    EXPECT_EQ(session.writeHideFlag(0), WriteOutcome::Taken);
    EXPECT_EQ(received(board),
              (std::vector<Report>{settingWrite(length, kHide, 1), commandB0(length, kHide, 1),
                                   settingWrite(length, kHide, 0), commandB0(length, kHide, 0)}));
    EXPECT_EQ(platform.firmware(board).commandB0Count(), 2);
    EXPECT_EQ(shown().settings->hide_flag, 0);
}

INSTANTIATE_TEST_SUITE_P(Writes, HideWrite, ::testing::Values(4, 9, 65));

TEST_F(SessionTest, CommandB0GoesOutEvenWhenTheFlagWriteIsRefused) {
    const BoardId board = addBoard();
    start();
    forgetTraffic(board);
    platform.failCall(board, Call::SendFeature, 1);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::RefusedReread);
    ASSERT_FALSE(received(board).empty());
    EXPECT_EQ(received(board).front(), commandB0(9, kHide, 1));
}

// ---- When nothing may be written ----

// Every write the session offers; all must come back NotSent.
::testing::AssertionResult nothingSent(BoardSession& session) {
    for (const WriteOutcome outcome : {session.writeEncoderTypes({1, 1, 1, 1, 1, 1, 1, 1}),
                                       session.writePulseCode(2), session.writeHideFlag(1)}) {
        if (outcome != WriteOutcome::NotSent) {
            return ::testing::AssertionFailure() << ::testing::PrintToString(outcome);
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(SessionTest, NothingIsWrittenWithoutABoardAfterALossOrToOldFirmware) {
    EXPECT_TRUE(nothingSent(session)) << "before start";
    start();
    EXPECT_TRUE(nothingSent(session)) << "without a board";

    const BoardId board = addBoard();
    tick();
    ASSERT_TRUE(loaded());
    platform.unplug(board);
    tick();
    EXPECT_TRUE(nothingSent(session)) << "after the board was lost";

    sim::BoardSpec design = saneBoard(u"OLD");
    design.version = 0;
    const BoardId old = addBoard(design);
    tick();
    ASSERT_TRUE(session.snapshot().board_open);
    EXPECT_TRUE(nothingSent(session)) << "to old firmware";
    EXPECT_EQ(platform.callCount(Call::SendFeature), 4) << "one read-back, nothing else";
    EXPECT_TRUE(received(old).empty());
}

TEST_F(SessionTest, ReconnectingOrSwitchingWritesNothing) {
    const BoardId first = addBoard(saneBoard(u"RX-1"));
    const BoardId second = addBoard(saneBoard(u"RX-2"));
    start();
    session.select(0);
    ASSERT_EQ(platform.openHandles(first), 1);
    platform.unplug(first);
    tick();  // lost: RX-2 is opened in the same tick
    ASSERT_EQ(platform.openHandles(second), 1);
    platform.replug(first);
    tick(2);
    EXPECT_TRUE(writesTo(first).empty());
    EXPECT_TRUE(writesTo(second).empty());
    EXPECT_EQ(received(second).size(), 8u) << "two read-backs, nothing else";
}

// ---- A write the board refuses ----

class RefusedWrite : public SessionTest {};

TEST_F(RefusedWrite, EveryKindOfWriteIsReplacedByWhatTheBoardHolds) {
    const BoardId board = addBoard();
    start();
    // Someone else changed the board meanwhile, so its values differ from the snapshot's.
    platform.firmware(board).setSetting(code(Setting::EncoderLowPlane), 0x10);
    platform.firmware(board).setSetting(code(Setting::PulseLength), 12);
    forgetTraffic(board);

    platform.failCall(board, Call::SendFeature, 1);  // the low plane is refused
    EXPECT_EQ(session.writeEncoderTypes({1, 3, 3, 0, 0, 0, 0, 0}), WriteOutcome::RefusedReread);
    std::vector<Report> expected{settingWrite(9, Setting::EncoderHighPlane, 0x06)};
    for (const Report& read : readBack(9)) {
        expected.push_back(read);
    }
    EXPECT_EQ(received(board), expected);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(shown().settings, (config::BoardSettings{{0x10, 0x06}, 12, 0}));
    EXPECT_EQ(shown().last_error, "Input/output error")
        << "the taken second plane hid the first one's refusal";

    forgetTraffic(board);
    platform.failCall(board, Call::SendFeature, 1);
    EXPECT_EQ(session.writePulseCode(7), WriteOutcome::RefusedReread);
    EXPECT_EQ(received(board), readBack(9));
    EXPECT_EQ(shown().last_error, "Input/output error") << "the refusal's words were lost";
    EXPECT_EQ(shown().settings->pulse_code, 12);

    platform.firmware(board).setSetting(code(Setting::EncoderLowPlane), 0xFF);
    platform.failCall(board, Call::SendFeature, 1);
    EXPECT_EQ(session.writeHideFlag(1), WriteOutcome::RefusedReread);
    EXPECT_EQ(shown().last_error, "Input/output error") << "command 0xB0 was taken after it";
    EXPECT_EQ(shown().settings, (config::BoardSettings{{0xFF, 0x06}, 12, 0}))
        << "the whole snapshot was read again";
    EXPECT_EQ(boardSetting(platform, board, kHide), 0);

    EXPECT_EQ(session.writePulseCode(3), WriteOutcome::Taken);
    EXPECT_TRUE(shown().last_error.empty()) << "a taken write clears the words";
}

TEST_F(RefusedWrite, WhenTheReadBackFailsTooTheWatchdogReconnects) {
    const BoardId board = addBoard();
    start();
    platform.failCall(board, Call::SendFeature, 2);  // the write, then the first read request
    EXPECT_EQ(session.writePulseCode(7), WriteOutcome::RefusedLost);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_FALSE(shown().settings);
    EXPECT_EQ(shown().last_error, "Input/output error");
    EXPECT_FALSE(tick().lost) << "it still answers";
    tickUntilReopened(board);
    EXPECT_TRUE(loaded());
    EXPECT_EQ(shown().settings->pulse_code, 6);
    EXPECT_EQ(platform.openHandles(), 1);
}

TEST_F(RefusedWrite, BoardUnpluggedMidWriteIsClearedByTheNextTick) {
    const BoardId board = addBoard();
    start();
    platform.unplugAfter(board, Call::SendFeature, 1);  // the low plane arrives, then it is gone
    EXPECT_EQ(session.writeEncoderTypes(Types{}), WriteOutcome::RefusedLost);
    EXPECT_FALSE(session.snapshot().settings.has_value());
    EXPECT_EQ(shown().last_error, "No such device");
    const auto result = tick();
    EXPECT_TRUE(result.lost);
    EXPECT_FALSE(session.snapshot().board_open);
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_FALSE(shown().board_open);
    EXPECT_EQ(shown().last_error, "No such device");
}

}  // namespace
}  // namespace rotorix::test
