// Choosing a board, and the sub-commands that only read: list, show, export.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "base/file_name.h"
#include "cli/commands.h"
#include "cli/profile.h"
#include "cli/text.h"
#include "session/board_notice.h"

namespace rotorix::cli {

const char* const kProgram = "rotorixctl: ";

namespace {

using nlohmann::ordered_json;
using session::ListedBoard;
using session::NameMatch;
using session::Snapshot;
using session::Verdict;

// Text from the system (paths, its error words) may not be UTF-8; it is replaced, not thrown on.
std::string jsonText(const ordered_json& document) {
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

std::string inParentheses(const std::string& words) {
    return words.empty() ? std::string() : " (" + words + ")";
}

// What keeps listed board `board` from being opened, if anything: the walk's probe, or the
// open that followed it.
std::optional<hid::UnusableBoard> openFailure(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
    if (listed.problem) {
        return hid::UnusableBoard{listed.path, listed.identity.serial, *listed.problem};
    }
    for (const hid::UnusableBoard& unusable : snapshot.unusable) {
        if (unusable.path == listed.path) {
            return unusable;
        }
    }
    return std::nullopt;
}

// The system's words for a board that cannot be opened, and what to do about it.
std::string openProblem(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        const std::string notice = session::unusableBoardNotice({*failure});
        if (!notice.empty()) {
            return notice;
        }
    }
    return "it could not be opened" + inParentheses(snapshot.last_error);
}

// A board's identity as shown: what the open board reported, or for one that could not be
// opened what the listing read without opening it.
struct Shown {
    std::string serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> firmware;
};

std::string firmwareText(std::uint16_t version) {
    std::string caption = config::versionCaption(version);
    return caption.starts_with(' ') ? caption.substr(1) : caption;
}

Shown shownBoard(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
    const auto text = [](const std::optional<std::u16string>& value) {
        return value ? std::optional(printable(*value)) : std::nullopt;
    };
    const auto listedText = [](const std::u16string& value) {
        return value.empty() ? std::nullopt : std::optional(printable(value));
    };
    Shown shown{printable(listed.identity.serial), {}, {}, {}};
    if (snapshot.board_open) {
        shown.manufacturer = text(snapshot.manufacturer);
        shown.product = text(snapshot.product);
        if (snapshot.version) {
            shown.firmware = firmwareText(*snapshot.version);
        }
    } else {
        shown.manufacturer = listedText(listed.identity.manufacturer);
        shown.product = listedText(listed.identity.product);
        shown.firmware = firmwareText(listed.version);
    }
    return shown;
}

ordered_json orNull(const std::optional<std::string>& text) {
    return text ? ordered_json(*text) : ordered_json(nullptr);
}

std::string orDash(const std::optional<std::string>& text) {
    return text ? *text : std::string("-");
}

// Why a board is not ready, in the system's words, where there are any.
std::optional<std::string> reasonOf(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        return failure->open_error.detail;
    }
    if (snapshot.verdict() == Verdict::Unreadable) {
        return snapshot.last_error;
    }
    return std::nullopt;
}

// Columns padded to their widest cell; a line carries no trailing blanks.
void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
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

ordered_json settingsJson(const config::BoardSettings& raw) {
    ordered_json encoders = ordered_json::array();
    for (const std::uint8_t type : config::unpackEncoderTypes(raw.planes)) {
        encoders.push_back(encoderTypeText(type));
    }
    ordered_json settings;
    settings["encoders"] = encoders;
    if (const auto coded = fromBoard(raw)) {
        settings["pulse_ms"] = coded->pulse_ms;
        settings["hidden"] = coded->hidden;
    } else {
        // Values outside their coding are shown as the board holds them.
        settings["pulse_code"] = raw.pulse_code;
        settings["hide_flag"] = raw.hide_flag;
    }
    return settings;
}

}  // namespace

std::string walkFailureText(const std::string& words) {
    return "the attached devices could not be listed" + inParentheses(words);
}

bool serialIsUnique(const std::vector<ListedBoard>& boards, std::size_t board) {
    const std::u16string& serial = boards[board].identity.serial;
    return !serial.empty() &&
           std::count_if(boards.begin(), boards.end(), [&](const ListedBoard& other) {
               return other.identity.serial == serial;
           }) == 1;
}

std::string boardName(const std::vector<ListedBoard>& boards, std::size_t board) {
    const ListedBoard& listed = boards[board];
    if (serialIsUnique(boards, board)) {
        return printable(listed.identity.serial);
    }
    return listed.identity.serial.empty()
               ? listed.path
               : printable(listed.identity.serial) + " (" + listed.path + ")";
}

