// What the user does to the window (picks, clicks, keys) and what its timer does.
#include <algorithm>

#include "win/main_window.h"

namespace rotorix::win {

using namespace rotorix::view;

void MainWindow::onCommand(int id, int code) {
    // A menu item (code 0) or its shortcut (code 1).
    if ((code == 0 || code == 1) && onMenuCommand(id)) {
        return;
    }
    const auto c = controlFromId(id);
    if (!c || showing_) {
        return;  // IDOK / IDCANCEL from the dialog keys, or the window filling its own controls
    }
    if (layoutOf(*c).kind == Kind::List) {
        onListNotification(*c, code);
    } else if (*c == Control::NoJoy && code == BN_CLICKED) {
        onHideClicked();
    }
}

// A user's pick in a drop-down list has to run its handler exactly once, a re-pick of the same
// item included (a re-pick of the open board's serial reopens it). The lists' notifications do
// not say that on their own:
// - CBN_SELCHANGE fires while the user moves through the open list, and not at all for a re-pick;
// - CBN_SELENDOK fires when the user takes an item from the open list, a re-pick too. On a closed
//   list the arrow keys and the wheel take the next item at once; Wine then sends CBN_SELENDOK
//   and CBN_SELCHANGE both, even when the list is already at its end, and for a mouse pick it
//   sends CBN_SELCHANGE again after CBN_CLOSEUP.
// So CBN_SELENDOK, and CBN_SELCHANGE on a closed list, each post one pick, and the picks of one
// action coalesce while one waits. The pick reads the selection when it runs, after the list is
// done; a change on a closed list counts only if the selection did change. A list closed without
// a pick (Escape) shows again what the window last put in it.
void MainWindow::onListNotification(Control list, int code) {
    HWND hwnd = control(list);
    Pick& pending = pending_[static_cast<std::size_t>(list)];
    const bool dropped = SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
    const Pick pick = code == CBN_SELENDOK && dropped                               ? Pick::Taken
                      : (code == CBN_SELENDOK || code == CBN_SELCHANGE) && !dropped ? Pick::Moved
                                                                                    : Pick::None;
    if (pick != Pick::None) {
        if (pending == Pick::None) {
            PostMessageW(hwnd_, kPickMessage, static_cast<WPARAM>(controlId(list)), 0);
        }
        pending = std::max(pending, pick);
    } else if (code == CBN_CLOSEUP && pending == Pick::None) {
        const int current = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
        if (current != shown_[list].selected) {
            SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(shown_[list].selected), 0);
        }
    }
}

void MainWindow::onPosted(Control list) {
    Pick& pending = pending_[static_cast<std::size_t>(list)];
    const Pick pick = pending;
    pending = Pick::None;
    const int current = static_cast<int>(SendMessageW(control(list), CB_GETCURSEL, 0, 0));
    if (pick == Pick::Taken || (pick == Pick::Moved && current != shown_[list].selected)) {
        onPick(list);
    }
}

void MainWindow::onPick(Control list) {
    if (const auto update = presenter_.pick(list, [this](Control c) {
            return static_cast<int>(SendMessageW(control(c), CB_GETCURSEL, 0, 0));
        })) {
        showUpdate(*update);
    }
}

void MainWindow::onHideClicked() {
    // A greyed box is not toggled by the system; the update shows what the click made of it.
    showUpdate(presenter_.clickHide());
}

void MainWindow::focusFirstTabStop(bool from_the_end) {
    // The dialog manager does not always step out of the window itself; Shift+Tab from there
    // goes to the last control, as it would from the first.
    if (const auto first = firstTabStop(shown_, from_the_end)) {
        SetFocus(control(*first));
    }
}

void MainWindow::tick() {
    showUpdate(presenter_.tick());
}

void MainWindow::startTimer(int interval_ms) {
    interval_ms_ = interval_ms;
    timer_running_ = true;
    if (options_.run_timer) {
        SetTimer(hwnd_, kTimerId, static_cast<UINT>(interval_ms), nullptr);
    }
}

void MainWindow::stopTimer() {
    timer_running_ = false;
    if (options_.run_timer && hwnd_ != nullptr) {
        KillTimer(hwnd_, kTimerId);
    }
}

}  // namespace rotorix::win
