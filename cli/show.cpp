// show: one board's identity, state and settings, from one read-back.
#include "cli/choice.h"
#include "cli/commands.h"

namespace rotorix::cli {

Result showCommand(const Invocation& call) {
    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, call.options.board);
    if (!chosen.board) {
        return failure(chosen.status, chosen.message);
    }
    const session::Snapshot& snapshot = session.snapshot();
    Result shown{
        chosen.status, {}, ShowOutput{boardView(snapshot, *chosen.board), snapshot.settings}, {}};
    if (!chosen.message.empty()) {
        shown.messages.push_back(chosen.message);
    }
    session.close();
    return shown;
}

}  // namespace rotorix::cli
