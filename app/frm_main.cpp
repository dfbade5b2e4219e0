#include "app/frm_main.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QTimer>

using rotorix::view::Control;

frmMain::frmMain(rotorix::hid::Platform& platform, QWidget* parent)
    : QWidget(parent), session_(platform) {
    buildLayout();
    wireNotifications();
}

frmMain::~frmMain() {
    // Whatever way the window goes, the board's handle is released exactly once (by the
    // session); the timer must not fire into a half-destroyed window.
    Timer->stop();
}

QComboBox* frmMain::list(Control c) const {
    return control<QComboBox>(c);
}

QCheckBox* frmMain::noJoy() const {
    return control<QCheckBox>(Control::NoJoy);
}

void frmMain::wireNotifications() {
    // `activated` is raised for every user pick, by mouse, wheel or keyboard, including a re-pick
    // of the same item. currentIndexChanged is deliberately not used: Qt raises it on clear(), on
    // the first insert and for selections made by code, and not for a re-pick.
    for (const rotorix::view::ControlSpec& s : rotorix::view::layout()) {
        if (s.kind == rotorix::view::Kind::List) {
            connect(list(s.id), &QComboBox::activated, this, [this, id = s.id] { pick(id); });
        }
    }
    connect(noJoy(), &QCheckBox::clicked, this, [this] {
        // A user's click only ever means listed or hidden; the greyed state exists only to show
        // a value the board reported that is neither.
        if (noJoy()->checkState() != Qt::PartiallyChecked) {
            noJoy()->setTristate(false);
        }
        NoJoy_Click();
    });
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
}

// ---- Notification handlers ----

void frmMain::Form_Load() {
    show();
    showUpdate(presenter_.load());
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

// Each encoder pick writes what all eight lists show.
void frmMain::Enc1_Click() {
    pick(Control::Enc1);
}
void frmMain::Enc2_Click() {
    pick(Control::Enc2);
}
void frmMain::Enc3_Click() {
    pick(Control::Enc3);
}
void frmMain::Enc4_Click() {
    pick(Control::Enc4);
}
void frmMain::Enc5_Click() {
    pick(Control::Enc5);
}
void frmMain::Enc6_Click() {
    pick(Control::Enc6);
}
void frmMain::Enc7_Click() {
    pick(Control::Enc7);
}
void frmMain::Enc8_Click() {
    pick(Control::Enc8);
}
void frmMain::ModeCh1_Click() {
    pick(Control::ModeCh1);
}
void frmMain::SerNo_Click() {
    pick(Control::SerNo);
}

void frmMain::NoJoy_Click() {
    showUpdate(presenter_.clickHide(noJoy()->checkState() != Qt::Unchecked));
}

void frmMain::Timer_Timer() {
    const rotorix::view::Update update = presenter_.tick();
    if (session_.interval() != Timer->interval()) {
        Timer->setInterval(session_.interval());
    }
    showUpdate(update);
}

// ---- Operations ----

void frmMain::pick(Control picked) {
    const auto update =
        presenter_.pick(picked, [this](Control c) { return list(c)->currentIndex(); });
    if (!update) {
        return;
    }
    if (picked == Control::SerNo) {
        // A board switch: the watchdog starts afresh at the session's interval.
        Timer->stop();
        Timer->setInterval(session_.interval());
        showUpdate(*update);
        Timer->start();
    } else {
        showUpdate(*update);
    }
}

void frmMain::showUpdate(const rotorix::view::Update& update) {
    if (update.show) {
        showView(*update.show);
        keepFocusInWindow();
    }
    for (const std::u16string& text : update.announce) {
        announce(QString::fromStdU16String(text));
    }
}

void frmMain::keepFocusInWindow() {
    QWidget* focused = focusWidget();
    if (focused == nullptr || !focused->isEnabled()) {
        setFocus(Qt::OtherFocusReason);
    }
}

void frmMain::announce(const QString& text) {
    setAccessibleDescription(text);
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}
