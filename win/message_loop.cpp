// The thread's message loop, with the dialog manager's keyboard (Tab, arrow keys) for the windows
// and the main window's shortcuts.
#include "win/main_window.h"

namespace rotorix::win {

namespace {

void dispatch(const MainWindow& window, MSG& message) {
    if (window.translateShortcut(message)) {
        return;
    }
    // IsDialogMessage takes only what is meant for the window it is given or its controls.
    const EncoderTestWindow* test = window.encoderTest();
    if (test != nullptr && IsDialogMessageW(test->hwnd(), &message)) {
        return;
    }
    const BoardFinderWindow* finder = window.boardFinder();
    if (finder != nullptr && IsDialogMessageW(finder->hwnd(), &message)) {
        return;
    }
    const HWND main = window.hwnd();
    if (main == nullptr || !IsDialogMessageW(main, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int runMessageLoop(const MainWindow& window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        dispatch(window, message);
    }
    return static_cast<int>(message.wParam);
}

void pumpMessages(const MainWindow& window) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(window, message);
    }
}

}  // namespace rotorix::win
