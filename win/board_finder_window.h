// "Find a board by pressing a button" on Windows: a small window owned by the main window, which
// it disables while it waits, as a modal dialog would. What it shows and says comes from the
// toolkit-free finder (view/board_finder.h); its timer drives the finder on the window's thread.
// Cancel, Esc or the title bar end it and leave the selection as it was; a board found is handed
// to the main window, and the window closes. The object stays behind, closed, until its owner
// lets it go.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <functional>
#include <memory>
#include <string>

#include "hid/platform.h"
#include "session/board_session.h"
#include "view/board_finder.h"

namespace rotorix::win {

class BoardFinderWindow {
  public:
    // `found` runs once the session has switched to the board found, after the window closed.
    // `describer` (null where COM is missing), the platform and the session outlive the window.
    BoardFinderWindow(hid::Platform& platform, session::BoardSession& session, HINSTANCE instance,
                      IAccPropServices* describer, bool run_timer, std::function<void()> found);
    ~BoardFinderWindow();
    BoardFinderWindow(const BoardFinderWindow&) = delete;
    BoardFinderWindow& operator=(const BoardFinderWindow&) = delete;

    // Makes the window over `owner` at `dpi`, disables the owner, and starts watching. False when
    // the window could not be made; the owner is then left as it was.
    bool create(HWND owner, int dpi);

    // Null once the window has closed.
    HWND hwnd() const { return hwnd_; }
    HWND prompt() const { return prompt_; }
    HWND status() const { return status_; }
    HWND cancelButton() const { return cancel_; }
    bool timerRunning() const { return timer_running_; }
    const std::wstring& lastAnnouncement() const { return last_announcement_; }
    // The finder, for a check that waits for the boards' input (null once closed).
    view::BoardFinder* model() const { return model_.get(); }

    // One tick of the window's timer, as the timer raises it.
    void tick();

  private:
    static constexpr UINT_PTR kTimerId = 1;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool createControls();
    void centreOver(HWND owner);
    void layOut(int dpi);
    void showUpdate(const view::BoardFinderUpdate& update);
    void showView(const view::BoardFinderView& view);
    void describe(HWND hwnd, MSAAPROPID property, const std::wstring& text);
    // Gives the owner back its input, then destroys the window (and with it the finder).
    void close();

    hid::Platform& platform_;
    session::BoardSession& session_;
    HINSTANCE instance_;
    IAccPropServices* describer_;
    bool run_timer_;
    std::function<void()> found_;
    std::unique_ptr<view::BoardFinder> model_;
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    HWND prompt_ = nullptr;
    HWND status_ = nullptr;
    HWND cancel_ = nullptr;
    HFONT font_ = nullptr;
    HFONT prompt_font_ = nullptr;
    bool timer_running_ = false;
    std::wstring last_announcement_;
};

}  // namespace rotorix::win
