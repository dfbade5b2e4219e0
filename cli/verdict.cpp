#include "cli/verdict.h"

#include "base/words.h"
#include "cli/choice.h"
#include "cli/cli.h"
#include "cli/common.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using base::inParentheses;
using session::Snapshot;
using session::Verdict;

// The system's words for a board that cannot be opened, and what to do about it.
std::string openProblem(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        const std::string notice = session::unusableBoardNotice({*failure});
        if (!notice.empty()) {
            return notice;
        }
    }
    return "it could not be opened" + inParentheses(snapshot.last_error);
}

}  // namespace

Readiness readiness(const Snapshot& snapshot, std::size_t board) {
    const std::string named = message(boardName(snapshot.boards, board) + ": ");
    switch (snapshot.verdict()) {
        case Verdict::Ready:
            return {kDone, {}};
        case Verdict::Unreadable:
            return {kBoardRefused,
                    named + "its settings could not be read" + inParentheses(snapshot.last_error)};
        case Verdict::TooOld:
            return {kNoBoard,
                    named +
                        (snapshot.version
                             ? "firmware " + firmwareText(*snapshot.version) + " is too old"
                             : std::string("its firmware version cannot be read")) +
                        "; the board cannot be configured until its firmware is upgraded"};
        case Verdict::NotConfigurable:
            return {kNoBoard, named +
                                  "its feature report is too short to carry settings; the board "
                                  "cannot be configured"};
        case Verdict::NotOpen:
            break;
    }
    return {kNoBoard, named + openProblem(snapshot, board)};
}

std::vector<std::string> unusableNotice(const Snapshot& snapshot) {
    const std::string notice = session::unusableBoardNotice(snapshot.unusable);
    return notice.empty() ? std::vector<std::string>{} : std::vector<std::string>{notice};
}

}  // namespace rotorix::cli
