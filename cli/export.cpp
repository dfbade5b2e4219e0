// export: one board's settings as a profile, to standard output or a file.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

#include "base/file_name.h"
#include "cli/commands.h"
#include "cli/profile.h"
#include "cli/text.h"

namespace rotorix::cli {

int exportCommand(const Invocation& call) {
    const Options& options = call.options;
    Context& context = call.context;
    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, options, context);
    if (chosen.status != kDone) {
        return chosen.status;
    }
    const session::Snapshot& board = session.snapshot();
    const std::string name = boardName(board.boards, *chosen.board);
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
