// show: one board's identity, state and settings, from one read-back.
#include <ostream>

#include "cli/commands.h"
#include "cli/text.h"

namespace rotorix::cli {

namespace {

using nlohmann::ordered_json;

// What show prints, as a table or as JSON.
struct ShowOutput {
    BoardView board;
    std::optional<config::BoardSettings> settings;  // present once read
};

void print(const ShowOutput& shown, bool json, std::ostream& out) {
    const BoardView& board = shown.board;
    if (json) {
        ordered_json entry = identityJson(board);
        entry["settings"] = shown.settings ? settingsJson(*shown.settings) : nullptr;
        out << jsonText(entry) << '\n';
        return;
    }
    std::vector<std::vector<std::string>> rows = {{"serial", printable(board.serial)}};
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
    printTable(out, rows);
}

}  // namespace

int showCommand(const Invocation& call) {
    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, call.options, call.context);
    if (!chosen.board) {
        return chosen.status;
    }
    const session::Snapshot& snapshot = session.snapshot();
    print({viewOf(snapshot, *chosen.board), snapshot.settings}, call.options.json,
          call.context.out);
    session.close();
    return chosen.status;
}

}  // namespace rotorix::cli
