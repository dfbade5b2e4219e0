// set: the named settings of one board, written and checked by the read-back.
#include <ostream>
#include <variant>

#include "cli/commands.h"
#include "cli/text.h"

namespace rotorix::cli {

namespace {

std::string assignmentText(const Settings& settings, const Changes& changes) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < changes.encoders.size(); ++i) {
        if (changes.encoders[i]) {
            parts.push_back("enc" + std::to_string(i + 1) + "=" +
                            encoderTypeText(settings.encoders[i]));
        }
    }
    if (changes.pulse_ms) {
        parts.push_back("pulse=" + std::to_string(settings.pulse_ms) + "ms");
    }
    if (changes.hidden) {
        parts.push_back(std::string("hidden=") + (settings.hidden ? "yes" : "no"));
    }
    return joined(parts, " ");
}

}  // namespace

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
    const config::BoardSettings raw = *session.snapshot().settings;
    Settings current = fromBoard(raw).value_or(Settings{config::unpackEncoderTypes(raw.planes),
                                                        raw.pulse_code * config::kPulseStepMs,
                                                        raw.hide_flag != 0});
    const Settings wanted = changes.appliedTo(current);
    const auto problems = writeAndCheck(session, wanted, &changes);
    session.close();
    if (!problems.empty()) {
        for (const std::string& problem : problems) {
            context.err << kProgram << shown << ": " << problem << '\n';
        }
        context.err << kProgram << shown << ": not written: " << assignmentText(wanted, changes)
                    << '\n';
        return kBoardRefused;
    }
    context.out << shown << ": " << assignmentText(wanted, changes) << '\n';
    return kDone;
}

}  // namespace rotorix::cli
