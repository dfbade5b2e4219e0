// The command line's grammar (CLI11) and the dispatch to the sub-commands.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <thread>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "rotorix_version.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

namespace rotorix::cli {

namespace {

constexpr const char* kDescription =
    "Configures Rotorix rotary-encoder boards from the command line: lists the attached\n"
    "boards, shows and sets each board's encoder types, pulse length and visibility, keeps\n"
    "them as profiles, watches a board's buttons, tests its encoders step by step, and\n"
    "tells which board is the one whose button was just pressed.";

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
  set [--board BOARD] [--json] KEY=VALUE...
                                           change the named settings (see Settings)
  export [--board BOARD] [-o FILE] [--json]
                                           the board's settings as a profile
  import [--board BOARD | --all] FILE [--json]
                                           write a profile (FILE - reads standard input)
  watch [--board BOARD] [--count N] [--json]
                                           print button presses and releases
  test [--board BOARD] [--seconds N] [--count N] [--json]
                                           each encoder step, its pulse width, and what
                                           looks wrong (see Encoder test)
  which [--timeout S] [--json]             the board whose button or encoder changes
                                           first (see Which board)
  udev-rule [--json]                       print the udev rule that lets the user at the
                                           seat open the boards (Linux), to install with
                                           rotorixctl udev-rule | sudo tee
                                           /etc/udev/rules.d/70-rotorix.rules &&
                                           sudo udevadm trigger
  Each takes --demo as well; "rotorixctl COMMAND --help" describes one of them.)";

constexpr const char* kBoardsHelp = R"(Boards:
  With one board attached, --board may be left out; with several, name one by its serial
  number exactly as "rotorixctl list" shows it, or by its path where boards share a serial
  (list shows the path beside such a serial). A command that names a board sends nothing to any
  other. A board whose firmware is 0.0, or whose feature report is too short to carry settings,
  is listed and shown but never configured; one this user may not open is listed as "no access",
  with the hint once, on standard error: on Linux, install the udev rule (see udev-rule).)";

constexpr const char* kJsonHelp = R"(JSON:
  With --json a command prints what it found as one JSON document on standard output;
  messages stay on standard error, and the exit status is the same. A command that ends
  before it has a result (bad usage, no such board) prints no document.

  list    {"boards": [{"serial": "RX-0117", "path": "...", "manufacturer": "Rotorix",
          "product": "...", "firmware": "1.4", "state": "ready"}, ...]}; a board that is
          not ready has "reason" too, the system's words
  show    one board as list has it, with "settings": {"encoders": ["1:1", ...],
          "pulse_ms": 24, "hidden": false}, null when they could not be read (values outside
          their coding as "pulse_code" and "hide_flag")
  set     {"boards": [{"serial": "RX-0117", "path": "...", "result": "written",
          "settings": {"pulse_ms": 24}, "read_back_equal": true, "problems": []}]};
          result: "written" or "not written"; settings: what was sent (what set names, and
          all eight encoders for any of them), null when nothing was; read_back_equal: the
          board's read-back holds it all; problems: why it is not written, in words
  import  the same, a record for each board; settings holds the whole profile, and
          import --all gives a board that cannot be configured the result "skipped"
  export  {"boards": [{"serial": "RX-0117", "path": "...", "file": "rx-0117.json",
          "profile": {...}}]}: the profile as export writes it; file is null without -o
  watch   one object a line, as each change happens: {"button":3,"pressed":true}
  test    one object a line: the settings read, {"serial": "RX-0117", "path": "...",
          "encoders": ["1:4", ...], "pulse_ms": 24} ("pulse_code" for a code outside 1..25);
          each step, {"pair":1,"button":1,"positive":true,"width_ms":24.112,
          "positive_steps":3,"negative_steps":0}; at the end {"pairs": [{"pair":1,
          "type":"1:4","positive_steps":3,"negative_steps":1,"min_ms":23.9,"median_ms":24.1,
          "max_ms":28.0}, ...], "findings": [{"kind":"short_pulses","pair":null,"text":"..."}]}
          (widths null before a pair's first step)
  which   {"serial": "RX-0117", "path": "...", "serial_unique": true, "button": 3,
          "pressed": true}: the board, and the change that told it
  udev-rule  {"file": "/etc/udev/rules.d/70-rotorix.rules", "rule": "..."})";

