// The encoder test window: a small window of its own, opened from the main window's menu, that
// shows each pair's steps as the user turns its encoder. What it shows and says comes from the
// toolkit-free model (view/encoder_test.h); this only copies it into widgets.
//
// Its timer drains the input watch on the window's thread; the main window and its watchdog run
// on beside it. Closing it (Close, Esc, the title bar) deletes it, which stops the watch.
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "config/protocol.h"
#include "hid/platform.h"
#include "session/board_session.h"
#include "view/encoder_test.h"

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTimer;

namespace rotorix::app {

class EncoderTestWindow : public QWidget {
    Q_OBJECT

  public:
    // Tests the board `session` has open now. The platform must outlive the window.
    EncoderTestWindow(hid::Platform& platform, const session::BoardSession& session,
                      QWidget* parent);
    ~EncoderTestWindow() override;

    // The main window's session changed.
    void follow(const session::Snapshot& snapshot);
    // One tick of the window's timer; public so that tests drive it, as the main window's.
    void Timer_Timer();  // NOLINT(readability-identifier-naming)

    const view::EncoderTestView& shown() const { return model_->shown(); }
    // The model, for tests that wait for the watch's reader.
    view::EncoderTest& model() { return *model_; }
    const QTimer& timer() const { return *timer_; }

  private:
    struct Row {
        QLabel* name = nullptr;
        QLabel* type = nullptr;
        std::array<QLabel*, 2> buttons{};
        std::array<QLabel*, 2> steps{};
        QLabel* width = nullptr;
    };

    void build();
    QGridLayout* buildPairGrid();  // the headers and one row per pair
    QGroupBox* buildFindings();
    QHBoxLayout* buildButtons();
    void showUpdate(const view::EncoderTestUpdate& update);
    void showView(const view::EncoderTestView& view);
    void announce(const QString& text);

    std::unique_ptr<view::EncoderTest> model_;
    std::array<Row, config::kEncoderCount> rows_{};
    QLabel* status_ = nullptr;
    QLabel* findings_ = nullptr;
    QPushButton* clear_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace rotorix::app
