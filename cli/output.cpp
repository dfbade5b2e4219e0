// The printer every command's result goes through: its messages, then its output as aligned
// tables and result lines or as JSON, then its closing messages.
#include "cli/output.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <type_traits>

#include "cli/common.h"
#include "cli/output_json.h"
#include "cli/text.h"
#include "profile/profile.h"

namespace rotorix::cli {

namespace {

using Rows = std::vector<std::vector<std::string>>;

// "-" for what a board did not say.
std::string orDash(const std::optional<std::string>& text) {
    return text ? *text : std::string("-");
}

// Columns padded to their widest cell; a line carries no trailing blanks.
void printTable(std::ostream& out, const Rows& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], displayWidth(row[c]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - displayWidth(row[c]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

void printText(const ListOutput& listed, Context& context) {
    if (listed.boards.empty()) {
        context.err << message(kNoBoardAttached) << '\n';
        return;
    }
    // A PATH column, for boards a serial does not tell apart.
    const bool paths = std::any_of(listed.boards.begin(), listed.boards.end(),
                                   [](const BoardView& view) { return view.path_needed; });
    Rows rows = {{"SERIAL", "FIRMWARE", "STATE", "MANUFACTURER", "PRODUCT"}};
    if (paths) {
        rows.front().push_back("PATH");
    }
    for (const BoardView& view : listed.boards) {
        rows.push_back({view.serial.empty() ? std::string("-") : printable(view.serial),
                        orDash(view.firmware), view.state, orDash(view.manufacturer),
                        orDash(view.product)});
        if (view.path_needed) {
            rows.back().push_back(view.path);
        }
    }
    printTable(context.out, rows);
}

void printText(const ShowOutput& shown, Context& context) {
    const BoardView& board = shown.board;
    Rows rows = {{"serial", printable(board.serial)}};
    if (board.path_needed) {
        rows.push_back({"path", board.path});
    }
    rows.insert(rows.end(), {{"manufacturer", orDash(board.manufacturer)},
                             {"product", orDash(board.product)},
                             {"firmware", orDash(board.firmware)},
                             {"state", board.state}});
    if (shown.settings) {
        for (const auto& [key, value] : settingLines(*shown.settings)) {
            rows.push_back({key, value});
        }
    }
    printTable(context.out, rows);
}

// What set wrote on standard output; what it did not, with every reason, on standard error.
void printText(const SetOutput& set, Context& context) {
    const BoardResult& result = set.board;
    const std::string named = result.board.name + ": ";
    const std::string assignments =
        result.settings ? assignmentText(*result.settings, &set.named) : std::string();
    if (result.outcome == Outcome::Written) {
        context.out << named << assignments << '\n';
        return;
    }
    for (const std::string& problem : result.problems) {
        context.err << message(named + problem) << '\n';
    }
    context.err << message(named + "not written: " + assignments) << '\n';
}

// One line a board: "RX-0117: written", "RX-0342: not written: ...", "C: skipped: ...".
void printText(const ImportOutput& imported, Context& context) {
    for (const BoardResult& result : imported.boards) {
        context.out << result.board.name << ": " << outcomeText(result.outcome)
                    << (result.problems.empty() ? "" : ": ") << joined(result.problems, "; ")
                    << '\n';
    }
}

void printText(const ExportOutput& exported, Context& context) {
    if (exported.file.empty()) {
        context.out << formatProfile(exported.settings);
    }
}

// "24.1 ms"; "-" before a pair's first step.
std::string widthText(std::optional<input::Clock::duration> width) {
    if (!width) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms",
                  std::chrono::duration<double, std::milli>(*width).count());
    return text;
}

// Pair 1 -> "1-2".
std::string pairText(int pair) {
    return std::to_string(2 * pair - 1) + "-" + std::to_string(2 * pair);
}

// The steps and widths of each pair set to an encoder, then the findings.
void printText(const TestOutput& tested, Context& context) {
    context.out << '\n';
    if (tested.pairs.empty()) {
        context.out << "no pair is set to an encoder: no steps were counted\n";
    } else {
        Rows rows = {{"PAIR", "TYPE", "STEPS +", "STEPS -", "MIN", "MEDIAN", "MAX"}};
        for (const auto& [pair, summary] : tested.pairs) {
            rows.push_back({pairText(pair), encoderTypeText(summary.type),
                            std::to_string(summary.positive), std::to_string(summary.negative),
                            widthText(summary.min_width), widthText(summary.median_width),
                            widthText(summary.max_width)});
        }
        printTable(context.out, rows);
    }
    if (tested.findings.empty()) {
        context.out << "findings: none\n";
        return;
    }
    context.out << "findings:\n";
    for (const input::Finding& finding : tested.findings) {
        context.out << "  " << finding.text << '\n';
    }
}

// "RX-0117: pulse 24 ms; encoders on buttons 1-2 (1:4), 3-4 (1:2)".
std::string testingText(const Testing& testing) {
    std::string pulse = "pulse code " + std::to_string(testing.pulse_code) + " (no length)";
    if (testing.pulse_code >= config::kPulseCodeMin &&
        testing.pulse_code <= config::kPulseCodeMax) {
        pulse = "pulse " + std::to_string(testing.pulse_code * config::kPulseStepMs) + " ms";
    }
    std::vector<std::string> encoders;
    for (std::size_t i = 0; i < testing.types.size(); ++i) {
        if (testing.types[i] != 0) {
            encoders.push_back(pairText(static_cast<int>(i) + 1) + " (" +
                               encoderTypeText(testing.types[i]) + ")");
        }
    }
    return testing.board.name + ": " + pulse + "; " +
           (encoders.empty() ? std::string("no pair is set to an encoder")
                             : "encoders on buttons " + joined(encoders, ", "));
}

void printText(const RuleOutput& rule, Context& context) {
    context.out << rule.text;
}

// The board's name alone, as other commands name it (its path beside a shared serial), so that
// a script can take the line as it is; the change that told it goes to standard error.
void printText(const WhichOutput& which, Context& context) {
    context.err << message("button " + std::to_string(which.button) +
                           (which.pressed ? " pressed" : " released") + " on " + which.board.name)
                << '\n';
    context.out << which.board.name << '\n';
}

}  // namespace

void print(const Result& result, bool json, Context& context) {
    for (const std::string& said : result.messages) {
        context.err << said << '\n';
    }
    std::visit(
        [&](const auto& output) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(output)>, std::monostate>) {
                if (json) {
                    context.out << jsonDocument(output) << '\n';
                } else {
                    printText(output, context);
                }
            }
        },
        result.output);
    for (const std::string& said : result.closing) {
        context.err << said << '\n';
    }
}

