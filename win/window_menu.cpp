// The main window's menu bar, its shortcut, and the encoder test window it opens.
#include <memory>

#include "win/main_window.h"

namespace rotorix::win {

bool MainWindow::createMenu() {
    // A real menu bar, in the non-client area: the system draws it, reaches it with Alt and F10,
    // and gives it to assistive technology as a menu bar; the client area stays as it was.
    HMENU bar = CreateMenu();
    HMENU board = CreatePopupMenu();
    if (bar == nullptr || board == nullptr ||
        AppendMenuW(board, MF_STRING, kTestEncodersCommand, L"&Test the encoders\u2026\tCtrl+T") ==
            FALSE ||
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(board), L"&Board") == FALSE) {
        // Until the popup is in the bar, destroying the bar does not destroy it.
        if (board != nullptr && (bar == nullptr || GetMenuItemCount(bar) == 0)) {
            DestroyMenu(board);
        }
        if (bar != nullptr) {
            DestroyMenu(bar);
        }
        return false;
    }
    ACCEL test{FCONTROL | FVIRTKEY, 'T', kTestEncodersCommand};
    shortcuts_ = CreateAcceleratorTableW(&test, 1);
    if (shortcuts_ == nullptr) {
        DestroyMenu(bar);
        return false;
    }
    menu_ = bar;
    return true;
}

bool MainWindow::translateShortcut(MSG& message) const {
    // Only keys typed in this window or its controls: the test window's keys are its own.
    if (hwnd_ == nullptr || shortcuts_ == nullptr ||
        (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) {
        return false;
    }
    return TranslateAcceleratorW(hwnd_, shortcuts_, &message) != 0;
}

EncoderTestWindow* MainWindow::encoderTest() const {
    return encoder_test_ != nullptr && encoder_test_->hwnd() != nullptr ? encoder_test_.get()
                                                                        : nullptr;
}

void MainWindow::openEncoderTest() {
    // One at a time: asked again, the open one comes to the front.
    if (EncoderTestWindow* open = encoderTest()) {
        if (IsIconic(open->hwnd())) {
            ShowWindow(open->hwnd(), SW_RESTORE);
        }
        SetForegroundWindow(open->hwnd());
        return;
    }
    auto test = std::make_unique<EncoderTestWindow>(platform_, session_, instance_, describer_,
                                                    options_.run_timer);
    if (test->create(hwnd_, dpi_)) {
        encoder_test_ = std::move(test);
    } else {
        announce(L"The encoder test window could not be opened.");
    }
}

}  // namespace rotorix::win
