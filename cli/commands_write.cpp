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

constexpr const char* kProgram = "rotorixctl: ";

// Writes what `only` names (everything when it is null) with the session's writes, each behind
// its gates, then reads the board back. Returns what went wrong, in plain words: refused or
// unsent writes, and every named setting the board does not hold afterwards.
std::vector<std::string> writeAndCheck(session::BoardSession& session, const Settings& wanted,
                                       const Changes* only) {
    std::vector<std::string> problems;
    const auto note = [&](WriteOutcome outcome, const std::string& what) {
        const std::string& why = session.snapshot().last_error;
        const std::string words = why.empty() ? std::string() : " (" + why + ")";
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
    const config::BoardSettings coded = toBoard(wanted);
    if (only == nullptr || only->anyEncoder()) {
        note(session.writeEncoderTypes(wanted.encoders), "the encoder types");
    }
    if (only == nullptr || only->pulse_ms) {
        note(session.writePulseCode(coded.pulse_code), "the pulse length");
    }
    if (only == nullptr || only->hidden) {
        note(session.writeHideFlag(coded.hide_flag), "the hidden flag");
    }
    // What the board holds now, not what the session last wrote.
    if (!session.reload() || !session.snapshot().settings) {
        const std::string& why = session.snapshot().last_error;
        problems.push_back("its settings could not be read back" +
                           (why.empty() ? std::string() : " (" + why + ")"));
        return problems;
    }
    for (std::string& difference : differences(wanted, *session.snapshot().settings, only)) {
        problems.push_back("it holds " + std::move(difference));
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

    int status = kDone;
    const auto serial = chooseBoard(session, options, context, status);
    if (!serial) {
        return status;
    }
    const std::string shown = printable(*serial);
    status = requireSettings(session.snapshot(), shown, context.err);
    if (status != kDone) {
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
        int status = kDone;
        const auto serial = chooseBoard(session, options, context, status);
        if (!serial) {
            return status;
        }
        const std::string shown = printable(*serial);
        status = requireSettings(session.snapshot(), shown, context.err);
        if (status != kDone) {
            context.out << shown << ": not written: " << stateText(session.snapshot()) << '\n';
            return status;
        }
        const auto problems = writeAndCheck(session, wanted, nullptr);
        session.close();
        context.out << shown << ": "
                    << (problems.empty() ? "written" : "not written: " + joined(problems, "; "))
                    << '\n';
        return problems.empty() ? kDone : kBoardRefused;
    }

    // Every ready board; one that refuses does not stop the others.
    session.start();
    const std::size_t count = session.snapshot().serials.size();
    int ready = 0;
    bool refused = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (session.snapshot().selected != static_cast<int>(i)) {
            session.select(static_cast<int>(i));
        }
        const session::Snapshot& board = session.snapshot();
        const std::string shown = printable(board.serials[i]);
        std::ostringstream why;
        const int state = requireSettings(board, shown, why);
        if (state == kNoBoard) {
            context.out << shown << ": skipped: " << stateText(board) << '\n';
            continue;
        }
        ++ready;
        if (state != kDone) {
            refused = true;
            context.out << shown << ": not written: " << stateText(board) << '\n';
            continue;
        }
        const auto problems = writeAndCheck(session, wanted, nullptr);
        refused = refused || !problems.empty();
        context.out << shown << ": "
                    << (problems.empty() ? "written" : "not written: " + joined(problems, "; "))
                    << '\n';
    }
    session.close();
    if (ready == 0) {
        // With no board listed, why: none attached, or attached but not to be opened.
        const std::string notice = session::unusableBoardNotice(session.snapshot().unusable);
        context.err << kProgram
                    << (count > 0        ? std::string("no board is ready to configure")
                        : notice.empty() ? std::string("no Rotorix board is attached")
                                         : notice)
                    << '\n';
        return kNoBoard;
    }
    return refused ? kBoardRefused : kDone;
}

}  // namespace rotorix::cli
