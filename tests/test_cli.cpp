// rotorixctl on the simulated platform: each sub-command's output and exit status, the bytes
// set and import send, and what boards that cannot be configured receive (nothing).
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "board_traffic.h"
#include "cli_fixture.h"
#include "session/board_session.h"

namespace rotorix::test {

namespace {

using Reports = std::vector<std::vector<std::uint8_t>>;

const hid::OpenError kPermissionDenied{hid::OpenError::Kind::AccessDenied, "Permission denied"};

const char* const kProfile =
    R"({"format": "rotorix-profile", "version": 1, "encoders": ["1:4", "OFF", "1:2", "1:1",
       "1:1", "1:1", "1:1", "1:1"], "pulse_ms": 8, "hidden": true})";

Reports concat(Reports a, const Reports& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

sim::BoardSpec oldFirmware(std::u16string serial) {
    sim::BoardSpec design = saneBoard(std::move(serial));
    design.version = 0x0000;
    return design;
}

sim::BoardSpec shortFeature(std::u16string serial) {
    sim::BoardSpec design = saneBoard(std::move(serial));
    design.lengths.feature = 3;
    return design;
}

TEST_F(Cli, ShowPrintsIdentityAndSettingsAfterOneReadBack) {
    const auto board = platform.addBoard(saneBoard());
    const CliResult shown = run({"show"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out,
              "serial        0001\n"
              "manufacturer  Rotorix\n"
              "product       Rotary Encoder Board\n"
              "firmware      1.4\n"
              "state         ready\n"
              "enc1          1:1\n"
              "enc2          1:4\n"
              "enc3          1:2\n"
              "enc4          off\n"
              "enc5          off\n"
              "enc6          off\n"
              "enc7          off\n"
              "enc8          off\n"
              "pulse         24ms\n"
              "hidden        no\n");
    EXPECT_EQ(shown.err, "");
    EXPECT_EQ(received(board), readBack9());

    const CliResult json = run({"show", "--json"});
    ASSERT_EQ(json.status, 0);
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["serial"], "0001");
    EXPECT_EQ(document["state"], "ready");
    EXPECT_EQ(document["settings"]["encoders"],
              nlohmann::json({"1:1", "1:4", "1:2", "off", "off", "off", "off", "off"}));
    EXPECT_EQ(document["settings"]["pulse_ms"], 24);
    EXPECT_EQ(document["settings"]["hidden"], false);
}

TEST_F(Cli, TheDemoBoardsAnswerEveryReadingCommand) {
    const CliResult shown = run({"--demo", "show", "--board", "RX-0117"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(contains(shown.out, "serial        RX-0117\n")) << shown.out;
    EXPECT_TRUE(contains(shown.out, "enc2          1:4\n"));
    EXPECT_EQ(run({"show", "--demo", "--board", "RX-0342"}).status, 0);  // --demo after it

    const CliResult exported = run({"--demo", "export"});
    EXPECT_EQ(exported.status, 2);
    EXPECT_EQ(exported.out, "");
    EXPECT_EQ(exported.err,
              "rotorixctl: 2 boards are attached; choose one with --board SERIAL: RX-0117, "
              "RX-0342\n");
    EXPECT_EQ(run({"--demo", "export", "--board", "RX-0342"}).out,
              "{\"format\": \"rotorix-profile\", \"version\": 1, \"encoders\": [\"1:4\", \"1:4\", "
              "\"1:4\", \"1:4\", \"1:1\", \"1:1\", \"off\", \"off\"], \"pulse_ms\": 40, "
              "\"hidden\": true}\n");
    // The demo's boards are its own: nothing reaches the platform the program was given.
    EXPECT_EQ(platform.callCount(Call::Enumerate), 0);
}

// Every state a board can be in, each in the table; boards that cannot be configured get no
// feature report at all. Boards this user may not open (or another program holds) are listed
// with the identity the listing reads without opening them, and the hint comes once, on
// standard error, however many there are.
TEST_F(Cli, ListShowsEveryBoardsStateAndSendsNothingToThoseThatCannotBeConfigured) {
    const auto ready = platform.addBoard(saneBoard(u"A-1"));
    const auto old = platform.addBoard(oldFirmware(u"B-2"));
    const auto too_short = platform.addBoard(shortFeature(u"C-3"));
    sim::BoardSpec newer = saneBoard(u"D-4");
    newer.version = 0x0110;
    platform.refuseOpen(platform.addBoard(newer), kPermissionDenied);
    platform.refuseOpen(platform.addBoard(saneBoard(u"E-5")), kPermissionDenied);
    platform.refuseOpen(platform.addBoard(saneBoard(u"F-6")),
                        hid::OpenError{hid::OpenError::Kind::Busy, "Device or resource busy"});
    const std::string hint =
        "A Rotorix board is attached, but access to it was denied (Permission denied).\n"
        "To allow access, type in a terminal:\n"
        "rotorixctl udev-rule | sudo tee /etc/udev/rules.d/70-rotorix.rules && sudo udevadm "
        "trigger\n";

    const CliResult listed = run({"list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "SERIAL  FIRMWARE  STATE                     MANUFACTURER  PRODUCT\n"
              "A-1     1.4       ready                     Rotorix       Rotary Encoder Board\n"
              "B-2     0.0       firmware too old          Rotorix       Rotary Encoder Board\n"
              "C-3     1.4       feature report too short  Rotorix       Rotary Encoder Board\n"
              "D-4     1.10      no access                 Rotorix       Rotary Encoder Board\n"
              "E-5     1.4       no access                 Rotorix       Rotary Encoder Board\n"
              "F-6     1.4       busy                      Rotorix       Rotary Encoder Board\n");
    EXPECT_EQ(listed.err, hint);
    EXPECT_EQ(received(ready), readBack9());
    EXPECT_TRUE(received(old).empty());
    EXPECT_TRUE(received(too_short).empty());

    const CliResult json = run({"list", "--json"});
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(json.err, hint);
    const auto boards = nlohmann::json::parse(json.out)["boards"];
    ASSERT_EQ(boards.size(), 6u);
    EXPECT_EQ(boards[1]["state"], "firmware too old");
    EXPECT_EQ(boards[2]["state"], "feature report too short");
    EXPECT_EQ(boards[3], nlohmann::json::parse(R"({"serial": "D-4", "path": "sim:3:0",
        "manufacturer": "Rotorix", "product": "Rotary Encoder Board", "firmware": "1.10",
        "state": "no access", "reason": "Permission denied"})"));
    EXPECT_EQ(boards[5]["state"], "busy");
    for (const auto& board : boards) {
        EXPECT_TRUE(board["path"].is_string()) << board;
    }
    EXPECT_TRUE(received(old).empty());
    EXPECT_TRUE(received(too_short).empty());

    // Named, such a board is that board: shown with its identity, refused with the hint once.
    const struct {
        std::vector<std::string> args;
        const char* name;
    } named_cases[] = {{{"show", "--board", "D-4"}, "D-4"},
                       {{"set", "--board", "E-5", "enc1=off"}, "E-5"},
                       {{"export", "--board", "sim:3:0"}, "D-4"}};
    for (const auto& c : named_cases) {
        const CliResult named = run(c.args);
        EXPECT_EQ(named.status, 3) << c.args[0];
        EXPECT_EQ(named.err, "rotorixctl: " + std::string(c.name) + ": " + hint) << c.args[0];
    }
    EXPECT_TRUE(contains(run({"show", "--board", "D-4"}).out,
                         "firmware      1.10\nstate         no access\n"));
    EXPECT_TRUE(contains(run({"show", "--board", "F-6"}).err, "another program holds it"));
    EXPECT_TRUE(received(old).empty());
}

TEST_F(Cli, ListWithNoBoardSaysSoAndSucceeds) {
    const CliResult listed = run({"list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "rotorixctl: no Rotorix board is attached\n");
    const CliResult json = run({"list", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::parse(R"({"boards": []})"));
}

// Boards that cannot be configured: exit status 3, a reason, and no feature traffic from any
// sub-command.
TEST_F(Cli, CommandsOnABoardThatCannotBeConfiguredExitWith3AndSendNothing) {
    const struct {
        sim::BoardSpec design;
        bool refuse_open;
        const char* reason;
    } boards[] = {
        {oldFirmware(u"OLD"), false, "OLD: firmware 0.0 is too old"},
        {shortFeature(u"SHORT"), false, "SHORT: its feature report is too short"},
        {saneBoard(u"DENIED"), true, "70-rotorix.rules"},
    };
    const std::string profile =
        "{\"format\": \"rotorix-profile\", \"version\": 1, \"encoders\": "
        "[\"off\",\"off\",\"off\",\"off\",\"off\",\"off\",\"off\",\"off\"]"
        ", \"pulse_ms\": 4, \"hidden\": false}";
    for (const auto& b : boards) {
        sim::SimPlatform alone;
        const auto id = alone.addBoard(b.design);
        if (b.refuse_open) {
            alone.refuseOpen(id, kPermissionDenied);
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"show"}, {"set", "enc1=1:4"}, {"export"}, {"import", "-"}}) {
            std::istringstream in(profile);
            std::ostringstream out;
            std::ostringstream err;
            cli::Context context{alone, in, out, err};
            EXPECT_EQ(cli::run(args, context), 3) << args[0] << " on " << b.reason;
            EXPECT_TRUE(contains(err.str(), b.reason)) << err.str();
        }
        EXPECT_TRUE(alone.firmware(id).received().empty()) << b.reason;
    }
}

// --board names a serial exactly, in full Unicode; without it only a single board is chosen.
TEST_F(Cli, BoardChoice) {
    platform.addBoard(saneBoard(u"\u03A9mega-2"));  // "Ωmega-2"
    platform.addBoard(saneBoard(u"\u0141"));        // differs from "A" only above the low byte
    platform.addBoard(saneBoard(u"A"));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } cases[] = {
        {{"show", "--board", "\xCE\xA9mega-2"}, 0, "serial        \xCE\xA9mega-2\n"},
        {{"show", "--board", "A"}, 0, "serial        A\n"},
        {{"show", "--board", "\xC5\x81"}, 0, "serial        \xC5\x81\n"},
        {{"show", "--board", "\xCE\xA9MEGA-2"}, 3, "no board has the serial"},
        {{"show", "--board", "\xCE\xA9mega-2 "}, 3, "no board has the serial"},
        {{"show", "--board", "\xC0\x81"}, 3, "(not UTF-8)"},
        {{"show"},
         2,
         "3 boards are attached; choose one with --board SERIAL: \xCE\xA9mega-2, "
         "\xC5\x81, A"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.args.back();
        EXPECT_TRUE(contains(result.out + result.err, c.said)) << c.args.back() << ":\n"
                                                               << result.out << result.err;
    }
    sim::SimPlatform none;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    cli::Context context{none, in, out, err};
    EXPECT_EQ(cli::run({"show"}, context), 3);
    EXPECT_EQ(err.str(), "rotorixctl: no Rotorix board is attached\n");
}

// Two boards with one serial are two boards: each is reached by its path and no other board
// hears a thing, the serial alone is refused as ambiguous before anything is sent, and
// import --all writes each exactly once. A failed walk is said as such.
TEST_F(Cli, BoardsThatShareASerialAreEachReachedByTheirPathAndNoOtherBoardHearsIt) {
    const auto first = platform.addBoard(saneBoard(u"TWIN"));
    const auto second = platform.addBoard(saneBoard(u"TWIN"));
    const auto other = platform.addBoard(saneBoard(u"OTHER"));
    const std::vector<BoardId> all = {first, second, other};
    const auto clear = [&] {
        for (const auto id : all) {
            platform.firmware(id).clearReceived();
        }
    };

    const CliResult listed = run({"list"});
    EXPECT_EQ(listed.out,
              "SERIAL  FIRMWARE  STATE  MANUFACTURER  PRODUCT               PATH\n"
              "TWIN    1.4       ready  Rotorix       Rotary Encoder Board  sim:0:0\n"
              "TWIN    1.4       ready  Rotorix       Rotary Encoder Board  sim:1:0\n"
              "OTHER   1.4       ready  Rotorix       Rotary Encoder Board\n");
    clear();

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"set", "--board", "TWIN", "enc1=off"},
          {"import", "--board", "TWIN", "-"},
          {"show", "--board", "TWIN"}}) {
        const CliResult ambiguous = run(args, kProfile);
        EXPECT_EQ(ambiguous.status, 2) << args[0];
        EXPECT_EQ(ambiguous.err,
                  "rotorixctl: 2 boards have the serial \"TWIN\"; name one by its path with "
                  "--board PATH: TWIN (sim:0:0), TWIN (sim:1:0)\n");
    }
    for (const auto id : all) {
        EXPECT_TRUE(received(id).empty()) << id;
    }

    // Each command that names a board: its own traffic only, exactly as a lone board gets it.
    const struct {
        std::vector<std::string> args;
        BoardId board;
        std::size_t reports;  // read-backs, and a write's five reports
    } named[] = {
        {{"show", "--board", "sim:1:0"}, second, 4},
        {{"export", "--board", "sim:0:0"}, first, 4},
        {{"set", "--board", "sim:1:0", "hidden=yes"}, second, 4 + 2 + 4},
        {{"import", "--board", "sim:0:0", "-"}, first, 4 + 5 + 4},
        {{"show", "--board", "OTHER"}, other, 4},
    };
    for (const auto& c : named) {
        clear();
        EXPECT_EQ(run(c.args, kProfile).status, 0) << c.args[0] << " " << c.args[2];
        for (const auto id : all) {
            EXPECT_EQ(received(id).size(), id == c.board ? c.reports : 0u)
                << c.args[0] << " " << c.args[2] << ": board " << id;
        }
    }
    EXPECT_EQ(boardSetting(platform, second, config::Setting::HideFromGameControllers), 1);
    EXPECT_EQ(boardSetting(platform, first, config::Setting::PulseLength), 2);

    clear();
    const CliResult imported = run({"import", "--all", "-"}, kProfile);
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "TWIN (sim:0:0): written\nTWIN (sim:1:0): written\nOTHER: written\n");
    for (const auto id : all) {
        EXPECT_EQ(writesIn(received(id)).size(), 5u) << id;
        EXPECT_EQ(boardSetting(platform, id, config::Setting::PulseLength), 2) << id;
    }

    platform.failCall(Call::Enumerate, 3);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"},
                                                 {"show", "--board", "TWIN"},
                                                 {"import", "--all", "-"}}) {
        const CliResult failed = run(args, kProfile);
        EXPECT_EQ(failed.status, 3) << args[0];
        EXPECT_TRUE(failed.err.starts_with("rotorixctl: the attached devices could not be listed"))
            << failed.err;
    }
}

