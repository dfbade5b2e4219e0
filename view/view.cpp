#include "view/view.h"

#include <algorithm>
#include <iterator>

#include "base/unicode.h"
#include "config/protocol.h"

namespace rotorix::view {

namespace {

constexpr std::array<Control, config::kEncoderCount> kPairLabels{
    Control::Label6,  Control::Label7,  Control::Label8,  Control::Label9,
    Control::Label10, Control::Label11, Control::Label12, Control::Label13};

std::vector<std::u16string> texts(const auto& utf8_texts) {
    std::vector<std::u16string> out;
    for (const std::string& text : utf8_texts) {
        out.push_back(base::fromUtf8Lossy(text));
    }
    return out;
}

// Label captions that show board data begin with one space.
std::u16string boardCaption(const std::optional<std::u16string>& text) {
    return text ? u" " + *text : std::u16string();
}

// A frame's inputs follow it, and an empty value label names what it lacks; see ControlView.
void finish(ViewState& view) {
    for (const ControlSpec& s : layout()) {
        ControlView& c = view[s.id];
        if (s.frame && (s.kind == Kind::List || s.kind == Kind::CheckBox)) {
            c.enabled = c.enabled && view[*s.frame].enabled;
        }
        if (s.kind == Kind::ValueLabel && !s.accessible.empty() && c.text.empty()) {
            c.accessible_name = std::u16string(s.accessible) + u": none";
        }
    }
}

// Every control with the caption and the enabled state the layout gives it.
ViewState asLaidOut() {
    ViewState view;
    for (const ControlSpec& s : layout()) {
        view[s.id].text = s.caption;
        view[s.id].enabled = s.enabled;
    }
    return view;
}

}  // namespace

ViewState loadedView() {
    ViewState view = asLaidOut();
    view[Control::boardNotice].visible = false;  // shown only when there is something to say
    finish(view);
    return view;
}

ViewState viewOf(const session::Snapshot& shown, const ViewState& previous) {
    ViewState view = asLaidOut();

    ControlView& serNo = view[Control::SerNo];
    serNo.items = shown.serials;
    serNo.selected = shown.selected;
    serNo.enabled = shown.serials.size() > 1;  // one board leaves nothing to choose
    view[Control::Frame1].enabled = previous[Control::Frame1].enabled || shown.board_open;

    view[Control::lblManuf].text = boardCaption(shown.manufacturer);
    view[Control::lblProduct].text = boardCaption(shown.product);
    view[Control::lblVersion].text = base::fromUtf8Lossy(shown.version_caption);

    if (shown.settings) {
        const config::BoardSettings& settings = *shown.settings;
        const config::EncoderTypes types = config::unpackEncoderTypes(settings.planes);
        for (std::size_t n = 0; n < kEncoderLists.size(); ++n) {
            ControlView& list = view[kEncoderLists[n]];
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
    notice.text = base::fromUtf8Lossy(shown.notice);
    notice.visible = !notice.text.empty();

    finish(view);
    return view;
}

std::optional<Control> firstTabStop(const ViewState& view, bool from_the_end) {
    std::optional<Control> found;
    int found_tab = 0;
    for (const ControlSpec& s : layout()) {
        const bool input = s.kind == Kind::List || s.kind == Kind::CheckBox;
        if (input && view[s.id].enabled && view[s.id].visible &&
            (!found || (from_the_end ? s.tab > found_tab : s.tab < found_tab))) {
            found = s.id;
            found_tab = s.tab;
        }
    }
    return found;
}

Update Presenter::load() {
    session_.start();
    Update update = refresh();
    update.timer = timerChange(true);
    return update;
}

Update Presenter::tick() {
    const session::TickResult result = session_.tick();
    Update update = refresh();
    if (result.lost) {
        // Said first. Built afresh rather than inserted at the front: GCC 12 at -O3 sees a null
        // string in that insertion's inlined move that cannot be there (-Wnull-dereference).
        std::vector<std::u16string> announce{u"The board was disconnected."};
        std::move(update.announce.begin(), update.announce.end(), std::back_inserter(announce));
        update.announce = std::move(announce);
    }
    update.timer = timerChange(false);
    return update;
}

std::optional<Update> Presenter::pick(Control list, const std::function<int(Control)>& selectedIn) {
    if (list == Control::SerNo) {
        if (!session_.select(selectedIn(Control::SerNo))) {
            return std::nullopt;  // the listing is being rebuilt
        }
        Update update = refresh();
        update.timer = timerChange(true);  // the watchdog starts afresh after a switch
        return update;
    }
    if (list == Control::ModeCh1) {
        return afterWrite(session_.pickPulse(selectedIn(Control::ModeCh1)));
    }
    std::array<int, config::kEncoderCount> indices{};
    for (std::size_t n = 0; n < kEncoderLists.size(); ++n) {
        indices[n] = selectedIn(kEncoderLists[n]);
    }
    return afterWrite(session_.pickEncoderTypes(indices));
}

Update Presenter::switched() {
    Update update = refresh();
    update.timer = timerChange(true);
    return update;
}

Update Presenter::clickHide() {
    return afterWrite(session_.pickHidden(shown_[Control::NoJoy].check != 1));
}

Update Presenter::afterWrite(session::WriteOutcome outcome) {
    switch (outcome) {
        case session::WriteOutcome::NotSent:
        case session::WriteOutcome::Taken:
            break;
        case session::WriteOutcome::RefusedReread: {
            Update update = refresh(true);
            update.announce.push_back(
                u"The board did not take the change; the settings were read back from the "
                u"board.");
            return update;
        }
        case session::WriteOutcome::RefusedLost: {
            Update update = refresh(true);
            update.announce.push_back(u"The board did not take the change and does not answer.");
            return update;
        }
    }
    return refresh();
}

std::optional<TimerChange> Presenter::timerChange(bool restart) {
    const int interval = session_.interval();
    if (!restart && timer_ms_ == interval) {
        return std::nullopt;
    }
    timer_ms_ = interval;
    return TimerChange{interval, restart};
}

Update Presenter::refresh(bool force) {
    if (!force && shown_generation_ == session_.generation()) {
        return {};
    }
    shown_generation_ = session_.generation();
    Update update;
    update.show = viewOf(session_.snapshot(), shown_);
    // Told once, when it appears or its words change; a notice that stays is not repeated.
    const std::u16string& notice = (*update.show)[Control::boardNotice].text;
    if (!notice.empty() && notice != shown_[Control::boardNotice].text) {
        update.announce.push_back(notice);
    }
    shown_ = *update.show;
    return update;
}

}  // namespace rotorix::view