constexpr const char* kTestHelp = R"(Encoder test:
  test reads the board's settings and says which button pairs are set to an encoder and how
  long its pulses are. Then, as the encoders are turned, it prints one line a step: the pair,
  the button that pulsed (the pair's first one way, its second the other), the pulse's width
  as this computer saw it, and the pair's steps each way so far. Ctrl-C, --seconds N or
  --count N (steps on all pairs) ends it with the steps and the shortest, median and longest
  pulse of each pair, and what looked wrong, in plain words:
    pulses shorter than a game's frame, which a game that reads the controller once a frame
    can miss; both buttons of a pair down at once (a wiring fault or a bouncing switch);
    pulses back to back (fast turns lose steps at this pulse length); a pair set to OFF whose
    buttons pulse like an encoder, or one set to an encoder whose button is held like a plain
    button.
  It sends the board nothing but the read requests of its settings.)";

constexpr const char* kWhichHelp = R"(Which board:
  which watches the buttons of every attached board at once and prints the board whose buttons
  change first: press a button or turn an encoder on the board in your hand. It prints the
  board's serial, with its path beside a serial that other boards share (or that is empty), and
  exits 0. A button held down when watching begins counts only once it changes. Boards plugged
  in while it waits are watched too. One that cannot be watched is named, with why, on standard
  error. When no button changes within --timeout seconds (30 unless given), or Ctrl-C ends it,
  it says so and exits 1. It sends the boards nothing.)";

constexpr const char* kExamplesHelp = R"(Examples:
  rotorixctl list                                       the boards and their serials
  rotorixctl show --board RX-0117                       one board's settings
  rotorixctl set --board RX-0117 enc1=1:4 pulse=24ms    two settings, the rest unchanged
  rotorixctl export --board RX-0117 -o rx-0117.json     a backup of one board
  rotorixctl import --all rx-0117.json                  the same settings on every board
  rotorixctl watch --board RX-0117 --count 10           check the wiring: ten changes
  rotorixctl test --board RX-0117 --seconds 30          turn the encoders for 30 seconds
  rotorixctl which --timeout 60                         press a button on the board you mean
  rotorixctl --demo show --board RX-0117                try it without a board
  rotorixctl udev-rule | sudo tee /etc/udev/rules.d/70-rotorix.rules && sudo udevadm trigger
                                                        let this user open the boards (Linux)

Exit status:
  0    done
  1    a board refused or lost an exchange (what was not written is said); which: no
       button changed before the time-out
  2    bad usage, a bad profile, or several boards to choose from: none named, or a serial
       several boards share (nothing was written)
  3    no such board, no board, the attached devices could not be listed, or the board cannot
       be configured (old firmware, short feature report, no access, held by another program)

Messages go to standard error, results to standard output; --json prints them as JSON.
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

// Something for `--demo test` to measure, once it has begun: each board turns its first encoder
// six steps one way, then its second four steps the other (a board's pulses never overlap);
// then it is still.
void turnDemoEncoders(sim::SimPlatform& platform) {
    for (const int board : {0, 1}) {
        platform.turn(board, 1, 6, 5);
        platform.turn(board, 2, -4, 4);
    }
}

// Something for `--demo which` to find, once it asks: a press of button 5 on the second board,
// half a second on, and its release.
void pressDemoButton(sim::SimPlatform& platform) {
    std::vector<std::uint16_t> script(125, 0x0000);  // 4 ms a report
    script.insert(script.end(), 50, 0x0010);
    script.push_back(0x0000);
    platform.queueButtons(1, script);
}

void addBoardOption(CLI::App& command, Options& options) {
    command.add_option("--board", options.board, "The board's serial number, or its path")
        ->type_name("BOARD");
}

// What --json prints, said in each command's own help.
void addJsonFlag(CLI::App& command, Options& options, const char* what) {
    command.add_flag("--json", options.json, what);
}

using Command = Result (*)(const Invocation&);

// The command line's words: the program's options, and each sub-command with its own and the
// function that runs it.
class Grammar {
  public:
    Grammar();

    // Parses `args`; the exit status when that ended the run (help, version, a bad word).
    std::optional<int> parse(const std::vector<std::string>& args, Context& context);
    // A word where a command belongs that names none. CLI11 would take it for a stray argument
    // and only ask for a command.
    std::optional<std::string> unknownCommand(const std::vector<std::string>& args) const;

    const Options& options() const { return options_; }
    // The parsed sub-command's function; null when none was given.
    Command command() const;

  private:
    CLI::App* add(const char* name, const char* description, Command run);
    void addListAndShow();
    void addSettingCommands();
    void addWatch();
    void addTest();
    void addWhich();
    void addUdevRule();

