// The window on the simulated platform: one offscreen QApplication for the whole test program,
// a fixture that starts from a sane board, and helpers that find the window's controls by name
// (what a board received is spelled out in board_traffic.h).
//
// The window's timer is never allowed to fire on its own: tests drive the watchdog by calling
// Timer_Timer(), and a real tick in the middle of a test would make its outcome depend on how fast
// the machine is. The fixture counts real ticks and fails the test if one happens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "board_traffic.h"

// Failure messages show text, not UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace rotorix::test {

// One QApplication for the whole program, made before the first test and destroyed after the
// last, inside GoogleTest's run: Qt must not be torn down by a static destructor, and destroying
// it properly releases the font caches the leak checker would otherwise report. Registered from
// a static initializer so that gtest_main can stay the program's main.
class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

  private:
    int argc_ = 1;
    char name_[21] = "rotorix-window-tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// ---- The fixture ----

// The window's controls as a test reaches them, whatever platform the window runs on.
class WindowControls {
  public:
    WindowControls() = default;
    WindowControls(const WindowControls&) = delete;
    WindowControls& operator=(const WindowControls&) = delete;
    virtual ~WindowControls() = default;

    virtual frmMain& window() = 0;

    template <typename W = QWidget>
    W* control(const QString& name) {
        auto* widget = window().findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << "no control " << name.toStdString() << " of that kind";
        return widget;
    }
    template <typename W = QWidget>
    W* control(const char* name) {
        return control<W>(QString::fromLatin1(name));
    }

    QComboBox* list(const char* name) { return control<QComboBox>(name); }
    QComboBox* enc(int n) { return control<QComboBox>(QStringLiteral("Enc%1").arg(n)); }
    QComboBox* pulse() { return list("ModeCh1"); }
    QComboBox* serNo() { return list("SerNo"); }
    QCheckBox* noJoy() { return control<QCheckBox>("NoJoy"); }
    QString caption(const char* label) { return control<QLabel>(label)->text(); }

    // What Enc1..Enc8 show, e.g. {"1:1", "OFF", ...}; "" for a list without a selection.
    std::vector<std::string> shownTypes() {
        std::vector<std::string> shown;
        for (int n = 1; n <= 8; ++n) {
            shown.push_back(enc(n)->currentText().toStdString());
        }
        return shown;
    }

    // Enc1..Enc8, ModeCh1 and NoJoy: the controls whose changes go to the board.
    std::vector<QWidget*> settingControls() {
        std::vector<QWidget*> controls;
        for (int n = 1; n <= 8; ++n) {
            controls.push_back(enc(n));
        }
        controls.push_back(pulse());
        controls.push_back(noJoy());
        return controls;
    }

    // True when no setting control accepts input and every list is empty.
    ::testing::AssertionResult settingControlsClearedAndDisabled() {
        for (QWidget* widget : settingControls()) {
            if (widget->isEnabled()) {
                return ::testing::AssertionFailure()
                       << widget->objectName().toStdString() << " is enabled";
            }
            if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->count() != 0) {
                return ::testing::AssertionFailure() << widget->objectName().toStdString()
                                                     << " holds " << combo->count() << " items";
            }
        }
        if (noJoy()->checkState() != Qt::Unchecked) {
            return ::testing::AssertionFailure() << "NoJoy is not unchecked";
        }
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult settingControlsEnabled() {
        for (QWidget* widget : settingControls()) {
            if (!widget->isEnabled()) {
                return ::testing::AssertionFailure()
                       << widget->objectName().toStdString() << " is disabled";
            }
        }
        return ::testing::AssertionSuccess();
    }

    // A user's keystroke on a closed list: Qt moves the selection and raises `activated`.
    void press(QComboBox* combo, Qt::Key key) {
        combo->setFocus(Qt::TabFocusReason);
        QTest::keyClick(combo, key);
    }
    // A user's mouse click on the check box (press and release on its indicator).
    void click(QCheckBox* box) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect hit = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, hit.center());
    }
};

class WindowTest : public ::testing::Test, public WindowControls {
  protected:
    WindowTest() {
        EXPECT_NE(QApplication::instance(), nullptr) << "the Qt environment was not set up";
    }

    void TearDown() override {
        EXPECT_EQ(realTicks_, 0) << "the window's timer fired on its own during the test";
    }

    BoardId addBoard(const sim::BoardSpec& design = saneBoard()) {
        return platform.addBoard(design);
    }

    // The window as the layout leaves it, before Form_Load.
    frmMain& create() {
        window_ = std::make_unique<frmMain>(platform);
        QObject::connect(&window_->timer(), &QTimer::timeout, [this] { ++realTicks_; });
        return *window_;
    }

    frmMain& load() {
        if (!window_) {
            create();
        }
        window_->Form_Load();
        return *window_;
    }

    frmMain& window() override {
        EXPECT_NE(window_, nullptr) << "the test never created the window";
        return *window_;
    }

    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) {
            window().Timer_Timer();
        }
    }

    const std::vector<Report>& received(BoardId id) const {
        return platform.firmware(id).received();
    }
    std::vector<Report> writesTo(BoardId id) const { return writesIn(received(id)); }
    void forgetTraffic(BoardId id) { platform.firmware(id).clearReceived(); }

    SimPlatform platform;

  private:
    std::unique_ptr<frmMain> window_;  // declared after the platform, so destroyed before it
    int realTicks_ = 0;
};

}  // namespace rotorix::test
