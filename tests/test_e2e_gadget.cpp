// The USB function behind the virtual boards, checked on the host: what it tells the kernel about
// itself and how it answers control requests. The VM suites then show the kernel agrees.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "e2e/gadget/board_args.h"
#include "e2e/gadget/board_control.h"
#include "e2e/gadget/hid_function.h"
#include "hid/report_descriptor.h"

namespace rotorix::e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = ControlAction::Kind;

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                      (b[at + 3] << 24));
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// --- descriptors ---------------------------------------------------------------------------

TEST(BoardDescriptors, ReportDescriptorGivesTheRequestedLengths) {
    const BoardReports cases[] = {{3, 9}, {9, 65}, {3, 4}, {3, 2}, {65, 300}, {1025, 4096}};
    for (const BoardReports reports : cases) {
        EXPECT_EQ(hid::reportLengthsFromDescriptor(reportDescriptor(reports)),
                  (hid::ReportLengths{reports.input_length, 0, reports.feature_length}))
            << "input " << reports.input_length << ", feature " << reports.feature_length;
    }
}

TEST(BoardDescriptors, BoardWithoutFeatureReportDescribesNone) {
    for (const int feature : {0, 1}) {
        EXPECT_EQ(hid::reportLengthsFromDescriptor(
                      reportDescriptor({3, static_cast<std::uint16_t>(feature)})),
                  (hid::ReportLengths{3, 0, 0}));
    }
}

TEST(BoardDescriptors, HidClassDescriptorNamesTheReportDescriptor) {
    EXPECT_EQ(hidDescriptor(0x1234), (Bytes{9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x34, 0x12}));
}

// The blob FunctionFS parses: header, then for each speed the interface, the 9-byte HID class
// descriptor and a 7-byte interrupt IN endpoint, each announcing its own length.
TEST(BoardDescriptors, FunctionfsBlobIsWellFormedForBothSpeeds) {
    const BoardReports reports{9, 65};
    const Bytes blob = functionfsDescriptors(reports);
    ASSERT_GE(blob.size(), 20u);
    EXPECT_EQ(le32(blob, 0), 3u);  // V2 magic
    EXPECT_EQ(le32(blob, 4), blob.size());
    EXPECT_EQ(le32(blob, 8), 3u);  // full and high speed
    EXPECT_EQ(le32(blob, 12), 3u);
    EXPECT_EQ(le32(blob, 16), 3u);

    const std::size_t report_descriptor_length = reportDescriptor(reports).size();
    std::size_t at = 20;
    std::vector<std::uint16_t> max_packets;
    std::vector<std::uint8_t> intervals;
    for (int speed = 0; speed < 2; ++speed) {
        ASSERT_LE(at + 9 + 9 + 7, blob.size());
        EXPECT_EQ(Bytes(blob.begin() + at, blob.begin() + at + 9),
                  (Bytes{9, 0x04, 0, 0, 1, 0x03, 0, 0, 0}))
            << "interface, speed " << speed;
        at += 9;
        EXPECT_EQ(Bytes(blob.begin() + at, blob.begin() + at + 9),
                  hidDescriptor(report_descriptor_length));
        at += 9;
        EXPECT_EQ(blob[at], 7);
        EXPECT_EQ(blob[at + 1], 0x05);
        EXPECT_EQ(blob[at + 2], 0x81);  // IN endpoint 1
        EXPECT_EQ(blob[at + 3], 0x03);  // interrupt
        max_packets.push_back(le16(blob, at + 4));
        intervals.push_back(blob[at + 6]);
        at += 7;
    }
    EXPECT_EQ(at, blob.size());
    EXPECT_EQ(max_packets, (std::vector<std::uint16_t>{8, 8}));  // the input payload
    // Full speed counts 1 ms frames, high speed 2^(n-1) x 125 us: both 4 ms.
    EXPECT_EQ(intervals, (std::vector<std::uint8_t>{4, 6}));
}

TEST(BoardDescriptors, FullSpeedPacketIsCappedAtTheInterruptLimit) {
    const Bytes blob = functionfsDescriptors({200, 9});
    EXPECT_EQ(le16(blob, 20 + 18 + 4), 64);
    EXPECT_EQ(le16(blob, 20 + 25 + 18 + 4), 199);
}

