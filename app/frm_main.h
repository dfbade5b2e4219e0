// The utility's one window: the board selector and identity, the eight encoder-type lists, the
// pulse length, the hide check box, and the timer that drives the watchdog.
//
// The window is a view. Every rule of how the utility talks to a board lives in the session it
// owns, and every rule of what the controls show and what the user's picks ask of the session in
// the toolkit-free view (view/). The window makes its controls from the view's control table,
// forwards user events, and copies the view's values into its controls. Selections the window
// sets from code raise no notification, so showing a board's settings never writes them back.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "app/encoder_test_window.h"
#include "app/find_board_dialog.h"
#include "hid/platform.h"
#include "session/board_session.h"
#include "view/view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTimer;

// Named as the window has always been named; the control and handler names follow it.
class frmMain : public QWidget {  // NOLINT(readability-identifier-naming)
    Q_OBJECT

  public:
    // The platform must outlive the window.
    explicit frmMain(rotorix::hid::Platform& platform, QWidget* parent = nullptr);
    ~frmMain() override;

    // Notification handlers. Public so that the program's start-up and the tests can raise the
    // same notifications the window system does.
    void Form_Load();
    void Form_Unload();
    // Each encoder pick writes what all eight lists show.
    void Enc1_Click() { pick(rotorix::view::Control::Enc1); }
    void Enc2_Click() { pick(rotorix::view::Control::Enc2); }
    void Enc3_Click() { pick(rotorix::view::Control::Enc3); }
    void Enc4_Click() { pick(rotorix::view::Control::Enc4); }
    void Enc5_Click() { pick(rotorix::view::Control::Enc5); }
    void Enc6_Click() { pick(rotorix::view::Control::Enc6); }
    void Enc7_Click() { pick(rotorix::view::Control::Enc7); }
    void Enc8_Click() { pick(rotorix::view::Control::Enc8); }
    void ModeCh1_Click() { pick(rotorix::view::Control::ModeCh1); }
    void NoJoy_Click();
    void SerNo_Click() { pick(rotorix::view::Control::SerNo); }
    void Timer_Timer();
    // Board -> Test the encoders: opens the test window on the open board, or brings the one
    // already open to the front. The main window keeps working beside it.
    void mnuTestEncoders_Click();
    // Board -> Find a board by pressing a button: the find dialog over this window; the board
    // found is shown as a pick in SerNo would show it.
    void mnuFindBoard_Click();
    // File -> Save the settings: the shown board's settings to a profile the user names.
    void mnuSave_Click();
    // File -> Load settings: a profile the user picks onto the shown board, read back, so the
    // controls show what the board now holds.
    void mnuLoad_Click();
    // File -> Load settings onto every board: the profile onto every ready board, each once.
    // Each of the three tells what it did, board by board, in a message box (fileReport()).
    void mnuLoadEvery_Click();

    // Where the file names come from: Qt's file dialogs, unless a test puts its own in. An empty
    // name is a dialog that was cancelled.
    struct FileDialogs {
        std::function<QString(QWidget* parent, const QString& suggested)> save_name;
        std::function<QString(QWidget* parent)> open_name;
    };
    void setFileDialogs(FileDialogs dialogs) { file_dialogs_ = std::move(dialogs); }
    // The message box that tells what the last File command did; null once it is closed.
    QMessageBox* fileReport() const { return file_report_; }

    // Read-only views of the session's state, for tests and diagnostics.
    bool deviceFound() const { return session_.snapshot().board_open; }
    bool settingsLoaded() const { return session_.snapshot().settings.has_value(); }
    bool switchPending() const { return session_.switchPending(); }
    bool scanComplete() const { return session_.scanComplete(); }
    const QTimer& timer() const { return *Timer; }
    rotorix::hid::ReportLengths deviceCaps() const { return session_.deviceCaps(); }
    const rotorix::session::BoardSession& session() const { return session_; }
    // The plain-words notice shown over the identity rows; empty when hidden.
    QString boardNotice() const;
    // The open test window; null while none is open.
    rotorix::app::EncoderTestWindow* encoderTest() const { return encoder_test_; }
    // The open find dialog; null while none is open.
    rotorix::app::FindBoardDialog* findBoard() const { return find_board_; }

    static constexpr int kStartIntervalMs = rotorix::session::BoardSession::kStartIntervalMs;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Makes every control of the table, with its place, font, keyboard order and names.
    void buildLayout();
    // Makes every control of the layout; answers those that take the focus, in the layout's order.
    std::vector<const rotorix::view::ControlSpec*> makeControls();
    void orderTabStops(std::vector<const rotorix::view::ControlSpec*> tabStops);
    void nameControls();  // for screen readers
    void wireNotifications();

    void pick(rotorix::view::Control list);
    // Copies an update's view into the controls, then says what it announces.
    void showUpdate(const rotorix::view::Update& update);
    void showView(const rotorix::view::ViewState& view);
    // A control that lost the focus by being disabled must not leave it nowhere.
    void keepFocusInWindow();
    // Tells assistive technology about a change the user did not make (a lost board, a reload).
    void announce(const QString& text);
    void loadFrom(rotorix::view::LoadTarget target, const QString& title);
    // A window-modal box that does not block the caller; a new one replaces the last.
    void showFileReport(const QString& title, const QString& text, bool trouble);

    template <typename W = QWidget>
    W* control(rotorix::view::Control c) const {
        return static_cast<W*>(controls_[static_cast<std::size_t>(c)]);
    }
    QComboBox* list(rotorix::view::Control c) const;
    QCheckBox* noJoy() const;

    rotorix::hid::Platform& platform_;
    rotorix::session::BoardSession session_;
    rotorix::view::Presenter presenter_{session_};

    // The controls of the table, owned by their Qt parents.
    std::array<QWidget*, rotorix::view::kControlCount> controls_{};
    QTimer* Timer = nullptr;
    QPointer<rotorix::app::EncoderTestWindow> encoder_test_;  // deletes itself when closed
    QPointer<rotorix::app::FindBoardDialog> find_board_;      // deletes itself when closed
    FileDialogs file_dialogs_;
    QPointer<QMessageBox> file_report_;  // deletes itself when closed
};
