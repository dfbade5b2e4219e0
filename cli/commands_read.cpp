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

namespace {

using nlohmann::ordered_json;
using session::Firmware;
using session::Snapshot;

constexpr const char* kProgram = "rotorixctl: ";

// Text from the system (paths, its error words) may not be UTF-8; it is replaced, not thrown on.
std::string jsonText(const ordered_json& document) {
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

std::string firmwareText(const Snapshot& snapshot) {
    if (!snapshot.version) {
        return {};
    }
    std::string caption = config::versionCaption(*snapshot.version);
    return caption.starts_with(' ') ? caption.substr(1) : caption;
}

ordered_json optionalText(const std::optional<std::u16string>& text) {
    return text ? ordered_json(toUtf8(*text)) : ordered_json(nullptr);
}

std::string shownText(const std::optional<std::u16string>& text) {
    return text ? printable(*text) : std::string("-");
}

// The system's words for a board that cannot be opened, and what to do about it.
std::string openProblem(const Snapshot& snapshot) {
    const std::string notice = session::unusableBoardNotice(snapshot.unusable);
    if (!notice.empty()) {
        return notice;
    }
    return snapshot.last_error.empty() ? "it could not be opened"
                                       : "it could not be opened (" + snapshot.last_error + ")";
}

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

Choice choose(const std::vector<std::u16string>& serials, const std::optional<std::string>& board,
              const std::string& unusable_notice) {
    std::vector<std::string> shown;
    for (const auto& serial : serials) {
        shown.push_back(printable(serial));
    }
    if (board) {
        // An argument that is not UTF-8 can name no serial.
        const auto wanted = fromUtf8(*board);
        const auto found =
            wanted ? std::find(serials.begin(), serials.end(), *wanted) : serials.end();
        if (found != serials.end()) {
            return {static_cast<std::size_t>(found - serials.begin()), kDone, {}};
        }
        const std::string typed = wanted ? printable(*wanted) : std::string("(not UTF-8)");
        std::string message = "no board has the serial \"" + typed + "\"";
        message += serials.empty() ? std::string("; no board is attached")
                                   : "; attached: " + joined(shown, ", ");
        if (!unusable_notice.empty()) {
            message += "\n" + unusable_notice;
        }
        return {std::nullopt, kNoBoard, message};
    }
    if (serials.empty()) {
        return {std::nullopt, kNoBoard,
                unusable_notice.empty() ? "no Rotorix board is attached" : unusable_notice};
    }
    if (serials.size() > 1) {
        return {std::nullopt, kBadUsage,
                std::to_string(serials.size()) +
                    " boards are attached; choose one with --board SERIAL: " + joined(shown, ", ")};
    }
    return {0, kDone, {}};
}

std::optional<std::u16string> chooseBoard(session::BoardSession& session, const Options& options,
                                          Context& context, int& status) {
    const auto fail = [&](int code, const std::string& message) {
        context.err << kProgram << message << '\n';
        status = code;
        return std::nullopt;
    };
    const auto shownBoards = [](const Snapshot& snapshot, const std::vector<std::size_t>& which) {
        std::vector<std::string> shown;
        for (const std::size_t i : which) {
            shown.push_back(printable(snapshot.boards[i].identity.serial) + " (" +
                            snapshot.boards[i].path + ")");
        }
        return joined(shown, ", ");
    };
    if (options.board) {
        // An argument that is not UTF-8 can name no board.
        const auto wanted = fromUtf8(*options.board);
        const session::NameMatch match = session.start(wanted.value_or(u"\uFFFF\uFFFF"));
        const Snapshot& listed = session.snapshot();
        const std::string typed = wanted ? printable(*wanted) : std::string("(not UTF-8)");
        if (match.kind == session::NameMatch::Kind::Several) {
            return fail(kBadUsage,
                        std::to_string(match.boards.size()) + " boards have the serial \"" + typed +
                            "\"; name one by its path: " + shownBoards(listed, match.boards));
        }
        if (match.kind == session::NameMatch::Kind::None) {
            std::vector<std::size_t> all(listed.boards.size());
            for (std::size_t i = 0; i < all.size(); ++i) {
                all[i] = i;
            }
            return fail(kNoBoard, "no board has the serial or path \"" + typed + "\"" +
                                      (listed.walk_failure ? "; " + *listed.walk_failure
                                       : all.empty()       ? std::string("; no board is attached")
                                                     : "; attached: " + shownBoards(listed, all)));
        }
        status = kDone;
        return listed.boards[match.boards.front()].identity.serial;
    }
    session.list();
    const Snapshot& listed = session.snapshot();
    if (listed.boards.empty()) {
        return fail(kNoBoard, listed.walk_failure ? session::failedWalkNotice(*listed.walk_failure)
                                                  : std::string("no Rotorix board is attached"));
    }
    if (listed.boards.size() > 1) {
        std::vector<std::string> shown;
        for (const auto& board : listed.boards) {
            shown.push_back(printable(board.identity.serial));
        }
        return fail(kBadUsage, std::to_string(listed.boards.size()) +
                                   " boards are attached; choose one with --board SERIAL: " +
                                   joined(shown, ", "));
    }
    const std::string path = listed.boards.front().path;
    session.start(fromUtf8(path).value_or(u""));
    status = kDone;
    return session.snapshot().boards.empty() ? std::u16string()
                                             : session.snapshot().boards.front().identity.serial;
}

std::string stateText(const Snapshot& snapshot) {
    if (!snapshot.board_open) {
        return "cannot be opened";
    }
    switch (snapshot.firmware) {
        case Firmware::TooOld:
            return "firmware too old";
        case Firmware::NotConfigurable:
            return "feature report too short";
        case Firmware::Ready:
            return snapshot.settings ? "ready" : "settings could not be read";
        case Firmware::None:
            break;
    }
    return "cannot be opened";
}

int requireSettings(const Snapshot& snapshot, const std::string& serial, std::ostream& err) {
    const std::string board = kProgram + serial + ": ";
    if (!snapshot.board_open) {
        err << board << openProblem(snapshot) << '\n';
        return kNoBoard;
    }
    switch (snapshot.firmware) {
        case Firmware::TooOld:
            err << board
                << (snapshot.version ? "firmware " + firmwareText(snapshot) + " is too old"
                                     : std::string("its firmware version cannot be read"))
                << "; the board cannot be configured until its firmware is upgraded\n";
            return kNoBoard;
        case Firmware::NotConfigurable:
            err << board
                << "its feature report is too short to carry settings; the board cannot be "
                   "configured\n";
            return kNoBoard;
        case Firmware::None:
            err << board << openProblem(snapshot) << '\n';
            return kNoBoard;
        case Firmware::Ready:
            break;
    }
    if (!snapshot.settings) {
        err << board << "its settings could not be read"
            << (snapshot.last_error.empty() ? std::string() : " (" + snapshot.last_error + ")")
            << '\n';
        return kBoardRefused;
    }
    return kDone;
}

int listBoards(session::BoardSession& session, const Options& options, Context& context) {
    session.start();
    const std::size_t count = session.snapshot().serials.size();
    ordered_json boards = ordered_json::array();
    std::vector<std::vector<std::string>> rows = {
        {"SERIAL", "FIRMWARE", "STATE", "MANUFACTURER", "PRODUCT"}};
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < count; ++i) {
        if (session.snapshot().selected != static_cast<int>(i)) {
            session.select(static_cast<int>(i));
        }
        const Snapshot& board = session.snapshot();
        const std::u16string& serial = board.serials[i];
        const std::string state = stateText(board);
        ordered_json entry;
        entry["serial"] = toUtf8(serial);
        entry["manufacturer"] = optionalText(board.manufacturer);
        entry["product"] = optionalText(board.product);
        entry["firmware"] = board.version ? ordered_json(firmwareText(board)) : nullptr;
        entry["state"] = state;
        if (!board.board_open) {
            entry["reason"] = openProblem(board);
            notes.push_back(printable(serial) + ": " + openProblem(board));
        } else if (!board.settings && board.firmware == Firmware::Ready) {
            entry["reason"] = board.last_error;
        }
        boards.push_back(entry);
        rows.push_back({printable(serial), board.version ? firmwareText(board) : "-", state,
                        shownText(board.manufacturer), shownText(board.product)});
    }
    // Boards whose serial could not even be read: the system's reason and what to do.
    for (const hid::UnusableBoard& unusable : session.snapshot().unusable) {
        if (unusable.open_error.kind == hid::OpenError::Kind::Gone) {
            continue;  // unplugged while we looked
        }
        const bool no_serial = false;
        ordered_json entry;
        entry["serial"] = nullptr;
        entry["path"] = unusable.path;
        entry["state"] = no_serial ? "no serial number" : "cannot be opened";
        entry["reason"] = unusable.open_error.detail;
        entry["hint"] = session::unusableBoardNotice({unusable});
        boards.push_back(entry);
        rows.push_back(
            {"-", "-",
             entry["state"].get<std::string>() + (unusable.open_error.detail.empty()
                                                      ? std::string()
                                                      : " (" + unusable.open_error.detail + ")"),
             "-", unusable.path});
        notes.push_back(session::unusableBoardNotice({unusable}));
    }
    session.close();

    if (options.json) {
        context.out << jsonText(ordered_json{{"boards", boards}}) << '\n';
        return kDone;
    }
    if (rows.size() == 1) {
        context.err << kProgram << "no Rotorix board is attached\n";
        return kDone;
    }
    printTable(context.out, rows);
    for (const std::string& note : notes) {
        context.out << '\n' << note << '\n';
    }
    return kDone;
}

int showBoard(session::BoardSession& session, const Options& options, Context& context) {
    int status = kDone;
    const auto serial = chooseBoard(session, options, context, status);
    if (!serial) {
        return status;
    }
    const Snapshot& board = session.snapshot();
    status = requireSettings(board, printable(*serial), context.err);
    if (options.json) {
        ordered_json shown;
        shown["serial"] = toUtf8(*serial);
        shown["manufacturer"] = optionalText(board.manufacturer);
        shown["product"] = optionalText(board.product);
        shown["firmware"] = board.version ? ordered_json(firmwareText(board)) : nullptr;
        shown["state"] = stateText(board);
        shown["settings"] = board.settings ? settingsJson(*board.settings) : nullptr;
        context.out << jsonText(shown) << '\n';
    } else {
        std::vector<std::vector<std::string>> rows = {
            {"serial", printable(*serial)},
            {"manufacturer", shownText(board.manufacturer)},
            {"product", shownText(board.product)},
            {"firmware", board.version ? firmwareText(board) : "-"},
            {"state", stateText(board)}};
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
    int status = kDone;
    const auto serial = chooseBoard(session, options, context, status);
    if (!serial) {
        return status;
    }
    const Snapshot& board = session.snapshot();
    status = requireSettings(board, printable(*serial), context.err);
    if (status != kDone) {
        return status;
    }
    const config::BoardSettings raw = *board.settings;
    session.close();
    const auto settings = fromBoard(raw);
    if (!settings) {
        context.err << kProgram << printable(*serial)
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
