#include "app/frm_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "config/protocol.h"
#include "config/settings_io.h"

namespace {

using rotorix::config::EncoderTypes;

const rotorix::hid::DeviceMatch kBoardMatch{rotorix::config::kVendorId,
                                            rotorix::config::kProductId};

QString fromUtf16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

frmMain::frmMain(rotorix::hid::Platform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform) {
    buildLayout();
    describeForAssistiveTechnology();
    wireNotifications();
}

frmMain::~frmMain() {
    // Whatever way the window goes, the board's handle is released exactly once (by the
    // handle's own destructor); the timer must not fire into a half-destroyed window.
    Timer->stop();
}

void frmMain::wireNotifications() {
    // `activated` is raised for every user pick, by mouse, wheel or keyboard, including a re-pick
    // of the same item; selections made by code run the handlers through setListIndex instead.
    // currentIndexChanged is deliberately not used: Qt raises it on clear() and on the first
    // insert, and not for a re-pick.
    for (QComboBox* list : Enc) {
        connect(list, &QComboBox::activated, this, [this, list] { runListHandler(list); });
    }
    connect(ModeCh1, &QComboBox::activated, this, &frmMain::ModeCh1_Click);
    connect(SerNo, &QComboBox::activated, this, &frmMain::SerNo_Click);
    connect(NoJoy, &QCheckBox::clicked, this, [this] {
        // A user's click only ever means listed or hidden; the greyed state exists only to show
        // a value the board reported that is neither.
        if (NoJoy->checkState() != Qt::PartiallyChecked) {
            NoJoy->setTristate(false);
        }
        NoJoy_Click();
    });
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
}

// ---- Notification handlers ----

void frmMain::Form_Load() {
    SettingsLoaded = false;
    SwitchPending = false;
    ScanComplete = false;
    show();
    Scan_USB_devices();
    DeviceFound = FindTheHid();
    RefreshDeviceState();
    Timer->start();
}

void frmMain::Form_Unload() {
    Timer->stop();
    ScanComplete = false;
    closeBoard();
    // With the handle gone, a late notification (a queued click, a direct call) must find the
    // gates closed rather than dereference the released board.
    DeviceFound = false;
    SettingsLoaded = false;
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMain::Enc1_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc2_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc3_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc4_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc5_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc6_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc7_Click() {
    WriteEncoderTypes();
}
void frmMain::Enc8_Click() {
    WriteEncoderTypes();
}

void frmMain::ModeCh1_Click() {
    if (!(DeviceFound && SettingsLoaded)) {
        return;
    }
    const auto code = rotorix::config::pulseCodeFromIndex(ModeCh1->currentIndex());
    if (!code) {
        return;  // no item selected: there is no pulse length to write
    }
    LastApiResult = rotorix::config::writePulseCode(*board_->device, DeviceCaps.feature, *code);
    if (!LastApiResult) {
        reloadAfterFailedWrite();
    }
}

void frmMain::NoJoy_Click() {
    if (!(DeviceFound && SettingsLoaded)) {
        return;
    }
    const auto value = static_cast<std::uint8_t>(NoJoy->checkState() == Qt::Checked     ? 1
                                                 : NoJoy->checkState() == Qt::Unchecked ? 0
                                                                                        : 2);
    LastApiResult = rotorix::config::writeHideFlag(*board_->device, DeviceCaps.feature, value);
    if (!LastApiResult) {
        reloadAfterFailedWrite();
    }
}

void frmMain::SerNo_Click() {
    if (!ScanComplete) {
        return;
    }
    Timer->stop();
    SwitchPending = true;
    if (DeviceFound) {
        DeviceFound = false;
        closeBoard();
        Timer->setInterval(kSearchIntervalMs);
    }
    SettingsLoaded = false;
    DeviceFound = FindTheHid();
    if (DeviceFound) {
        SwitchPending = false;
    }
    RefreshDeviceState();
    Timer->start();
}

void frmMain::Timer_Timer() {
    PollDevice();
}

// ---- Operations ----

void frmMain::PollDevice() {
    if (DeviceFound) {
        std::vector<std::uint8_t> report(std::max<std::size_t>(DeviceCaps.input, 65), 0);
        const auto outcome = board_->device->readInputReport(report, kLivenessWaitMs);
        LastApiResult = outcome != rotorix::hid::ReadOutcome::Gone;
        if (!LastApiResult || SwitchPending || readBackFailed_) {
            if (!SwitchPending) {
                announce(QStringLiteral("The board was disconnected."));
            }
            DeviceFound = false;
            closeBoard();
            Timer->setInterval(kSearchIntervalMs);
            SettingsLoaded = false;
        } else {
            Timer->setInterval(kConnectedIntervalMs);
        }
    }
    if (!DeviceFound) {
        SettingsLoaded = false;
        Scan_USB_devices();
        DeviceFound = FindTheHid();
        if (DeviceFound) {
            SwitchPending = false;
        }
        RefreshDeviceState();
    }
}

void frmMain::Scan_USB_devices() {
    ScanComplete = false;
    SerNo->clear();
    SerNo->setEnabled(false);
    rotorix::hid::BoardListing listing = rotorix::hid::listBoards(platform_, kBoardMatch);
    int lastIndex = -1;
    for (const std::u16string& serial : listing.serials) {
        ++lastIndex;
        SerNo->insertItem(lastIndex, fromUtf16(serial));
        setListIndex(SerNo, lastIndex);
    }
    unusable_ = std::move(listing.unusable);
    if (lastIndex > 0) {
        SerNo->setEnabled(true);
    }
    ScanComplete = true;
}

bool frmMain::FindTheHid() {
    DeviceFound = false;
    // The selector's text, empty when nothing is selected, names the board to open.
    const std::u16string wanted = SerNo->currentText().toStdU16String();
    rotorix::hid::OpenOutcome outcome = rotorix::hid::openBoard(platform_, kBoardMatch, wanted);
    for (auto& problem : outcome.unusable) {
        if (std::find(unusable_.begin(), unusable_.end(), problem) == unusable_.end()) {
            unusable_.push_back(std::move(problem));
        }
    }
    if (!outcome.board) {
        return false;
    }
    board_ = std::move(outcome.board);
    ReadDeviceCaps(board_->lengths);
    return true;
}

void frmMain::ReadDeviceCaps(const rotorix::hid::ReportLengths& lengths) {
    DeviceCaps = lengths;
}

void frmMain::closeBoard() {
    board_.reset();
    readBackFailed_ = false;
}

void frmMain::WriteEncoderTypes() {
    if (!(DeviceFound && SettingsLoaded)) {
        return;
    }
    EncoderTypes types{};
    for (std::size_t n = 0; n < Enc.size(); ++n) {
        types[n] = static_cast<std::uint8_t>(std::clamp(Enc[n]->currentIndex(), 0, 3));
    }
    LastApiResult = rotorix::config::writeEncoderTypes(*board_->device, DeviceCaps.feature, types);
    if (!LastApiResult) {
        reloadAfterFailedWrite();
    }
}

void frmMain::reloadAfterFailedWrite() {
    RefreshDeviceState();
    announce(SettingsLoaded ? QStringLiteral("The board did not take the change; the settings "
                                             "were read back from the board.")
                            : QStringLiteral("The board did not take the change and does not "
                                             "answer."));
}

// ---- Control operations that raise notifications ----

void frmMain::setListIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    if (list == SerNo) {
        SerNo_Click();
    } else if (list == ModeCh1) {
        ModeCh1_Click();
    } else {
        runListHandler(list);
    }
}

void frmMain::setCheckValue(int value) {
    // Values beyond listed/hidden show the greyed state; Qt makes the box tri-state for it.
    if (value == 0 || value == 1) {
        NoJoy->setTristate(false);
        NoJoy->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
    } else {
        NoJoy->setCheckState(Qt::PartiallyChecked);
    }
    NoJoy_Click();
}

void frmMain::runListHandler(QComboBox* list) {
    // A switch rather than a table of member pointers: GCC 12 with the sanitizers reports the
    // table's call as maybe-uninitialized, which breaks that build.
    switch (std::find(Enc.begin(), Enc.end(), list) - Enc.begin()) {
        case 0:
            Enc1_Click();
            break;
        case 1:
            Enc2_Click();
            break;
        case 2:
            Enc3_Click();
            break;
        case 3:
            Enc4_Click();
            break;
        case 4:
            Enc5_Click();
            break;
        case 5:
            Enc6_Click();
            break;
        case 6:
            Enc7_Click();
            break;
        case 7:
            Enc8_Click();
            break;
        default:
            break;
    }
}
