// The program's top-level window: the menu bar above the unchanged client area (frmMain). The
// window grows by the menu bar's height; the 32 controls and their places are frmMain's alone.
#pragma once

#include <QMainWindow>

#include "app/frm_main.h"
#include "hid/platform.h"

class QAction;

namespace rotorix::app {

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The platform must outlive the window.
    explicit MainWindow(hid::Platform& platform, QWidget* parent = nullptr);

    // Shows the window and loads the client (frmMain::Form_Load).
    void Form_Load();  // NOLINT(readability-identifier-naming)

    frmMain& client() { return *client_; }
    QAction& testEncodersAction() { return *test_encoders_; }
    QAction& findBoardAction() { return *find_board_; }
    QAction& saveAction() { return *save_; }
    QAction& loadAction() { return *load_; }
    QAction& loadEveryAction() { return *load_every_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    frmMain* client_ = nullptr;  // owned as the central widget
    QAction* test_encoders_ = nullptr;
    QAction* find_board_ = nullptr;
    QAction* save_ = nullptr;
    QAction* load_ = nullptr;
    QAction* load_every_ = nullptr;
};

}  // namespace rotorix::app
