// The program's window: the menu bar above the unchanged client, and the encoder test and find
// windows it opens, reached by keyboard and named for a screen reader.
#include <QAccessible>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "window_fixture.h"

namespace rotorix::test {
namespace {

class MenuTest : public ::testing::Test {
  protected:
    MenuTest() {
        platform.setReportInterval(std::chrono::milliseconds(4));
        board = platform.addBoard(saneBoard());
        window.Form_Load();
        window.activateWindow();
        QApplication::processEvents();
    }

    sim::SimPlatform platform;
    sim::SimPlatform::BoardId board = 0;
    app::MainWindow window{platform};
};

TEST_F(MenuTest, MenuBarStandsAboveTheClientWhichKeepsItsSize) {
    const int bar = window.menuBar()->height();
    EXPECT_GT(bar, 0);
    EXPECT_EQ(window.client().geometry(), QRect(0, bar, 297, 385));
    EXPECT_EQ(window.size(), QSize(297, 385 + bar));
    EXPECT_EQ(window.windowTitle(), window.client().windowTitle());
    EXPECT_EQ(window.testEncodersAction().shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    ASSERT_EQ(window.menuBar()->actions().size(), 2);
    EXPECT_EQ(window.menuBar()->actions()[0]->text(), QStringLiteral("&File"));
}

// Ctrl+S then Ctrl+O through a file whose name is not ASCII, the dialogs bypassed: the board
// gets back the settings it had when they were saved, and the lists show them.
TEST_F(MenuTest, SaveThenLoadRoundTripsTheBoardsSettings) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Drehgeber-Ωμ.json"));
    QString suggested;
    window.client().setFileDialogs({[&](QWidget*, const QString& offered) {
                                        suggested = offered;
                                        return name;
                                    },
                                    [&](QWidget*) { return name; }});
    const auto held = [&] { return platform.firmware(board).settings(); };
    const auto saved = held();

    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    ASSERT_NE(window.client().fileReport(), nullptr);
    EXPECT_TRUE(window.client().fileReport()->text().startsWith(
        QStringLiteral("The settings of 0001 were saved to")));
    EXPECT_EQ(suggested, QStringLiteral("0001.json"));
    window.client().fileReport()->accept();

    auto* enc4 = window.client().findChild<QComboBox*>(QStringLiteral("Enc4"));
    enc4->setFocus();
    QTest::keyClick(enc4, Qt::Key_Down);
    ASSERT_NE(held(), saved);

    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(held(), saved);
    EXPECT_EQ(enc4->currentIndex(), 0) << "the lists show what the board holds";
    ASSERT_NE(window.client().fileReport(), nullptr);
    EXPECT_TRUE(window.client().fileReport()->text().endsWith(
        QStringLiteral(":\n0001: written and read back equal")))
        << window.client().fileReport()->text().toStdString();
}

TEST_F(MenuTest, CtrlTOpensTheTestBesideAWorkingMainWindowAndEscClosesIt) {
    QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
    app::EncoderTestWindow* test = window.client().encoderTest();
    ASSERT_NE(test, nullptr);
    EXPECT_TRUE(test->isVisible());
    EXPECT_TRUE(test->timer().isActive());
    EXPECT_TRUE(window.client().timer().isActive()) << "the watchdog runs on";

    for (const char* name : {"cmdClear", "cmdClose"}) {
        auto* button = test->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << name;
        EXPECT_FALSE(
            QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name).isEmpty());
    }

    // A pick in the main window writes at once, and the test counts with the new type.
    auto* enc4 = window.client().findChild<QComboBox*>(QStringLiteral("Enc4"));
    enc4->setFocus();
    QTest::keyClick(enc4, Qt::Key_Down);
    EXPECT_EQ(writesIn(platform.firmware(board).received()).size(), 2u) << "both planes";
    EXPECT_EQ(test->shown().rows[3].type, u"1:1");

    test->activateWindow();
    QApplication::processEvents();
    QTest::keyClick(test, Qt::Key_Escape);
    EXPECT_FALSE(test->isVisible());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.client().encoderTest(), nullptr);
    EXPECT_EQ(platform.openHandles(board), 1) << "the test's handle is closed";
}

// Ctrl+F with a second board plugged in after the window opened: the find dialog watches both,
// a press on the new one shows it in SerNo; found again, Esc leaves it shown.
TEST_F(MenuTest, CtrlFShowsThePressedBoardAndEscLeavesTheSelection) {
    const auto other = platform.addBoard(saneBoard(u"0002"));
    const auto serNo = [&] {
        return window.client().findChild<QComboBox*>(QStringLiteral("SerNo"))->currentText();
    };
    // Ticks the open dialog until `done`, or it closed (it is deleted only by the event loop).
    const auto find = [&](const std::function<bool(const view::BoardFinderView&)>& done) {
        app::FindBoardDialog* dialog = window.client().findBoard();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dialog != nullptr && dialog->isVisible() && !done(dialog->shown()) &&
               std::chrono::steady_clock::now() < limit) {
            dialog->model().waitForInput(std::chrono::milliseconds(50));
            dialog->Timer_Timer();
        }
        return dialog;
    };
    EXPECT_EQ(window.findBoardAction().shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));

    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    app::FindBoardDialog* dialog =
        find([](const auto& v) { return v.status == u"Watching 2 boards."; });
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblPrompt"))->text(),
              QStringLiteral("Press a button or turn an encoder on the board you want"));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(cancel)->text(QAccessible::Name).isEmpty());
    platform.setButtons(other, 0x0001);
    find([](const auto&) { return false; });
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(serNo(), QStringLiteral("0002"));

    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    dialog = find([](const auto& v) { return v.status == u"Watching 2 boards."; });
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog, Qt::Key_Escape);
    platform.setButtons(board, 0x0001);
    EXPECT_FALSE(dialog->isVisible());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.client().findBoard(), nullptr);
    EXPECT_EQ(serNo(), QStringLiteral("0002"));
    EXPECT_EQ(platform.openHandles(board), 0) << "the dialog's handles are closed";
}

}  // namespace
}  // namespace rotorix::test
