// rotorixctl --json: the document each command prints, whole, for boards that take a write,
// refuse one, cannot be configured or hold values outside their coding; watch's lines; and no
// document at all from a command that ends before it has a result.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "board_traffic.h"
#include "cli_fixture.h"

namespace rotorix::test {

namespace {

using nlohmann::json;

const char* const kProfile =
    R"({"format": "rotorix-profile", "version": 1, "encoders": ["1:4", "OFF", "1:2", "1:1",
       "1:1", "1:1", "1:1", "1:1"], "pulse_ms": 8, "hidden": true})";
// kProfile's settings, as the documents carry them.
const char* const kProfileSettings =
    R"({"encoders": ["1:4", "off", "1:2", "1:1", "1:1", "1:1", "1:1", "1:1"], "pulse_ms": 8,
        "hidden": true})";

sim::BoardSpec withSetting(sim::BoardSpec design, config::Setting setting, std::uint8_t value) {
    design.settings[settingIndex(setting)] = value;
    return design;
}

sim::BoardSpec oldFirmware(std::u16string serial) {
    sim::BoardSpec design = saneBoard(std::move(serial));
    design.version = 0x0000;
    return design;
}

// A board that has written `settings` and read them back equal.
std::string written(const char* serial, const char* path, const std::string& settings) {
    return std::string(R"({"serial": ")") + serial + R"(", "path": ")" + path +
           R"(", "result": "written", "settings": )" + settings +
           R"(, "read_back_equal": true, "problems": []})";
}

std::string boards(const std::vector<std::string>& records) {
    std::string out = R"({"boards": [)";
    for (std::size_t i = 0; i < records.size(); ++i) {
        out += (i == 0 ? "" : ", ") + records[i];
    }
    return out + "]}";
}

TEST(CliJson, EveryWritingCommandPrintsOneRecordPerBoard) {
    const std::string sane_encoders = R"(["1:1", "1:4", "1:2", "off", "off", "off", "off", "off"])";
    const struct {
        const char* what;
        std::vector<sim::BoardSpec> designs;
        void (*trouble)(sim::SimPlatform&);  // after the boards are added; may be null
        std::vector<std::string> args;
        int status;
        std::string document;  // empty: nothing on standard output
        std::string err;
    } cases[] = {
        {"set names only what it writes, and any encoder writes all eight",
         {saneBoard()},
         nullptr,
         {"set", "--json", "enc1=1:4", "hidden=YES"},
         0,
         boards({written("0001", "sim:0:0",
                         R"({"encoders": ["1:4", "1:4", "1:2", "off", "off", "off", "off",
                             "off"], "hidden": true})")}),
         ""},
        {"--json may follow the settings",
         {saneBoard()},
         nullptr,
         {"set", "pulse=100", "--json"},
         0,
         boards({written("0001", "sim:0:0", R"({"pulse_ms": 100})")}),
         ""},
        {"a refused write: its reasons are in the document, not on standard error",
         {saneBoard()},
         [](sim::SimPlatform& platform) { platform.failCallAfter(0, sim::Call::SendFeature, 4); },
         {"set", "--json", "pulse=40"},
         1,
         boards({R"j({"serial": "0001", "path": "sim:0:0", "result": "not written",
            "settings": {"pulse_ms": 40}, "read_back_equal": false, "problems": [
            "the board refused the pulse length (Input/output error)",
            "it holds pulse is 24ms, not 40ms"]})j"}),
         ""},
        {"a hide flag of 2 (neither listed nor hidden) stays as it is when set does not name it",
         {withSetting(saneBoard(), config::Setting::HideFromGameControllers, 2)},
         nullptr,
         {"set", "--json", "enc8=1:4"},
         0,
         boards({written("0001", "sim:0:0",
                         R"({"encoders": ["1:1", "1:4", "1:2", "off", "off", "off", "off",
                             "1:4"]})")}),
         ""},
        {"import onto one board",
         {saneBoard()},
         nullptr,
         {"import", "--json", "-"},
         0,
         boards({written("0001", "sim:0:0", kProfileSettings)}),
         ""},
        {"import onto a board whose settings cannot be read: nothing sent, the reason said twice",
         {saneBoard()},
         [](sim::SimPlatform& platform) { platform.failCall(0, sim::Call::GetFeature, -1); },
         {"import", "--json", "-"},
         1,
         boards({R"({"serial": "0001", "path": "sim:0:0", "result": "not written",
            "settings": null, "read_back_equal": false,
            "problems": ["settings could not be read"]})"}),
         "rotorixctl: 0001: its settings could not be read (Input/output error)\n"},
        {"import --all: written, refused, skipped; twins named by their path",
         {saneBoard(u"A"), saneBoard(u"TWIN"), saneBoard(u"TWIN"), saneBoard(u"B"),
          oldFirmware(u"C")},
         [](sim::SimPlatform& platform) { platform.failCallAfter(3, sim::Call::SendFeature, 4); },
         {"import", "--all", "--json", "-"},
         1,
         boards({written("A", "sim:0:0", kProfileSettings),
                 written("TWIN", "sim:1:0", kProfileSettings),
                 written("TWIN", "sim:2:0", kProfileSettings),
                 std::string(R"({"serial": "B", "path": "sim:3:0", "result": "not written",
                    "settings": )") +
                     kProfileSettings + R"j(, "read_back_equal": false, "problems": [
                    "the board refused the encoder types (Input/output error)",
                    "it holds enc2 is 1:1, not off", "it holds enc4 is off, not 1:1",
                    "it holds enc5 is off, not 1:1", "it holds enc6 is off, not 1:1",
                    "it holds enc7 is off, not 1:1", "it holds enc8 is off, not 1:1"]})j",
                 R"({"serial": "C", "path": "sim:4:0", "result": "skipped", "settings": null,
                    "read_back_equal": false, "problems": ["firmware too old"]})"}),
         ""},
        {"import --all with no board: an empty list, and the message",
         {},
         nullptr,
         {"import", "--all", "--json", "-"},
         3,
         R"({"boards": []})",
         "rotorixctl: no Rotorix board is attached\n"},
        {"export to standard output: the profile inside the document",
         {saneBoard()},
         nullptr,
         {"export", "--json"},
         0,
         boards({R"({"serial": "0001", "path": "sim:0:0", "file": null, "profile": {
            "format": "rotorix-profile", "version": 1, "encoders": ["1:1", "1:4", "1:2", "off",
            "off", "off", "off", "off"], "pulse_ms": 24, "hidden": false}})"}),
         ""},
        {"export of values no profile carries: a message, no document",
         {withSetting(saneBoard(), config::Setting::HideFromGameControllers, 2)},
         nullptr,
         {"export", "--json"},
         1,
         "",
         "rotorixctl: 0001: the board holds values no profile can carry (pulse code 6, hide flag "
         "2); set them first\n"},
        {"bad usage: no document",
         {saneBoard()},
         nullptr,
         {"set", "--json", "enc9=off"},
         2,
         "",
         "rotorixctl: unknown key \"enc9\" (keys: enc1 to enc8, pulse, hidden)\n"},
        {"no board chosen: no document",
         {saneBoard(u"A"), saneBoard(u"B")},
         nullptr,
         {"import", "--json", "-"},
         2,
         "",
         "rotorixctl: 2 boards are attached; choose one with --board SERIAL: A, B\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimPlatform platform;
        for (const sim::BoardSpec& design : c.designs) {
            platform.addBoard(design);
        }
        if (c.trouble != nullptr) {
            c.trouble(platform);
        }
        const CliResult result = runCli(platform, c.args, kProfile);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.err, c.err);
        if (c.document.empty()) {
            EXPECT_EQ(result.out, "");
        } else {
            EXPECT_EQ(json::parse(result.out, nullptr, false), json::parse(c.document))
                << result.out;
        }
    }
}