TEST(BoardDescriptors, StringTableIsAnEmptyHeader) {
    EXPECT_EQ(functionfsStrings(), (Bytes{2, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// --- control requests ----------------------------------------------------------------------

class BoardFunction : public ::testing::Test {
  protected:
    static sim::FirmwareModel::Settings initialSettings() {
        sim::FirmwareModel::Settings settings{};
        settings[8] = 0x55;
        settings[10] = 7;
        return settings;
    }

    BoardFunction()
        : function(sim::FirmwareModel(initialSettings()), {3, 9},
                   [this](const std::string& line) { log.push_back(line); }) {}

    // SET_REPORT (feature, ID 0) with its data stage, as usbhid sends it: no report-ID byte.
    void setFeature(const Bytes& payload) {
        const SetupPacket setup{0x21, 0x09, 0x0300, 0, static_cast<std::uint16_t>(payload.size())};
        ASSERT_EQ(function.setup(setup).kind, Kind::Receive);
        function.dataStage(setup, payload);
    }

    ControlAction getFeature(std::uint16_t length) {
        return function.setup({0xA1, 0x01, 0x0300, 0, length});
    }

    std::vector<std::string> log;
    HidFunction function;
};

TEST_F(BoardFunction, AnswersTheReportDescriptorRequestUpToWLength) {
    const Bytes descriptor = reportDescriptor({3, 9});
    EXPECT_EQ(function.setup({0x81, 0x06, 0x2200, 0, 0x400}),
              (ControlAction{Kind::Send, descriptor}));
    EXPECT_EQ(function.setup({0x81, 0x06, 0x2200, 0, 5}),
              (ControlAction{Kind::Send, Bytes(descriptor.begin(), descriptor.begin() + 5)}));
    EXPECT_EQ(function.setup({0x81, 0x06, 0x2100, 0, 9}),
              (ControlAction{Kind::Send, hidDescriptor(descriptor.size())}));
}

TEST_F(BoardFunction, AcknowledgesIdleAndProtocolAndRemembersTheIdleRate) {
    EXPECT_EQ(function.setup({0x21, 0x0A, 0x0400, 0, 0}).kind, Kind::Receive);
    EXPECT_EQ(function.idleRate(), 4);
    EXPECT_EQ(function.setup({0xA1, 0x02, 0, 0, 1}), (ControlAction{Kind::Send, {4}}));
    EXPECT_EQ(function.setup({0x21, 0x0B, 1, 0, 0}).kind, Kind::Receive);
    EXPECT_TRUE(log.empty()) << "idle and protocol requests carry no report";
}

TEST_F(BoardFunction, StallsWhatTheBoardDoesNotHave) {
    EXPECT_EQ(function.setup({0x81, 0x06, 0x2300, 0, 9}).kind, Kind::Stall);  // physical desc.
    EXPECT_EQ(function.setup({0xA1, 0x01, 0x0305, 0, 8}).kind, Kind::Stall);  // numbered report
    EXPECT_EQ(function.setup({0xA1, 0x01, 0x0200, 0, 8}).kind, Kind::Stall);  // output report
    EXPECT_EQ(function.setup({0x21, 0x09, 0x0100, 0, 2}).kind, Kind::Stall);  // set input
    EXPECT_EQ(function.setup({0xC1, 0x01, 0, 0, 8}).kind, Kind::Stall);       // vendor request
    EXPECT_EQ(function.setup({0x21, 0x42, 0, 0, 0}).kind, Kind::Stall);

    HidFunction no_feature(sim::FirmwareModel{}, {3, 0}, nullptr);
    EXPECT_EQ(no_feature.setup({0xA1, 0x01, 0x0300, 0, 8}).kind, Kind::Stall);
    EXPECT_EQ(no_feature.setup({0x21, 0x09, 0x0300, 0, 8}).kind, Kind::Stall);
}

// The read exchange: the model sees the report with its ID byte put back, and the fetched
// payload carries the value in its byte 1 (byte 2 once the host puts the ID in front).
TEST_F(BoardFunction, ReadRequestThenFetchReturnsTheSetting) {
    setFeature({0x08, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(getFeature(8), (ControlAction{Kind::Send, {0x08, 0x55, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(log, (std::vector<std::string>{"feature 00 08 00 00 00 00 00 00 00"}));
}

TEST_F(BoardFunction, WriteChangesWhatTheNextFetchReturns) {
    setFeature({0xEE, 10, 25, 0, 0, 0, 0, 0});
    setFeature({10, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(getFeature(8).data, (Bytes{10, 25, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(log, (std::vector<std::string>{"feature 00 ee 0a 19 00 00 00 00 00",
                                             "feature 00 0a 00 00 00 00 00 00 00"}));
}

TEST_F(BoardFunction, FetchIsNeverLongerThanTheReportOrWLength) {
    EXPECT_EQ(getFeature(64).data.size(), 8u);
    EXPECT_EQ(getFeature(2).data.size(), 2u);
    EXPECT_EQ(getFeature(0).data.size(), 0u);
    // A short reply counts the report ID, which stays off the wire.
    function.limitFeatureReplies(3);
    EXPECT_EQ(getFeature(64).data.size(), 2u);
    function.limitFeatureReplies(std::nullopt);
    EXPECT_EQ(getFeature(64).data.size(), 8u);
}

TEST_F(BoardFunction, EveryReceivedReportIsLoggedWhateverItHolds) {
    setFeature({});
    setFeature({0xB0, 0x08, 0x55});
    const SetupPacket output{0x21, 0x09, 0x0200, 0, 2};
    ASSERT_EQ(function.setup(output).kind, Kind::Receive);
    function.dataStage(output, Bytes{0xAB, 0xCD});
    // The status stage of SET_IDLE is no report.
    function.dataStage({0x21, 0x0A, 0, 0, 0}, Bytes{});

    EXPECT_EQ(log,
              (std::vector<std::string>{"feature 00", "feature 00 b0 08 55", "output 00 ab cd"}));
}

TEST_F(BoardFunction, HeldRequestIsLoggedAsItCameOnTheWire) {
    function.logHeld({0x21, 0x09, 0x0300, 0x0102, 0x0041});
    EXPECT_EQ(log, (std::vector<std::string>{"held 21 09 00 03 02 01 41 00"}));
}

TEST_F(BoardFunction, OutputReportsDoNotReachTheFirmware) {
    const SetupPacket output{0x21, 0x09, 0x0200, 0, 4};
    ASSERT_EQ(function.setup(output).kind, Kind::Receive);
    function.dataStage(output, Bytes{0xEE, 10, 1, 0});
    setFeature({10, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(getFeature(8).data[1], 7) << "setting 10 changed through an output report";
}

TEST_F(BoardFunction, InputPayloadsLackTheReportIdByte) {
    EXPECT_EQ(function.nextInputPayload(), (Bytes{0, 0}));
    HidFunction wide(sim::FirmwareModel{}, {9, 9}, nullptr);
    const Bytes first = wide.nextInputPayload();
    const Bytes second = wide.nextInputPayload();
    ASSERT_EQ(first.size(), 8u);
    EXPECT_NE(first, second) << "successive input reports should be told apart";
    EXPECT_EQ(function.setup({0xA1, 0x01, 0x0100, 0, 64}).data.size(), 2u);
}

sim::Clock::time_point at(int ms) {
    return sim::Clock::time_point{} + std::chrono::milliseconds(ms);
}

// A turn pulses at the board's pulse setting as it stands when the turn is given (code 7: 28 ms,
// then 4 ms once the host writes code 1), beside a button held down.
TEST_F(BoardFunction, TurnsPulseAtTheBoardsPulseSettingBesideHeldButtons) {
    function.setButton(16, true);
    const auto pulses = function.turn(1, -2, 10, at(1000));
    EXPECT_EQ(pulses,
              (std::vector<sim::Pulse>{{1, 2, at(1000), at(1028)}, {1, 2, at(1100), at(1128)}}));
    const std::pair<int, Bytes> payloads[] = {{999, {0x00, 0x80}},  {1000, {0x02, 0x80}},
                                              {1027, {0x02, 0x80}}, {1028, {0x00, 0x80}},
                                              {1100, {0x02, 0x80}}, {1128, {0x00, 0x80}}};
    for (const auto& [ms, payload] : payloads) {
        EXPECT_EQ(function.nextInputPayload(at(ms)), payload) << "at " << ms << " ms";
    }
    setFeature({0xEE, 10, 1, 0, 0, 0, 0, 0});
    EXPECT_EQ(function.turn(8, 1, 10, at(2000)),
              (std::vector<sim::Pulse>{{8, 15, at(2000), at(2004)}}));
    EXPECT_TRUE(function.turn(9, 1, 10, at(3000)).empty());
}

TEST(BoardPulseLog, OneLinePerPulseInNanosecondsOfTheMonotonicClock) {
    EXPECT_EQ(pulseLine({3, 5, at(1), at(25)}), "pulse 3 5 1000000 25000000");
}

TEST_F(BoardFunction, HeldButtonsAreInTheInputPayloadUntilLetGo) {
    function.setButton(3, true);
    function.setButton(16, true);
    EXPECT_EQ(function.nextInputPayload(), (Bytes{0x04, 0x80}));
    function.setButton(3, false);
    EXPECT_EQ(function.nextInputPayload(), (Bytes{0x00, 0x80}));
}

// --- command line --------------------------------------------------------------------------

std::optional<BoardArgs> parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string ignored;
    return parseBoardArgs(args, error ? *error : ignored);
}

TEST(BoardCommandLine, TakesEveryOption) {
    const auto args =
        parse({"--ffs", "/run/ffs", "--log", "/tmp/b.log", "--pulse-log", "/tmp/b.pulses",
               "--control", "/run/c", "--udc-file", "/sys/UDC", "--input-length", "9",
               "--feature-length", "0x41", "--settings", "8=0x55,10=25,0x9=3"});
    ASSERT_TRUE(args.has_value());
    EXPECT_EQ(args->ffs_dir, "/run/ffs");
    EXPECT_EQ(args->log_path, "/tmp/b.log");
    EXPECT_EQ(args->pulse_log_path, "/tmp/b.pulses");
    EXPECT_EQ(args->control_path, "/run/c");
    EXPECT_EQ(args->udc_file, "/sys/UDC");
    EXPECT_EQ(args->reports.input_length, 9);
    EXPECT_EQ(args->reports.feature_length, 65);
    sim::FirmwareModel::Settings expected{};
    expected[8] = 0x55;
    expected[9] = 3;
    expected[10] = 25;
    EXPECT_EQ(args->settings, expected);
}

TEST(BoardCommandLine, DefaultsToTheUsualBoard) {
    const auto args = parse({"--ffs", "x"});
    ASSERT_TRUE(args.has_value());
    EXPECT_EQ(args->reports.input_length, 3);
    EXPECT_EQ(args->reports.feature_length, 9);
    EXPECT_TRUE(args->log_path.empty());
}

TEST(BoardCommandLine, RefusesWhatItCannotServe) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--log", "x"},
        {"--ffs"},
        {"--ffs", "x", "--bogus", "1"},
        {"--ffs", "x", "--settings", "16=1"},
        {"--ffs", "x", "--settings", "1=256"},
        {"--ffs", "x", "--settings", "1"},
        {"--ffs", "x", "--settings", "1=2,"},
        {"--ffs", "x", "--settings", "1=2x"},
        {"--ffs", "x", "--input-length", "2"},
        {"--ffs", "x", "--input-length", "1026"},
        {"--ffs", "x", "--feature-length", "4097"},
        {"--ffs", "x", "--feature-length", "-1"},
        {"--ffs", "x", "--feature-length", "0x"},
        {"--ffs", "x", "--control", "/run/c"},  // it could not unplug itself
    };
    for (const auto& line : bad) {
        std::string error;
        EXPECT_FALSE(parse(line, &error).has_value()) << ::testing::PrintToString(line);
        EXPECT_FALSE(error.empty()) << ::testing::PrintToString(line);
    }
}

TEST(BoardCommandLine, ExplainsTheFault) {
    std::string error;
    parse({"--ffs", "x", "--input-length", "banana"}, &error);
    EXPECT_EQ(error, "--input-length: not a length: banana");
}

// --- fault commands ------------------------------------------------------------------------

TEST(BoardControl, ParsesEveryCommand) {
    using Command = ControlCommand::Kind;
    EXPECT_EQ(parseControlCommand("unplug-before 3"), (ControlCommand{Command::UnplugBefore, 3}));
    EXPECT_EQ(parseControlCommand(" unplug-after  12 \r"),
              (ControlCommand{Command::UnplugAfter, 12}));
    EXPECT_EQ(parseControlCommand("disarm"), (ControlCommand{Command::Disarm, 0}));
    EXPECT_EQ(parseControlCommand("silent"), (ControlCommand{Command::Silent, 0}));
    EXPECT_EQ(parseControlCommand("talkative"), (ControlCommand{Command::Talkative, 0}));
    EXPECT_EQ(parseControlCommand("press 16"), (ControlCommand{Command::Press, 16}));
    EXPECT_EQ(parseControlCommand("release 1"), (ControlCommand{Command::Release, 1}));
    EXPECT_EQ(parseControlCommand("pace 100"), (ControlCommand{Command::Pace, 100}));
    EXPECT_EQ(parseControlCommand("short-reply 2"), (ControlCommand{Command::ShortReply, 2}));
    EXPECT_EQ(parseControlCommand("full-reply"), (ControlCommand{Command::FullReply, 0}));
    EXPECT_EQ(parseControlCommand("turn 1 5"), (ControlCommand{Command::Turn, 1, 5, 10}));
    EXPECT_EQ(parseControlCommand(" turn  8 -3\t20 "), (ControlCommand{Command::Turn, 8, -3, 20}));
    EXPECT_EQ(parseControlCommand("turn 2 -10000 1000"),
              (ControlCommand{Command::Turn, 2, -10000, 1000}));
    EXPECT_EQ(parseControlCommand("hang on"), (ControlCommand{Command::HangOn, 0}));
    EXPECT_EQ(parseControlCommand(" hang  off "), (ControlCommand{Command::HangOff, 0}));
}

TEST(BoardControl, RefusesWhatIsNoCommand) {
    for (const char* line : {"",
                             "unplug-before",
                             "unplug-before 0",
                             "unplug-before -1",
                             "unplug-before 2x",
                             "unplug-after x",
                             "silent 1",
                             "Silent",
                             "unplug 3",
                             "press",
                             "press 0",
                             "press 17",
                             "release x",
                             "pace",
                             "pace 0",
                             "pace 10001",
                             "short-reply 0",
                             "short-reply",
                             "full-reply 3",
                             "turn",
                             "turn 1",
                             "turn 0 1",
                             "turn 9 1",
                             "turn 1 0",
                             "turn 1 x",
                             "turn 1 5x",
                             "turn 1 10001",
                             "turn 1 -10001",
                             "turn 1 5 0",
                             "turn 1 5 1001",
                             "turn 1 5 10 3",
                             "turn 1 99999999999"}) {
        EXPECT_FALSE(parseControlCommand(line).has_value()) << line;
    }
    for (const char* line : {"hang", "hang 1", "hang on off", "hang-on"}) {
        EXPECT_FALSE(parseControlCommand(line).has_value()) << line;
    }
}

TEST(BoardControl, UnplugBeforeLetsTheEarlierRequestsThroughAndFiresOnce) {
    using Decision = UnplugTrigger::Decision;
    UnplugTrigger trigger;
    EXPECT_EQ(trigger.onReportRequest(), Decision::Serve);  // disarmed
    trigger.arm(3, true);
    EXPECT_EQ(trigger.onReportRequest(), Decision::Serve);
    EXPECT_EQ(trigger.onReportRequest(), Decision::Serve);
    EXPECT_EQ(trigger.onReportRequest(), Decision::UnplugInstead);
    EXPECT_FALSE(trigger.armed());
    EXPECT_EQ(trigger.onReportRequest(), Decision::Serve);
}

TEST(BoardControl, UnplugAfterServesTheNthFirst) {
    UnplugTrigger trigger;
    trigger.arm(1, false);
    EXPECT_EQ(trigger.onReportRequest(), UnplugTrigger::Decision::ServeThenUnplug);
}

TEST(BoardControl, ReArmingRestartsTheCountAndDisarmForgets) {
    UnplugTrigger trigger;
    trigger.arm(2, true);
    trigger.onReportRequest();
    trigger.arm(2, true);
    EXPECT_EQ(trigger.onReportRequest(), UnplugTrigger::Decision::Serve);
    trigger.disarm();
    EXPECT_EQ(trigger.onReportRequest(), UnplugTrigger::Decision::Serve);
    trigger.arm(0, true);
    EXPECT_FALSE(trigger.armed());
}

TEST(BoardControl, OnlyGetAndSetReportCountTowardsAnUnplug) {
    EXPECT_TRUE((SetupPacket{0xA1, 0x01, 0x0300, 0, 8}).isReportRequest());
    EXPECT_TRUE((SetupPacket{0x21, 0x09, 0x0300, 0, 8}).isReportRequest());
    EXPECT_FALSE((SetupPacket{0x21, 0x0A, 0, 0, 0}).isReportRequest());
    EXPECT_FALSE((SetupPacket{0x81, 0x06, 0x2200, 0, 64}).isReportRequest());
    EXPECT_FALSE((SetupPacket{0xA1, 0x02, 0, 0, 1}).isReportRequest());
}

}  // namespace
}  // namespace rotorix::e2e
