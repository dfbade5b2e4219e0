#include "win/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "win/window_metrics.h"

namespace rotorix::win {

using namespace rotorix::view;  // the window is made from the view's table and shows its values

namespace {

constexpr wchar_t kClassName[] = L"RotorixConfigWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kIconResource = 1;  // the version record's icon (packaging/windows/rotorix.rc)

SIZE windowSizeFor(int dpi) {
    // With the menu bar above the client area: the window grows by it, the client stays.
    return outerSizeFor({toPixels(kClientWidthTwips, dpi), toPixels(kClientHeightTwips, dpi)},
                        kStyle, true, dpi);
}

HFONT makeFont(int dpi, int charset) {
    LOGFONTW font{};
    font.lfHeight = fontHeight(dpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = static_cast<BYTE>(charset);
    font.lfQuality = DEFAULT_QUALITY;
    std::copy(kFontFace.begin(), kFontFace.end(), font.lfFaceName);
    return CreateFontIndirectW(&font);
}

struct ClassAndStyle {
    const wchar_t* window_class;
    DWORD style;
};

ClassAndStyle classOf(Kind kind) {
    // WS_CLIPSIBLINGS keeps a repainting frame from drawing over the controls that lie on it.
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (kind) {
        case Kind::List:
            // Every input is its own group, so the arrow keys stay in it rather than move on.
            return {WC_COMBOBOXW, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP};
        case Kind::CheckBox:
            return {WC_BUTTONW, kChild | BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP};
        case Kind::Frame:
            return {WC_BUTTONW, kChild | BS_GROUPBOX};
        case Kind::Line:
            return {WC_STATICW, kChild | SS_ETCHEDHORZ};
        case Kind::Label:
        case Kind::ValueLabel:
            // One line, cut off at the edge like the drawn labels, never wrapped.
            return {WC_STATICW, kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX};
        case Kind::Notice:
            return {WC_STATICW, kChild | SS_LEFT | SS_NOPREFIX};  // wrapped to fit
    }
    return {WC_STATICW, kChild};
}

// Sets the closed field's height to `height`, measuring the border the system adds.
void fitClosedHeight(HWND list, int guess, int height) {
    SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), guess);
    RECT closed{};
    GetWindowRect(list, &closed);
    const int error = height - (closed.bottom - closed.top);
    if (error != 0 && guess + error > 0) {
        SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), guess + error);
    }
}

// The wheel turned over a closed list the user is not working in would pick its next item, and the
// pick goes to the board at once; Windows 10 and 11 send the wheel to the control under the
// pointer, even in an inactive window, so a scroll that only passes over the window would
// reconfigure a board. A list takes the wheel only with the keyboard focus, or dropped down.
LRESULT CALLBACK wheelOnlyWhereTheUserIs(HWND list, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR id, DWORD_PTR) {
    if (message == WM_MOUSEWHEEL) {
        HWND focused = GetFocus();
        if (focused != list && !IsChild(list, focused) &&
            SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
            return 0;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, &wheelOnlyWhereTheUserIs, id);
    }
    return DefSubclassProc(list, message, wparam, lparam);
}

bool isValueLabel(Control c) {
    return layoutOf(c).kind == Kind::ValueLabel;
}

}  // namespace

MainWindow::MainWindow(hid::Platform& platform, session::BoardSession& session, HINSTANCE instance,
                       WindowOptions options)
    : platform_(platform), session_(session), instance_(instance), options_(std::move(options)) {}

MainWindow::~MainWindow() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    encoder_test_.reset();
    if (shortcuts_ != nullptr) {
        DestroyAcceleratorTable(shortcuts_);
    }
    if (describer_ != nullptr) {
        describer_->Release();
    }
    if (com_) {
        CoUninitialize();
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    if (western_font_ != nullptr) {
        DeleteObject(western_font_);
    }
}

bool MainWindow::create(int show_command) {
    INITCOMMONCONTROLSEX common{sizeof(common), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);
    com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (com_ &&
        FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&describer_)))) {
        describer_ = nullptr;
    }

    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &MainWindow::windowProc;
    window_class.hInstance = instance_;
    window_class.hIcon = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }

    if (!createMenu()) {
        return false;
    }
    const std::wstring caption =
        std::wstring(kWindowCaption.begin(), kWindowCaption.end()) + options_.caption_suffix;
    hwnd_ = CreateWindowExW(0, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu_, instance_, this);
    if (hwnd_ == nullptr) {
        DestroyMenu(std::exchange(menu_, nullptr));  // a window that failed does not own it
        return false;
    }
    createControls();
    scaleTo(dpiOf(hwnd_), nullptr);
    shown_ = loadedView();
    apply(shown_);

    // Visible, with its controls disabled and empty, while the first scan runs.
    ShowWindow(hwnd_, show_command);
    UpdateWindow(hwnd_);
    showUpdate(presenter_.load());  // and starts the timer
    return true;
}

