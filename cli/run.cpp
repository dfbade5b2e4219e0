// The command line's grammar (CLI11) and the dispatch to the sub-commands.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <thread>

#include "cli/cli.h"
#include "cli/commands.h"
#include "rotorix_version.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

namespace rotorix::cli {

namespace {

constexpr const char* kDescription =
    "Configures Rotorix rotary-encoder boards from the command line: lists the attached\n"
    "boards, shows and sets each board's encoder types, pulse length and visibility, keeps\n"
    "them as profiles, and watches a board's buttons.";

constexpr const char* kSettingsHelp = R"(Settings:
  enc1 ... enc8   the encoder on button pair 1-2 ... 15-16: off, 1:1, 1:2 or 1:4
  pulse           the button pulse of one encoder step: 4ms to 100ms in steps of 4
                  (or the number of milliseconds)
  hidden          yes hides the board from the system's list of game controllers, no shows it
  Keys and values may be written in any case. Only the named settings change.)";

constexpr const char* kProfileHelp = R"(Profile:
  One JSON object with exactly these keys, as export writes it and import reads it:

    {"format": "rotorix-profile", "version": 1,
    "encoders": ["1:1", "1:4", "1:2", "off", "off", "off", "off", "off"],
    "pulse_ms": 24, "hidden": true}

  encoders holds pairs 1-2 to 15-16 (values in any case); pulse_ms is 4 to 100 in steps of 4.
  A profile with an unknown or missing key, a wrong type or value is refused whole, and
  nothing is written to any board.)";

constexpr const char* kCommandsHelp = R"(Commands:
  list [--json]                            every attached board and its state
  show [--board BOARD] [--json]            a board's identity and settings
  set [--board BOARD] KEY=VALUE...         change the named settings (see Settings)
  export [--board BOARD] [-o FILE]         the board's settings as a profile
  import [--board BOARD | --all] FILE      write a profile (FILE - reads standard input)
  watch [--board BOARD] [--count N]        print button presses and releases
  Each takes --demo as well; "rotorixctl COMMAND --help" describes one of them.)";

constexpr const char* kBoardsHelp = R"(Boards:
  With one board attached, --board may be left out; with several, name one by its serial
  number exactly as "rotorixctl list" shows it, or by its path where boards share a serial
  (list shows the path beside such a serial). A command that names a board sends nothing to any
  other. A board whose firmware is 0.0, or whose feature report is too short to carry settings,
  is listed and shown but never configured; one this user may not open is listed as "no access",
  with the hint once, on standard error.)";

constexpr const char* kExamplesHelp = R"(Examples:
  rotorixctl list                                       the boards and their serials
  rotorixctl show --board RX-0117                       one board's settings
  rotorixctl set --board RX-0117 enc1=1:4 pulse=24ms    two settings, the rest unchanged
  rotorixctl export --board RX-0117 -o rx-0117.json     a backup of one board
  rotorixctl import --all rx-0117.json                  the same settings on every board
  rotorixctl watch --board RX-0117 --count 10           check the wiring: ten changes
  rotorixctl --demo show --board RX-0117                try it without a board

Exit status:
  0    done
  1    a board refused or lost an exchange (what was not written is said)
  2    bad usage, a bad profile, or several boards to choose from: none named, or a serial
       several boards share (nothing was written)
  3    no such board, no board, the attached devices could not be listed, or the board cannot
       be configured (old firmware, short feature report, no access, held by another program)

Messages go to standard error, results to standard output; --json prints one JSON document.
On Windows a console shows them as Unicode text, whatever its code page (which is left as it
is); redirected to a file or a pipe, they are UTF-8.)";

void demoPace(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Something for `--demo watch` to show: encoder 1 turned three steps one way and two the
// other, then button 5 pressed and let go, a few times over; then the board is still.
void scriptDemoButtons(sim::SimPlatform& platform) {
    std::vector<std::uint16_t> script;
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (int step = 0; step < 3; ++step) {
            script.insert(script.end(), {0x0001, 0x0000});
        }
        for (int step = 0; step < 2; ++step) {
            script.insert(script.end(), {0x0002, 0x0000});
        }
        script.insert(script.end(), {0x0000, 0x0010, 0x0010, 0x0010, 0x0000, 0x0000});
    }
    for (const int board : {0, 1}) {
        platform.firmware(board).queueButtons(script);
    }
}

void addBoardOption(CLI::App& command, Options& options) {
    command.add_option("--board", options.board, "The board's serial number, or its path")
        ->type_name("BOARD");
}

}  // namespace

