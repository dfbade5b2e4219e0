// The utility's window on Windows: the controls of the view's table as native Win32 controls. User
// picks go to the view's presenter, which asks the session; the view's values are copied into the
// controls whenever they changed; the window's timer drives the session's watchdog.
//
// Everything runs on the thread that created the window, in its message loop; no handler waits
// for another message, so handlers never overlap.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hid/platform.h"
#include "session/board_session.h"
#include "view/file_menu.h"
#include "view/view.h"
#include "win/board_finder_window.h"
#include "win/encoder_test_window.h"

namespace rotorix::win {

struct WindowOptions {
    // Appended to the caption (the demo says so).
    std::wstring caption_suffix;
    // False: the timer is never armed, only its interval is kept; ticks come from tick(). Lets a
    // check drive the watchdog one tick at a time.
    bool run_timer = true;
};

class MainWindow {
  public:
    // The session, and the platform it runs on, must outlive the window.
    MainWindow(hid::Platform& platform, session::BoardSession& session, HINSTANCE instance,
               WindowOptions options = {});
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window with its controls as the layout loads them, shows it, then starts the
    // session, shows what it found and starts the timer. False when the window could not be made.
    bool create(int show_command);

    HWND hwnd() const { return hwnd_; }
    HWND control(view::Control c) const { return controls_[static_cast<std::size_t>(c)]; }
    int dpi() const { return dpi_; }
    int timerInterval() const { return interval_ms_; }
    bool timerRunning() const { return timer_running_; }

    // One watchdog tick, as the timer raises it.
    void tick();

    // The encoder test window, and the find window, while it is open, else null.
    EncoderTestWindow* encoderTest() const;
    BoardFinderWindow* boardFinder() const;
    // Translates the window's keyboard shortcuts (Ctrl+S, Ctrl+O, Ctrl+F, Ctrl+T) in a message for
    // it or its controls.
    bool translateShortcut(MSG& message) const;

    // The menu bar's commands, as WM_COMMAND carries them from an item or its shortcut; clear of
    // the controls' IDs (1000 on).
    enum Command : int {
        kSaveCommand = 100,
        kLoadCommand,
        kLoadEveryCommand,
        kExitCommand,
        kFindBoardCommand,
        kTestEncodersCommand,
    };

    // Where the File menu's file names come from: Windows' file dialogs, unless a check puts its
    // own in. An empty name is a dialog that was cancelled; a dialog that could not be shown
    // says so in `problem` (empty otherwise).
    struct FileName {
        std::wstring path;
        std::wstring problem;
    };
    struct FileDialogs {
        std::function<FileName(HWND owner, const std::wstring& suggested)> save_name;
        std::function<FileName(HWND owner)> open_name;
    };
    void setFileDialogs(FileDialogs dialogs) { file_dialogs_ = std::move(dialogs); }

    // What the window last told assistive technology about a change the user did not make (a
    // lost board, a refused write, a notice), and how many times it has told anything.
    const std::wstring& lastAnnouncement() const { return last_announcement_; }
    int announcements() const { return announcements_; }

  private:
    static constexpr UINT_PTR kTimerId = 1;
    // A user's pick, posted so that it runs once, after the list has finished its notifications.
    static constexpr UINT kPickMessage = WM_APP + 1;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    // The parts of handle(): the focus and the keyboard, and the window going away. Each returns
    // the message's result, or nothing where the default handling follows.
    std::optional<LRESULT> handleFocus(UINT message, WPARAM wparam);
    LRESULT handleDestroy(UINT message, WPARAM wparam, LPARAM lparam);

    void createControls();
    // The menu bar and its shortcut table; false when either could not be made.
    bool createMenu();
    void openEncoderTest();
    void openBoardFinder();
    // A menu command; false when `id` is none.
    bool onMenuCommand(int id);
    // File > Save the settings, Load settings, Load settings onto every board (window_file.cpp).
    void saveSettings();
    void loadSettings(view::LoadTarget target, const wchar_t* title);
    // Tells the user what a File command did, in a message box that screen readers read out.
    void showFileReport(const wchar_t* title, const std::wstring& text, bool trouble);
    // Fonts, control places and the window's size for `dpi`.
    void scaleTo(int dpi, const RECT* suggested);
    void onCommand(int id, int code);
    void onListNotification(view::Control list, int code);
    void onPosted(view::Control list);
    void onPick(view::Control list);
    void onHideClicked();
    void announce(const std::wstring& text);
    void startTimer(int interval_ms);
    void stopTimer();

    // Copies an update's view into the controls, then says what it announces.
    void showUpdate(const view::Update& update);
    void apply(const view::ViewState& next);
    void setCheck(int check);
    void keepFocusInWindow();
    void focusFirstTabStop(bool from_the_end);

    hid::Platform& platform_;
    session::BoardSession& session_;
    view::Presenter presenter_{session_};
    HINSTANCE instance_;
    WindowOptions options_;
    HWND hwnd_ = nullptr;
    std::array<HWND, view::kControlCount> controls_{};
    HMENU menu_ = nullptr;  // the menu bar; the window destroys it with itself
    HACCEL shortcuts_ = nullptr;
    // Kept after its window has closed, until the next one opens or this window goes.
    std::unique_ptr<EncoderTestWindow> encoder_test_;
    std::unique_ptr<BoardFinderWindow> board_finder_;
    FileDialogs file_dialogs_;
    HFONT font_ = nullptr;          // Arial 9.75 pt, Cyrillic character set
    HFONT western_font_ = nullptr;  // the same, Western character set (NoJoy)
    int dpi_ = 96;
    // Sets the window's accessible description for announcements; none where COM is missing.
    IAccPropServices* describer_ = nullptr;
    bool com_ = false;

    view::ViewState shown_;  // what the controls hold
    bool showing_ =
        false;  // the window itself is filling controls: their notifications are not picks
    // A pick waiting to run: the user moved a closed list's selection, or took an item from the
    // open list (which counts even when it is the item already shown).
    enum class Pick { None, Moved, Taken };
    std::array<Pick, view::kControlCount> pending_{};
    HWND saved_focus_ = nullptr;
    std::wstring last_announcement_;
    int announcements_ = 0;

    int interval_ms_ = session::BoardSession::kStartIntervalMs;
    bool timer_running_ = false;
};

// The dialog-style message loop: Tab and Shift+Tab walk the controls, arrow keys stay in them,
// in the window and in its encoder test window; the window's shortcuts work. Returns when the
// window has gone, with the exit code of WM_QUIT.
int runMessageLoop(const MainWindow& window);

// Handles every message waiting for `window`'s thread, without waiting for more.
void pumpMessages(const MainWindow& window);

}  // namespace rotorix::win
