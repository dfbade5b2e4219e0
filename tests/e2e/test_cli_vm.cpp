// The real rotorixctl program against boards the VM's own USB host side enumerates: list, show,
// set (also as JSON), a profile exported from one board and imported onto another, a bad profile, a
// board that vanishes mid-write, the presses of a board's buttons as watch prints them, and two
// boards with one serial, each reached by its path while the others hear nothing. Runs only inside
// run-vm (ctest -L e2e); tests/e2e_boards.cmake describes the boards.
//
// The same checks run on the Windows build under Wine (ROTORIX_CLI names the command, e.g.
// "rotorix-wine .../rotorixctl.exe"). What Wine does differently is allowed for where it shows:
// lines end in CR LF, as a Windows program's text output does, and Wine names the manufacturer
// "hidraw", so the identity strings are not compared here (the Linux platform suite does that).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "vm_rig.h"

#ifndef ROTORIXCTL
#error "ROTORIXCTL must name the program under test"
#endif

namespace rotorix::e2e {
namespace {

// In bus order, as tests/e2e_boards.cmake plugs them in.
constexpr int kSource = 0;  // E2E-C1: 9-byte feature report, 3-byte input report
constexpr int kTarget = 1;  // Ωmega-C2: 65-byte feature report
constexpr int kTwin = 2;    // E2E-C1 as well: named by its path, as the source is

std::string rigSerial(int board) {
    const auto rig = VmRig::fromEnvironment();
    return rig && board < rig->boardCount() ? rig->board(board).serial.value_or("") : "";
}
const std::string kSourceSerial = rigSerial(kSource);
const std::string kTargetSerial = rigSerial(kTarget);

std::string program() {
    const char* chosen = std::getenv("ROTORIX_CLI");
    return chosen != nullptr && *chosen != '\0' ? chosen : ROTORIXCTL;
}

bool underWine() {
    return program().find("rotorix-wine") != std::string::npos;
}

std::string workDir() {
    const char* dir = std::getenv("ROTORIX_E2E_DIR");
    return dir != nullptr ? dir : "/tmp";
}

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return withoutCarriageReturns(text.str());
}

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& word) {
    return "'" + word + "'";  // no serial or path here holds a quote
}

// Runs the program with `args` (already quoted). A run that outlives the bound is killed and
// reported as a hang (status 137).
Ran rotorixctl(const std::string& args) {
    Ran ran;
    const std::string err = workDir() + "/rotorixctl.err";
    const std::string command =
        "timeout -s KILL 180 " + program() + " " + args + " 2>" + quoted(err);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return ran;
    }
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        ran.out.append(chunk, got);
    }
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ran.out = withoutCarriageReturns(ran.out);
    ran.err = readFile(err);
    EXPECT_NE(ran.status, 137) << "hung: " << command;
    return ran;
}

LoggedReport feature(std::size_t length, std::vector<std::uint8_t> head) {
    head.resize(length, 0);
    return {"feature", head};
}

class VmCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A board sends input reports all the time, and Wine's HID bus takes in every one, which
        // under emulation slows each run more than the run's own work. Only watch needs them.
        if (const auto boards = VmRig::fromEnvironment()) {
            for (int board = 0; board < boards->boardCount(); ++board) {
                boards->control(board, "silent");
            }
        }
        // Wine fills its device list in the background once it has started, so its first
        // listing may miss a board: the suite starts when all are listed (at once on Linux).
        for (int attempt = 0; attempt < 6; ++attempt) {
            listed_ = rotorixctl("list");
            if (twinPaths().size() == 2 && listed_.out.find(kTargetSerial) != std::string::npos) {
                break;
            }
        }
    }

    // The paths of the boards with the source's serial, as list --json gives them.
    static std::vector<std::string> twinPaths() {
        const Ran json = rotorixctl("list --json");
        std::vector<std::string> paths;
        const auto document = nlohmann::json::parse(json.out, nullptr, false);
        if (!document.is_discarded()) {
            for (const auto& board : document.value("boards", nlohmann::json::array())) {
                if (board.value("serial", "") == kSourceSerial) {
                    paths.push_back(board.value("path", ""));
                }
            }
        }
        return paths;
    }

    void SetUp() override {
        rig = VmRig::fromEnvironment();
        ASSERT_TRUE(rig.has_value()) << "this suite runs inside the VM: ctest -L e2e";
        ASSERT_EQ(rig->boardCount(), 3);
        ASSERT_EQ(rig->board(kTwin).serial, rig->board(kSource).serial);
        work = workDir();
        if (source_.empty()) {
            // Which path is which board, told by the board whose own log hears show's read-back.
            for (const std::string& path : twinPaths()) {
                const std::size_t before = rig->log(kSource).size();
                ASSERT_EQ(rotorixctl("show --board " + e2e::quoted(path)).status, 0);
                (rig->log(kSource).size() > before ? source_ : twin_) = path;
            }
        }
        ASSERT_FALSE(source_.empty());
        ASSERT_FALSE(twin_.empty());
    }

    // The source board (one of two with its serial), as --board takes it.
    static std::string source() { return e2e::quoted(source_); }

    // The reports `board` logged from `from` on, after one read-back by show (whose fetches make
    // the board log everything received before them).
    std::vector<LoggedReport> loggedSince(int board, const std::string& serial, std::size_t from) {
        EXPECT_EQ(rotorixctl("show --board " + quoted(serial)).status, 0);
        const auto log = rig->log(board);
        return {log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())), log.end()};
    }

    static inline Ran listed_;
    static inline std::string source_;
    static inline std::string twin_;
    std::optional<VmRig> rig;
    std::string work;
};

