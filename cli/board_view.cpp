// A board in the output model: its identity and state for list and show.
#include "cli/choice.h"
#include "cli/result.h"
#include "cli/text.h"
#include "cli/verdict.h"

namespace rotorix::cli {

using session::ListedBoard;
using session::Snapshot;

BoardView boardView(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
    const auto text = [](const std::optional<std::u16string>& value) {
        return value ? std::optional(printable(*value)) : std::nullopt;
    };
    const auto listedText = [](const std::u16string& value) {
        return value.empty() ? std::nullopt : std::optional(printable(value));
    };
    BoardView view;
    view.serial = listed.identity.serial;
    view.path = listed.path;
    view.path_needed = !serialIsUnique(snapshot.boards, board);
    if (snapshot.board_open) {
        view.manufacturer = text(snapshot.manufacturer);
        view.product = text(snapshot.product);
        if (snapshot.version) {
            view.firmware = firmwareText(*snapshot.version);
        }
    } else {
        view.manufacturer = listedText(listed.identity.manufacturer);
        view.product = listedText(listed.identity.product);
        view.firmware = firmwareText(listed.version);
    }
    view.state = stateText(snapshot, board);
    if (const auto failure = openFailure(snapshot, board)) {
        view.reason = failure->open_error.detail;
    } else if (snapshot.verdict() == session::Verdict::Unreadable) {
        view.reason = snapshot.last_error;
    }
    return view;
}

Result failure(int status, std::string message) {
    return {status, {std::move(message)}, {}, {}};
}

}  // namespace rotorix::cli
