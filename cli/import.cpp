// import: a profile written to one board, or with --all to every ready board of one walk.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <variant>

#include "base/file_name.h"
#include "cli/choice.h"
#include "cli/commands.h"
#include "cli/verdict.h"
#include "profile/load.h"
#include "profile/profile.h"

namespace rotorix::cli {

namespace {

// The settings of the profile in a file or, for "-", on standard input; or the message that
// says why there are none. At most one byte more than a profile may have is read, so an endless
// input is not read to its end.
std::variant<Settings, std::string> readProfile(const std::string& file, std::istream& input) {
    std::istream* in = &input;
    std::ifstream opened;
    if (file != "-") {
        opened.open(base::pathFromUtf8(file), std::ios::binary);
        if (!opened) {
            return message("cannot read " + file + ": " + std::strerror(errno));
        }
        in = &opened;
    }
    std::string text(kMaxProfileBytes + 1, '\0');
    in->read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in->bad()) {
        return message("cannot read " + file);
    }
    text.resize(static_cast<std::size_t>(in->gcount()));
    auto parsed = parseProfile(text);
    if (auto* problem = std::get_if<std::string>(&parsed)) {
        return message((file == "-" ? "standard input" : file) + ": " + *problem);
    }
    return parsed;
}

Result importOne(session::BoardSession& session, const std::optional<std::string>& typed,
                 const Settings& wanted) {
    const Choice chosen = openChosen(session, typed);
    if (!chosen.board) {
        return failure(chosen.status, chosen.message);
    }
    if (chosen.status != kDone) {
        const BoardResult refused =
            untouched(session.snapshot(), *chosen.board, Outcome::NotWritten);
        return {chosen.status, {chosen.message}, ImportOutput{{refused}}, {}};
    }
    ImportOutput imported{{writeChecked(session, *chosen.board, wanted, nullptr)}};
    session.close();
    const bool written = imported.boards.front().outcome == Outcome::Written;
    return {written ? kDone : kBoardRefused, {}, std::move(imported), {}};
}

// Every ready board, each listed entry once; one that refuses does not stop the others.
Result importEvery(session::BoardSession& session, const Settings& wanted) {
    profile::EveryBoard every = profile::loadOntoEvery(session, wanted);
    ImportOutput imported{std::move(every.boards)};
    const int ready = every.ready;
    const session::Snapshot& after = session.snapshot();
    if (after.walk_failure) {
        return failure(kNoBoard, message(walkFailureText(*after.walk_failure)));
    }
    const bool refused = std::any_of(
        imported.boards.begin(), imported.boards.end(),
        [](const BoardResult& result) { return result.outcome == Outcome::NotWritten; });
    Result result{refused ? kBoardRefused : kDone, {}, std::move(imported), {}};
    if (ready == 0) {
        result.status = kNoBoard;
        result.closing.push_back(
            message(after.boards.empty() ? kNoBoardAttached : "no board is ready to configure"));
    }
    for (std::string& notice : unusableNotice(after)) {
        result.closing.push_back(std::move(notice));
    }
    return result;
}

}  // namespace

Result importCommand(const Invocation& call) {
    // The whole profile is checked before any board is touched: a bad one sends nothing.
    const auto parsed = readProfile(call.options.file, call.context.in);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        return failure(kBadUsage, *problem);
    }
    const Settings& wanted = std::get<Settings>(parsed);
    session::BoardSession session(call.platform);
    return call.options.all ? importEvery(session, wanted)
                            : importOne(session, call.options.board, wanted);
}

}  // namespace rotorix::cli