TEST_F(VmCli, ExportFromOneBoardAndImportOntoAnotherGivesTheSecondTheFirstsSettings) {
    ASSERT_EQ(listed_.status, 0) << listed_.err;
    // Columns line up by characters, so "E2E-C1" is padded to the width of "Ωmega-C2".
    EXPECT_NE(listed_.out.find("\nE2E-C1    1.4       ready"), std::string::npos) << listed_.out;
    EXPECT_NE(listed_.out.find("\n" + kTargetSerial + "  1.10      ready"), std::string::npos)
        << listed_.out;

    // Settings 8 = 0x5A, 9 = 0x0F, 10 = 7, 1 = 1 (tests/e2e_boards.cmake), worked out by hand.
    const std::string profile = work + "/e2e-c1.json";
    const Ran exported = rotorixctl("export --board " + source() + " -o " + quoted(profile));
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(readFile(profile),
              "{\"format\": \"rotorix-profile\", \"version\": 1, \"encoders\": [\"1:2\", \"1:4\", "
              "\"1:2\", \"1:4\", \"1:1\", \"off\", \"1:1\", \"off\"], \"pulse_ms\": 28, "
              "\"hidden\": true}\n");

    const std::size_t before = rig->log(kTarget).size();
    const Ran imported =
        rotorixctl("import --board " + quoted(kTargetSerial) + " " + quoted(profile));
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, kTargetSerial + ": written\n");

    // show reads the board back (and its fetches make the board log everything before them).
    const Ran shown = rotorixctl("show --json --board " + quoted(kTargetSerial));
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto settings = nlohmann::json::parse(shown.out)["settings"];
    EXPECT_EQ(settings, nlohmann::json::parse(R"({"encoders": ["1:2", "1:4", "1:2", "1:4", "1:1",
        "off", "1:1", "off"], "pulse_ms": 28, "hidden": true})"));

    // The writes, with the window's reports at the board's own length, between read-backs.
    const auto log = rig->log(kTarget);
    ASSERT_GE(log.size(), before + 4 + 5);
    const std::vector<LoggedReport> writes(log.begin() + static_cast<std::ptrdiff_t>(before + 4),
                                           log.begin() + static_cast<std::ptrdiff_t>(before + 9));
    EXPECT_EQ(writes,
              (std::vector<LoggedReport>{
                  feature(65, {0x00, 0xEE, 0x08, 0x5A}), feature(65, {0x00, 0xEE, 0x09, 0x0F}),
                  feature(65, {0x00, 0xEE, 0x0A, 0x07}), feature(65, {0x00, 0xEE, 0x01, 0x01}),
                  feature(65, {0x00, 0xB0, 0x01, 0x01})}));
}

