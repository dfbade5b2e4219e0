// The window through the eyes of a screen reader and of a user without a mouse: accessible names,
// the keyboard order, keyboard-only changes reaching the board, and where the focus goes when the
// board disappears.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSet>
#include <QTest>

#include "app/frm_main.h"
#include "fixtures.h"
#include "sim/sim_platform.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using rotorix::sim::SimPlatform;

const char* const kFocusOrder[] = {"ModeCh1", "Enc1", "Enc2", "Enc3",  "Enc4", "Enc5",
                                   "Enc6",    "Enc7", "Enc8", "SerNo", "NoJoy"};

class KeyboardAndScreenReader : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = platform_.addBoard(rotorix::test::saneBoard(u"RX-1"));
        platform_.addBoard(rotorix::test::saneBoard(u"RX-2"));
        window_.Form_Load();
        window_.activateWindow();
        QApplication::processEvents();
    }

    template <typename W>
    W* control(const char* name) {
        auto* widget = window_.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The name a screen reader announces: that of the "labelled by" relation when there is one
    // (on Linux Qt names a list by its current item and leaves the label to the relation), else
    // the control's own.
    static QString accessibleName(QWidget* widget) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        if (iface == nullptr) {
            return {};
        }
        const auto labels = iface->relations(QAccessible::Label);
        if (!labels.isEmpty() && labels.front().first != nullptr) {
            return labels.front().first->text(QAccessible::Name);
        }
        return iface->text(QAccessible::Name);
    }

    // Only the reports sent after the start-up read-back.
    std::vector<std::vector<std::uint8_t>> writesTo(SimPlatform::BoardId id) const {
        const auto& all = platform_.firmware(id).received();
        return {all.begin() + static_cast<std::ptrdiff_t>(readBackReports_), all.end()};
    }

    SimPlatform platform_;
    SimPlatform::BoardId board_ = 0;
    frmMain window_{platform_};
    std::size_t readBackReports_ = 0;
};

TEST_F(KeyboardAndScreenReader, EveryFocusableControlHasADistinctName) {
    QSet<QString> names;
    for (const char* name : kFocusOrder) {
        const QString spoken = accessibleName(control<QWidget>(name));
        EXPECT_FALSE(spoken.trimmed().isEmpty()) << name;
        names.insert(spoken);
    }
    EXPECT_EQ(names.size(), static_cast<qsizetype>(std::size(kFocusOrder)));
    EXPECT_EQ(accessibleName(control<QWidget>("Enc1")), "Encoder type, buttons 1-2");
    EXPECT_EQ(accessibleName(control<QWidget>("Enc8")), "Encoder type, buttons 15-16");
    EXPECT_EQ(accessibleName(control<QWidget>("ModeCh1")), "Encoders pulse length");
    EXPECT_EQ(accessibleName(control<QWidget>("SerNo")), "Serial Number");
    EXPECT_EQ(accessibleName(control<QWidget>("NoJoy")), "Hide Rotorix from gaming devices list");
}

// What a screen reader says for a label: its accessible name.
QString spokenName(QLabel* label) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
    return iface != nullptr ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

TEST_F(KeyboardAndScreenReader, ValueLabelsReadOutTheBoardIdentity) {
    for (const char* name : {"lblManuf", "lblProduct", "lblVersion"}) {
        auto* label = control<QLabel>(name);
        EXPECT_FALSE(label->text().isEmpty()) << name;
        EXPECT_EQ(spokenName(label), label->text()) << name;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(iface, nullptr);
        EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty()) << name;
    }
}

TEST_F(KeyboardAndScreenReader, EmptyValueLabelsSayWhichValueIsMissing) {
    struct Row {
        const char* label;
        const char* none;
    };
    const Row kRows[] = {{"lblManuf", "Manufacturer: none"},
                         {"lblProduct", "Product: none"},
                         {"lblVersion", "Firmware version: none"}};
    // Empty rather than the frame's title, which Qt falls back to for a label without text.
    const auto expectEmptyRows = [&](frmMain& window, const char* when) {
        for (const Row& row : kRows) {
            auto* label = window.findChild<QLabel*>(QString::fromLatin1(row.label));
            ASSERT_NE(label, nullptr);
            ASSERT_TRUE(label->text().isEmpty()) << row.label << ' ' << when;
            EXPECT_EQ(spokenName(label), QString::fromLatin1(row.none)) << when;
        }
    };
    {
        SimPlatform none;
        frmMain empty(none);
        empty.Form_Load();
        expectEmptyRows(empty, "without a board");
        empty.Form_Unload();
    }
    platform_.unplug(0);
    platform_.unplug(1);
    window_.Timer_Timer();
    expectEmptyRows(window_, "after the board was lost");

    // One row empty, the others read out by their text.
    rotorix::sim::BoardSpec design = rotorix::test::saneBoard(u"RX-3");
    design.manufacturer.reset();
    platform_.addBoard(design);
    window_.Timer_Timer();
    EXPECT_EQ(spokenName(control<QLabel>("lblManuf")), "Manufacturer: none");
    EXPECT_EQ(spokenName(control<QLabel>("lblProduct")), " Rotary Encoder Board");
    EXPECT_EQ(spokenName(control<QLabel>("lblVersion")), " - upgrade firmware!");
}

