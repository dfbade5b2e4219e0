// What every control of the window shows, as plain values, and what the user's picks ask of the
// session: the state the window loads with, the state that shows a session snapshot, and what to
// tell the user about changes they did not make. Both windows (Qt, Win32) only copy these values
// into their controls, so the rules of what is shown when are written and checked once.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/board_session.h"
#include "view/controls.h"
#include "view/file_menu.h"

namespace rotorix::view {

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
    // A value label without text says which value is missing ("Manufacturer: none"), rather
    // than be announced by its frame's title; empty otherwise.
    std::u16string accessible_name;

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

// The control Tab reaches first from the window itself (Shift+Tab: last): an enabled, visible list
// or check box, in keyboard order. None: no control can take the focus now.
std::optional<Control> firstTabStop(const ViewState& view, bool from_the_end);

// Enc1 .. Enc8, in the order of the encoder pairs.
inline constexpr std::array<Control, config::kEncoderCount> kEncoderLists{
    Control::Enc1, Control::Enc2, Control::Enc3, Control::Enc4,
    Control::Enc5, Control::Enc6, Control::Enc7, Control::Enc8};

// What a window does with its watchdog timer.
struct TimerChange {
    int interval_ms = 0;  // the interval from now on
    // True: (re)start the timer at that interval, as the window's load and a board switch do.
    // False: a new interval for a timer that keeps running (or stays stopped) as it was.
    bool restart = false;

    friend bool operator==(const TimerChange&, const TimerChange&) = default;
};

// What a window does after a user's action or a tick: copy `show` into its controls (none: they
// already show the session), then tell assistive technology each of `announce`, in order, and
// apply `timer` to its watchdog timer (none: the timer runs on as it is).
struct Update {
    std::optional<ViewState> show;
    std::vector<std::u16string> announce;
    std::optional<TimerChange> timer;
};

// The window's part of every user action and tick, without a toolkit: which session operation a
// pick or a click is, what the controls show afterwards, what is announced, and when the watchdog
// timer changes. The window owns the timer and the focus.
// What a load from the File menu did: the update of the window (the controls show what the shown
// board holds now), and the report to show the user.
struct Loaded {
    Update update;
    LoadReport report;
};

class Presenter {
  public:
    // The session must outlive the presenter.
    explicit Presenter(session::BoardSession& session) : session_(session) {}

    // The window has loaded: the session lists the boards and opens one, and the timer starts.
    Update load();
    // One watchdog tick; a board that stopped answering is announced as disconnected.
    Update tick();
    // The user picked (or re-picked) an item of `list`: an encoder list writes what all eight show
    // (`selectedIn` reads a list's selected index), the pulse list its length, the selector
    // switches boards. None: the pick was ignored (the listing is being rebuilt).
    std::optional<Update> pick(Control list, const std::function<int(Control)>& selectedIn);
    // The user clicked the check box: it turns what it shows over, and a greyed box (a value the
    // board reported that is neither listed nor hidden) turns checked; a click only ever means
    // listed or hidden.
    Update clickHide();
    // The session switched boards outside the selector (the find window): show the board it
    // switched to, and start the watchdog afresh as a pick in the selector does.
    Update switched();
    // File → "Load settings…" (the shown board) or "Load settings onto every board…": `text`, the
    // file's bytes, is read as a profile before any board is touched; one that is not is refused
    // with the reader's words and nothing is written. Every board written is read back, and
    // after a load onto every board the window shows the board it showed before.
    Loaded loadProfile(std::string_view text, LoadTarget target);

    // What the controls show since the last update.
    const ViewState& shown() const { return shown_; }

  private:
    // The snapshot's view, when it changed since it was last shown or `force`d: a refused pick
    // left the control showing what the session never held.
    Update refresh(bool force = false);
    Update afterWrite(session::WriteOutcome outcome);
    // The session's interval, when it is not the one the window was last given, or `restart`.
    std::optional<TimerChange> timerChange(bool restart);

    session::BoardSession& session_;
    ViewState shown_ = loadedView();
    std::optional<std::uint64_t> shown_generation_;
    std::optional<int> timer_ms_;  // the interval the window was last given
};

}  // namespace rotorix::view
