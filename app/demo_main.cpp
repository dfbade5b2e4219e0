// The configurator on two virtual boards, for trying every control without hardware. Now and
// then the boards turn an encoder, so the encoder test window (Board menu, Ctrl+T) has steps to
// show.
#include <QApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/quit_on_signal.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

namespace {

// The demo boards (added first, so numbered 0 and 1) and the pairs they have set to an encoder.
const std::array<std::vector<int>, 2> kEncoderPairs{{{1, 2, 3}, {1, 2, 3, 4, 5, 6}}};
constexpr int kTurnEveryMs = 2500;
constexpr int kStepsPerSecond = 8;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    rotorix::app::describeApplication(application);
    rotorix::sim::SimPlatform platform;
    // A report every 4 ms, as a board's endpoint is polled: the test window's reader then waits
    // as it would on a real board instead of spinning.
    platform.setReportInterval(std::chrono::milliseconds(4));
    rotorix::sim::addDemoBoards(platform);
    rotorix::app::MainWindow window(platform);
    window.setWindowTitle(window.windowTitle() + QStringLiteral(" (demo boards)"));
    rotorix::app::closeOnStopSignals(&window);

    // Each board turns its next encoder a few steps, one way and then the other.
    QTimer turns;
    int round = 0;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        for (int board = 0; board < 2; ++board) {
            const auto& pairs = kEncoderPairs[static_cast<std::size_t>(board)];
            const int pair = pairs[static_cast<std::size_t>(round) % pairs.size()];
            const int steps = (round % 2 == 0 ? 1 : -1) * (2 + round % 4);
            platform.turn(board, pair, steps, kStepsPerSecond);
        }
        ++round;
    });
    turns.start(kTurnEveryMs);

    window.Form_Load();
    return application.exec();
}