    CLI::App app_{kDescription, "rotorixctl"};
    Options options_;
    long long count_ = 0;
    long long seconds_ = 0;
    std::vector<CLI::Option*> count_options_;
    CLI::Option* seconds_option_ = nullptr;
    // One entry per sub-command, each with its own function: a command without an entry runs
    // nothing rather than another command.
    std::vector<std::pair<const CLI::App*, Command>> commands_;
};

Grammar::Grammar() {
    // The same options on every system: on Windows the parser would otherwise take a path such
    // as "/profiles/desk.json" for a "/option" and the file for missing.
    app_.allow_windows_style_options(false);
    app_.set_version_flag("--version", std::string("rotorixctl ") + rotorix::kVersion);
    app_.require_subcommand(1);
    app_.footer(std::string(kCommandsHelp) + "\n\n" + kBoardsHelp + "\n\n" + kSettingsHelp +
                "\n\n" + kProfileHelp + "\n\n" + kTestHelp + "\n\n" + kWhichHelp + "\n\n" +
                kJsonHelp + "\n\n" + kExamplesHelp);
    app_.get_formatter()->column_width(24);
    app_.add_flag("--demo", options_.demo,
                  "Work on the demo's two virtual boards (RX-0117, RX-0342) instead of attached "
                  "boards");
    addListAndShow();
    addSettingCommands();
    addWatch();
    addTest();
    addWhich();
    addUdevRule();
}

CLI::App* Grammar::add(const char* name, const char* description, Command run) {
    CLI::App* command = app_.add_subcommand(name, description);
    command->fallthrough();  // --demo may follow the sub-command too
    command->footer("");
    commands_.emplace_back(command, run);
    return command;
}

void Grammar::addListAndShow() {
    CLI::App* list = add("list", "List the attached boards and their state", listCommand);
    addJsonFlag(*list, options_, "Print one JSON document");

    CLI::App* show = add("show", "Show a board's identity and settings", showCommand);
    addBoardOption(*show, options_);
    addJsonFlag(*show, options_, "Print one JSON document");
}

void Grammar::addSettingCommands() {
    CLI::App* set =
        add("set", "Change settings of a board: KEY=VALUE ... (see Settings)", setCommand);
    addBoardOption(*set, options_);
    addJsonFlag(*set, options_, "Print the result as one JSON document");
    set->add_option("settings", options_.assignments, "enc1..enc8, pulse, hidden")
        ->type_name("KEY=VALUE")
        ->required();
    set->footer(kSettingsHelp);

    CLI::App* exporting =
        add("export", "Write a board's settings as a profile (see Profile)", exportCommand);
    addBoardOption(*exporting, options_);
    exporting
        ->add_option("-o,--output", options_.output, "Write to FILE instead of standard output")
        ->type_name("FILE");
    addJsonFlag(*exporting, options_, "Print the result, with the profile, as one JSON document");
    exporting->footer(kProfileHelp);

    CLI::App* importing = add(
        "import", "Write a profile to a board, or with --all to every ready board", importCommand);
    CLI::Option* board =
        importing->add_option("--board", options_.board, "The board's serial number, or its path")
            ->type_name("BOARD");
    importing->add_flag("--all", options_.all, "Every ready board, one line each")->excludes(board);
    addJsonFlag(*importing, options_, "Print the results as one JSON document");
    importing->add_option("file", options_.file, "The profile; - reads standard input")
        ->type_name("FILE")
        ->required();
    importing->footer(kProfileHelp);
}

void Grammar::addWatch() {
    CLI::App* watch =
        add("watch", "Print a board's button presses and releases as they happen, until Ctrl-C",
            watchCommand);
    addBoardOption(*watch, options_);
    count_options_.push_back(watch->add_option("--count", count_, "End after N changes")
                                 ->type_name("N")
                                 ->check(CLI::PositiveNumber));
    addJsonFlag(*watch, options_, "Print each change as one JSON object on a line of its own");
}

void Grammar::addTest() {
    CLI::App* test = add("test",
                         "Show each encoder step of a board with its pulse width, then the totals "
                         "and what looks wrong (see Encoder test)",
                         testCommand);
    addBoardOption(*test, options_);
    seconds_option_ = test->add_option("--seconds", seconds_, "End after N seconds")
                          ->type_name("N")
                          ->check(CLI::PositiveNumber);
    count_options_.push_back(test->add_option("--count", count_, "End after N steps in all")
                                 ->type_name("N")
                                 ->check(CLI::PositiveNumber));
    addJsonFlag(*test, options_,
                "Print the settings, each step and the totals as JSON, one object a line");
    test->footer(kTestHelp);
}