// Values only a broken or foreign board holds are shown as it holds them, and stay as they are
// where set does not name them: hide flag 2 is neither listed nor hidden, as the window greys it.
TEST_F(Cli, ValuesOutsideTheirCodingAreShownAsHeldAndKeptUnlessNamed) {
    const auto board =
        platform.addBoard(withSetting(withSetting(saneBoard(), config::Setting::PulseLength, 30),
                                      config::Setting::HideFromGameControllers, 2));
    const CliResult shown = run({"show"});
    EXPECT_TRUE(
        contains(shown.out, "enc8          off\npulse         code 30\nhidden        code 2\n"))
        << shown.out;
    EXPECT_EQ(json::parse(run({"show", "--json"}).out)["settings"],
              json::parse(R"({"encoders": ["1:1", "1:4", "1:2", "off", "off", "off", "off",
                  "off"], "pulse_code": 30, "hide_flag": 2})"));

    const CliResult set = run({"set", "--json", "enc1=off"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(json::parse(set.out)["boards"][0]["settings"],
              json::parse(R"({"encoders": ["off", "1:4", "1:2", "off", "off", "off", "off",
                  "off"]})"));
    EXPECT_EQ(run({"set", "pulse=8ms"}).out, "0001: pulse=8ms\n");
    EXPECT_EQ(boardSetting(platform, board, config::Setting::EncoderLowPlane), 0x02);
    EXPECT_EQ(boardSetting(platform, board, config::Setting::PulseLength), 2);
    EXPECT_EQ(boardSetting(platform, board, config::Setting::HideFromGameControllers), 2);
}

TEST_F(Cli, JsonExportNamesTheFileItWroteTheProfileTo) {
    platform.addBoard(saneBoard());
    const auto file = std::filesystem::path(::testing::TempDir()) / "rotorixctl-json.json";
    const CliResult exported = run({"export", "--json", "-o", file.string()});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const json record = json::parse(exported.out)["boards"][0];
    EXPECT_EQ(record["file"], file.string());
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(json::parse(text.str()), record["profile"]);
    std::filesystem::remove(file);
}

// One object a line, at once; the "watching" message stays on standard error.
TEST_F(Cli, JsonWatchPrintsOneObjectPerChange) {
    const auto board = platform.addBoard(saneBoard());
    platform.firmware(board).queueButtons({0x0004, 0x0000, 0x8001});
    const CliResult watched = run({"watch", "--json", "--count", "4"});
    EXPECT_EQ(watched.status, 0) << watched.err;
    EXPECT_EQ(watched.out,
              "{\"button\":3,\"pressed\":true}\n"
              "{\"button\":3,\"pressed\":false}\n"
              "{\"button\":1,\"pressed\":true}\n"
              "{\"button\":16,\"pressed\":true}\n");
    EXPECT_EQ(watched.err, "rotorixctl: watching 0001 (buttons 1 to 16); Ctrl-C ends\n");
}

}  // namespace

}  // namespace rotorix::test
