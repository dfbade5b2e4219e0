// list: every board of one walk, each opened in turn, with its state.
#include "cli/choice.h"
#include "cli/commands.h"
#include "cli/verdict.h"

namespace rotorix::cli {

Result listCommand(const Invocation& call) {
    session::BoardSession session(call.platform);
    ListOutput listed;
    session.visitEach(
        [&](std::size_t i) { listed.boards.push_back(boardView(session.snapshot(), i)); });
    const session::Snapshot& snapshot = session.snapshot();
    if (snapshot.walk_failure) {
        return failure(kNoBoard, message(walkFailureText(*snapshot.walk_failure)));
    }
    return {kDone, {}, std::move(listed), unusableNotice(snapshot)};
}

}  // namespace rotorix::cli
