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

std::string firmwareText(std::uint16_t version) {
    std::string caption = config::versionCaption(version);
    return caption.starts_with(' ') ? caption.substr(1) : caption;
}

std::optional<hid::UnusableBoard> openFailure(const Snapshot& snapshot, std::size_t board) {
    const session::ListedBoard& listed = snapshot.boards[board];
    if (listed.problem) {
        return hid::UnusableBoard{listed.path, listed.identity.serial, *listed.problem};
    }
    for (const hid::UnusableBoard& unusable : snapshot.unusable) {
        if (unusable.path == listed.path) {
            return unusable;
        }
    }
    return std::nullopt;
}

std::string stateText(const Snapshot& snapshot, std::size_t board) {
    if (const auto failure = openFailure(snapshot, board)) {
        switch (failure->open_error.kind) {
            case hid::OpenError::Kind::AccessDenied:
                return "no access";
            case hid::OpenError::Kind::Busy:
                return "busy";
            case hid::OpenError::Kind::Gone:
                return "unplugged";
            case hid::OpenError::Kind::Other:
                break;
        }
        return "cannot be opened";
    }
    switch (snapshot.verdict()) {
        case Verdict::TooOld:
            return "firmware too old";
        case Verdict::NotConfigurable:
            return "feature report too short";
        case Verdict::Unreadable:
            return "settings could not be read";
        case Verdict::Ready:
            return "ready";
        case Verdict::NotOpen:
            break;
    }
    return "cannot be opened";
}

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
