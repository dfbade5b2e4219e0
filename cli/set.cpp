// set: the named settings of one board, written and checked by the read-back.
#include <ostream>
#include <variant>

#include "cli/commands.h"
#include "cli/text.h"

namespace rotorix::cli {

int setCommand(const Invocation& call) {
    const Options& options = call.options;
    Context& context = call.context;
    session::BoardSession session(call.platform);
    // Every word is understood before any board is touched.
    auto parsed = parseAssignments(options.assignments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        context.err << kProgram << *problem << '\n';
        return kBadUsage;
    }
    const Changes& changes = std::get<Changes>(parsed);

    const Choice chosen = openChosen(session, options, context);
    if (chosen.status != kDone) {
        return chosen.status;
    }
    const std::string shown = boardName(session.snapshot().boards, *chosen.board);
    // Settings outside their coding are replaced only where the command names them; the rest
    // is written back as the board holds it (encoders are always all eight).
    const Settings wanted = changes.appliedTo(decoded(*session.snapshot().settings));
    const auto problems = writeAndCheck(session, wanted, &changes);
    session.close();
    if (!problems.empty()) {
        for (const std::string& problem : problems) {
            context.err << kProgram << shown << ": " << problem << '\n';
        }
        context.err << kProgram << shown << ": not written: " << assignmentText(wanted, &changes)
                    << '\n';
        return kBoardRefused;
    }
    context.out << shown << ": " << assignmentText(wanted, &changes) << '\n';
    return kDone;
}

}  // namespace rotorix::cli
