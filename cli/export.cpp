// export: one board's settings as a profile, to standard output or a file.
#include <cerrno>
#include <cstring>
#include <fstream>

#include "base/file_name.h"
#include "cli/choice.h"
#include "cli/commands.h"
#include "profile/profile.h"

namespace rotorix::cli {

Result exportCommand(const Invocation& call) {
    const Options& options = call.options;
    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, options.board);
    if (chosen.status != kDone) {
        return failure(chosen.status, chosen.message);
    }
    const NamedBoard board = namedBoard(session.snapshot().boards, *chosen.board);
    const config::BoardSettings raw = *session.snapshot().settings;
    session.close();
    const auto settings = fromBoard(raw);
    if (!settings) {
        return failure(kBoardRefused,
                       message(board.name +
                               ": the board holds values no profile can carry (pulse "
                               "code " +
                               std::to_string(raw.pulse_code) + ", hide flag " +
                               std::to_string(raw.hide_flag) + "); set them first"));
    }
    ExportOutput exported{board, *settings, options.output == "-" ? "" : options.output};
    if (!exported.file.empty()) {
        std::ofstream file(base::pathFromUtf8(exported.file), std::ios::binary | std::ios::trunc);
        file << formatProfile(*settings);
        file.close();
        if (!file) {
            return failure(kBadUsage,
                           message("cannot write " + exported.file + ": " + std::strerror(errno)));
        }
    }
    return {kDone, {}, std::move(exported), {}};
}

}  // namespace rotorix::cli
