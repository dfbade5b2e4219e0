#include "view/controls.h"

#include <algorithm>

namespace rotorix::view {

namespace {

using C = Control;
using K = Kind;
constexpr std::optional<Control> kWindow;

// clang-format off
constexpr std::array<ControlSpec, kControlCount> kLayout{{
    {C::NoJoy,           "NoJoy",           K::CheckBox,   kWindow,   u"Hide Rotorix from gaming devices list ", 360, 5280, 3975, 375, 29, false, {}, u"Hide Rotorix from gaming devices list"},
    {C::Frame1,          "Frame1",          K::Frame,      kWindow,   u"Device details",                        120,    0, 4215, 1935, 19, false, {}, {}},
    {C::SerNo,           "SerNo",           K::List,       C::Frame1, u"",                                     1680,  300, 1320, 360, 20, false, C::Label3, u"Serial Number"},
    {C::Label3,          "Label3",          K::Label,      C::Frame1, u"Serial Number",                         240,  360, 1815, 285, 28, true,  {}, {}},
    {C::Label4,          "Label4",          K::Label,      C::Frame1, u"Manufacturer",                          240,  720, 1215, 285, 27, true,  {}, {}},
    {C::Label5,          "Label5",          K::Label,      C::Frame1, u"Product",                               240, 1080, 1215, 285, 26, true,  {}, {}},
    {C::Label2,          "Label2",          K::Label,      C::Frame1, u"Version",                               240, 1440, 1455, 285, 25, true,  {}, {}},
    {C::lblManuf,        "lblManuf",        K::ValueLabel, C::Frame1, u"",                                     1680,  720, 3300, 330, 24, true,  C::Label4, u"Manufacturer"},
    {C::lblProduct,      "lblProduct",      K::ValueLabel, C::Frame1, u"",                                     1680, 1080, 3300, 330, 23, true,  C::Label5, u"Product"},
    {C::lblVersion,      "lblVersion",      K::ValueLabel, C::Frame1, u"",                                     1680, 1440, 3300, 330, 22, true,  C::Label2, u"Firmware version"},
    {C::lblSerialNumber, "lblSerialNumber", K::ValueLabel, C::Frame1, u"",                                     1680,  360, 3300, 330, 21, true,  {}, {}},
    {C::Frame3,          "Frame3",          K::Frame,      kWindow,   u"Rotary encoder type for button pairs:", 120, 2040, 4215, 3135,  0, false, {}, {}},
    {C::Enc8,            "Enc8",            K::List,       C::Frame3, u"",                                     2400, 1920,  900, 360, 10, false, C::Label13, u"Encoder type, buttons 15-16"},
    {C::Enc7,            "Enc7",            K::List,       C::Frame3, u"",                                     2400, 1440,  900, 360,  9, false, C::Label12, u"Encoder type, buttons 13-14"},
    {C::Enc6,            "Enc6",            K::List,       C::Frame3, u"",                                     2400,  960,  900, 360,  8, false, C::Label11, u"Encoder type, buttons 11-12"},
    {C::Enc5,            "Enc5",            K::List,       C::Frame3, u"",                                     2400,  480,  900, 360,  7, false, C::Label10, u"Encoder type, buttons 9-10"},
    {C::Enc4,            "Enc4",            K::List,       C::Frame3, u"",                                      240, 1920,  900, 360,  6, false, C::Label9, u"Encoder type, buttons 7-8"},
    {C::Enc3,            "Enc3",            K::List,       C::Frame3, u"",                                      240, 1440,  900, 360,  5, false, C::Label8, u"Encoder type, buttons 5-6"},
    {C::Enc2,            "Enc2",            K::List,       C::Frame3, u"",                                      240,  960,  900, 360,  4, false, C::Label7, u"Encoder type, buttons 3-4"},
    {C::Enc1,            "Enc1",            K::List,       C::Frame3, u"",                                      240,  480,  900, 360,  3, false, C::Label6, u"Encoder type, buttons 1-2"},
    {C::ModeCh1,         "ModeCh1",         K::List,       C::Frame3, u"",                                      240, 2520, 1260, 360,  1, false, C::Label1, u"Encoders pulse length"},
    {C::Label13,         "Label13",         K::Label,      C::Frame3, u"15-16",                                3420, 1995,  615, 375, 18, false, {}, u"Encoder type, buttons 15-16"},
    {C::Label12,         "Label12",         K::Label,      C::Frame3, u"13-14",                                3420, 1515,  735, 375, 17, false, {}, u"Encoder type, buttons 13-14"},
    {C::Label11,         "Label11",         K::Label,      C::Frame3, u"11-12",                                3420, 1035,  615, 375, 16, false, {}, u"Encoder type, buttons 11-12"},
    {C::Label10,         "Label10",         K::Label,      C::Frame3, u"9-10",                                 3420,  555,  615, 375, 15, false, {}, u"Encoder type, buttons 9-10"},
    {C::Label9,          "Label9",          K::Label,      C::Frame3, u"7-8",                                  1260, 1980, 1095, 375, 14, false, {}, u"Encoder type, buttons 7-8"},
    {C::Label8,          "Label8",          K::Label,      C::Frame3, u"5-6",                                  1260, 1500, 1095, 375, 13, false, {}, u"Encoder type, buttons 5-6"},
    {C::Label7,          "Label7",          K::Label,      C::Frame3, u"3-4",                                  1260, 1020, 1095, 375, 12, false, {}, u"Encoder type, buttons 3-4"},
    {C::Label6,          "Label6",          K::Label,      C::Frame3, u"1-2",                                  1260,  540, 1095, 375, 11, false, {}, u"Encoder type, buttons 1-2"},
    {C::Line1,           "Line1",           K::Line,       C::Frame3, u"",                                      120, 2280, 4320,   0, -1, true,  {}, {}},
    {C::Label1,          "Label1",          K::Label,      C::Frame3, u"Encoders pulse length",                1560, 2580, 2055, 375,  2, false, {}, {}},
    // Over the identity rows (it covers them), to where Frame1 cuts them off.
    {C::boardNotice,     "boardNotice",     K::Notice,     kWindow,   u"",                                      360,  300, 3945, 1500, -1, true, {}, {}},
}};
// clang-format on

// Each frame first (it goes to the bottom of the Z order once everything exists), then each
// naming label directly before the control it names, the tab stops in keyboard order: ModeCh1,
// Enc1..Enc8, SerNo, NoJoy. The line and the notice come before what they must lie above: the
// pair labels of the last row reach down over the line, the identity rows lie under the notice.
constexpr std::array<Control, kControlCount> kCreation{
    C::Frame3,          C::Line1,  C::Label1,   C::ModeCh1,     C::Label6,     C::Enc1,
    C::Label7,          C::Enc2,   C::Label8,   C::Enc3,        C::Label9,     C::Enc4,
    C::Label10,         C::Enc5,   C::Label11,  C::Enc6,        C::Label12,    C::Enc7,
    C::Label13,         C::Enc8,   C::Frame1,   C::boardNotice, C::Label3,     C::SerNo,
    C::lblSerialNumber, C::Label4, C::lblManuf, C::Label5,      C::lblProduct, C::Label2,
    C::lblVersion,      C::NoJoy,
};

bool overlapsVertically(const ControlSpec& a, const ControlSpec& b) {
    return a.top < b.top + b.height && b.top < a.top + a.height;
}

}  // namespace

std::span<const ControlSpec> layout() {
    return kLayout;
}

const ControlSpec& layoutOf(Control id) {
    return kLayout[static_cast<std::size_t>(id)];
}

std::span<const Control> creationOrder() {
    return kCreation;
}

std::optional<Control> controlFromId(int id) {
    const int index = id - controlId(Control::NoJoy);
    if (index < 0 || index >= static_cast<int>(kControlCount)) {
        return std::nullopt;
    }
    return static_cast<Control>(index);
}

PixelRect placement(Control control, int dpi) {
    const ControlSpec& s = layoutOf(control);
    int left = s.left;
    int top = s.top;
    int right = s.left + s.width;
    if (s.frame) {
        const ControlSpec& frame = layoutOf(*s.frame);
        // A frame's right border is two pixels wide at 96 dpi; what reached past it was cut off.
        const int inner_right = s.kind == Kind::Line ? frame.width : frame.width - 30;
        right = std::min(right, inner_right);
        if (s.kind == Kind::Label) {
            for (const ControlSpec& other : kLayout) {
                if (other.frame == s.frame && other.kind != Kind::Label && other.left > s.left &&
                    other.left < right && overlapsVertically(s, other)) {
                    right = other.left;
                }
            }
        }
        left += frame.left;
        top += frame.top;
        right += frame.left;
    }
    PixelRect rect{toPixels(left, dpi), toPixels(top, dpi),
                   toPixels(right, dpi) - toPixels(left, dpi), toPixels(s.height, dpi)};
    if (s.kind == Kind::Line) {
        rect.height = std::max(2, toPixels(30, dpi));  // an etched line: shadow and highlight
    }
    return rect;
}

}  // namespace rotorix::view
