#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

namespace rotorix::app {

MainWindow::MainWindow(hid::Platform& platform, QWidget* parent)
    : QMainWindow(parent), client_(new frmMain(platform, this)) {
    setCentralWidget(client_);
    setWindowTitle(client_->windowTitle());
    // The client's fixed size makes the window's: its width, and its height plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // File: settings to and from profiles, then Exit. Each command's text is what a screen
    // reader says; the shortcuts are the usual ones for save, open and quit.
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    const auto add = [&](const QString& text, const char* name, QKeySequence keys,
                         void (frmMain::*handler)()) {
        QAction* action = file->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, client_, handler);
        return action;
    };
    save_ = add(tr("&Save the settings…"), "mnuSave", QKeySequence(Qt::CTRL | Qt::Key_S),
                &frmMain::mnuSave_Click);
    load_ = add(tr("&Load settings…"), "mnuLoad", QKeySequence(Qt::CTRL | Qt::Key_O),
                &frmMain::mnuLoad_Click);
    load_every_ = add(tr("Load settings onto &every board…"), "mnuLoadEvery", QKeySequence(),
                      &frmMain::mnuLoadEvery_Click);
    file->addSeparator();
    QAction* exit = file->addAction(tr("E&xit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* board = menuBar()->addMenu(tr("&Board"));
    board->setObjectName(QStringLiteral("mnuBoard"));
    find_board_ = board->addAction(tr("&Find a board by pressing a button…"));
    find_board_->setObjectName(QStringLiteral("mnuFindBoard"));
    find_board_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find_board_, &QAction::triggered, client_, &frmMain::mnuFindBoard_Click);
    test_encoders_ = board->addAction(tr("&Test the encoders…"));
    test_encoders_->setObjectName(QStringLiteral("mnuTestEncoders"));
    test_encoders_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(test_encoders_, &QAction::triggered, client_, &frmMain::mnuTestEncoders_Click);
}

void MainWindow::Form_Load() {
    show();
    client_->Form_Load();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    client_->Form_Unload();
    event->accept();
}

}  // namespace rotorix::app