void Grammar::addWhich() {
    CLI::App* which = add("which",
                          "Print the board whose buttons change first: press a button on the "
                          "board in your hand (see Which board)",
                          whichCommand);
    // Up to a day, so that the deadline stays within the clock's range: "inf" and 1e300 parse as
    // numbers, and "nan" passes a range check made of comparisons.
    const CLI::Validator seconds(
        [](std::string& text) {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool whole = end != text.c_str() && *end == '\0';
            return whole && value >= 0.001 && value <= 86400.0
                       ? std::string()
                       : std::string("must be a number of seconds from 0.001 to 86400");
        },
        "");
    which->add_option("--timeout", options_.timeout, "Give up after S seconds (default 30)")
        ->type_name("S")
        ->check(seconds);
    addJsonFlag(*which, options_, "Print the board as one JSON document");
    which->footer(kWhichHelp);
}

void Grammar::addUdevRule() {
    CLI::App* rule = add("udev-rule",
                         "Print the udev rule that lets the user at the seat open the boards "
                         "(Linux); it touches no board",
                         udevRuleCommand);
    addJsonFlag(*rule, options_, "Print the rule and where it goes as one JSON document");
}

std::optional<std::string> Grammar::unknownCommand(const std::vector<std::string>& args) const {
    const auto word = std::find_if(args.begin(), args.end(),
                                   [](const std::string& arg) { return !arg.starts_with("-"); });
    if (word == args.end()) {
        return std::nullopt;
    }
    const bool known = std::any_of(commands_.begin(), commands_.end(), [&](const auto& entry) {
        return entry.first->check_name(*word);
    });
    return known ? std::nullopt : std::optional(*word);
}

std::optional<int> Grammar::parse(const std::vector<std::string>& args, Context& context) {
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app_.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app_.exit(e, context.out, context.err);
    } catch (const CLI::CallForVersion& e) {
        return app_.exit(e, context.out, context.err);
    } catch (const CLI::ParseError& e) {
        print(failure(kBadUsage,
                      message(e.what() + std::string("\nRun 'rotorixctl --help' for more."))),
              false, context);
        return kBadUsage;
    }
    for (const CLI::Option* count : count_options_) {
        if (count->count() > 0) {
            options_.count = count_;
        }
    }
    if (seconds_option_->count() > 0) {
        options_.seconds = seconds_;
    }
    return std::nullopt;
}

Command Grammar::command() const {
    for (const auto& [command, runCommand] : commands_) {
        if (command->parsed()) {
            return runCommand;
        }
    }
    return nullptr;
}

// Runs the parsed command on the system's boards or the demo's, and prints what it found.
int dispatch(const Grammar& grammar, Context& context) {
    const Options& options = grammar.options();
    const Command command = grammar.command();
    std::unique_ptr<sim::SimPlatform> demo;
    if (options.demo) {
        demo = std::make_unique<sim::SimPlatform>();
        sim::addDemoBoards(*demo);
        if (command == testCommand || command == whichCommand) {
            // A report every polling interval, as a board sends them: the watch's reader waits
            // between them rather than spin.
            demo->setReportInterval(std::chrono::milliseconds(4));
        } else {
            scriptDemoButtons(*demo);
        }
    }
    hid::Platform& platform = demo ? static_cast<hid::Platform&>(*demo) : context.platform;
    const Invocation call{platform, options, context, demo ? demoPace : nullptr,
                          [&](const WatchEvent& event) {
                              print(event, options.json, context);
                              if (demo && std::holds_alternative<Testing>(event)) {
                                  turnDemoEncoders(*demo);
                              }
                              if (demo && std::holds_alternative<Notice>(event)) {
                                  pressDemoButton(*demo);
                              }
                          }};
    const Result result =
        command != nullptr ? command(call) : failure(kBadUsage, message("no command was given"));
    print(result, options.json, context);
    return result.status;
}

}  // namespace

int run(const std::vector<std::string>& args, Context& context) {
    Grammar grammar;
    if (const auto word = grammar.unknownCommand(args)) {
        print(failure(kBadUsage, message("unknown command \"" + *word +
                                         "\" (commands: list, show, set, export, import, watch, "
                                         "test, which, udev-rule)")),
              false, context);
        return kBadUsage;
    }
    if (const auto ended = grammar.parse(args, context)) {
        return *ended;
    }
    return dispatch(grammar, context);
}

}  // namespace rotorix::cli
