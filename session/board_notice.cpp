#include "session/board_notice.h"

#include <algorithm>
#include <iterator>

#include "base/words.h"

namespace rotorix::session {

namespace {

using base::inParentheses;
using hid::OpenError;
using hid::UnusableBoard;

bool accessDenied(const UnusableBoard& board) {
    return board.open_error.kind == OpenError::Kind::AccessDenied;
}

std::string systemWords(const UnusableBoard& board) {
    return inParentheses(board.open_error.detail);
}

// What the user can do about a refused open. On Linux an access refusal is the missing udev rule:
// one line a user can type as it stands, whose trigger applies the rule to the board already
// plugged in (the window's search retries each second, so no replug is needed).
// Windows gives every user a game controller, so there it is something on the PC that keeps
// this program out on purpose: a device-control rule, or a program that hides game controllers
// from all but the programs it allows. A sharing refusal is another program that opened the
// board for itself; Windows lets this program in once that one lets go, and the search retries
// each second, so no replug is needed.
#ifdef _WIN32
std::string accessRemedy() {
    return "Something on this PC blocks it: a device-control rule, or a program that hides game "
           "controllers from others. Allow this program there; the board is then found by itself.";
}
constexpr const char* kBusyNotice =
    "A Rotorix board is attached, but another program keeps it for itself";
constexpr const char* kBusyRemedy =
    "Close the program that uses the board; this one then finds it by itself.";
#else
std::string accessRemedy() {
    return std::string("To allow access, type in a terminal:\n") + kUdevRuleCommand;
}
constexpr const char* kBusyNotice = "A Rotorix board is attached, but another program holds it";
constexpr const char* kBusyRemedy = "Close that program, or unplug the board and plug it in again.";
#endif

}  // namespace

std::string unusableBoardNotice(const std::vector<UnusableBoard>& all) {
    // An interface that vanished between listing and opening was being unplugged; the next scan
    // settles it, so it is not worth a word.
    std::vector<UnusableBoard> unusable;
    std::copy_if(all.begin(), all.end(), std::back_inserter(unusable),
                 [](const auto& board) { return board.open_error.kind != OpenError::Kind::Gone; });
    if (unusable.empty()) {
        return {};
    }
    const auto denied = std::find_if(unusable.begin(), unusable.end(), accessDenied);
    if (denied != unusable.end()) {
        return "A Rotorix board is attached, but access to it was denied" + systemWords(*denied) +
               ".\n" + accessRemedy();
    }
    const UnusableBoard& first = unusable.front();
    if (first.open_error.kind == OpenError::Kind::Busy) {
        return kBusyNotice + systemWords(first) + ".\n" + kBusyRemedy;
    }
    return "A Rotorix board is attached, but it could not be opened" + systemWords(first) +
           ".\nUnplug the board and plug it in again.";
}

std::string unreadableBoardNotice(const std::string& words) {
    return "The board's settings could not be read" + inParentheses(words) + "; trying again";
}

std::string notAnsweringNotice() {
    return "The board does not answer; unplug it and plug it in again";
}

std::string failedWalkNotice(const std::string& words) {
    return "The attached devices could not be listed" + inParentheses(words) + "; trying again";
}

}  // namespace rotorix::session
