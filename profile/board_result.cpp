#include "profile/board_result.h"

#include <algorithm>

#include "base/words.h"

namespace rotorix::profile {

using base::printable;
using session::ListedBoard;
using session::Snapshot;
using session::Verdict;

bool serialIsUnique(const std::vector<ListedBoard>& boards, std::size_t board) {
    const std::u16string& serial = boards[board].identity.serial;
    return !serial.empty() &&
           std::count_if(boards.begin(), boards.end(), [&](const ListedBoard& other) {
               return other.identity.serial == serial;
           }) == 1;
}

std::string boardName(const std::vector<ListedBoard>& boards, std::size_t board) {
    const ListedBoard& listed = boards[board];
    if (serialIsUnique(boards, board)) {
        return printable(listed.identity.serial);
    }
    return listed.identity.serial.empty()
               ? listed.path
               : printable(listed.identity.serial) + " (" + listed.path + ")";
}

NamedBoard namedBoard(const std::vector<ListedBoard>& boards, std::size_t board) {
    return {boardName(boards, board), boards[board].identity.serial, boards[board].path};
}

BoardResult untouched(const Snapshot& snapshot, std::size_t board, Outcome outcome) {
    return {namedBoard(snapshot.boards, board),
            outcome,
            std::nullopt,
            false,
            {stateText(snapshot, board)}};
}

std::string firmwareText(std::uint16_t version) {
    std::string caption = config::versionCaption(version);
    return caption.starts_with(' ') ? caption.substr(1) : caption;
}

std::optional<hid::UnusableBoard> openFailure(const Snapshot& snapshot, std::size_t board) {
    const ListedBoard& listed = snapshot.boards[board];
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

}  // namespace rotorix::profile
