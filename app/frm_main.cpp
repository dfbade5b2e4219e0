#include "app/frm_main.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QTimer>
#include <utility>

using rotorix::view::Control;

frmMain::frmMain(rotorix::hid::Platform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform), session_(platform) {
    buildLayout();
    wireNotifications();
}

frmMain::~frmMain() {
    // Whatever way the window goes, the board's handle is released exactly once (by the
    // session); the timer must not fire into a half-destroyed window. The test window goes
    // first: its watch reads the platform the session's board lives on.
    Timer->stop();
    delete encoder_test_;
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
    using Handler = void (frmMain::*)();
    static constexpr std::pair<Control, Handler> kListHandlers[] = {
        {Control::Enc1, &frmMain::Enc1_Click},       {Control::Enc2, &frmMain::Enc2_Click},
        {Control::Enc3, &frmMain::Enc3_Click},       {Control::Enc4, &frmMain::Enc4_Click},
        {Control::Enc5, &frmMain::Enc5_Click},       {Control::Enc6, &frmMain::Enc6_Click},
        {Control::Enc7, &frmMain::Enc7_Click},       {Control::Enc8, &frmMain::Enc8_Click},
        {Control::ModeCh1, &frmMain::ModeCh1_Click}, {Control::SerNo, &frmMain::SerNo_Click},
    };
    for (const auto& [id, handler] : kListHandlers) {
        connect(list(id), &QComboBox::activated, this, handler);
    }
    connect(noJoy(), &QCheckBox::clicked, this, &frmMain::NoJoy_Click);
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
}

// ---- Notification handlers ----

void frmMain::Form_Load() {
    show();
    showUpdate(presenter_.load());
}

void frmMain::Form_Unload() {
    Timer->stop();
    if (rotorix::app::EncoderTestWindow* test = encoder_test_) {
        test->close();
    }
    if (rotorix::app::FindBoardDialog* find = find_board_) {
        find->reject();
    }
    session_.close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMain::NoJoy_Click() {
    // Qt's next click on a tri-state box would grey it; only the view ever greys it.
    if (noJoy()->checkState() != Qt::PartiallyChecked) {
        noJoy()->setTristate(false);
    }
    showUpdate(presenter_.clickHide());
}

void frmMain::Timer_Timer() {
    showUpdate(presenter_.tick());
}

void frmMain::mnuTestEncoders_Click() {
    rotorix::app::EncoderTestWindow* test = encoder_test_;
    // One that was closed is hidden until the event loop deletes it.
    if (test == nullptr || !test->isVisible()) {
        test = new rotorix::app::EncoderTestWindow(platform_, session_, this);
        encoder_test_ = test;
    }
    test->show();
    test->raise();
    test->activateWindow();
}

void frmMain::mnuFindBoard_Click() {
    if (rotorix::app::FindBoardDialog* find = find_board_; find != nullptr && find->isVisible()) {
        find->raise();
        find->activateWindow();
        return;
    }
    auto* find = new rotorix::app::FindBoardDialog(platform_, session_, window());
    find_board_ = find;
    connect(find, &rotorix::app::FindBoardDialog::found, this,
            [this] { showUpdate(presenter_.switched()); });
    find->open();
}

// ---- Operations ----

void frmMain::pick(Control picked) {
    if (const auto update =
            presenter_.pick(picked, [this](Control c) { return list(c)->currentIndex(); })) {
        showUpdate(*update);
    }
}

void frmMain::showUpdate(const rotorix::view::Update& update) {
    if (update.timer && update.timer->restart) {
        Timer->start(update.timer->interval_ms);
    } else if (update.timer) {
        Timer->setInterval(update.timer->interval_ms);  // restarts it only if it runs
    }
    if (update.show) {
        showView(*update.show);
        keepFocusInWindow();
        if (rotorix::app::EncoderTestWindow* test = encoder_test_) {
            test->follow(session_.snapshot());
        }
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
