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

    QMenu* board = menuBar()->addMenu(tr("&Board"));
    board->setObjectName(QStringLiteral("mnuBoard"));
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
