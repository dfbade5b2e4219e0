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
        // Qt's next click on a tri-state box would grey it; only the view ever greys it.
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

void frmMain::NoJoy_Click() {
    showUpdate(presenter_.clickHide());
}

void frmMain::Timer_Timer() {
    showUpdate(presenter_.tick());
}

// ---- Operations ----

void frmMain::pick(Control picked) {
    if (const auto update =
            presenter_.pick(picked, [this](Control c) { return list(c)->currentIndex(); })) {
        showUpdate(*update);
    }
}

void frmMain::showUpdate(const rotorix::view::Update& update) {
    if (update.restart_timer) {
        Timer->start(*update.timer_ms);
    } else if (update.timer_ms && *update.timer_ms != Timer->interval()) {
        Timer->setInterval(*update.timer_ms);
    }
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