// The literal reports `set` sends after its read-back, and nothing for keys it was not given.
TEST_F(Cli, SetWritesOnlyWhatWasNamedAndReadsBack) {
    const auto board = platform.addBoard(saneBoard());  // 1:1 1:4 1:2 off..., 24 ms, listed
    const CliResult all = run({"set", "enc1=1:4", "ENC5=1:1", "pulse=100", "hidden=YES"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, "0001: enc1=1:4 enc5=1:1 pulse=100ms hidden=yes\n");
    // Encoders 1:4 1:4 1:2 off 1:1 off off off: low plane 0b00010011, high plane 0b00000111.
    EXPECT_EQ(received(board),
              concat(concat(readBack9(), {{0x00, 0xEE, 0x08, 0x13, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x09, 0x07, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x0A, 0x19, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x01, 0x01, 0, 0, 0, 0, 0},
                                          {0x00, 0xB0, 0x01, 0x01, 0, 0, 0, 0, 0}}),
                     readBack9()));

    platform.firmware(board).clearReceived();
    const CliResult pulse = run({"set", "pulse=24 ms"});
    EXPECT_EQ(pulse.status, 0) << pulse.err;
    EXPECT_EQ(received(board),
              concat(concat(readBack9(), {{0x00, 0xEE, 0x0A, 0x06, 0, 0, 0, 0, 0}}), readBack9()));

    platform.firmware(board).clearReceived();
    EXPECT_EQ(run({"set", "hidden=no"}).status, 0);
    EXPECT_EQ(received(board),
              concat(concat(readBack9(), {{0x00, 0xEE, 0x01, 0x00, 0, 0, 0, 0, 0},
                                          {0x00, 0xB0, 0x01, 0x00, 0, 0, 0, 0, 0}}),
                     readBack9()));
}

TEST_F(Cli, BadAssignmentsAreRefusedBeforeAnyBoardIsTouched) {
    const auto board = platform.addBoard(saneBoard());
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"set", "enc9=off"}, "unknown key \"enc9\""},
        {{"set", "enc1=1:3"}, "enc1: \"1:3\" is not off, 1:1, 1:2 or 1:4"},
        {{"set", "pulse=26ms"}, "pulse: \"26ms\" is not 4ms to 100ms"},
        {{"set", "pulse=0"}, "pulse: \"0\" is not"},
        {{"set", "pulse=104"}, "pulse: \"104\" is not"},
        {{"set", "pulse=ms"}, "pulse: \"ms\" is not"},
        {{"set", "hidden=true"}, "hidden: \"true\" is not yes or no"},
        {{"set", "enc1"}, "\"enc1\" is not KEY=VALUE"},
        {{"set", "enc1=off", "ENC1=1:1"}, "enc1 is named twice"},
        {{"set"}, "settings is required"},
        {{}, "A subcommand is required"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"--demo", "frobnicate", "--board", "x"}, "unknown command \"frobnicate\""},
        {{"import", "--all", "--board", "0001", "-"}, "excludes"},
        {{"watch", "--count", "0"}, "--count"},
        {{"which", "--timeout", "nan"}, "--timeout: must be a number of seconds"},
        {{"list", "--board", "0001"}, "--board"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(contains(result.err, c.said)) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(platform.callCount(Call::Open), 0);
    EXPECT_TRUE(received(board).empty());
}

