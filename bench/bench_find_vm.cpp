// How long "Find a board by pressing a button" takes inside the VM rig (e2e/vm/bench-find): the
// real window on the Linux backend, its event loop and timers running as a user's would, and a
// button pressed on one emulated board through its control FIFO. Each run opens the find dialog,
// waits until it watches every board, presses, and clocks the time until the window's selector
// shows that board. Prints each run, the median and the worst. A benchmark: it asserts nothing.
//
// Usage: bench_find_vm PRESSES SERIAL... (the boards' serials in the rig's bus order)
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "hid/linux/linux_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// One command to the board program, as the rig's suites send them (tests/e2e/vm_rig.h).
bool control(int board, const std::string& command) {
    const std::string path = "/run/rotorix-e2e/board" + std::to_string(board) + ".control";
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string line = command + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written;
}

// Runs the event loop until `done`; false after 20 s.
bool runUntil(const std::function<bool()>& done) {
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (Clock::now() > limit) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_find_vm PRESSES SERIAL...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int presses = std::atoi(argv[1]);
    std::vector<QString> serials;
    for (int i = 2; i < argc; ++i) {
        serials.push_back(QString::fromLocal8Bit(argv[i]));
    }
    const int boards = static_cast<int>(serials.size());
    QApplication application(argc, argv);
    auto platform = rotorix::hid::makeLinuxPlatform();
    rotorix::app::MainWindow window(*platform);
    window.Form_Load();
    auto* serNo = window.client().findChild<QComboBox*>(QStringLiteral("SerNo"));
    if (serNo == nullptr || !runUntil([&] { return serNo->count() == boards; })) {
        std::fprintf(stderr, "the window does not list %d boards\n", boards);
        return 1;
    }
    const QString watching = QStringLiteral("Watching %1 boards.").arg(boards);

    std::vector<double> runs;
    for (int run = 0; run < presses; ++run) {
        int board = run % boards;
        if (serials[static_cast<std::size_t>(board)] == serNo->currentText()) {
            board = (board + 1) % boards;  // each press changes what the selector shows
        }
        window.client().mnuFindBoard_Click();
        rotorix::app::FindBoardDialog* find = window.client().findBoard();
        auto* status =
            find != nullptr ? find->findChild<QLabel*>(QStringLiteral("lblStatus")) : nullptr;
        if (status == nullptr || !runUntil([&] { return status->text() == watching; })) {
            std::fprintf(stderr, "run %d: the dialog does not watch every board (%s)\n", run,
                         status != nullptr ? qPrintable(status->text()) : "no dialog");
            return 1;
        }
        const QString& wanted = serials[static_cast<std::size_t>(board)];
        const auto pressed = Clock::now();
        if (!control(board, "press 1")) {
            std::fprintf(stderr, "board %d takes no commands\n", board);
            return 1;
        }
        const bool shown = runUntil([&] { return serNo->currentText() == wanted; });
        const auto took = Clock::now() - pressed;
        control(board, "release 1");
        if (!shown) {
            std::fprintf(stderr, "run %d: %s was never shown\n", run, qPrintable(wanted));
            return 1;
        }
        runs.push_back(ms(took));
        std::printf("press %2d on %s: shown after %.1f ms\n", run + 1, qPrintable(wanted),
                    runs.back());
        // The dialog goes with the event loop's next turn; the board's release is let pass.
        runUntil([&] { return window.client().findBoard() == nullptr; });
    }
    // The same switch picked in the list, for the share of the board's read-back in the above.
    std::vector<double> picks;
    for (int run = 0; run < presses; ++run) {
        serNo->setCurrentIndex((serNo->currentIndex() + 1) % boards);
        const auto picked = Clock::now();
        window.client().SerNo_Click();
        picks.push_back(ms(Clock::now() - picked));
        QCoreApplication::processEvents();
    }
    const auto summary = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        const double median = n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
        return std::make_pair(median, values.back());
    };
    const auto [median, worst] = summary(runs);
    std::printf(
        "find: %zu presses among %d boards: median %.1f ms, worst %.1f ms "
        "(the board is polled every 4 ms)\n",
        runs.size(), boards, median, worst);
    const auto [pick_median, pick_worst] = summary(picks);
    std::printf(
        "a pick in the list (the switch and read-back alone): median %.1f ms, worst "
        "%.1f ms\n",
        pick_median, pick_worst);
    return 0;
}
