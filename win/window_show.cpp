// Copying the view's values into the native controls, and telling what it announces.
#include <string>

#include "win/main_window.h"

namespace rotorix::win {

using namespace rotorix::view;

namespace {

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};  // wchar_t is UTF-16 on Windows
}

}  // namespace

void MainWindow::showUpdate(const Update& update) {
    // A new interval keeps the timer's running state as it was.
    if (update.timer && (update.timer->restart || timer_running_)) {
        startTimer(update.timer->interval_ms);
    } else if (update.timer) {
        interval_ms_ = update.timer->interval_ms;
    }
    if (update.show) {
        apply(*update.show);
        keepFocusInWindow();
        // A pick here changes the types the test counts with.
        if (EncoderTestWindow* test = encoderTest()) {
            test->follow(session_.snapshot());
        }
    }
    for (const std::u16string& text : update.announce) {
        announce(wide(text));
    }
}

void MainWindow::announce(const std::wstring& text) {
    // As the Qt window does: the window's description changes, and the system is told so.
    last_announcement_ = text;
    ++announcements_;
    if (describer_ != nullptr) {
        describer_->SetHwndPropStr(hwnd_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                   PROPID_ACC_DESCRIPTION, text.c_str());
    }
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

void MainWindow::apply(const ViewState& next) {
    // Filling a list or setting the box raises no pick by itself (CB_SETCURSEL and BM_SETCHECK
    // notify nothing), but a list that is reset while open does; none of that is the user's.
    showing_ = true;
    for (const ControlSpec& s : layout()) {
        HWND hwnd = control(s.id);
        const ControlView& want = next[s.id];
        const ControlView& had = shown_[s.id];
        if (want.text != had.text ||
            (s.kind != Kind::List && GetWindowTextLengthW(hwnd) == 0 && !want.text.empty())) {
            SetWindowTextW(hwnd, wide(want.text).c_str());
        }
        if (s.kind == Kind::List) {
            const bool refill =
                want.items != had.items ||
                SendMessageW(hwnd, CB_GETCOUNT, 0, 0) != static_cast<LRESULT>(want.items.size());
            if (refill) {
                SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
                for (const std::u16string& item : want.items) {
                    SendMessageW(hwnd, CB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(wide(item).c_str()));
                }
            }
            // Against the control itself: a user's pick the board did not take must not stay.
            if (SendMessageW(hwnd, CB_GETCURSEL, 0, 0) != want.selected) {
                SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(want.selected), 0);
            }
        }
        if (s.kind == Kind::CheckBox) {
            setCheck(want.check);
        }
        if ((IsWindowEnabled(hwnd) != FALSE) != want.enabled) {
            EnableWindow(hwnd, want.enabled ? TRUE : FALSE);
        }
        // The style bit, not IsWindowVisible: the window itself is still hidden while it loads.
        const bool visible = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
        if (visible != want.visible) {
            ShowWindow(hwnd, want.visible ? SW_SHOWNA : SW_HIDE);
        }
    }
    shown_ = next;
    showing_ = false;
}

void MainWindow::setCheck(int check) {
    HWND box = control(Control::NoJoy);
    // Only a three-state box shows the greyed state; the system does not toggle it on a click.
    const LONG_PTR style = GetWindowLongPtrW(box, GWL_STYLE);
    const LONG_PTR type = check == 2 ? BS_3STATE : BS_AUTOCHECKBOX;
    if ((style & BS_TYPEMASK) != type) {
        SendMessageW(box, BM_SETSTYLE, static_cast<WPARAM>(type), TRUE);
    }
    const WPARAM state = check == 2 ? BST_INDETERMINATE : check == 1 ? BST_CHECKED : BST_UNCHECKED;
    if (static_cast<WPARAM>(SendMessageW(box, BM_GETCHECK, 0, 0)) != state) {
        SendMessageW(box, BM_SETCHECK, state, 0);
    }
}

void MainWindow::keepFocusInWindow() {
    // A control that lost the focus by being disabled must not leave it nowhere: the keyboard
    // would be dead until the user clicked the window.
    HWND focused = GetFocus();
    if (GetActiveWindow() == hwnd_ && (focused == nullptr || !IsWindowEnabled(focused))) {
        SetFocus(hwnd_);
    }
}

}  // namespace rotorix::win
