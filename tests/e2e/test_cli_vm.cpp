// The real rotorixctl program on the hidapi backend, against boards the VM's own USB host side
// enumerates: a profile exported from one board and imported onto another, and the presses of a
// board's buttons as watch prints them. Runs only inside run-vm (ctest -L e2e); tests/e2e.cmake
// describes the boards.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
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

// In bus order, as tests/e2e.cmake plugs them in.
constexpr int kSource = 0;  // E2E-C1: 9-byte feature report, 3-byte input report
constexpr int kTarget = 1;  // Ωmega-C2: 65-byte feature report
const std::string kSourceSerial = "E2E-C1";
const std::string kTargetSerial = "\xCE\xA9mega-C2";

struct Ran {
    int status = -1;
    std::string out;
};

std::string quoted(const std::string& word) {
    return "'" + word + "'";  // no serial or path here holds a quote
}

// Runs rotorixctl with `args` (already quoted); its messages go to the test's own stderr.
Ran rotorixctl(const std::string& args) {
    Ran ran;
    const std::string command = std::string("timeout -s KILL 120 ") + ROTORIXCTL + " " + args;
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
    return ran;
}

LoggedReport feature(std::size_t length, std::vector<std::uint8_t> head) {
    head.resize(length, 0);
    return {"feature", head};
}

class VmCli : public ::testing::Test {
  protected:
    void SetUp() override {
        rig = VmRig::fromEnvironment();
        ASSERT_TRUE(rig.has_value()) << "this suite runs inside the VM: ctest -L e2e";
        ASSERT_EQ(rig->boardCount(), 2);
        const char* dir = std::getenv("ROTORIX_E2E_DIR");
        ASSERT_NE(dir, nullptr);
        work = dir;
    }

    std::optional<VmRig> rig;
    std::string work;
};

TEST_F(VmCli, ExportFromOneBoardAndImportOntoAnotherGivesTheSecondTheFirstsSettings) {
    const Ran listed = rotorixctl("list");
    ASSERT_EQ(listed.status, 0);
    // Columns line up by characters, so "E2E-C1" is padded to the width of "Ωmega-C2".
    EXPECT_NE(listed.out.find("\nE2E-C1    1.4       ready"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\n" + kTargetSerial + "  1.10      ready"), std::string::npos)
        << listed.out;

    // Settings 8 = 0x5A, 9 = 0x0F, 10 = 7, 1 = 1 (tests/e2e.cmake), worked out by hand.
    const std::string profile = work + "/e2e-c1.json";
    ASSERT_EQ(rotorixctl("export --board " + kSourceSerial + " -o " + quoted(profile)).status, 0);
    std::ifstream file(profile);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(),
              "{\"format\": \"rotorix-profile\", \"version\": 1, \"encoders\": [\"1:2\", \"1:4\", "
              "\"1:2\", \"1:4\", \"1:1\", \"off\", \"1:1\", \"off\"], \"pulse_ms\": 28, "
              "\"hidden\": true}\n");

    const std::size_t before = rig->log(kTarget).size();
    const Ran imported =
        rotorixctl("import --board " + quoted(kTargetSerial) + " " + quoted(profile));
    EXPECT_EQ(imported.status, 0);
    EXPECT_EQ(imported.out, kTargetSerial + ": written\n");

    // show reads the board back (and its fetches make the board log everything before them).
    const Ran shown = rotorixctl("show --json --board " + quoted(kTargetSerial));
    ASSERT_EQ(shown.status, 0);
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
// off hidapi's wait), and sends the board nothing.
TEST_F(VmCli, WatchPrintsThePressesOfTheBoardsInputReportsUntilCtrlC) {
    ASSERT_TRUE(rig->control(kSource, "press 3"));
    // The shell's pid is the program's: exec replaces the shell, and timeout passes SIGINT on.
    const std::string command = "echo $$; exec timeout -s KILL 120 " + std::string(ROTORIXCTL) +
                                " watch --board " + kSourceSerial;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    const auto nextLine = [&]() -> std::string {
        return std::fgets(line, sizeof line, pipe) != nullptr ? std::string(line) : "(end)";
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
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The only reports the board has had since it was plugged in are show's read-back (whose
    // fetches make it log everything received before them).
    const std::size_t before = rig->log(kSource).size();
    ASSERT_EQ(rotorixctl("show --board " + kSourceSerial).status, 0);
    const auto log = rig->log(kSource);
    ASSERT_EQ(log.size(), before + 4);
    EXPECT_EQ(log[before], feature(9, {0x00, 0x08}));
}

}  // namespace
}  // namespace rotorix::e2e