// watch prints what the board's input reports say, ends cleanly on Ctrl-C (which also breaks
// off the platform's wait), and sends the board nothing.
TEST_F(VmCli, WatchPrintsThePressesOfTheBoardsInputReportsUntilCtrlC) {
    // Ten reports a second: Wine's HID bus under emulation passes on fewer than the 250 of a
    // report at every poll, and a press would wait behind the backlog.
    ASSERT_TRUE(rig->control(kSource, "pace 100"));
    ASSERT_TRUE(rig->control(kSource, "talkative"));
    ASSERT_TRUE(rig->control(kSource, "press 3"));
    // The shell's pid is the bound's: exec replaces the shell, and timeout passes SIGINT on to
    // the program alone (--foreground), as one Ctrl-C is one event. Should the bound strike, it
    // ends the program with SIGTERM, and then the status is 124.
    const std::string command =
        "echo $$; exec timeout --foreground -k 10 180 " + program() + " watch --board " + source();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    const auto nextLine = [&]() -> std::string {
        return std::fgets(line, sizeof line, pipe) != nullptr ? withoutCarriageReturns(line)
                                                              : "(end)";
    };
    const pid_t pid = std::stoi(nextLine());

    // Each line is awaited before the next change, so none can be missed between reports.
    EXPECT_EQ(nextLine(), "button 3 pressed\n");
    ASSERT_TRUE(rig->control(kSource, "release 3"));
    EXPECT_EQ(nextLine(), "button 3 released\n");
    ASSERT_TRUE(rig->control(kSource, "press 16"));
    EXPECT_EQ(nextLine(), "button 16 pressed\n");
    ASSERT_TRUE(rig->control(kSource, "release 16"));
    EXPECT_EQ(nextLine(), "button 16 released\n");

    ::kill(pid, SIGINT);
    EXPECT_EQ(nextLine(), "(end)");
    const int status = ::pclose(pipe);
    if (underWine() && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        // Wine's server kills (SIGKILL) a process still on its way out half a second after its
        // last thread ended, which an emulated CPU under load can take; the program itself had
        // ended, as its output did. Nothing here sends SIGKILL.
        std::printf("note: Wine ended the exiting program with SIGKILL\n");
    } else {
        EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ASSERT_TRUE(rig->control(kSource, "silent"));

    // The only reports the board has had since it was plugged in are show's read-back (whose
    // fetches make it log everything received before them).
    const std::size_t before = rig->log(kSource).size();
    ASSERT_EQ(rotorixctl("show --board " + source()).status, 0);
    const auto log = rig->log(kSource);
    ASSERT_EQ(log.size(), before + 4);
    EXPECT_EQ(log[before], feature(9, {0x00, 0x08}));
}

// set writes every setting it names, each as the window writes it, and the board holds them.
TEST_F(VmCli, SetSendsTheNamedSettingsAsTheWindowDoes) {
    const std::size_t before = rig->log(kSource).size();
    const Ran set = rotorixctl("set --board " + source() +
                               " enc1=1:4 enc2=off enc3=1:1 enc4=1:2 enc5=OFF enc6=1:4 enc7=1:1"
                               " enc8=1:2 pulse=40ms hidden=no");
    EXPECT_EQ(set.status, 0) << set.err;
    const auto log = loggedSince(kSource, source_, before);
    // A read-back, the writes (planes 0x65 and 0xA9, pulse code 10, shown: flag 0 then command
    // 0xB0), the read-back that checks them, and show's own.
    ASSERT_EQ(log.size(), 4u + 5u + 4u + 4u);
    EXPECT_EQ(std::vector<LoggedReport>(log.begin() + 4, log.begin() + 9),
              (std::vector<LoggedReport>{
                  feature(9, {0x00, 0xEE, 0x08, 0x65}), feature(9, {0x00, 0xEE, 0x09, 0xA9}),
                  feature(9, {0x00, 0xEE, 0x0A, 0x0A}), feature(9, {0x00, 0xEE, 0x01, 0x00}),
                  feature(9, {0x00, 0xB0, 0x01, 0x00})}));
    const Ran shown = rotorixctl("show --json --board " + source());
    EXPECT_EQ(nlohmann::json::parse(shown.out)["settings"],
              nlohmann::json::parse(R"({"encoders": ["1:4", "off", "1:1", "1:2", "off", "1:4",
                  "1:1", "1:2"], "pulse_ms": 40, "hidden": false})"));

    // The same pulse again, told as JSON: the board by serial and path, what was sent, and that
    // the read-back holds it.
    const Ran json = rotorixctl("set --json --board " + source() + " pulse=40ms");
    EXPECT_EQ(json.status, 0) << json.err;
    nlohmann::json record;
    record["serial"] = kSourceSerial;
    record["path"] = source_;
    record["result"] = "written";
    record["settings"] = nlohmann::json::parse(R"({"pulse_ms": 40})");
    record["read_back_equal"] = true;
    record["problems"] = nlohmann::json::array();
    nlohmann::json expected;
    expected["boards"] = nlohmann::json::array({record});
    EXPECT_EQ(nlohmann::json::parse(json.out, nullptr, false), expected) << json.out;
}

