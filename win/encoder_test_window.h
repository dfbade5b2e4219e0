// The encoder test window on Windows: a small top-level window of its own, owned by the main
// window but not modal, that shows each pair's steps while the user turns the encoders of the
// open board. What it shows and says comes from the toolkit-free model (view/encoder_test.h);
// this copies it into native controls.
//
// Its timer drains the input watch on the window's thread, beside the main window's watchdog.
// Close, Esc or the title bar destroy the window, and with it the model, which stops the watch;
// the object stays behind, closed, until its owner lets it go.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <array>
#include <memory>
#include <string>

#include "config/protocol.h"
#include "hid/platform.h"
#include "session/board_session.h"
#include "view/encoder_test.h"

namespace rotorix::win {

class EncoderTestWindow {
  public:
    // One row's controls, left to right.
    enum Cell { Name, Type, FirstLamp, SecondLamp, FirstSteps, SecondSteps, Width, kCells };

    // `describer` sets accessible names and announcements (null where COM is missing); it must
    // outlive the window, as must the platform and the session.
    EncoderTestWindow(hid::Platform& platform, const session::BoardSession& session,
                      HINSTANCE instance, IAccPropServices* describer, bool run_timer);
    ~EncoderTestWindow();
    EncoderTestWindow(const EncoderTestWindow&) = delete;
    EncoderTestWindow& operator=(const EncoderTestWindow&) = delete;

    // Makes the window, owned by `owner`, at `dpi`, shows and activates it, and starts the test.
    // False when the window could not be made.
    bool create(HWND owner, int dpi);

    // Null once the window has closed.
    HWND hwnd() const { return hwnd_; }
    HWND cell(std::size_t pair, Cell cell) const { return rows_[pair][cell]; }
    HWND status() const { return status_; }
    HWND findings() const { return findings_; }
    HWND clearButton() const { return clear_; }
    bool lit(std::size_t pair, std::size_t button) const { return lit_[pair][button]; }
    bool timerRunning() const { return timer_running_; }
    const std::wstring& lastAnnouncement() const { return last_announcement_; }
    int announcements() const { return announcements_; }
    // The model, for a check that waits for the watch's reader (null once closed).
    view::EncoderTest* model() const { return model_.get(); }

    // One tick of the window's timer, as the timer raises it.
    void tick();
    // The main window's session changed.
    void follow(const session::Snapshot& snapshot);

  private:
    static constexpr UINT_PTR kTimerId = 1;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void onCommand(WPARAM wparam);
    // The brush of a lit lamp (after setting its colours on `dc`); nullptr for any other control.
    HBRUSH lampBrush(HWND control, HDC dc) const;
    void restoreFocus();
    void onDestroy();
    void createControls();
    void scaleTo(int dpi, const RECT* suggested);
    void showUpdate(const view::EncoderTestUpdate& update);
    void showView(const view::EncoderTestView& view);
    void setName(HWND control, const std::wstring& name);
    void announce(const std::wstring& text);
    void stopTimer();

    hid::Platform& platform_;
    const session::BoardSession& session_;
    HINSTANCE instance_;
    IAccPropServices* describer_;
    bool run_timer_;
    std::unique_ptr<view::EncoderTest> model_;
    HWND hwnd_ = nullptr;
    HWND status_ = nullptr;
    std::array<HWND, 6> headers_{};
    std::array<std::array<HWND, kCells>, config::kEncoderCount> rows_{};
    std::array<std::array<bool, 2>, config::kEncoderCount> lit_{};
    HWND findings_frame_ = nullptr;
    HWND findings_ = nullptr;
    HWND clear_ = nullptr;
    HWND close_ = nullptr;
    HFONT font_ = nullptr;
    HWND saved_focus_ = nullptr;
    bool timer_running_ = false;
    std::wstring last_announcement_;
    int announcements_ = 0;
};

}  // namespace rotorix::win