void print(const WatchEvent& event, bool json, Context& context) {
    if (const auto* notice = std::get_if<Notice>(&event)) {
        context.err << notice->line << std::endl;
        return;
    }
    if (const auto* watching = std::get_if<Watching>(&event)) {
        context.err << message("watching " + watching->board + " (" + watching->buttons +
                               "); Ctrl-C ends")
                    << '\n';
        return;
    }
    if (const auto* testing = std::get_if<Testing>(&event)) {
        context.err << message("testing " + testing->board.name +
                               ": turn its encoders; Ctrl-C ends")
                    << '\n';
        context.out << (json ? jsonLine(*testing) : testingText(*testing));
    } else if (const auto* step = std::get_if<TestStep>(&event)) {
        if (json) {
            context.out << jsonLine(*step);
        } else {
            context.out << "pair " << pairText(step->pair) << ": button " << step->button << ", "
                        << widthText(step->width) << " (+" << step->positive_steps << " -"
                        << step->negative_steps << ")";
        }
    } else {
        const ButtonChange& change = std::get<ButtonChange>(event);
        if (json) {
            context.out << jsonLine(change);
        } else {
            context.out << "button " << change.button
                        << (change.pressed ? " pressed" : " released");
        }
    }
    context.out << std::endl;  // a line at once, also into a pipe
}

}  // namespace rotorix::cli
