// rotorixctl watch: buttons named as the board's report descriptor declares them, printed as
// they change; input reports only, never a feature report.
#include "cli_fixture.h"

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

}  // namespace

}  // namespace rotorix::test
