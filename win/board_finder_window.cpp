#include "win/board_finder_window.h"

#include <utility>

#include "win/window_metrics.h"

namespace rotorix::win {

namespace {

constexpr wchar_t kClassName[] = L"RotorixBoardFinderWindow";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
// The client area at 96 DPI: the prompt over two lines, the status over three, then Cancel.
constexpr int kClientWidth = 320;
constexpr int kClientHeight = 150;

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};  // wchar_t is UTF-16 on Windows
}

// The system's message font at the window's DPI, `points` high.
HFONT makeFont(int dpi, int points) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) != FALSE) {
        font = metrics.lfMessageFont;
    }
    font.lfHeight = -MulDiv(points, dpi, 72);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

}  // namespace

BoardFinderWindow::BoardFinderWindow(hid::Platform& platform, session::BoardSession& session,
                                     HINSTANCE instance, IAccPropServices* describer,
                                     bool run_timer, std::function<void()> found)
    : platform_(platform),
      session_(session),
      instance_(instance),
      describer_(describer),
      run_timer_(run_timer),
      found_(std::move(found)) {}

BoardFinderWindow::~BoardFinderWindow() {
    if (hwnd_ != nullptr) {
        close();
    }
    for (HFONT font : {font_, prompt_font_}) {
        if (font != nullptr) {
            DeleteObject(font);
        }
    }
}

bool BoardFinderWindow::create(HWND owner, int dpi) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &BoardFinderWindow::windowProc;
    window_class.hInstance = instance_;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    if (CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance_, this) == nullptr) {
        return false;
    }
    if (!createControls()) {
        DestroyWindow(hwnd_);
        return false;
    }
    owner_ = owner;
    layOut(dpi);
    centreOver(owner);

    model_ = std::make_unique<view::BoardFinder>(platform_, session_);
    showView(model_->shown());
    // The main window's picks wait while the finder runs; its watchdog does not.
    EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(cancel_);
    timer_running_ = true;
    if (run_timer_ &&
        SetTimer(hwnd_, kTimerId, static_cast<UINT>(view::BoardFinder::kTickMs.count()), nullptr) ==
            0) {
        // Without its timer the window would wait for ever: it says so, and Cancel still works.
        timer_running_ = false;
        SetWindowTextW(status_, L"The window's timer could not be started; cancel and try again.");
    }
    return true;
}

bool BoardFinderWindow::createControls() {
    const auto make = [this](const wchar_t* control_class, DWORD style, int id) {
        return CreateWindowExW(0, control_class, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                               nullptr);
    };
    prompt_ = make(L"STATIC", SS_LEFT | SS_NOPREFIX, 0);
    status_ = make(L"STATIC", SS_LEFT | SS_NOPREFIX, 0);
    // IDCANCEL: the dialog keys send it for Esc too.
    cancel_ = make(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, IDCANCEL);
    if (prompt_ == nullptr || status_ == nullptr || cancel_ == nullptr) {
        return false;
    }
    SetWindowTextW(cancel_, L"Cancel");
    describe(cancel_, PROPID_ACC_NAME, L"Cancel the search");
    return true;
}