int run(const std::vector<std::string>& args, Context& context) {
    CLI::App app(kDescription, "rotorixctl");
    // The same options on every system: on Windows the parser would otherwise take a path such
    // as "/profiles/desk.json" for a "/option" and the file for missing.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("rotorixctl ") + rotorix::kVersion);
    app.require_subcommand(1);
    app.footer(std::string(kCommandsHelp) + "\n\n" + kBoardsHelp + "\n\n" + kSettingsHelp + "\n\n" +
               kProfileHelp + "\n\n" + kExamplesHelp);
    app.get_formatter()->column_width(24);

    Options options;
    app.add_flag("--demo", options.demo,
                 "Work on the demo's two virtual boards (RX-0117, RX-0342) instead of attached "
                 "boards");

    CLI::App* list = app.add_subcommand("list", "List the attached boards and their state");
    list->add_flag("--json", options.json, "Print one JSON document");

    CLI::App* show = app.add_subcommand("show", "Show a board's identity and settings");
    addBoardOption(*show, options);
    show->add_flag("--json", options.json, "Print one JSON document");

    CLI::App* set =
        app.add_subcommand("set", "Change settings of a board: KEY=VALUE ... (see Settings)");
    addBoardOption(*set, options);
    set->add_option("settings", options.assignments, "enc1..enc8, pulse, hidden")
        ->type_name("KEY=VALUE")
        ->required();

    CLI::App* exporting =
        app.add_subcommand("export", "Write a board's settings as a profile (see Profile)");
    addBoardOption(*exporting, options);
    exporting->add_option("-o,--output", options.output, "Write to FILE instead of standard output")
        ->type_name("FILE");

    CLI::App* importing = app.add_subcommand(
        "import", "Write a profile to a board, or with --all to every ready board");
    CLI::Option* board =
        importing->add_option("--board", options.board, "The board's serial number, or its path")
            ->type_name("BOARD");
    importing->add_flag("--all", options.all, "Every ready board, one line each")->excludes(board);
    importing->add_option("file", options.file, "The profile; - reads standard input")
        ->type_name("FILE")
        ->required();

    CLI::App* watch = app.add_subcommand(
        "watch", "Print a board's button presses and releases as they happen, until Ctrl-C");
    addBoardOption(*watch, options);
    long long count = 0;
    CLI::Option* count_option = watch->add_option("--count", count, "End after N changes")
                                    ->type_name("N")
                                    ->check(CLI::PositiveNumber);

    for (CLI::App* command : {list, show, set, exporting, importing, watch}) {
        command->fallthrough();  // --demo may follow the sub-command too
        command->footer("");
    }
    set->footer(kSettingsHelp);
    exporting->footer(kProfileHelp);
    importing->footer(kProfileHelp);

    // CLI11 would take an unknown command for a stray argument and only ask for a command.
    const auto word = std::find_if(args.begin(), args.end(),
                                   [](const std::string& arg) { return !arg.starts_with("-"); });
    const auto known = [&](const std::string& name) {
        const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
        return std::any_of(commands.begin(), commands.end(),
                           [&](const CLI::App* command) { return command->check_name(name); });
    };
    if (word != args.end() && !known(*word)) {
        context.err << kProgram << "unknown command \"" << *word
                    << "\" (commands: list, show, set, export, import, watch)\n";
        return kBadUsage;
    }

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, context.out, context.err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, context.out, context.err);
    } catch (const CLI::ParseError& e) {
        context.err << kProgram << e.what() << "\nRun 'rotorixctl --help' for more.\n";
        return kBadUsage;
    }
    if (count_option->count() > 0) {
        options.count = count;
    }

    std::unique_ptr<sim::SimPlatform> demo;
    if (options.demo) {
        demo = std::make_unique<sim::SimPlatform>();
        sim::addDemoBoards(*demo);
        scriptDemoButtons(*demo);
    }
    hid::Platform& platform = demo ? static_cast<hid::Platform&>(*demo) : context.platform;

    // One entry per sub-command, each with its own function: a command without an entry runs
    // nothing rather than another command.
    const std::pair<const CLI::App*, int (*)(const Invocation&)> commands[] = {
        {list, listCommand},        {show, showCommand},        {set, setCommand},
        {exporting, exportCommand}, {importing, importCommand}, {watch, watchCommand}};
    const Invocation call{platform, options, context, demo ? demoPace : nullptr};
    for (const auto& [command, runCommand] : commands) {
        if (command->parsed()) {
            return runCommand(call);
        }
    }
    context.err << kProgram << "no command was given\n";
    return kBadUsage;
}

}  // namespace rotorix::cli
