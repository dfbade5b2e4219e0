// The utility's one window: the board selector and identity, the eight encoder-type lists, the
// pulse length, the hide check box, and the timer that drives the watchdog.
//
// The window is a view. Every rule of how the utility talks to a board (the gates, the watchdog's
// intervals, the board switch, the read-back and its checks) lives in the session it owns; user
// events go to the session and the window shows the session's snapshot. Selections the window
// sets from code raise no notification, so showing a board's settings never writes them back.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <limits>

#include "hid/platform.h"
#include "session/board_session.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
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
    void Enc1_Click();
    void Enc2_Click();
    void Enc3_Click();
    void Enc4_Click();
    void Enc5_Click();
    void Enc6_Click();
    void Enc7_Click();
    void Enc8_Click();
    void ModeCh1_Click();
    void NoJoy_Click();
    void SerNo_Click();
    void Timer_Timer();

    // Read-only views of the session's state, for tests and diagnostics.
    bool deviceFound() const { return session_.deviceFound(); }
    bool settingsLoaded() const { return session_.settingsLoaded(); }
    bool switchPending() const { return session_.switchPending(); }
    bool scanComplete() const { return session_.scanComplete(); }
    const QTimer& timer() const { return *Timer; }
    rotorix::hid::ReportLengths deviceCaps() const { return session_.deviceCaps(); }
    const rotorix::session::BoardSession& session() const { return session_; }
    // The plain-words notice shown while no board is open but one is attached and unusable;
    // empty when hidden.
    QString boardNotice() const;

    static constexpr int kLivenessWaitMs = rotorix::session::BoardSession::kLivenessWaitMs;
    static constexpr int kStartIntervalMs = rotorix::session::BoardSession::kStartIntervalMs;
    static constexpr int kConnectedIntervalMs =
        rotorix::session::BoardSession::kConnectedIntervalMs;
    static constexpr int kSearchIntervalMs = rotorix::session::BoardSession::kSearchIntervalMs;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void describeForAssistiveTechnology();
    void wireNotifications();

    // Shows the session's snapshot in the controls, when it changed since it was last shown.
    void showSession();
    void WriteEncoderTypes();
    void PollDevice();

    void showSelector(const rotorix::session::Snapshot& shown);
    void showIdentity(const rotorix::session::Snapshot& shown);
    void showSettings(const rotorix::session::Snapshot& shown);
    void enableSettingControls(bool enabled);
    // Runs after every write: a refused write is announced and the board's own values shown.
    void afterWrite(rotorix::session::WriteOutcome outcome);
    void updateBoardNotice(const QString& notice);
    // A control that lost the focus by being disabled must not leave it nowhere.
    void keepFocusInWindow();
    // Tells assistive technology about a change the user did not make (a lost board, a reload).
    void announce(const QString& text);
    void runListHandler(QComboBox* list);

    rotorix::session::BoardSession session_;
    // The session's generation the controls show; none yet.
    std::uint64_t shownGeneration_ = std::numeric_limits<std::uint64_t>::max();

    // Controls, in the order the layout creates them. Owned by their Qt parents.
    QCheckBox* NoJoy = nullptr;
    QGroupBox* Frame1 = nullptr;
    QTimer* Timer = nullptr;
    QComboBox* SerNo = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblManuf = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<QComboBox*, 8> Enc{};  // Enc[0] is Enc1
    QComboBox* ModeCh1 = nullptr;
    std::array<QLabel*, 8> PairLabels{};  // Label6 ("1-2") .. Label13 ("15-16")
    QFrame* Line1 = nullptr;
    QLabel* Label1 = nullptr;
    // Not one of the window's designed controls: shown only over the empty identity rows.
    QLabel* boardNotice_ = nullptr;
};
