// rotorixctl watch: buttons named as the board's report descriptor declares them, printed as
// they change; input reports only, never a feature report. rotorixctl test: the settings read,
// each encoder step, the totals and the findings.
#include <cctype>
#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "session/board_notice.h"

namespace rotorix::test {

namespace {

using sim::Call;

volatile std::sig_atomic_t* stop_flag = nullptr;

TEST_F(Cli, WatchPrintsEachChangeOfTheDescribedButtonsAndSendsNothing) {
    const auto board = platform.addBoard(saneBoard());
    // Button 3 down, up; then 1 and 16 together; then 1 up.
    platform.firmware(board).queueButtons({0x0004, 0x0004, 0x0000, 0x8001, 0x8000});
    const CliResult watched = run({"watch", "--count", "5"});
    EXPECT_EQ(watched.status, 0) << watched.err;
    EXPECT_EQ(watched.out,
              "button 3 pressed\n"
              "button 3 released\n"
              "button 1 pressed\n"
              "button 16 pressed\n"
              "button 1 released\n");
    EXPECT_EQ(watched.err, "rotorixctl: watching 0001 (buttons 1 to 16); Ctrl-C ends\n");
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(Call::GetFeature), 0);
}

// The descriptor decides: here the first input byte is padding and the buttons that follow are
// numbered from 9, so bit 0 of byte 2 is button 9.
TEST_F(Cli, WatchTakesButtonNumbersAndBitsFromTheDescriptor) {
    sim::BoardSpec design = saneBoard();
    design.report_descriptor =
        std::vector<std::uint8_t>{0x05, 0x01, 0x09, 0x05, 0xA1, 0x01,  // Game Pad
                                  0x75, 0x08, 0x95, 0x01, 0x81, 0x03,  // one byte of padding
                                  0x05, 0x09, 0x19, 0x09, 0x29, 0x10,  // Buttons 9 to 16
                                  0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};
    const auto board = platform.addBoard(design);
    // The model puts buttons 1-8 in byte 1 and 9-16 in byte 2.
    platform.firmware(board).queueButtons({0x0001, 0x0100, 0x8000});
    const CliResult watched = run({"watch", "--count", "3"});
    EXPECT_EQ(watched.status, 0);
    EXPECT_EQ(watched.out, "button 9 pressed\nbutton 9 released\nbutton 16 pressed\n");
}

TEST_F(Cli, WatchEndsCleanlyOnTheStopSignalAndSaysWhenTheBoardIsLost) {
    const auto board = platform.addBoard(saneBoard());
    // Ctrl-C arrives as soon as watching begins: nothing printed, status 0.
    stop_flag = &stop;
    catch_stop = [] { *stop_flag = 1; };
    const CliResult stopped = run({"watch"});
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(stopped.out, "");
    EXPECT_EQ(platform.callCount(Call::ReadInput), 0);

    stop = 0;
    catch_stop = nullptr;
    platform.firmware(board).queueButtons({0x0002});
    platform.unplugAfter(board, Call::ReadInput, 3);
    const CliResult lost = run({"watch"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.out, "button 2 pressed\n");
    EXPECT_TRUE(contains(lost.err, "0001: the board stopped answering")) << lost.err;
}

TEST_F(Cli, WatchOnABoardWithoutButtonsOrWithoutADescriptorSaysSo) {
    sim::BoardSpec keyboard = saneBoard(u"K");
    keyboard.report_descriptor =
        std::vector<std::uint8_t>{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0,
                                  0x29, 0xE7, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};
    platform.addBoard(keyboard);
    const auto unreadable = platform.addBoard(saneBoard(u"U"));
    platform.failCall(unreadable, Call::InputButtons, -1);

    const CliResult none = run({"watch", "--board", "K"});
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.err,
              "rotorixctl: K: its report descriptor declares no buttons; there is nothing to "
              "watch\n");
    const CliResult unknown = run({"watch", "--board", "U"});
    EXPECT_EQ(unknown.status, 3);
    EXPECT_TRUE(contains(unknown.err, "U: its report descriptor cannot be read")) << unknown.err;
    EXPECT_EQ(platform.callCount(Call::ReadInput), 0);
}

TEST_F(Cli, TheDemoBoardsTurnAnEncoderForWatch) {
    const CliResult watched = run({"--demo", "watch", "--board", "RX-0342", "--count", "3"});
    EXPECT_EQ(watched.status, 0);
    EXPECT_EQ(watched.out, "button 1 pressed\nbutton 1 released\nbutton 1 pressed\n");
}

// Widths come from the real clock: only their form is compared ("24.1 ms" -> "WW.W ms"; 10 to
// 99.9 ms here).
std::string widthsMasked(std::string text) {
    const auto digit = [&](std::size_t i) {
        return std::isdigit(static_cast<unsigned char>(text[i]));
    };
    for (std::size_t i = 0; i + 7 <= text.size(); ++i) {
        if (digit(i) && digit(i + 1) && text[i + 2] == '.' && digit(i + 3) &&
            text.compare(i + 4, 3, " ms") == 0) {
            text.replace(i, 4, "WW.W");
        }
    }
    return text;
}

// One report per polling interval: pair 1-2 pulses one way, the other way, then both buttons at
// once, each five reports long (20 ms at least, so that no short-pulse finding depends on when
// the reports came).
class CliTest : public Cli {
  protected:
    void SetUp() override {
        platform.setReportInterval(std::chrono::milliseconds(4));
        board = platform.addBoard(saneBoard());
        queueSteps();
    }
    // From the start again: an earlier run may have taken some of the states.
    void queueSteps() {
        std::vector<std::uint16_t> states{0x0000};
        for (const int down : {0x0001, 0x0002, 0x0003}) {
            states.insert(states.end(), 5, static_cast<std::uint16_t>(down));
            states.insert(states.end(), 3, 0x0000);
        }
        platform.setButtons(board, 0);
        platform.queueButtons(board, states);
    }
    sim::SimPlatform::BoardId board = 0;
};

TEST_F(CliTest, TestPrintsTheSettingsEachStepAndTheTotalsWithTheFindings) {
    const CliResult tested = run({"test", "--count", "4"});
    EXPECT_EQ(tested.status, 0) << tested.err;
    EXPECT_EQ(widthsMasked(tested.out),
              "0001: pulse 24 ms; encoders on buttons 1-2 (1:1), 3-4 (1:4), 5-6 (1:2)\n"
              "pair 1-2: button 1, WW.W ms (+1 -0)\n"
              "pair 1-2: button 2, WW.W ms (+1 -1)\n"
              "pair 1-2: button 1, WW.W ms (+2 -1)\n"
              "pair 1-2: button 2, WW.W ms (+2 -2)\n"
              "\n"
              "PAIR  TYPE  STEPS +  STEPS -  MIN      MEDIAN   MAX\n"
              "1-2   1:1   2        2        WW.W ms  WW.W ms  WW.W ms\n"
              "3-4   1:4   0        0        -        -        -\n"
              "5-6   1:2   0        0        -        -        -\n"
              "findings:\n"
              "  buttons 1-2: both buttons were down at once: a wiring fault or a bouncing "
              "switch\n");
    EXPECT_EQ(tested.err, "rotorixctl: testing 0001: turn its encoders; Ctrl-C ends\n");
    // The read-back alone: nothing is written.
    EXPECT_EQ(received(board), readBack9());
}

TEST_F(CliTest, TestAsJsonPrintsOneObjectALine) {
    const CliResult tested = run({"test", "--count", "4", "--json"});
    EXPECT_EQ(tested.status, 0) << tested.err;
    std::vector<nlohmann::json> lines;
    std::istringstream out(tested.out);
    for (std::string line; std::getline(out, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(lines.size(), 6u) << tested.out;
    EXPECT_EQ(lines[0],
              nlohmann::json::parse(R"({"serial": "0001", "path": ")" + platform.path(board) +
                                    R"(", "encoders": ["1:1", "1:4", "1:2", "off",
                                              "off", "off", "off", "off"], "pulse_ms": 24})"));
    nlohmann::json step = lines[4];
    EXPECT_TRUE(step["width_ms"].is_number()) << step;  // from the real clock
    step.erase("width_ms");
    EXPECT_EQ(step, nlohmann::json::parse(R"({"pair": 1, "button": 2, "positive": false,
        "positive_steps": 2, "negative_steps": 2})"));
    const nlohmann::json& totals = lines[5];
    EXPECT_EQ(totals["pairs"][1], nlohmann::json::parse(R"({"pair": 2, "type": "1:4",
        "positive_steps": 0, "negative_steps": 0, "min_ms": null, "median_ms": null,
        "max_ms": null})"));
    EXPECT_EQ(totals["findings"], nlohmann::json::parse(R"([{"kind": "both_down", "pair": 1,
        "text": "buttons 1-2: both buttons were down at once: a wiring fault or a bouncing switch"}])"));
}

// Ctrl-C ends it with the totals and status 0; a board that goes ends it with the totals, the
// system's words and status 1.
TEST_F(CliTest, TestEndsWithTheTotalsOnCtrlCAndSaysWhenTheBoardIsLost) {
    stop_flag = &stop;
    catch_stop = [] { *stop_flag = 1; };
    const CliResult stopped = run({"test"});
    EXPECT_EQ(stopped.status, 0);
    EXPECT_TRUE(contains(stopped.out, "findings: none\n")) << stopped.out;

    stop = 0;
    catch_stop = nullptr;
    queueSteps();
    // Twenty reads take at least ten reports: the first step, and the button of the next down.
    platform.unplugAfter(board, sim::Call::ReadInput, 20);
    const CliResult lost = run({"test"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_TRUE(contains(widthsMasked(lost.out), "pair 1-2: button 1, WW.W ms (+1 -0)\n"))
        << lost.out;
    EXPECT_TRUE(contains(lost.out, "\nPAIR")) << lost.out;
    EXPECT_TRUE(contains(lost.err, "\nrotorixctl: 0001: the board stopped answering")) << lost.err;
}

// which: the board whose buttons change first after watching began, named as every command names
// it; a button held from the start does not count; a board plugged in while it waits is watched
// too; no change before the time-out is status 1. A board it cannot open is named, with what to
// do about it, and nothing is sent to any board.
sim::SimPlatform* plug_into = nullptr;
const std::vector<std::uint16_t>* plug_buttons = nullptr;
bool plug_while_waiting = false;

TEST_F(Cli, WhichNamesTheBoardWhoseButtonsChangeFirstAfterWatchingBegan) {
    platform.setReportInterval(std::chrono::milliseconds(4));
    const std::vector<sim::SimPlatform::BoardId> boards = {platform.addBoard(saneBoard(u"A")),
                                                           platform.addBoard(saneBoard(u"T")),
                                                           platform.addBoard(saneBoard(u"T"))};
    const auto denied = platform.addBoard(saneBoard(u"N"));
    platform.refuseOpen(denied,
                        hid::OpenError{hid::OpenError::Kind::AccessDenied, "Permission denied"});
    const std::vector<std::uint16_t> pressLater = {0x0000, 0x0000, 0x0000, 0x0004};
    plug_into = &platform;
    plug_buttons = &pressLater;
    catch_stop = [] {
        if (plug_while_waiting) {
            plug_into->queueButtons(plug_into->addBoard(saneBoard(u"P")), *plug_buttons);
        }
    };
    struct Case {
        const char* what;
        std::vector<std::vector<std::uint16_t>> buttons;  // per board, as queued
        bool plug;  // a board "P", pressing later, is plugged in once watching began
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"a press on the one board with its serial",
         {pressLater, {0}, {0}},
         false,
         {"which"},
         0,
         "A\n"},
        {"held from the start, then the press of a board sharing a serial",
         {{0x0001}, {0}, pressLater},
         false,
         {"which"},
         0,
         "T (" + platform.path(boards[2]) + ")\n"},
        {"nothing changes", {{0x0001}, {0}, {0}}, false, {"which", "--timeout", "0.2"}, 1, ""},
        {"a board plugged in while waiting", {{0x0001}, {0}, {0}}, true, {"which"}, 0, "P\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t i = 0; i < boards.size(); ++i) {
            platform.setButtons(boards[i], 0);
            platform.queueButtons(boards[i], c.buttons[i]);
        }
        plug_while_waiting = c.plug;
        const CliResult found = run(c.args);
        EXPECT_EQ(found.status, c.status) << found.err;
        EXPECT_EQ(found.out, c.out);
        EXPECT_TRUE(contains(found.err,
                             "rotorixctl: N: not watched: no access (Permission "
                             "denied)\n"))
            << found.err;
#ifndef _WIN32
        EXPECT_TRUE(contains(found.err, session::kUdevRuleCommand)) << found.err;
#endif
    }
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
    EXPECT_EQ(platform.callCount(Call::GetFeature), 0);

    catch_stop = nullptr;
    platform.queueButtons(boards[1], {0x0000, 0x0000, 0x0000, 0x0100});
    const CliResult json = run({"which", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json({{"serial", "T"},
                                                               {"path", platform.path(boards[1])},
                                                               {"serial_unique", false},
                                                               {"button", 9},
                                                               {"pressed", true}}));
    EXPECT_TRUE(contains(json.err,
                         "rotorixctl: press a button or turn an encoder on the board "
                         "you want (watching 4 boards for 30 s)\n"))
        << json.err;
}

}  // namespace

}  // namespace rotorix::test
