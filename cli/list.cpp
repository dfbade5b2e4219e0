// list: every board of one walk, each opened in turn, with its state.
#include <ostream>

#include "cli/commands.h"
#include "cli/text.h"

namespace rotorix::cli {

namespace {

using nlohmann::ordered_json;

// What list prints, as a table or as JSON.
struct ListOutput {
    std::vector<BoardView> boards;
    bool paths = false;  // a PATH column, for boards a serial does not tell apart
};

void print(const ListOutput& listed, bool json, Context& context) {
    if (json) {
        ordered_json boards = ordered_json::array();
        for (const BoardView& view : listed.boards) {
            ordered_json entry = identityJson(view);
            if (view.reason) {
                entry["reason"] = *view.reason;
            }
            boards.push_back(entry);
        }
        context.out << jsonText(ordered_json{{"boards", boards}}) << '\n';
        return;
    }
    if (listed.boards.empty()) {
        context.err << kProgram << "no Rotorix board is attached\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {
        {"SERIAL", "FIRMWARE", "STATE", "MANUFACTURER", "PRODUCT"}};
    if (listed.paths) {
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

}  // namespace

int listCommand(const Invocation& call) {
    session::BoardSession session(call.platform);
    ListOutput listed;
    session.visitEach([&](std::size_t i) {
        listed.boards.push_back(viewOf(session.snapshot(), i));
        listed.paths = listed.paths || listed.boards.back().path_needed;
    });
    const session::Snapshot& snapshot = session.snapshot();
    if (snapshot.walk_failure) {
        call.context.err << kProgram << walkFailureText(*snapshot.walk_failure) << '\n';
        return kNoBoard;
    }
    print(listed, call.options.json, call.context);
    printUnusableNotice(snapshot, call.context.err);
    return kDone;
}

}  // namespace rotorix::cli
