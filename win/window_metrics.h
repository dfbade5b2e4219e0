// Sizes in pixels for the windows' DPI, shared by the main window and the encoder test window.
#pragma once

#include <windows.h>

namespace rotorix::win {

// The DPI `hwnd` is shown at: its monitor's where the system knows it, else the system's.
int dpiOf(HWND hwnd);

// The outer size of a window of `style` (with a menu bar when `menu`) whose client area is
// `client` at `dpi`.
SIZE outerSizeFor(SIZE client, DWORD style, bool menu, int dpi);

// `value` pixels at 96 DPI, at `dpi`.
inline int scaled(int value, int dpi) {
    return MulDiv(value, dpi, 96);
}

}  // namespace rotorix::win