void MainWindow::createControls() {
    for (Control c : creationOrder()) {
        const ControlSpec& s = layoutOf(c);
        const auto [window_class, style] = classOf(s.kind);
        const std::wstring caption(s.caption.begin(), s.caption.end());
        HWND hwnd = CreateWindowExW(0, window_class, caption.c_str(), style, 0, 0, 0, 0, hwnd_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(c))),
                                    instance_, nullptr);
        controls_[static_cast<std::size_t>(c)] = hwnd;
        if (s.kind == Kind::List) {
            SetWindowSubclass(hwnd, &wheelOnlyWhereTheUserIs, 1, 0);
        }
    }
    // Below everything, so the controls that lie on the frames are drawn over them; the Z order
    // of the rest, which is also their Tab order, stays the creation order.
    for (Control frame : {Control::Frame1, Control::Frame3}) {
        SetWindowPos(control(frame), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void MainWindow::scaleTo(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    HFONT font = makeFont(dpi, kCyrillicCharset);
    HFONT western = makeFont(dpi, kWesternCharset);
    for (const ControlSpec& s : layout()) {
        HWND hwnd = control(s.id);
        SendMessageW(hwnd, WM_SETFONT,
                     reinterpret_cast<WPARAM>(s.id == Control::NoJoy ? western : font), FALSE);
        const PixelRect place = placement(s.id, dpi);
        if (s.kind == Kind::List) {
            // A list's window height is that of the open list; the closed field's height follows
            // its selection field's item height plus a border whose width depends on the system.
            SetWindowPos(hwnd, nullptr, place.left, place.top, place.width,
                         place.height + toPixels(3000, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
            fitClosedHeight(hwnd, place.height - toPixels(90, dpi), place.height);
        } else {
            SetWindowPos(hwnd, nullptr, place.left, place.top, place.width, place.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    if (western_font_ != nullptr) {
        DeleteObject(western_font_);
    }
    font_ = font;
    western_font_ = western;

    const SIZE size = windowSizeFor(dpi);
    if (suggested != nullptr) {
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The frame the system draws may not be the one it computed for this DPI (Wine keeps the
    // system's): what the client area lacks or has too much is given back to it.
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int wrong_x = toPixels(kClientWidthTwips, dpi) - client.right;
    const int wrong_y = toPixels(kClientHeightTwips, dpi) - client.bottom;
    if (wrong_x != 0 || wrong_y != 0) {
        SetWindowPos(hwnd_, nullptr, 0, 0, size.cx + wrong_x, size.cy + wrong_y,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        auto* window = static_cast<MainWindow*>(create->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    return window->handle(message, wparam, lparam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case kPickMessage:
            if (const auto c = controlFromId(static_cast<int>(wparam))) {
                onPosted(*c);
            }
            return 0;
        case WM_TIMER:
            if (wparam == kTimerId) {
                tick();
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            const auto c = controlFromId(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)));
            if (c && isValueLabel(*c)) {
                // The value labels look like text fields: window colours, not the dialog's.
                HDC dc = reinterpret_cast<HDC>(wparam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        }
        case WM_DPICHANGED:
            scaleTo(LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_CLOSE:
        case WM_DESTROY:
        case WM_NCDESTROY:
            return handleDestroy(message, wparam, lparam);
        default:
            if (const auto result = handleFocus(message, wparam)) {
                return *result;
            }
            break;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

std::optional<LRESULT> MainWindow::handleFocus(UINT message, WPARAM wparam) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                saved_focus_ = GetFocus();
            }
            break;
        case WM_SETFOCUS:
            // Back to the control that had the focus when the window was left, if it still can.
            if (saved_focus_ != nullptr && IsChild(hwnd_, saved_focus_) &&
                IsWindowEnabled(saved_focus_)) {
                SetFocus(saved_focus_);
            }
            saved_focus_ = nullptr;
            return 0;
        case WM_GETDLGCODE:
            // The window itself holds the focus when no control could; Tab then comes here.
            return DLGC_WANTTAB;
        case WM_KEYDOWN:
            if (wparam == VK_TAB) {
                focusFirstTabStop(GetKeyState(VK_SHIFT) < 0);
                return 0;
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

LRESULT MainWindow::handleDestroy(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) {
        DestroyWindow(hwnd_);
        return 0;
    }
    if (message == WM_DESTROY) {
        // The window's unload: the timer, the test and the finder stop before the board is let
        // go (the system has destroyed the owned windows already; this holds either way).
        stopTimer();
        if (encoder_test_ != nullptr && encoder_test_->hwnd() != nullptr) {
            DestroyWindow(encoder_test_->hwnd());
        }
        board_finder_.reset();
        session_.close();
        PostQuitMessage(0);
        return 0;
    }
    // WM_NCDESTROY: the window is still this handle until the default clean-up has run on it.
    const HWND window = std::exchange(hwnd_, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    controls_.fill(nullptr);
    menu_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace rotorix::win
