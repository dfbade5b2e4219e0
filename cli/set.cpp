// set: the named settings of one board, written and checked by the read-back.
#include <variant>

#include "cli/choice.h"
#include "cli/commands.h"
#include "profile/load.h"

namespace rotorix::cli {

Result setCommand(const Invocation& call) {
    // Every word is understood before any board is touched.
    auto parsed = parseAssignments(call.options.assignments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        return failure(kBadUsage, message(*problem));
    }
    const Changes& changes = std::get<Changes>(parsed);

    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, call.options.board);
    if (chosen.status != kDone) {
        return failure(chosen.status, chosen.message);
    }
    // Settings outside their coding are replaced only where the command names them; the rest
    // is written back as the board holds it (encoders are always all eight).
    const Settings wanted = changes.appliedTo(decoded(*session.snapshot().settings));
    SetOutput set{writeChecked(session, *chosen.board, wanted, &changes), changes};
    session.close();
    const int status = set.board.outcome == Outcome::Written ? kDone : kBoardRefused;
    return {status, {}, std::move(set), {}};
}

}  // namespace rotorix::cli
