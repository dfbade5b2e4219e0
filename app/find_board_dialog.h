// Board -> "Find a board by pressing a button…": a small window-modal dialog that asks the user to
// press a button on the board they want, and switches the main window's session to the board
// whose buttons change first. What it shows and says comes from the toolkit-free model
// (view/board_finder.h); this only copies it into widgets.
//
// Its timer drains the input watch on the window's thread; the main window's watchdog runs on
// behind it. Cancel or Esc leaves the session as it was; either way the dialog deletes itself
// when it closes, which stops the watch.
#pragma once

#include <QDialog>
#include <memory>

#include "hid/platform.h"
#include "session/board_session.h"
#include "view/board_finder.h"

class QLabel;
class QPushButton;
class QTimer;

namespace rotorix::app {

class FindBoardDialog : public QDialog {
    Q_OBJECT

  public:
    // Both must outlive the dialog.
    FindBoardDialog(hid::Platform& platform, session::BoardSession& session, QWidget* parent);
    ~FindBoardDialog() override;

    // One tick of the dialog's timer; public so that tests drive it.
    void Timer_Timer();  // NOLINT(readability-identifier-naming)

    const view::BoardFinderView& shown() const { return model_->shown(); }
    // The model, for tests that wait for the watch's reader.
    view::BoardFinder& model() { return *model_; }

  signals:
    // The session switched to the board found; the dialog closes right after.
    void found();

  public slots:
    void reject() override;

  private:
    void showUpdate(const view::BoardFinderUpdate& update);
    void showView(const view::BoardFinderView& view);
    void announce(const QString& text);

    std::unique_ptr<view::BoardFinder> model_;
    QLabel* prompt_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace rotorix::app
