// What every control of the native window shows, as plain values: the state the window loads
// with, and the state that shows a session snapshot. The window only copies these values into its
// controls, so the rules of what is shown when can be checked without a window.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "session/board_session.h"
#include "win/layout.h"

namespace rotorix::win {

struct ControlView {
    std::u16string text;  // caption of a label, frame, check box or the notice
    // As the window system will hold it. A frame's children take no input while it is disabled,
    // which Win32 does not do for siblings, so lists and the check box inside a disabled frame
    // are disabled here too. Labels keep their own state: they take no input.
    bool enabled = false;
    bool visible = true;
    std::vector<std::u16string> items;  // a list's items
    int selected = -1;                  // a list's selected index, -1 for none
    int check = 0;                      // the check box: 0 unchecked, 1 checked, 2 greyed

    friend bool operator==(const ControlView&, const ControlView&) = default;
};

struct ViewState {
    std::array<ControlView, kControlCount> controls;

    ControlView& operator[](Control c) { return controls[static_cast<std::size_t>(c)]; }
    const ControlView& operator[](Control c) const { return controls[static_cast<std::size_t>(c)]; }
    friend bool operator==(const ViewState&, const ViewState&) = default;
};

// The window as it loads: captions from the layout, identity rows and lists empty, the enabled
// states of the layout.
ViewState loadedView();

// The window showing `shown`. `previous` is what the window shows now: Frame1 stays enabled once
// a board has been shown.
ViewState viewOf(const session::Snapshot& shown, const ViewState& previous);

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD, so a garbled system message still shows.
std::u16string fromUtf8(std::string_view text);

}  // namespace rotorix::win
