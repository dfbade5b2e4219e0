// The main window's menu bar, its shortcuts, and the find and encoder test windows it opens.
#include <memory>
#include <span>
#include <vector>

#include "win/main_window.h"

namespace rotorix::win {

namespace {

// One item of a popup menu; a null text is a separator. `key` with Ctrl is its shortcut (0:
// none), which the text names after a tab, as the system lays it out.
struct Item {
    const wchar_t* text;
    int command;
    WORD key;
};

// The items a screen reader reads, with their access keys; "…" where a dialog follows.
constexpr Item kFileItems[] = {
    {L"&Save the settings\u2026\tCtrl+S", MainWindow::kSaveCommand, 'S'},
    {L"&Load settings\u2026\tCtrl+O", MainWindow::kLoadCommand, 'O'},
    {L"Load settings onto &every board\u2026", MainWindow::kLoadEveryCommand, 0},
    {nullptr, 0, 0},
    {L"E&xit", MainWindow::kExitCommand, 0},
};
constexpr Item kBoardItems[] = {
    {L"&Find a board by pressing a button\u2026\tCtrl+F", MainWindow::kFindBoardCommand, 'F'},
    {L"&Test the encoders\u2026\tCtrl+T", MainWindow::kTestEncodersCommand, 'T'},
};
struct Popup {
    const wchar_t* title;
    std::span<const Item> items;
};
constexpr Popup kMenuBar[] = {{L"&File", kFileItems}, {L"&Board", kBoardItems}};

// A popup with `items`, appended to `bar` as `title`; false (and nothing left behind) when the
// system refused any part of it.
bool appendPopup(HMENU bar, const wchar_t* title, std::span<const Item> items) {
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr) {
        return false;
    }
    for (const Item& item : items) {
        const BOOL added =
            item.text == nullptr
                ? AppendMenuW(popup, MF_SEPARATOR, 0, nullptr)
                : AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.command), item.text);
        if (added == FALSE) {
            DestroyMenu(popup);
            return false;
        }
    }
    // Until the popup is in the bar, destroying the bar does not destroy it.
    if (AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title) == FALSE) {
        DestroyMenu(popup);
        return false;
    }
    return true;
}

}  // namespace

bool MainWindow::createMenu() {
    // A real menu bar, in the non-client area: the system draws it, reaches it with Alt and F10,
    // and gives it to assistive technology as a menu bar; the client area stays as it was.
    HMENU bar = CreateMenu();
    if (bar == nullptr) {
        return false;
    }
    std::vector<ACCEL> keys;
    for (const Popup& popup : kMenuBar) {
        if (!appendPopup(bar, popup.title, popup.items)) {
            DestroyMenu(bar);
            return false;
        }
        for (const Item& item : popup.items) {
            if (item.key != 0) {
                keys.push_back({FCONTROL | FVIRTKEY, item.key, static_cast<WORD>(item.command)});
            }
        }
    }
    shortcuts_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
    if (shortcuts_ == nullptr) {
        DestroyMenu(bar);
        return false;
    }
    menu_ = bar;
    return true;
}

bool MainWindow::onMenuCommand(int id) {
    switch (id) {
        case kSaveCommand:
            saveSettings();
            return true;
        case kLoadCommand:
            loadSettings(view::LoadTarget::ShownBoard, L"Load settings");
            return true;
        case kLoadEveryCommand:
            loadSettings(view::LoadTarget::EveryBoard, L"Load settings onto every board");
            return true;
        case kExitCommand:
            // As the close box does, once the menu has closed: the window's unload runs.
            if (PostMessageW(hwnd_, WM_CLOSE, 0, 0) == FALSE) {
                DestroyWindow(hwnd_);
            }
            return true;
        case kFindBoardCommand:
            openBoardFinder();
            return true;
        case kTestEncodersCommand:
            openEncoderTest();
            return true;
        default:
            return false;
    }
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

BoardFinderWindow* MainWindow::boardFinder() const {
    return board_finder_ != nullptr && board_finder_->hwnd() != nullptr ? board_finder_.get()
                                                                        : nullptr;
}

void MainWindow::openBoardFinder() {
    // Its owner is disabled while it is open, but a shortcut typed before may still arrive.
    if (BoardFinderWindow* open = boardFinder()) {
        SetForegroundWindow(open->hwnd());
        return;
    }
    auto finder = std::make_unique<BoardFinderWindow>(
        platform_, session_, instance_, describer_, options_.run_timer,
        [this] { showUpdate(presenter_.switched()); });
    if (finder->create(hwnd_, dpi_)) {
        board_finder_ = std::move(finder);
    } else {
        announce(L"The find window could not be opened.");
    }
}

}  // namespace rotorix::win