// A board that refuses a write: status 1, the refusal and what it holds instead are said.
TEST_F(Cli, SetOnABoardThatRefusesAWriteSaysWhatWasNotWritten) {
    const auto board = platform.addBoard(saneBoard());
    platform.failCallAfter(board, Call::SendFeature, 4);  // the read-back passes, the write not
    const CliResult result = run({"set", "pulse=40"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(contains(result.err, "rotorixctl: 0001: the board refused the pulse length"))
        << result.err;
    EXPECT_TRUE(contains(result.err, "0001: it holds pulse is 24ms, not 40ms")) << result.err;
    EXPECT_TRUE(contains(result.err, "0001: not written: pulse=40ms")) << result.err;
    EXPECT_EQ(platform.firmware(board).setting(10), 6);
}

TEST_F(Cli, ImportWritesEverySettingWithTheWindowsReports) {
    const auto board = platform.addBoard(saneBoard());
    const CliResult result = run({"import", "-"}, kProfile);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0001: written\n");
    EXPECT_EQ(received(board),
              concat(concat(readBack9(), {{0x00, 0xEE, 0x08, 0xF9, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x09, 0x05, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x0A, 0x02, 0, 0, 0, 0, 0},
                                          {0x00, 0xEE, 0x01, 0x01, 0, 0, 0, 0, 0},
                                          {0x00, 0xB0, 0x01, 0x01, 0, 0, 0, 0, 0}}),
                     readBack9()));

    // Export gives back what was imported, in the documented shape.
    const auto file = std::filesystem::path(::testing::TempDir()) / "rotorixctl-export.json";
    ASSERT_EQ(run({"export", "-o", file.string()}).status, 0);
    std::ifstream in(file);
    std::ostringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(),
              "{\"format\": \"rotorix-profile\", \"version\": 1, \"encoders\": [\"1:4\", \"off\", "
              "\"1:2\", \"1:1\", \"1:1\", \"1:1\", \"1:1\", \"1:1\"], \"pulse_ms\": 8, \"hidden\": "
              "true}\n");
    std::filesystem::remove(file);
    EXPECT_EQ(run({"export", "-o", "/nonexistent-dir/x.json"}).status, 2);
    EXPECT_EQ(run({"import", "/nonexistent-dir/x.json"}).status, 2);
}

// Every kind of bad profile is refused with the key and the problem, and no board hears a
// thing: not even a read request.
TEST_F(Cli, EveryKindOfBadProfileSendsNothing) {
    platform.addBoard(saneBoard(u"A"));
    platform.addBoard(saneBoard(u"B"));
    const std::string head = R"({"format": "rotorix-profile", "version": 1, )";
    const std::string encoders = R"("encoders": ["off","off","off","off","off","off","off","off"])";
    const struct {
        std::string text;
        const char* said;
    } cases[] = {
        {"", "not valid JSON"},
        {"{\"format\": ", "not valid JSON: parse error at line 1, column 12"},
        {head + encoders + R"(, "pulse_ms": 8, "hidden": true} x)", "not valid JSON"},
        {"[1, 2]", "a profile is a JSON object, not an array"},
        {head + encoders + R"(, "pulse_ms": 8, "hidden": true, "colour": 1})",
         "unknown key \"colour\""},
        {head + encoders + R"(, "hidden": true})", "missing key \"pulse_ms\""},
        {R"({"version": 1, )" + encoders + R"(, "pulse_ms": 8, "hidden": true})",
         "missing key \"format\""},
        {R"({"format": "other", "version": 1, )" + encoders + R"(, "pulse_ms": 8, "hidden": 1})",
         "\"format\" must be \"rotorix-profile\", not \"other\""},
        {R"({"format": "rotorix-profile", "version": 2, )" + encoders +
             R"(, "pulse_ms": 8, "hidden": true})",
         "\"version\": version 2 is not supported"},
        {R"({"format": "rotorix-profile", "version": "1", )" + encoders +
             R"(, "pulse_ms": 8, "hidden": true})",
         "\"version\" must be an integer, not a string"},
        {head + R"("encoders": "off", "pulse_ms": 8, "hidden": true})",
         "\"encoders\" must be an array of 8 values, not a string"},
        {head + R"("encoders": ["off","off","off","off","off","off","off"], "pulse_ms": 8, )"
                R"("hidden": true})",
         "\"encoders\" must hold 8 values, not 7"},
        {head + R"("encoders": ["off","off","1:3","off","off","off","off","off"], )"
                R"("pulse_ms": 8, "hidden": true})",
         "\"encoders\" value 3: \"1:3\" is not"},
        {head + R"("encoders": ["off","off","off",3,"off","off","off","off"], )"
                R"("pulse_ms": 8, "hidden": true})",
         "\"encoders\" value 4 must be a string, not a number"},
        {head + encoders + R"(, "pulse_ms": 0, "hidden": true})", "\"pulse_ms\": 0 is not 4 to"},
        {head + encoders + R"(, "pulse_ms": 6, "hidden": true})", "\"pulse_ms\": 6 is not 4 to"},
        {head + encoders + R"(, "pulse_ms": 104, "hidden": true})", "\"pulse_ms\": 104 is not"},
        {head + encoders + R"(, "pulse_ms": -4, "hidden": true})", "\"pulse_ms\": -4 is not"},
        {head + encoders + R"(, "pulse_ms": 18446744073709551612, "hidden": true})",
         "\"pulse_ms\": 18446744073709551612 is not"},
        {head + encoders + R"(, "pulse_ms": 8.0, "hidden": true})",
         "\"pulse_ms\" must be an integer number of milliseconds, not a fraction"},
        {head + encoders + R"(, "pulse_ms": 8, "hidden": "yes"})",
         "\"hidden\" must be true or false, not a string"},
        {std::string(70000, ' '), "the profile is 65537 bytes long"},
    };
    for (const auto& c : cases) {
        for (const auto& args : {std::vector<std::string>{"import", "--all", "-"},
                                 std::vector<std::string>{"import", "--board", "A", "-"}}) {
            const CliResult result = run(args, c.text);
            EXPECT_EQ(result.status, 2) << c.text.substr(0, 200);
            EXPECT_TRUE(contains(result.err, c.said)) << result.err;
            EXPECT_EQ(result.out, "");
        }
    }
    EXPECT_EQ(platform.callCount(Call::Open), 0);
    EXPECT_EQ(platform.callCount(Call::SendFeature), 0);
}

// --all: every ready board, one line each; one that refuses is reported and the others are
// still written; a board that cannot be configured is skipped without a report sent to it.
TEST_F(Cli, ImportAllCarriesOnPastABoardThatRefuses) {
    const auto first = platform.addBoard(saneBoard(u"A"));
    const auto refusing = platform.addBoard(saneBoard(u"B"));
    const auto old = platform.addBoard(oldFirmware(u"C"));
    const auto last = platform.addBoard(saneBoard(u"D"));
    platform.failCallAfter(refusing, Call::SendFeature, 4);  // its first write

    const CliResult result = run({"import", "--all", "-"}, kProfile);
    EXPECT_EQ(result.status, 1);
    const std::string expected_refusal = "B: not written: the board refused the encoder types (";
    EXPECT_TRUE(result.out.starts_with("A: written\n" + expected_refusal)) << result.out;
    // It took the high plane (0x05) but not the low one (still 0x03): 1:4 1:1 1:2 off off ...
    EXPECT_TRUE(contains(result.out,
                         "it holds enc2 is 1:1, not off; it holds enc4 is off, not "
                         "1:1; it holds enc5 is off, not 1:1;"))
        << result.out;
    EXPECT_TRUE(result.out.ends_with("\nC: skipped: firmware too old\nD: written\n")) << result.out;

    // What each board holds: the profile, except the planes the refusing board did not take.
    for (const auto id : {first, last}) {
        EXPECT_EQ(platform.firmware(id).setting(8), 0xF9);
        EXPECT_EQ(platform.firmware(id).setting(9), 0x05);
        EXPECT_EQ(platform.firmware(id).setting(10), 2);
        EXPECT_EQ(platform.firmware(id).setting(1), 1);
    }
    EXPECT_EQ(platform.firmware(refusing).setting(8), 0x03);
    EXPECT_EQ(platform.firmware(refusing).setting(10), 2);  // the later writes went out
    EXPECT_TRUE(received(old).empty());
}

TEST_F(Cli, ImportAllWithNoReadyBoardExitsWith3) {
    const auto old = platform.addBoard(oldFirmware(u"C"));
    const CliResult result = run({"import", "--all", "-"}, kProfile);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "C: skipped: firmware too old\n");
    EXPECT_EQ(result.err, "rotorixctl: no board is ready to configure\n");
    EXPECT_TRUE(received(old).empty());

    platform.unplug(old);
    const auto denied = platform.addBoard(saneBoard(u"D"));
    platform.refuseOpen(denied, kPermissionDenied);
    const CliResult none = run({"import", "--all", "-"}, kProfile);
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "access to it was denied (Permission denied)")) << none.err;
}

