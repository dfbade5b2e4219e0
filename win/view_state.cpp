#include "win/view_state.h"

#include "config/protocol.h"

namespace rotorix::win {

namespace {

constexpr std::array<Control, 8> kEnc{Control::Enc1, Control::Enc2, Control::Enc3, Control::Enc4,
                                      Control::Enc5, Control::Enc6, Control::Enc7, Control::Enc8};
constexpr std::array<Control, 8> kPairLabels{Control::Label6,  Control::Label7,  Control::Label8,
                                             Control::Label9,  Control::Label10, Control::Label11,
                                             Control::Label12, Control::Label13};

std::vector<std::u16string> texts(const auto& utf8_texts) {
    std::vector<std::u16string> out;
    for (const std::string& text : utf8_texts) {
        out.push_back(fromUtf8(text));
    }
    return out;
}

// Label captions that show board data begin with one space.
std::u16string boardCaption(const std::optional<std::u16string>& text) {
    return text ? u" " + *text : std::u16string();
}

// A frame's inputs follow it; see ControlView::enabled.
void applyFrames(ViewState& view) {
    for (const ControlSpec& s : layout()) {
        if (s.frame && (s.kind == Kind::List || s.kind == Kind::CheckBox)) {
            view[s.id].enabled = view[s.id].enabled && view[*s.frame].enabled;
        }
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

ViewState loadedView() {
    ViewState view;
    for (const ControlSpec& s : layout()) {
        ControlView& c = view[s.id];
        c.text.assign(s.caption.begin(), s.caption.end());
        c.enabled = s.enabled;
        c.visible = s.kind != Kind::Notice;  // shown only when there is something to say
    }
    applyFrames(view);
    return view;
}

ViewState viewOf(const session::Snapshot& shown, const ViewState& previous) {
    ViewState view = loadedView();

    ControlView& serNo = view[Control::SerNo];
    serNo.items = shown.serials;
    serNo.selected = shown.selected;
    serNo.enabled = shown.serials.size() > 1;  // one board leaves nothing to choose
    view[Control::Frame1].enabled = previous[Control::Frame1].enabled || shown.board_open;

    view[Control::lblManuf].text = boardCaption(shown.manufacturer);
    view[Control::lblProduct].text = boardCaption(shown.product);
    view[Control::lblVersion].text = fromUtf8(shown.version_caption);

    if (shown.settings) {
        const config::BoardSettings& settings = *shown.settings;
        const config::EncoderTypes types = config::unpackEncoderTypes(settings.planes);
        for (std::size_t n = 0; n < kEnc.size(); ++n) {
            ControlView& list = view[kEnc[n]];
            list.items = texts(config::encoderTypeTexts());
            list.selected = types[n];
            list.enabled = true;
            view[kPairLabels[n]].enabled = true;
        }
        ControlView& pulse = view[Control::ModeCh1];
        pulse.items = texts(config::pulseLengthTexts());
        // A code the list has no item for leaves it without a selection.
        pulse.selected = config::pulseIndexFromCode(settings.pulse_code).value_or(-1);
        pulse.enabled = true;
        ControlView& hide = view[Control::NoJoy];
        // Values beyond listed/hidden show the greyed state.
        hide.check = settings.hide_flag <= 1 ? settings.hide_flag : 2;
        hide.enabled = true;
        view[Control::Frame3].enabled = true;
        view[Control::Label1].enabled = true;
    }

    ControlView& notice = view[Control::boardNotice];
    notice.text = fromUtf8(shown.notice);
    notice.visible = !notice.text.empty();

    applyFrames(view);
    return view;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80           ? 1
                           : (lead >> 5) == 0x6  ? 2
                           : (lead >> 4) == 0xE  ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1Fu
                     : length == 3 ? lead & 0x0Fu
                                   : lead & 0x07u;
        bool ok = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; ok && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        constexpr std::array<char32_t, 5> kMinimum{0, 0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kMinimum[static_cast<std::size_t>(length)] && c <= 0x10FFFF &&
             !(c >= 0xD800 && c <= 0xDFFF);
        appendUtf16(out, ok ? c : U'\uFFFD');
        i += ok ? static_cast<std::size_t>(length) : 1;
    }
    return out;
}

}  // namespace rotorix::win
