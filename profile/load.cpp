#include "profile/load.h"

#include "base/words.h"

namespace rotorix::profile {

namespace {

using session::WriteOutcome;

session::SettingsChange changeOf(const Settings& wanted, const Changes* only) {
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
    return change;
}

// What the board did not take of what was asked, one entry each.
std::vector<std::string> refusals(const session::SettingsChange& change,
                                  const session::AppliedChange& applied) {
    std::vector<std::string> problems;
    const std::string words = base::inParentheses(applied.refused_words);
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
    return problems;
}

// What the session's verdict on the open board, listed board `board`, makes of a load.
BoardResult loadOnto(session::BoardSession& session, std::size_t board, const Settings& wanted) {
    const session::Snapshot& shown = session.snapshot();
    switch (shown.verdict()) {
        case session::Verdict::Ready:
            return writeChecked(session, board, wanted, nullptr);
        case session::Verdict::Unreadable:
            return untouched(shown, board, Outcome::NotWritten);
        case session::Verdict::TooOld:
        case session::Verdict::NotConfigurable:
        case session::Verdict::NotOpen:
            break;
    }
    return untouched(shown, board, Outcome::Skipped);
}

}  // namespace

BoardResult writeChecked(session::BoardSession& session, std::size_t board, const Settings& wanted,
                         const Changes* only) {
    const session::SettingsChange change = changeOf(wanted, only);
    const session::AppliedChange applied = session.applyAndVerify(change);
    const session::Snapshot& after = session.snapshot();

    BoardResult result{namedBoard(after.boards, board), Outcome::NotWritten, wanted, false,
                       refusals(change, applied)};
    if (!applied.read_back) {
        result.problems.push_back("its settings could not be read back" +
                                  base::inParentheses(after.last_error));
        return result;
    }
    const std::vector<std::string> held = differences(wanted, *applied.read_back, only);
    result.read_back_equal = held.empty();
    for (const std::string& difference : held) {
        result.problems.push_back("it holds " + difference);
    }
    if (!applied.verified && result.problems.empty()) {
        result.problems.push_back("it does not hold what was written");
        result.read_back_equal = false;
    }
    if (result.problems.empty()) {
        result.outcome = Outcome::Written;
    }
    return result;
}

std::optional<BoardResult> loadOntoOpen(session::BoardSession& session, const Settings& wanted) {
    const session::Snapshot& shown = session.snapshot();
    if (shown.selected < 0 || static_cast<std::size_t>(shown.selected) >= shown.listed.size()) {
        return std::nullopt;
    }
    return loadOnto(session, shown.listed[static_cast<std::size_t>(shown.selected)], wanted);
}

EveryBoard loadOntoEvery(session::BoardSession& session, const Settings& wanted) {
    EveryBoard every;
    session.visitEach([&](std::size_t board) {
        every.boards.push_back(loadOnto(session, board, wanted));
        every.ready += every.boards.back().outcome != Outcome::Skipped;
    });
    return every;
}

}  // namespace rotorix::profile