void BoardFinderWindow::centreOver(HWND owner) {
    RECT owner_rect{};
    RECT rect{};
    GetWindowRect(owner, &owner_rect);
    GetWindowRect(hwnd_, &rect);
    const LONG x =
        owner_rect.left + ((owner_rect.right - owner_rect.left) - (rect.right - rect.left)) / 2;
    const LONG y =
        owner_rect.top + ((owner_rect.bottom - owner_rect.top) - (rect.bottom - rect.top)) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void BoardFinderWindow::layOut(int dpi) {
    HFONT font = makeFont(dpi, 9);
    HFONT prompt_font = makeFont(dpi, 11);
    const auto place = [dpi](HWND hwnd, int x, int y, int width, int height) {
        SetWindowPos(hwnd, nullptr, scaled(x, dpi), scaled(y, dpi), scaled(width, dpi),
                     scaled(height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(prompt_, 12, 10, kClientWidth - 24, 42);
    place(status_, 12, 58, kClientWidth - 24, 48);
    place(cancel_, kClientWidth - 12 - 88, kClientHeight - 12 - 26, 88, 26);
    SendMessageW(prompt_, WM_SETFONT, reinterpret_cast<WPARAM>(prompt_font), FALSE);
    SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(cancel_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (HFONT old : {std::exchange(font_, font), std::exchange(prompt_font_, prompt_font)}) {
        if (old != nullptr) {
            DeleteObject(old);
        }
    }
    const SIZE size =
        outerSizeFor({scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)}, kStyle, false, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void BoardFinderWindow::tick() {
    if (model_ == nullptr) {
        return;
    }
    showUpdate(model_->tick());
    if (model_->shown().outcome == view::BoardFinderView::Outcome::Found) {
        // Closed first, so that the main window it hands over to has its input back.
        close();
        if (found_) {
            found_();
        }
    }
}

void BoardFinderWindow::showUpdate(const view::BoardFinderUpdate& update) {
    if (update.show) {
        showView(*update.show);
    }
    for (const std::u16string& text : update.announce) {
        // Politely, as the encoder test says its findings: the status's description changes.
        last_announcement_ = wide(text);
        describe(status_, PROPID_ACC_DESCRIPTION, last_announcement_);
        NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, status_, OBJID_CLIENT, CHILDID_SELF);
    }
}

void BoardFinderWindow::showView(const view::BoardFinderView& view) {
    SetWindowTextW(hwnd_, wide(view.title).c_str());
    SetWindowTextW(prompt_, wide(view.prompt).c_str());
    SetWindowTextW(status_, wide(view.status).c_str());
    // A screen reader meeting the window reads the prompt, as its description, with the button.
    describe(hwnd_, PROPID_ACC_DESCRIPTION, wide(view.prompt));
    describe(cancel_, PROPID_ACC_DESCRIPTION, wide(view.prompt));
}

void BoardFinderWindow::describe(HWND hwnd, MSAAPROPID property, const std::wstring& text) {
    if (describer_ != nullptr) {
        describer_->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                                   text.c_str());
    }
}

void BoardFinderWindow::close() {
    // Enabled before the window goes, so the system activates the owner rather than another
    // program's window.
    if (owner_ != nullptr) {
        EnableWindow(std::exchange(owner_, nullptr), TRUE);
    }
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

LRESULT CALLBACK BoardFinderWindow::windowProc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        auto* window = static_cast<BoardFinderWindow*>(create->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<BoardFinderWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    return window->handle(message, wparam, lparam);
}

LRESULT BoardFinderWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wparam) != IDCANCEL) {
                return 0;
            }
            [[fallthrough]];  // Cancel, or Esc through the dialog keys
        case WM_CLOSE:
            if (model_ != nullptr) {
                showUpdate(model_->cancel());
            }
            close();
            return 0;
        case WM_TIMER:
            if (wparam == kTimerId) {
                tick();
            }
            return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            layOut(LOWORD(wparam));
            return 0;
        }
        case WM_DESTROY:
            // The timer stops, then the finder: its readers end within their read bound and its
            // handles on the boards close. The session is left as the finder left it.
            if (run_timer_ && timer_running_) {
                KillTimer(hwnd_, kTimerId);
            }
            timer_running_ = false;
            model_.reset();
            if (describer_ != nullptr) {
                const MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
                for (HWND described : {hwnd_, status_, cancel_}) {
                    describer_->ClearHwndProps(described, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, props, 2);
                }
            }
            if (owner_ != nullptr) {
                EnableWindow(std::exchange(owner_, nullptr), TRUE);  // the owner is going too
            }
            return 0;
        case WM_NCDESTROY: {
            const HWND window = std::exchange(hwnd_, nullptr);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wparam, lparam);
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace rotorix::win
