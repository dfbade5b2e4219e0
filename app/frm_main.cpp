#include "app/frm_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "config/protocol.h"

using rotorix::session::WriteOutcome;

frmMain::frmMain(rotorix::hid::Platform& platform, QWidget* parent)
    : QWidget(parent), session_(platform) {
    buildLayout();
    describeForAssistiveTechnology();
    wireNotifications();
}

frmMain::~frmMain() {
    // Whatever way the window goes, the board's handle is released exactly once (by the
    // session); the timer must not fire into a half-destroyed window.
    Timer->stop();
}

void frmMain::wireNotifications() {
    // `activated` is raised for every user pick, by mouse, wheel or keyboard, including a re-pick
    // of the same item. currentIndexChanged is deliberately not used: Qt raises it on clear(), on
    // the first insert and for selections made by code, and not for a re-pick.
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
    show();
    session_.start();
    showSession();
    Timer->start();
}

void frmMain::Form_Unload() {
    Timer->stop();
    session_.close();
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
    afterWrite(session_.pickPulse(ModeCh1->currentIndex()));
}

void frmMain::NoJoy_Click() {
    afterWrite(session_.pickHidden(NoJoy->checkState() != Qt::Unchecked));
}

void frmMain::SerNo_Click() {
    if (!session_.scanComplete()) {
        return;
    }
    Timer->stop();
    const int interval = session_.select(SerNo->currentIndex());
    if (interval != Timer->interval()) {
        Timer->setInterval(interval);
    }
    showSession();
    Timer->start();
}

void frmMain::Timer_Timer() {
    PollDevice();
}

// ---- Operations ----

void frmMain::PollDevice() {
    const rotorix::session::TickResult result = session_.tick();
    if (result.lost) {
        announce(QStringLiteral("The board was disconnected."));
    }
    if (result.interval_ms != Timer->interval()) {
        Timer->setInterval(result.interval_ms);
    }
    showSession();
}

void frmMain::WriteEncoderTypes() {
    std::array<int, rotorix::config::kEncoderCount> indices{};
    for (std::size_t n = 0; n < Enc.size(); ++n) {
        indices[n] = Enc[n]->currentIndex();
    }
    afterWrite(session_.pickEncoderTypes(indices));
}

void frmMain::afterWrite(WriteOutcome outcome) {
    if (outcome == WriteOutcome::RefusedReread || outcome == WriteOutcome::RefusedLost) {
        // The control holds the refused pick, which the snapshot never held: when the board
        // still holds what was shown before (a second refusal in a row), the snapshot has not
        // changed, yet the controls must be drawn again.
        shownGeneration_ = std::numeric_limits<std::uint64_t>::max();
    }
    switch (outcome) {
        case WriteOutcome::NotSent:
        case WriteOutcome::Taken:
            break;
        case WriteOutcome::RefusedReread:
            showSession();
            announce(
                QStringLiteral("The board did not take the change; the settings were read "
                               "back from the board."));
            break;
        case WriteOutcome::RefusedLost:
            showSession();
            announce(QStringLiteral("The board did not take the change and does not answer."));
            break;
    }
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
