// The utility's one window: the board selector and identity, the eight encoder-type lists, the
// pulse length, the hide check box, and the watchdog that keeps the window in step with the board.
//
// The window owns all state. Every operation runs on the GUI thread and never yields to the event
// loop, so handlers never overlap. Setting a list's selection or the check box's value from code
// runs that control's handler synchronously; the gates ScanComplete and SettingsLoaded keep those
// self-raised notifications from acting.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "hid/discovery.h"
#include "hid/platform.h"

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

    // The window's two public operations: rebuild the board selector, and open the board it
    // names (true when a board is open afterwards).
    void Scan_USB_devices();
    bool FindTheHid();

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

    // Read-only views of the window's state, for tests and diagnostics.
    bool deviceFound() const { return DeviceFound; }
    bool settingsLoaded() const { return SettingsLoaded; }
    bool switchPending() const { return SwitchPending; }
    bool scanComplete() const { return ScanComplete; }
    const QTimer& timer() const { return *Timer; }
    rotorix::hid::ReportLengths deviceCaps() const { return DeviceCaps; }
    // Matching interfaces the last walk could not use (e.g. permission denied).
    const std::vector<rotorix::hid::UnusableBoard>& unusableBoards() const { return unusable_; }
    // The plain-words notice shown while no board is open but one is attached and unusable;
    // empty when hidden.
    QString boardNotice() const;

    // How long the liveness read may wait for an input report. A quiet board is not a lost one,
    // so this only bounds how long a tick can hold the window.
    static constexpr int kLivenessWaitMs = 5;
    static constexpr int kStartIntervalMs = 50;
    static constexpr int kConnectedIntervalMs = 500;
    static constexpr int kSearchIntervalMs = 250;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void describeForAssistiveTechnology();
    void wireNotifications();

    void RefreshDeviceState();
    void WriteEncoderTypes();
    void PollDevice();
    void ReadDeviceCaps(const rotorix::hid::ReportLengths& lengths);

    // Refresh steps.
    void loadControlsFromBoard();
    void clearBoardControls();
    void showIdentity(std::optional<std::uint16_t>& version);
    void fillAndEnableSettingControls();
    void closeBoard();
    // After a write the board refused: read everything back, so the controls show what the board
    // holds rather than what the user hoped it took.
    void reloadAfterFailedWrite();
    void updateBoardNotice();
    // A control that lost the focus by being disabled must not leave it nowhere.
    void keepFocusInWindow();
    // Tells assistive technology about a change the user did not make (a lost board, a reload).
    void announce(const QString& text);

    // Setting a selection or check state from code raises the control's handler, like a user's
    // pick does.
    void setListIndex(QComboBox* list, int index);
    void setCheckValue(int value);
    void runListHandler(QComboBox* list);

    rotorix::hid::Platform& platform_;

    // Window state. Named as the window's design names it.
    bool DeviceFound = false;
    bool SettingsLoaded = false;
    bool SwitchPending = false;
    bool ScanComplete = false;
    bool LastApiResult = false;  // did the most recent exchange with the board succeed
    std::optional<rotorix::hid::OpenedBoard> board_;  // HidHandle and its attributes
    rotorix::hid::ReportLengths DeviceCaps{};         // the last opened board's report lengths
    // The read-back failed on an open board: the watchdog drops and reopens it on its next tick
    // rather than leave the window sitting on a connection that does not answer.
    bool readBackFailed_ = false;
    std::vector<rotorix::hid::UnusableBoard> unusable_;

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
