// The sub-commands that write: set and import.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "base/file_name.h"
#include "cli/commands.h"
#include "cli/profile.h"
#include "cli/text.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using session::WriteOutcome;

// Writes what `only` names (everything when it is null) and reads the board back, as one session
// operation. Returns what went wrong, in plain words: refused or unsent writes, and every named
// setting the board does not hold afterwards; empty only when the read-back confirmed it all.
std::vector<std::string> writeAndCheck(session::BoardSession& session, const Settings& wanted,
                                       const Changes* only) {
    const config::BoardSettings coded = toBoard(wanted);
    session::SettingsChange change;
    if (only == nullptr || only->anyEncoder()) {
        change.encoders = wanted.encoders;
    }
    if (only == nullptr || only->pulse_ms) {
        change.pulse_code = coded.pulse_code;
    }
    if (only == nullptr || only->hidden) {
        change.hide_flag = coded.hide_flag;
    }
    const session::AppliedChange applied = session.applyAndVerify(change);

    std::vector<std::string> problems;
    const std::string words =
        applied.refused_words.empty() ? std::string() : " (" + applied.refused_words + ")";
    const auto note = [&](bool asked, WriteOutcome outcome, const std::string& what) {
        if (!asked) {
            return;
        }
        switch (outcome) {
            case WriteOutcome::Taken:
                break;
            case WriteOutcome::NotSent:
                problems.push_back(what + " not sent: the board's settings were not loaded");
                break;
            case WriteOutcome::RefusedReread:
                problems.push_back("the board refused " + what + words);
                break;
            case WriteOutcome::RefusedLost:
                problems.push_back("the board refused " + what + " and stopped answering" + words);
                break;
        }
    };
    note(change.encoders.has_value(), applied.encoders, "the encoder types");
    note(change.pulse_code.has_value(), applied.pulse, "the pulse length");
    note(change.hide_flag.has_value(), applied.hidden, "the hidden flag");
    if (!applied.read_back) {
        const std::string& why = session.snapshot().last_error;
        problems.push_back("its settings could not be read back" +
                           (why.empty() ? std::string() : " (" + why + ")"));
        return problems;
    }
    for (std::string& difference : differences(wanted, *applied.read_back, only)) {
        problems.push_back("it holds " + std::move(difference));
    }
    if (!applied.verified && problems.empty()) {
        problems.push_back("it does not hold what was written");
    }
    return problems;
}

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

int setSettings(session::BoardSession& session, const Options& options, Context& context) {
    // Every word is understood before any board is touched.
    auto parsed = parseAssignments(options.assignments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        context.err << kProgram << *problem << '\n';
        return kBadUsage;
    }
    const Changes& changes = std::get<Changes>(parsed);

    const Choice chosen = openChosen(session, options, context);
    if (!chosen.board) {
        return chosen.status;
    }
    const std::string shown = boardName(session.snapshot().boards, *chosen.board);
    const int status = requireReady(session.snapshot(), *chosen.board, context.err);
    if (status != kDone) {
        session.close();
        return status;
    }
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

int importProfile(session::BoardSession& session, const Options& options, Context& context) {
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
        const int status = requireReady(board, *chosen.board, context.err);
        if (status != kDone) {
            context.out << shown << ": not written: " << stateText(board, *chosen.board) << '\n';
            session.close();
            return status;
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
