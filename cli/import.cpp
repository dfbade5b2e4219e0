// import: a profile written to one board, or with --all to every ready board of one walk.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <variant>

#include "base/file_name.h"
#include "cli/commands.h"
#include "cli/profile.h"
#include "cli/text.h"

namespace rotorix::cli {

namespace {

// The profile's text from a file or, for "-", from standard input; at most one byte more than
// a profile may have, so an endless input is not read to its end.
std::optional<std::string> readProfileText(const std::string& file, Context& context) {
    std::istream* in = &context.in;
    std::ifstream opened;
    if (file != "-") {
        opened.open(base::pathFromUtf8(file), std::ios::binary);
        if (!opened) {
            context.err << kProgram << "cannot read " << file << ": " << std::strerror(errno)
                        << '\n';
            return std::nullopt;
        }
        in = &opened;
    }
    std::string text(kMaxProfileBytes + 1, '\0');
    in->read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in->bad()) {
        context.err << kProgram << "cannot read " << file << '\n';
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(in->gcount()));
    return text;
}

}  // namespace

int importCommand(const Invocation& call) {
    const Options& options = call.options;
    Context& context = call.context;
    session::BoardSession session(call.platform);
    // The whole profile is checked before any board is touched: a bad one sends nothing.
    const auto text = readProfileText(options.file, context);
    if (!text) {
        return kBadUsage;
    }
    auto parsed = parseProfile(*text);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        context.err << kProgram << (options.file == "-" ? "standard input" : options.file) << ": "
                    << *problem << '\n';
        return kBadUsage;
    }
    const Settings& wanted = std::get<Settings>(parsed);

    if (!options.all) {
        const Choice chosen = openChosen(session, options, context);
        if (!chosen.board) {
            return chosen.status;
        }
        const session::Snapshot& board = session.snapshot();
        const std::string shown = boardName(board.boards, *chosen.board);
        if (chosen.status != kDone) {
            context.out << shown << ": not written: " << stateText(board, *chosen.board) << '\n';
            return chosen.status;
        }
        const auto problems = writeAndCheck(session, wanted, nullptr);
        session.close();
        context.out << shown << ": "
                    << (problems.empty() ? "written" : "not written: " + joined(problems, "; "))
                    << '\n';
        return problems.empty() ? kDone : kBoardRefused;
    }

    // Every ready board, each listed entry once; one that refuses does not stop the others.
    int ready = 0;
    bool refused = false;
    session.visitEach([&](std::size_t i) {
        const session::Snapshot& board = session.snapshot();
        const std::string shown = boardName(board.boards, i);
        std::ostringstream why;
        const int state = requireReady(board, i, why);
        if (state == kNoBoard) {
            context.out << shown << ": skipped: " << stateText(board, i) << '\n';
            return;
        }
        ++ready;
        if (state != kDone) {
            refused = true;
            context.out << shown << ": not written: " << stateText(board, i) << '\n';
            return;
        }
        const auto problems = writeAndCheck(session, wanted, nullptr);
        refused = refused || !problems.empty();
        context.out << shown << ": "
                    << (problems.empty() ? "written" : "not written: " + joined(problems, "; "))
                    << '\n';
    });
    const session::Snapshot& after = session.snapshot();
    if (after.walk_failure) {
        context.err << kProgram << walkFailureText(*after.walk_failure) << '\n';
        return kNoBoard;
    }
    if (ready == 0) {
        context.err << kProgram
                    << (after.boards.empty() ? "no Rotorix board is attached"
                                             : "no board is ready to configure")
                    << '\n';
    }
    printUnusableNotice(after, context.err);
    if (ready == 0) {
        return kNoBoard;
    }
    return refused ? kBoardRefused : kDone;
}

}  // namespace rotorix::cli
