#include "win/encoder_test_window.h"

#include <algorithm>
#include <utility>

#include "win/window_metrics.h"

namespace rotorix::win {

namespace {

constexpr wchar_t kClassName[] = L"RotorixEncoderTestWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClearId = 10;  // Close is IDCANCEL, so that Esc closes the window

// Places at 96 DPI. Columns of a row: left edge and width of each cell.
constexpr int kMargin = 10;
constexpr int kClientWidth = 466;
constexpr int kStatusTop = 8;
constexpr int kStatusHeight = 48;
constexpr int kHeaderTop = 60;
constexpr int kHeaderHeight = 32;
constexpr int kRowTop = 94;
constexpr int kRowPitch = 22;
constexpr int kRowHeight = 20;
constexpr std::array<std::pair<int, int>, EncoderTestWindow::kCells> kColumns{
    {{10, 90}, {104, 60}, {168, 28}, {200, 28}, {236, 64}, {304, 64}, {372, 70}}};
constexpr int kFindingsTop = kRowTop + static_cast<int>(config::kEncoderCount) * kRowPitch + 6;
constexpr int kFindingsHeight = 96;
constexpr int kButtonsTop = kFindingsTop + kFindingsHeight + 8;
constexpr int kButtonHeight = 26;
constexpr int kClientHeight = kButtonsTop + kButtonHeight + kMargin;

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};  // wchar_t is UTF-16 on Windows
}

std::wstring textOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void setText(HWND hwnd, const std::wstring& text) {
    // Unchanged text is not set again: the static would repaint, and flicker, at every tick.
    if (textOf(hwnd) != text) {
        SetWindowTextW(hwnd, text.c_str());
    }
}

HFONT makeFont(int dpi) {
    // The system's message font, at the window's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) != FALSE) {
        font = metrics.lfMessageFont;
    }
    font.lfHeight = -MulDiv(9, dpi, 72);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

}  // namespace

EncoderTestWindow::EncoderTestWindow(hid::Platform& platform, const session::BoardSession& session,
                                     HINSTANCE instance, IAccPropServices* describer,
                                     bool run_timer)
    : platform_(platform),
      session_(session),
      instance_(instance),
      describer_(describer),
      run_timer_(run_timer) {}

EncoderTestWindow::~EncoderTestWindow() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

bool EncoderTestWindow::create(HWND owner, int dpi) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &EncoderTestWindow::windowProc;
    window_class.hInstance = instance_;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    // Owned, not a child: a window of its own on the taskbar's terms, above its owner, gone with
    // it; the owner stays enabled.
    if (CreateWindowExW(0, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, owner, nullptr, instance_, this) == nullptr) {
        return false;
    }
    createControls();
    // Cascaded from the owner's corner, within the owner's monitor's work area.
    RECT owner_rect{};
    GetWindowRect(owner, &owner_rect);
    const int step = GetSystemMetrics(SM_CYCAPTION) * 2;
    RECT place{owner_rect.left + step, owner_rect.top + step, owner_rect.left + step,
               owner_rect.top + step};
    const SIZE size =
        outerSizeFor({scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)}, kStyle, false, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor) != FALSE) {
        place.left = std::max(monitor.rcWork.left,
                              std::min<LONG>(place.left, monitor.rcWork.right - size.cx));
        place.top = std::max(monitor.rcWork.top,
                             std::min<LONG>(place.top, monitor.rcWork.bottom - size.cy));
    }
    scaleTo(dpi, &place);

    model_ = std::make_unique<view::EncoderTest>(platform_, session_);
    showView(model_->shown());
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    if (model_->shown().running) {
        timer_running_ = true;
        if (run_timer_) {
            SetTimer(hwnd_, kTimerId, static_cast<UINT>(view::EncoderTest::kTickMs.count()),
                     nullptr);
        }
    }
    return true;
}