Choice choose(const std::vector<ListedBoard>& boards, const std::optional<NameMatch>& match,
              const std::optional<std::string>& typed,
              const std::optional<std::string>& walk_failure) {
    if (walk_failure) {
        return {std::nullopt, kNoBoard, walkFailureText(*walk_failure)};
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        names.push_back(boardName(boards, i));
    }
    if (typed) {
        if (match && match->kind == NameMatch::Kind::One) {
            return {match->boards.front(), kDone, {}};
        }
        // An argument that is not UTF-8 can name no board.
        const auto wanted = fromUtf8(*typed);
        const std::string shown = wanted ? printable(*wanted) : std::string("(not UTF-8)");
        if (match && match->kind == NameMatch::Kind::Several) {
            std::vector<std::string> candidates;
            for (const std::size_t i : match->boards) {
                candidates.push_back(boardName(boards, i));
            }
            return {std::nullopt, kBadUsage,
                    std::to_string(candidates.size()) + " boards have the serial \"" + shown +
                        "\"; name one by its path with --board PATH: " + joined(candidates, ", ")};
        }
        return {std::nullopt, kNoBoard,
                "no board has the serial or path \"" + shown + "\"" +
                    (boards.empty() ? std::string("; no board is attached")
                                    : "; attached: " + joined(names, ", "))};
    }
    if (boards.empty()) {
        return {std::nullopt, kNoBoard, "no Rotorix board is attached"};
    }
    if (boards.size() > 1) {
        return {std::nullopt, kBadUsage,
                std::to_string(boards.size()) +
                    " boards are attached; choose one with --board SERIAL: " + joined(names, ", ")};
    }
    return {0, kDone, {}};
}

Choice openChosen(session::BoardSession& session, const Options& options, Context& context) {
    std::optional<NameMatch> match;
    std::optional<std::string> typed = options.board;
    if (const auto wanted = options.board ? fromUtf8(*options.board) : std::nullopt) {
        match = session.start(*wanted);
    } else {
        session.list();
        if (options.board) {
            match = NameMatch{};  // not UTF-8: no board has that name
        }
    }
    Choice choice =
        choose(session.snapshot().boards, match, typed, session.snapshot().walk_failure);
    if (choice.board && !options.board) {
        // The one board listed, opened by its entry: exactly that board, whatever came since.
        typed = session.snapshot().boards[*choice.board].path;
        match = session.start(fromUtf8(*typed).value_or(u""));
        choice = choose(session.snapshot().boards, match, typed, session.snapshot().walk_failure);
    }
    if (!choice.board) {
        context.err << kProgram << choice.message << '\n';
    }
    return choice;
}

std::string stateText(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        switch (failure->open_error.kind) {
            case hid::OpenError::Kind::AccessDenied:
                return "no access";
            case hid::OpenError::Kind::Busy:
                return "busy";
            case hid::OpenError::Kind::Gone:
                return "unplugged";
            case hid::OpenError::Kind::Other:
                break;
        }
        return "cannot be opened";
    }
    switch (snapshot.verdict()) {
        case Verdict::TooOld:
            return "firmware too old";
        case Verdict::NotConfigurable:
            return "feature report too short";
        case Verdict::Unreadable:
            return "settings could not be read";
        case Verdict::Ready:
            return "ready";
        case Verdict::NotOpen:
            break;
    }
    return "cannot be opened";
}

int requireReady(const Snapshot& snapshot, std::size_t board, std::ostream& err) {
    const std::string named = kProgram + boardName(snapshot.boards, board) + ": ";
    switch (snapshot.verdict()) {
        case Verdict::Ready:
            return kDone;
        case Verdict::Unreadable:
            err << named << "its settings could not be read" << inParentheses(snapshot.last_error)
                << '\n';
            return kBoardRefused;
        case Verdict::TooOld:
            err << named
                << (snapshot.version ? "firmware " + firmwareText(*snapshot.version) + " is too old"
                                     : std::string("its firmware version cannot be read"))
                << "; the board cannot be configured until its firmware is upgraded\n";
            return kNoBoard;
        case Verdict::NotConfigurable:
            err << named
                << "its feature report is too short to carry settings; the board cannot be "
                   "configured\n";
            return kNoBoard;
        case Verdict::NotOpen:
            break;
    }
    err << named << openProblem(snapshot, board) << '\n';
    return kNoBoard;
}

void printUnusableNotice(const Snapshot& snapshot, std::ostream& err) {
    const std::string notice = session::unusableBoardNotice(snapshot.unusable);
    if (!notice.empty()) {
        err << notice << '\n';
    }
}

