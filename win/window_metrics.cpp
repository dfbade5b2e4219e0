#include "win/window_metrics.h"

namespace rotorix::win {

namespace {

// Per-monitor DPI calls arrived with Windows 10 1607; older systems and Wine builds lack them,
// so they are looked up at run time and the system DPI stands in.
template <typename F>
F user32Function(const char* name) {
    FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<F>(reinterpret_cast<void*>(found));
}

}  // namespace

int dpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (get_dpi != nullptr) {
        if (const UINT dpi = get_dpi(hwnd); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC dc = GetDC(hwnd);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) {
        ReleaseDC(hwnd, dc);
    }
    return dpi > 0 ? dpi : 96;
}

SIZE outerSizeFor(SIZE client, DWORD style, bool menu, int dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = user32Function<AdjustFn>("AdjustWindowRectExForDpi");
    const BOOL with_menu = menu ? TRUE : FALSE;
    if (adjust_for_dpi == nullptr ||
        adjust_for_dpi(&rect, style, with_menu, 0, static_cast<UINT>(dpi)) == FALSE) {
        rect = {0, 0, client.cx, client.cy};
        AdjustWindowRectEx(&rect, style, with_menu, 0);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace rotorix::win