void EncoderTestWindow::createControls() {
    const auto make = [this](const wchar_t* window_class, const wchar_t* text, DWORD style,
                             int id = 0) {
        return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                               nullptr);
    };
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    status_ = make(L"STATIC", L"", kLabel);
    const wchar_t* headers[] = {L"Pair",           L"Type as set",     L"Buttons",
                                L"Steps on first", L"Steps on second", L"Last pulse"};
    for (std::size_t h = 0; h < headers_.size(); ++h) {
        headers_[h] = make(L"STATIC", headers[h], kLabel);
    }
    for (std::size_t p = 0; p < rows_.size(); ++p) {
        auto& row = rows_[p];
        row[Name] = make(L"STATIC", L"", kLabel | SS_LEFTNOWORDWRAP);
        row[Type] = make(L"STATIC", L"", kLabel | SS_LEFTNOWORDWRAP);
        // A lamp is its button's number in a box, filled while the button is down.
        for (const Cell lamp : {FirstLamp, SecondLamp}) {
            const int number = static_cast<int>(2 * p) + (lamp == FirstLamp ? 1 : 2);
            row[lamp] = make(L"STATIC", std::to_wstring(number).c_str(),
                             SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX | WS_BORDER);
        }
        row[FirstSteps] = make(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX);
        row[SecondSteps] = make(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX);
        row[Width] = make(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX);
    }
    findings_frame_ = make(L"BUTTON", L"Findings", BS_GROUPBOX);
    findings_ = make(L"STATIC", L"", kLabel);
    // Only the two buttons take the focus; a screen reader reads the rest by name.
    clear_ = make(L"BUTTON", L"&Clear the counts", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, kClearId);
    close_ = make(L"BUTTON", L"Close", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
    setName(close_, L"Close the encoder test");
}

void EncoderTestWindow::scaleTo(int dpi, const RECT* suggested) {
    HFONT font = makeFont(dpi);
    const auto place = [&](HWND hwnd, int left, int top, int width, int height) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(hwnd, nullptr, scaled(left, dpi), scaled(top, dpi), scaled(width, dpi),
                     scaled(height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const int inside = kClientWidth - 2 * kMargin;
    place(status_, kMargin, kStatusTop, inside, kStatusHeight);
    const Cell header_cells[] = {Name, Type, FirstLamp, FirstSteps, SecondSteps, Width};
    for (std::size_t h = 0; h < headers_.size(); ++h) {
        const auto [left, width] = kColumns[header_cells[h]];
        // "Buttons" spans both lamps.
        place(headers_[h], left, kHeaderTop, header_cells[h] == FirstLamp ? 60 : width,
              kHeaderHeight);
    }
    for (std::size_t p = 0; p < rows_.size(); ++p) {
        const int top = kRowTop + static_cast<int>(p) * kRowPitch;
        for (std::size_t c = 0; c < kCells; ++c) {
            place(rows_[p][c], kColumns[c].first, top, kColumns[c].second, kRowHeight);
        }
    }
    place(findings_frame_, kMargin, kFindingsTop, inside, kFindingsHeight);
    place(findings_, kMargin + 10, kFindingsTop + 20, inside - 20, kFindingsHeight - 28);
    place(close_, kClientWidth - kMargin - 90, kButtonsTop, 90, kButtonHeight);
    place(clear_, kClientWidth - kMargin - 90 - 8 - 140, kButtonsTop, 140, kButtonHeight);
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;

    const SIZE size =
        outerSizeFor({scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)}, kStyle, false, dpi);
    SetWindowPos(hwnd_, nullptr, suggested != nullptr ? suggested->left : 0,
                 suggested != nullptr ? suggested->top : 0, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | (suggested != nullptr ? 0 : SWP_NOMOVE));
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void EncoderTestWindow::tick() {
    if (model_ == nullptr) {
        return;
    }
    showUpdate(model_->tick());
}

void EncoderTestWindow::follow(const session::Snapshot& snapshot) {
    if (model_ == nullptr) {
        return;
    }
    showUpdate(model_->follow(snapshot));
}

void EncoderTestWindow::showUpdate(const view::EncoderTestUpdate& update) {
    if (update.show) {
        showView(*update.show);
    }
    for (const std::u16string& text : update.announce) {
        announce(wide(text));
    }
    // An ended test counts nothing more: its timer stops, its window stays with what it counted.
    if (model_ != nullptr && !model_->shown().running) {
        stopTimer();
    }
}

void EncoderTestWindow::showView(const view::EncoderTestView& view) {
    SetWindowTextW(hwnd_, wide(view.title).c_str());
    setText(status_, wide(view.status));
    for (std::size_t p = 0; p < rows_.size(); ++p) {
        const view::PairRow& shown = view.rows[p];
        auto& row = rows_[p];
        const std::wstring name = wide(shown.name);
        setText(row[Name], name);
        // A screen reader reads the row as one sentence from its first cell.
        setName(row[Name], wide(shown.spoken));
        setText(row[Type], wide(shown.type));
        setName(row[Type], name + L", type as set: " + wide(shown.type));
        for (std::size_t b = 0; b < 2; ++b) {
            const std::wstring number = std::to_wstring(2 * p + b + 1);
            const HWND lamp = row[b == 0 ? FirstLamp : SecondLamp];
            if (lit_[p][b] != shown.lit[b]) {
                lit_[p][b] = shown.lit[b];
                InvalidateRect(lamp, nullptr, TRUE);
            }
            setName(lamp, L"Button " + number + (shown.lit[b] ? L", down" : L", up"));
            const long long count = b == 0 ? shown.first_steps : shown.second_steps;
            const HWND steps = row[b == 0 ? FirstSteps : SecondSteps];
            setText(steps, std::to_wstring(count));
            setName(steps, L"Steps on button " + number + L": " + std::to_wstring(count));
        }
        setText(row[Width], wide(shown.last_width));
        setName(row[Width], shown.last_width.empty()
                                ? name + L", no pulse yet"
                                : name + L", last pulse: " + wide(shown.last_width));
    }
    std::wstring findings;
    for (const std::u16string& finding : view.findings) {
        findings += (findings.empty() ? L"" : L"\r\n") + wide(finding);
    }
    if (findings.empty() && view.running) {
        findings = L"Nothing looks wrong so far.";
    }
    setText(findings_, findings);
    // A button about to be disabled hands the focus on, or the keyboard would be lost.
    if (!view.running && GetFocus() == clear_) {
        SetFocus(close_);
    }
    EnableWindow(clear_, view.running ? TRUE : FALSE);
}

void EncoderTestWindow::setName(HWND control, const std::wstring& name) {
    if (describer_ != nullptr) {
        describer_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                   PROPID_ACC_NAME, name.c_str());
    }
}

void EncoderTestWindow::announce(const std::wstring& text) {
    // As the main window does: the findings' description changes, and the system is told so;
    // a screen reader says it when it is idle, without cutting off what it was reading.
    last_announcement_ = text;
    ++announcements_;
    if (describer_ != nullptr) {
        describer_->SetHwndPropStr(findings_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                   PROPID_ACC_DESCRIPTION, text.c_str());
    }
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, findings_, OBJID_CLIENT, CHILDID_SELF);
}