// A profile that breaks a rule is refused whole before any board is touched: the board's log
// holds nothing but the read-back show makes afterwards.
TEST_F(VmCli, ABadProfileSendsNothing) {
    const std::string profile = work + "/bad.json";
    std::ofstream(profile) << R"({"format": "rotorix-profile", "version": 1, "encoders": ["1:1",)"
                              R"( "off", "off", "off", "off", "off", "off", "off"],)"
                              R"( "pulse_ms": 30, "hidden": false})";
    const std::size_t before = rig->log(kTarget).size();
    const Ran imported =
        rotorixctl("import --board " + quoted(kTargetSerial) + " " + quoted(profile));
    EXPECT_EQ(imported.status, 2);
    EXPECT_NE(imported.err.find("pulse_ms"), std::string::npos) << imported.err;
    const auto log = loggedSince(kTarget, kTargetSerial, before);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], feature(65, {0x00, 0x08}));
}

// Two boards with one serial: list tells them apart by path, the serial alone is refused with
// both candidates and sends nothing, and a command that names one board by its path leaves every
// other board's log untouched.
TEST_F(VmCli, BoardsThatShareASerialAreToldApartByPathAndANamedCommandReachesNoOther) {
    const Ran json = rotorixctl("list --json");
    ASSERT_EQ(json.status, 0) << json.err;
    const Ran table = rotorixctl("list");
    for (const std::string& path : {source_, twin_}) {
        EXPECT_NE(table.out.find(path), std::string::npos) << table.out;
    }

    const std::vector<int> boards = {kSource, kTarget, kTwin};
    std::vector<std::size_t> before;
    for (const int board : boards) {
        before.push_back(rig->log(board).size());
    }
    const Ran ambiguous = rotorixctl("set --board " + kSourceSerial + " pulse=8");
    EXPECT_EQ(ambiguous.status, 2) << ambiguous.out << ambiguous.err;
    EXPECT_EQ(ambiguous.out, "");
    EXPECT_NE(ambiguous.err.find(kSourceSerial + " (" + twin_ + ")"), std::string::npos)
        << ambiguous.err;
    const Ran set = rotorixctl("set --board " + e2e::quoted(twin_) + " pulse=8");
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, kSourceSerial + " (" + twin_ + "): pulse=8ms\n");

    // Each board's log since: show's read-back alone, but on the twin the set's read-back, its
    // one write (pulse code 2) and the read-back that checks it before show's.
    const auto since = [&](std::size_t i, const std::string& name) {
        return loggedSince(boards[i], name, before[i]);
    };
    EXPECT_EQ(since(0, source_).size(), 4u);
    EXPECT_EQ(since(1, kTargetSerial).size(), 4u);
    const auto twin = since(2, twin_);
    ASSERT_EQ(twin.size(), 4u + 1u + 4u + 4u);
    EXPECT_EQ(twin[4], feature(9, {0x00, 0xEE, 0x0A, 0x02}));
}

// A board that vanishes in the middle of an import: the program says what was not written and
// ends with status 1, and then reports the board missing (3); neither run hangs.
TEST_F(VmCli, ABoardThatVanishesMidImportEndsWithAClearMessage) {
    const std::string profile = work + "/e2e-c1.json";  // exported above
    DeviceEvents events;
    // Requests 1 to 8 are the read-back (a SET_REPORT and a GET_REPORT each), 9 the first write.
    ASSERT_TRUE(rig->control(kTarget, "unplug-after 9"));
    const Ran imported =
        rotorixctl("import --board " + quoted(kTargetSerial) + " " + quoted(profile));
    EXPECT_EQ(imported.status, 1) << imported.out << imported.err;
    // Each board's outcome is a result line, on standard output.
    EXPECT_EQ(imported.out.rfind(kTargetSerial + ": not written: the board refused the encoder "
                                                 "types and stopped answering",
                                 0),
              0u)
        << imported.out;
    EXPECT_TRUE(events.waitUntil([&] { return events.hidraw("remove") > 0; }));

    const Ran shown = rotorixctl("show --board " + quoted(kTargetSerial));
    EXPECT_EQ(shown.status, 3) << shown.out << shown.err;
    EXPECT_NE(shown.err.find(kTargetSerial), std::string::npos) << shown.err;
    EXPECT_EQ(rotorixctl("list").out.find(kTargetSerial), std::string::npos);
}

}  // namespace
}  // namespace rotorix::e2e