int listBoards(session::BoardSession& session, const Options& options, Context& context) {
    ordered_json boards = ordered_json::array();
    std::vector<std::vector<std::string>> rows = {
        {"SERIAL", "FIRMWARE", "STATE", "MANUFACTURER", "PRODUCT"}};
    bool paths = false;  // a PATH column, for boards a serial does not tell apart
    session.visitEach([&](std::size_t i) {
        const Snapshot& snapshot = session.snapshot();
        const ListedBoard& listed = snapshot.boards[i];
        const Shown shown = shownBoard(snapshot, i);
        const std::string state = stateText(snapshot, i);
        ordered_json entry;
        entry["serial"] = toUtf8(listed.identity.serial);
        entry["path"] = listed.path;
        entry["manufacturer"] = orNull(shown.manufacturer);
        entry["product"] = orNull(shown.product);
        entry["firmware"] = orNull(shown.firmware);
        entry["state"] = state;
        if (const auto reason = reasonOf(snapshot, i)) {
            entry["reason"] = *reason;
        }
        boards.push_back(entry);
        const bool unique = serialIsUnique(snapshot.boards, i);
        paths = paths || !unique;
        rows.push_back({unique || !listed.identity.serial.empty() ? shown.serial : "-",
                        orDash(shown.firmware), state, orDash(shown.manufacturer),
                        orDash(shown.product), unique ? std::string() : listed.path});
    });
    const Snapshot& snapshot = session.snapshot();
    if (snapshot.walk_failure) {
        context.err << kProgram << walkFailureText(*snapshot.walk_failure) << '\n';
        return kNoBoard;
    }
    if (options.json) {
        context.out << jsonText(ordered_json{{"boards", boards}}) << '\n';
    } else if (rows.size() == 1) {
        context.err << kProgram << "no Rotorix board is attached\n";
    } else {
        if (paths) {
            rows.front().push_back("PATH");
        } else {
            for (auto& row : rows) {
                row.resize(5);
            }
        }
        printTable(context.out, rows);
    }
    printUnusableNotice(snapshot, context.err);
    return kDone;
}

int showBoard(session::BoardSession& session, const Options& options, Context& context) {
    const Choice chosen = openChosen(session, options, context);
    if (!chosen.board) {
        return chosen.status;
    }
    const std::size_t i = *chosen.board;
    const Snapshot& board = session.snapshot();
    const int status = requireReady(board, i, context.err);
    const Shown shown = shownBoard(board, i);
    const bool unique = serialIsUnique(board.boards, i);
    if (options.json) {
        ordered_json entry;
        entry["serial"] = toUtf8(board.boards[i].identity.serial);
        entry["path"] = board.boards[i].path;
        entry["manufacturer"] = orNull(shown.manufacturer);
        entry["product"] = orNull(shown.product);
        entry["firmware"] = orNull(shown.firmware);
        entry["state"] = stateText(board, i);
        entry["settings"] = board.settings ? settingsJson(*board.settings) : nullptr;
        context.out << jsonText(entry) << '\n';
    } else {
        std::vector<std::vector<std::string>> rows = {{"serial", shown.serial}};
        if (!unique) {
            rows.push_back({"path", board.boards[i].path});
        }
        rows.insert(rows.end(), {{"manufacturer", orDash(shown.manufacturer)},
                                 {"product", orDash(shown.product)},
                                 {"firmware", orDash(shown.firmware)},
                                 {"state", stateText(board, i)}});
        if (board.settings) {
            for (const auto& [key, value] : settingLines(*board.settings)) {
                rows.push_back({key, value});
            }
        }
        printTable(context.out, rows);
    }
    session.close();
    return status;
}

int exportProfile(session::BoardSession& session, const Options& options, Context& context) {
    const Choice chosen = openChosen(session, options, context);
    if (!chosen.board) {
        return chosen.status;
    }
    const Snapshot& board = session.snapshot();
    const std::string name = boardName(board.boards, *chosen.board);
    const int status = requireReady(board, *chosen.board, context.err);
    if (status != kDone) {
        return status;
    }
    const config::BoardSettings raw = *board.settings;
    session.close();
    const auto settings = fromBoard(raw);
    if (!settings) {
        context.err << kProgram << name
                    << ": the board holds values no profile can carry (pulse code "
                    << int{raw.pulse_code} << ", hide flag " << int{raw.hide_flag}
                    << "); set them first\n";
        return kBoardRefused;
    }
    const std::string profile = formatProfile(*settings);
    if (options.output.empty() || options.output == "-") {
        context.out << profile;
        return kDone;
    }
    std::ofstream file(base::pathFromUtf8(options.output), std::ios::binary | std::ios::trunc);
    file << profile;
    file.close();
    if (!file) {
        context.err << kProgram << "cannot write " << options.output << ": " << std::strerror(errno)
                    << '\n';
        return kBadUsage;
    }
    return kDone;
}

}  // namespace rotorix::cli
