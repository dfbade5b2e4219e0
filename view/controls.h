// The window's fixed layout, for every toolkit: each control with its kind, frame, caption, place
// in twips, keyboard order, enabled state when the window loads and accessible name, as the window
// was drawn. Plain data and arithmetic, no toolkit, so it can be checked on its own.
//
// A toolkit whose frames hold their controls (Qt) places each control at its twips over fifteen
// in its frame. Win32 has no container that clips and disables its children the way the drawn
// frames did, so there the frames are group boxes beside the controls they hold (siblings, not
// parents): `placement` measures a control from its frame and cuts what the frame clipped.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace rotorix::view {

// The controls, named as the window has always named them. The timer is no window, so it has no
// entry; `boardNotice` is ours: shown only over the empty identity rows.
enum class Control {
    NoJoy,
    Frame1,
    SerNo,
    Label3,
    Label4,
    Label5,
    Label2,
    lblManuf,
    lblProduct,
    lblVersion,
    lblSerialNumber,
    Frame3,
    Enc8,
    Enc7,
    Enc6,
    Enc5,
    Enc4,
    Enc3,
    Enc2,
    Enc1,
    ModeCh1,
    Label13,
    Label12,
    Label11,
    Label10,
    Label9,
    Label8,
    Label7,
    Label6,
    Line1,
    Label1,
    boardNotice,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::boardNotice) + 1;

enum class Kind { Label, ValueLabel, Frame, List, CheckBox, Line, Notice };

struct ControlSpec {
    Control id;
    std::string_view name;
    Kind kind;
    std::optional<Control> frame;  // the frame it sits in; none: directly on the window
    std::u16string_view caption;
    // Twips, from the frame's top-left corner (or the client area's). For the line: its start
    // and its length. For a list: the closed field.
    int left, top, width, height;
    int tab;  // keyboard-order index, -1 for none
    bool enabled;
    // The label whose caption names this control for a screen reader.
    std::optional<Control> named_by;
    // What a screen reader calls it: for a list or the check box (and the label that names it)
    // what it sets, for a value label which value it shows. Empty: its caption says it all.
    std::u16string_view accessible;
};

// The layout in the order the window was drawn.
std::span<const ControlSpec> layout();
const ControlSpec& layoutOf(Control id);

// The order in which the window creates its controls, which Win32 also makes their Z order and
// their Tab order. It differs from the drawn order: a control takes its accessible name from the
// label created just before it, and the tab stops must come in keyboard order.
std::span<const Control> creationOrder();

// The child window ID of a control: stable, and never 0 or IDOK/IDCANCEL.
constexpr int controlId(Control control) {
    return 1000 + static_cast<int>(control);
}
std::optional<Control> controlFromId(int id);

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 4455;
inline constexpr int kClientHeightTwips = 5775;
// Arial 9.75 pt, in hundredths of a point.
inline constexpr int kFontCentipoints = 975;
inline constexpr std::u16string_view kFontFace = u"Arial";
inline constexpr int kCyrillicCharset = 204;  // every control but NoJoy
inline constexpr int kWesternCharset = 0;     // NoJoy

// The window's caption.
inline constexpr std::u16string_view kWindowCaption = u"Rotorix Rotary Encoders Configuration v.1";

// Twips to device pixels at `dpi` (15 twips per pixel at 96), rounded to nearest.
constexpr int toPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + kTwipsPerInch / 2) / kTwipsPerInch
                                        : -((-scaled + kTwipsPerInch / 2) / kTwipsPerInch));
}

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Where a control goes in the client area at `dpi`, in device pixels. The drawn frames clipped
// what reached past their inner edge and the line ran to its frame's edge; a caption label stops
// where the control it names begins, since it lies above that control in the Z order.
PixelRect placement(Control control, int dpi);

// The font height (LOGFONT lfHeight) of Arial 9.75 pt at `dpi`: negative, a character height.
constexpr int fontHeight(int dpi) {
    return -static_cast<int>((static_cast<long long>(kFontCentipoints) * dpi + 3600) / 7200);
}

}  // namespace rotorix::view
