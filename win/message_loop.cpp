// The thread's message loop, with the dialog manager's keyboard (Tab, arrow keys) for the window.
#include "win/main_window.h"

namespace rotorix::win {

namespace {

void dispatch(HWND window, MSG& message) {
    if (!IsWindow(window) || !IsDialogMessageW(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int runMessageLoop(HWND window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        dispatch(window, message);
    }
    return static_cast<int>(message.wParam);
}

void pumpMessages(HWND window) {
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
