#include "app/board_notice.h"

#include <algorithm>
#include <iterator>

namespace rotorix::app {

namespace {

using hid::OpenError;
using hid::UnusableBoard;

bool accessDenied(const UnusableBoard& board) {
    return board.reason == UnusableBoard::Reason::OpenFailed &&
           board.open_error.kind == OpenError::Kind::AccessDenied;
}

QString systemWords(const UnusableBoard& board) {
    const QString detail = QString::fromStdString(board.open_error.detail).trimmed();
    return detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
}

}  // namespace

QString unusableBoardNotice(const std::vector<UnusableBoard>& all) {
    // An interface that vanished between listing and opening was being unplugged; the next scan
    // settles it, so it is not worth a word.
    std::vector<UnusableBoard> unusable;
    std::copy_if(all.begin(), all.end(), std::back_inserter(unusable), [](const auto& board) {
        return !(board.reason == UnusableBoard::Reason::OpenFailed &&
                 board.open_error.kind == OpenError::Kind::Gone);
    });
    if (unusable.empty()) {
        return {};
    }
    const auto denied = std::find_if(unusable.begin(), unusable.end(), accessDenied);
    if (denied != unusable.end()) {
        return QStringLiteral(
                   "A Rotorix board is attached, but access to it was denied%1.\n"
                   "Install the udev rule 70-rotorix.rules (see README), then unplug the board "
                   "and plug it in again.")
            .arg(systemWords(*denied));
    }
    const UnusableBoard& first = unusable.front();
    if (first.reason == UnusableBoard::Reason::NoSerialNumber) {
        return QStringLiteral(
            "A Rotorix board is attached, but it did not report its serial number.\n"
            "Unplug the board and plug it in again.");
    }
    if (first.open_error.kind == OpenError::Kind::Busy) {
        return QStringLiteral(
                   "A Rotorix board is attached, but another program holds it%1.\n"
                   "Close that program, or unplug the board and plug it in again.")
            .arg(systemWords(first));
    }
    return QStringLiteral(
               "A Rotorix board is attached, but it could not be opened%1.\n"
               "Unplug the board and plug it in again.")
        .arg(systemWords(first));
}

}  // namespace rotorix::app
