#include "cli/choice.h"

#include <numeric>

#include "base/words.h"
#include "cli/common.h"
#include "cli/text.h"
#include "cli/verdict.h"

namespace rotorix::cli {

namespace {

using session::ListedBoard;
using session::NameMatch;

// "A, B (path), C": the boards `which` lists, as messages name them.
std::string namesOf(const std::vector<ListedBoard>& boards, const std::vector<std::size_t>& which) {
    std::vector<std::string> names;
    for (const std::size_t i : which) {
        names.push_back(boardName(boards, i));
    }
    return joined(names, ", ");
}

std::string everyName(const std::vector<ListedBoard>& boards) {
    std::vector<std::size_t> all(boards.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    return namesOf(boards, all);
}

// Why a --board (as typed, UTF-8 or not) names no single board.
Choice notOneBoard(const std::vector<ListedBoard>& boards, const NameMatch& match,
                   const std::optional<std::u16string>& wanted) {
    const std::string shown = wanted ? printable(*wanted) : std::string("(not UTF-8)");
    if (match.kind == NameMatch::Kind::Several) {
        return {std::nullopt, kBadUsage,
                message(std::to_string(match.boards.size()) + " boards have the serial \"" + shown +
                        "\"; name one by its path with --board PATH: " +
                        namesOf(boards, match.boards))};
    }
    return {std::nullopt, kNoBoard,
            message("no board has the serial or path \"" + shown + "\"" +
                    (boards.empty() ? std::string("; no board is attached")
                                    : "; attached: " + everyName(boards)))};
}

}  // namespace

std::string walkFailureText(const std::string& words) {
    return "the attached devices could not be listed" + base::inParentheses(words);
}

Choice choose(const std::vector<ListedBoard>& boards, const std::optional<std::string>& typed,
              const std::optional<std::string>& walk_failure) {
    if (walk_failure) {
        return {std::nullopt, kNoBoard, message(walkFailureText(*walk_failure))};
    }
    if (typed) {
        // An argument that is not UTF-8 can name no board.
        const auto wanted = fromUtf8(*typed);
        const NameMatch match = wanted ? session::matchName(boards, *wanted) : NameMatch{};
        if (match.kind == NameMatch::Kind::One) {
            return {match.boards.front(), kDone, {}};
        }
        return notOneBoard(boards, match, wanted);
    }
    if (boards.empty()) {
        return {std::nullopt, kNoBoard, message(kNoBoardAttached)};
    }
    if (boards.size() > 1) {
        return {
            std::nullopt, kBadUsage,
            message(std::to_string(boards.size()) +
                    " boards are attached; choose one with --board SERIAL: " + everyName(boards))};
    }
    return {0, kDone, {}};
}

Choice openChosen(session::BoardSession& session, const std::optional<std::string>& typed) {
    session.list();
    const session::Snapshot& listed = session.snapshot();
    Choice choice = choose(listed.boards, typed, listed.walk_failure);
    if (choice.board) {
        // Opened by its entry from the same walk: exactly the board chosen.
        session.openListedBoard(*choice.board);
        const Readiness ready = readiness(session.snapshot(), *choice.board);
        choice.status = ready.status;
        choice.message = ready.message;
    }
    return choice;
}

}  // namespace rotorix::cli