void EncoderTestWindow::stopTimer() {
    if (timer_running_ && run_timer_ && hwnd_ != nullptr) {
        KillTimer(hwnd_, kTimerId);
    }
    timer_running_ = false;
}

LRESULT CALLBACK EncoderTestWindow::windowProc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        auto* window = static_cast<EncoderTestWindow*>(create->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<EncoderTestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    return window->handle(message, wparam, lparam);
}

void EncoderTestWindow::onCommand(WPARAM wparam) {
    if (LOWORD(wparam) == kClearId && HIWORD(wparam) == BN_CLICKED && model_ != nullptr) {
        showUpdate(model_->clearCounts());
    } else if (LOWORD(wparam) == IDCANCEL) {
        DestroyWindow(hwnd_);  // Close, or Esc through the dialog keys
    }
}

HBRUSH EncoderTestWindow::lampBrush(HWND control, HDC dc) const {
    for (std::size_t p = 0; p < rows_.size(); ++p) {
        for (std::size_t b = 0; b < 2; ++b) {
            if (control == rows_[p][b == 0 ? FirstLamp : SecondLamp] && lit_[p][b]) {
                // A lit lamp in the selection colours, which high contrast themes keep apart
                // from the window's.
                SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
                SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
                return GetSysColorBrush(COLOR_HIGHLIGHT);
            }
        }
    }
    return nullptr;
}

void EncoderTestWindow::restoreFocus() {
    // Back to the button that had the focus, else the first one that can take it.
    HWND to =
        saved_focus_ != nullptr && IsChild(hwnd_, saved_focus_) && IsWindowEnabled(saved_focus_)
            ? saved_focus_
            : (IsWindowEnabled(clear_) ? clear_ : close_);
    saved_focus_ = nullptr;
    SetFocus(to);
}

void EncoderTestWindow::onDestroy() {
    // The timer stops, then the test: its reader ends within its read bound and its handle on
    // the board closes. The main window and its session are left alone.
    stopTimer();
    model_.reset();
    if (describer_ != nullptr) {
        const MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
        for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            describer_->ClearHwndProps(child, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, props,
                                       2);
        }
    }
}

LRESULT EncoderTestWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(wparam);
            return 0;
        case WM_TIMER:
            if (wparam == kTimerId) {
                tick();
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            if (HBRUSH brush =
                    lampBrush(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
            break;
        case WM_DPICHANGED:
            scaleTo(LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                saved_focus_ = GetFocus();
            }
            break;
        case WM_SETFOCUS:
            restoreFocus();
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            onDestroy();
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