TEST_F(KeyboardAndScreenReader, TheSerialNumberLabelIsNotAnnounced) {
    // The selector over it reads the serial number out; the label never shows text.
    for (bool withBoard : {true, false}) {
        if (!withBoard) {
            platform_.unplug(0);
            platform_.unplug(1);
            window_.Timer_Timer();
        }
        QAccessibleInterface* iface =
            QAccessible::queryAccessibleInterface(control<QLabel>("lblSerialNumber"));
        ASSERT_NE(iface, nullptr);
        EXPECT_TRUE(iface->state().invisible) << "with board: " << withBoard;
        EXPECT_TRUE(iface->text(QAccessible::Name).isEmpty()) << "with board: " << withBoard;
    }
}

TEST_F(KeyboardAndScreenReader, TabAndShiftTabFollowTheKeyboardOrder) {
    control<QWidget>("ModeCh1")->setFocus();
    for (std::size_t i = 1; i < std::size(kFocusOrder); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), kFocusOrder[i]);
    }
    for (std::size_t i = std::size(kFocusOrder) - 1; i-- > 0;) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), kFocusOrder[i]);
    }
}

TEST_F(KeyboardAndScreenReader, ArrowKeysOnAClosedListWriteBothPlanes) {
    const std::size_t before = platform_.firmware(1).received().size();
    auto* enc3 = control<QComboBox>("Enc3");
    enc3->setFocus();
    ASSERT_EQ(enc3->currentText(), "1:2");  // the sane board's planes 0x03 / 0x06
    QTest::keyClick(enc3, Qt::Key_Down);
    EXPECT_EQ(enc3->currentText(), "1:4");
    const auto& log = platform_.firmware(1).received();
    ASSERT_EQ(log.size(), before + 2);
    EXPECT_EQ(log[before], rotorix::test::paddedReport(9, {0x00, 0xEE, 8, 0x07}));
    EXPECT_EQ(log[before + 1], rotorix::test::paddedReport(9, {0x00, 0xEE, 9, 0x06}));
}

TEST_F(KeyboardAndScreenReader, SpaceTogglesTheHideFlagAndSendsCommandB0) {
    const std::size_t before = platform_.firmware(1).received().size();
    auto* noJoy = control<QCheckBox>("NoJoy");
    noJoy->setFocus();
    QTest::keyClick(noJoy, Qt::Key_Space);
    EXPECT_TRUE(noJoy->isChecked());
    const auto& log = platform_.firmware(1).received();
    ASSERT_EQ(log.size(), before + 2);
    EXPECT_EQ(log[before], rotorix::test::paddedReport(9, {0x00, 0xEE, 1, 1}));
    EXPECT_EQ(log[before + 1], rotorix::test::paddedReport(9, {0x00, 0xB0, 1, 1}));
}

TEST_F(KeyboardAndScreenReader, LosingTheBoardLeavesTheFocusOnTheWindowAndSaysSo) {
    platform_.unplug(0);
    platform_.unplug(1);
    control<QWidget>("Enc2")->setFocus();
    window_.Timer_Timer();
    EXPECT_FALSE(control<QWidget>("Enc2")->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), &window_);
    EXPECT_FALSE(window_.accessibleDescription().isEmpty());
}

TEST_F(KeyboardAndScreenReader, ARefusedWriteIsAnnounced) {
    window_.setAccessibleDescription({});
    platform_.failCall(rotorix::sim::Call::SendFeature, 2);
    auto* enc1 = control<QComboBox>("Enc1");
    enc1->setFocus();
    QTest::keyClick(enc1, Qt::Key_Down);
    EXPECT_TRUE(window_.settingsLoaded());
    EXPECT_EQ(enc1->currentText(), "1:1");  // read back from the board, not the refused pick
    EXPECT_FALSE(window_.accessibleDescription().isEmpty());
}

}  // namespace