// The rule the access hint tells users to pipe into tee is the packaged file, byte for byte.
TEST_F(Cli, UdevRulePrintsThePackagedRuleAndTouchesNoBoard) {
    std::ifstream file(ROTORIX_UDEV_RULE_FILE, std::ios::binary);
    std::ostringstream read;
    read << file.rdbuf();
    const std::string packaged = read.str();
    ASSERT_TRUE(contains(packaged, "TAG+=\"uaccess\""));
    const CliResult rule = run({"udev-rule"});
    EXPECT_EQ(rule.status, 0);
    EXPECT_EQ(rule.out, packaged);
    EXPECT_EQ(rule.err, "");
    const auto json = nlohmann::json::parse(run({"udev-rule", "--json"}).out);
    EXPECT_EQ(json["rule"], packaged);
    EXPECT_EQ(json["file"], "/etc/udev/rules.d/70-rotorix.rules");
    EXPECT_EQ(platform.callCount(Call::Enumerate), 0);
}

TEST_F(Cli, HelpAndVersion) {
    const CliResult help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* part :
         {"Usage: rotorixctl [OPTIONS] SUBCOMMAND", "--demo",
          "Commands:", "import [--board BOARD | --all] FILE", "Exit status:", "\"pulse_ms\": 24"}) {
        EXPECT_TRUE(contains(help.out, part)) << part;
    }
    EXPECT_EQ(run({"--version"}).out, "rotorixctl 1.04\n");
    EXPECT_TRUE(contains(run({"set", "--help"}).out, "enc1 ... enc8"));
}

}  // namespace

}  // namespace rotorix::test
