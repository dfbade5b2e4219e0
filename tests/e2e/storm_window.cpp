// The window under a hot-plug storm (e2e/vm/storm-hotplug): a frmMain on the system's platform,
// kept busy with the user's writes, board switches and restarts while boards come and go, so that
// boards vanish in the middle of its exchanges. Not a test suite; the script judges what it logs.
//
// Every call into the window must return within a second: a watchdog thread ends the program
// with "HANG: ..." otherwise. Each call that talks to a board is logged with its span, so the
// script can tell which unplugs landed inside one:
//   X <begin us> <end us> <action> <board> <lost>
// where the times are CLOCK_REALTIME (bash's $EPOCHREALTIME), <board> the index of the board the
// exchange was for and <lost> 1 when the window had lost that board by the end of the call.
// The index of the board the window has open (or -1) is kept in the --open file for the plugger.
//
// SIGTERM ends the storm: the window ticks until it shows a board again (the script has put
// every board back by then), and the program says "END: ..." and exits 0 only when the board it
// shows is attached.
//
// Usage: e2e_storm_window --log FILE --open FILE --seed N [--boards N]
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "app/frm_main.h"
#include "hid/system_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

long long wallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Ends the program when one call into the window outlives its bound. A thread of its own, as the
// hung call holds the main one.
class Watchdog {
  public:
    Watchdog() : thread_([this] { watch(); }) {}
    ~Watchdog() {
        quit_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Runs `call`, named `what`, under the bound; returns how long it took.
    template <typename F>
    Clock::duration run(const char* what, std::chrono::milliseconds bound, F&& call) {
        what_ = what;
        bound_ = bound.count();
        const Clock::time_point start = Clock::now();
        started_ = start.time_since_epoch().count();
        call();
        started_ = 0;
        const Clock::duration took = Clock::now() - start;
        longest_ = std::max(longest_, took);
        return took;
    }
    Clock::duration longest() const { return longest_; }

  private:
    // Under software emulation a busy call can take seconds of running or waiting for the CPU;
    // that is slowness, not a hang. What the bound holds is the time the call spends asleep in
    // the kernel (for a device, a lock, a timeout): sampled from the main thread's state. Ten
    // times the bound of wall time ends it regardless.
    void watch() {
        const std::string stat = "/proc/self/task/" + std::to_string(::getpid()) + "/stat";
        long long call = 0;
        std::chrono::milliseconds asleep{0};
        while (!quit_) {
            constexpr std::chrono::milliseconds kSample{20};
            std::this_thread::sleep_for(kSample);
            const long long started = started_;
            if (started == 0) {
                continue;
            }
            if (started != call) {
                call = started;
                asleep = {};
            }
            std::ifstream file(stat);
            std::string text(std::istreambuf_iterator<char>(file), {});
            const auto state = text.find(") ");
            if (state != std::string::npos && state + 2 < text.size() && text[state + 2] != 'R') {
                asleep += kSample;
                longestAsleep_ = std::max<long long>(longestAsleep_.load(), asleep.count());
            }
            const auto running = Clock::now() - Clock::time_point(Clock::duration(started));
            const std::chrono::milliseconds bound(bound_.load());
            if (asleep > bound || running > 10 * bound) {
                std::fprintf(
                    stderr, "HANG: %s has not returned after %lld ms, %lld ms of it asleep\n",
                    what_.load(),
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(running).count()),
                    static_cast<long long>(asleep.count()));
                // Where it waits in the kernel, or that it runs.
                for (const char* part : {"stat", "stack"}) {
                    std::ifstream info("/proc/self/task/" + std::to_string(::getpid()) + "/" +
                                       part);
                    std::fprintf(stderr, "HANG: main thread's %s:\n%s\n", part,
                                 std::string(std::istreambuf_iterator<char>(info), {}).c_str());
                }
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

  public:
    long long longestAsleep() const { return longestAsleep_; }

  private:
    std::atomic<long long> longestAsleep_{0};
    std::atomic<bool> quit_{false};
    std::atomic<long long> started_{0};  // steady clock ticks of the running call; 0: none
    std::atomic<long long> bound_{0};
    std::atomic<const char*> what_{""};
    Clock::duration longest_{};
    std::thread thread_;  // last, so it starts once everything it uses exists
};

// Board i of the rig has serial STORM-<i> (e2e/vm/storm-hotplug).
int boardIndex(const QString& serial) {
    if (!serial.startsWith(QStringLiteral("STORM-"))) {
        return -1;
    }
    bool ok = false;
    const int index = serial.mid(6).toInt(&ok);
    return ok ? index : -1;
}

bool attached(int board) {
    std::ifstream udc("/sys/kernel/config/usb_gadget/board" + std::to_string(board) + "/UDC");
    std::string name;
    return std::getline(udc, name) && !name.empty();
}

class Storm {
  public:
    Storm(const char* log, std::string openFile, std::uint32_t seed)
        : log_(std::fopen(log, "w")), openFile_(std::move(openFile)), rng_(seed) {
        if (log_ == nullptr) {
            std::perror(log);
            std::exit(2);
        }
        std::setvbuf(log_, nullptr, _IOLBF, 0);
    }
    ~Storm() {
        window_.reset();
        std::fclose(log_);
    }
    Storm(const Storm&) = delete;
    Storm& operator=(const Storm&) = delete;

    void start() {
        // Qt's first window and the first walk are slow under emulation and the sanitizers; only
        // the calls after it are held to a second.
        watchdog_.run("start-up", std::chrono::seconds(60), [this] { load(); });
    }

    void run() {
        while (stopRequested == 0) {
            publishOpenBoard();
            if (!window_->settingsLoaded()) {
                call("search-tick", [this] { window_->Timer_Timer(); });
                std::this_thread::sleep_for(std::chrono::milliseconds(window_->timer().interval()));
                continue;
            }
            const int roll = uniform(0, 99);
            if (roll < 55) {
                exchange("encoder-write", [this] { pickOn(encoder(uniform(1, 8))); });
            } else if (roll < 70) {
                exchange("pulse-write", [this] { pickOn(control<QComboBox>("ModeCh1")); });
            } else if (roll < 82) {
                exchange("hide-write", [this] { control<QCheckBox>("NoJoy")->click(); });
            } else if (roll < 92) {
                switchBoard();
            } else if (roll < 94) {
                restart();
            } else {
                exchange("tick", [this] { window_->Timer_Timer(); });
                // What the window's own event loop would do between ticks.
                call("events", [] { QApplication::processEvents(); });
            }
        }
    }

    // Every board is back: the window must find one and show it.
    bool settle() {
        for (int i = 0; i < 400 && !showsAttachedBoard(); ++i) {
            call("settle-tick", [this] { window_->Timer_Timer(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(window_->timer().interval()));
        }
        const QString shown = control<QComboBox>("SerNo")->currentText();
        const bool good = showsAttachedBoard();
        std::printf(
            "END: the window shows %s%s; %lld calls, %lld exchanges, %lld lost their "
            "board, longest call %lld ms, longest asleep in one call %lld ms\n",
            shown.isEmpty() ? "no board" : qPrintable(shown),
            good ? " (attached)" : " (NOT a loaded, attached board)", calls_, exchanges_, lost_,
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(watchdog_.longest()).count()),
            watchdog_.longestAsleep());
        return good;
    }

  private:
    void load() {
        window_ = std::make_unique<frmMain>(*platform_);
        window_->Form_Load();
    }

    template <typename W>
    W* control(const char* name) {
        return window_->findChild<W*>(QString::fromLatin1(name));
    }
    QComboBox* encoder(int n) {
        return window_->findChild<QComboBox*>(QStringLiteral("Enc%1").arg(n));
    }

    int openBoard() {
        return window_->settingsLoaded() ? boardIndex(control<QComboBox>("SerNo")->currentText())
                                         : -1;
    }
    bool showsAttachedBoard() {
        const int board = openBoard();
        return board >= 0 && attached(board);
    }

    void publishOpenBoard() {
        const int board = openBoard();
        if (board == published_) {
            return;
        }
        // Renamed into place, so that the plugger never reads half a number.
        const std::string next = openFile_ + ".new";
        if (std::FILE* file = std::fopen(next.c_str(), "w")) {
            std::fprintf(file, "%d\n", board);
            std::fclose(file);
            std::rename(next.c_str(), openFile_.c_str());
            published_ = board;
        }
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    template <typename F>
    void call(const char* what, F&& body,
              std::chrono::milliseconds bound = std::chrono::seconds(1)) {
        ++calls_;
        watchdog_.run(what, bound, body);
    }

    void log(long long begin, const char* what, int board, bool lost) {
        ++exchanges_;
        lost_ += lost ? 1 : 0;
        std::fprintf(log_, "X %lld %lld %s %d %d\n", begin, wallMicros(), what, board,
                     lost ? 1 : 0);
    }

    // A call that talks to the open board, logged with its span; it lost the board when the
    // window no longer has that one open afterwards.
    template <typename F>
    void exchange(const char* what, F&& body) {
        const int board = openBoard();
        const long long begin = wallMicros();
        call(what, body);
        log(begin, what, board, openBoard() != board);
    }

    // Another item than the one shown, or -1 when the list offers no choice.
    int otherItem(QComboBox* list) {
        if (!list->isEnabled() || list->count() < 2) {
            return -1;
        }
        const int index = uniform(0, list->count() - 2);
        return index + (index >= list->currentIndex() ? 1 : 0);
    }

    // A user's pick, as the list raises it.
    static void pick(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    void pickOn(QComboBox* list) {
        if (const int index = otherItem(list); index >= 0) {
            pick(list, index);
        }
    }

    // Picks another listed board: a read-back of that one.
    void switchBoard() {
        QComboBox* serNo = control<QComboBox>("SerNo");
        const int index = otherItem(serNo);
        if (index < 0) {
            exchange("tick", [this] { window_->Timer_Timer(); });
            return;
        }
        const int board = boardIndex(serNo->itemText(index));
        const long long begin = wallMicros();
        call("switch-read-back", [&] { pick(serNo, index); });
        log(begin, "switch-read-back", board, openBoard() != board);
    }

    // As a user closing the program and starting it again: the start-up read-back of the last
    // listed board. Building the widgets is slow under emulation, so its bound is wider.
    void restart() {
        const long long begin = wallMicros();
        call(
            "restart",
            [this] {
                window_.reset();
                load();
            },
            std::chrono::seconds(5));
        const int board = openBoard();
        log(begin, "restart", board, board < 0);
    }

    std::FILE* log_;
    std::string openFile_;
    std::mt19937 rng_;
    std::unique_ptr<rotorix::hid::Platform> platform_ = rotorix::hid::makeSystemPlatform();
    std::unique_ptr<frmMain> window_;
    Watchdog watchdog_;
    int published_ = -2;
    long long calls_ = 0;
    long long exchanges_ = 0;
    long long lost_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const char* log = nullptr;
    std::string open;
    std::uint32_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--log") {
            log = argv[i + 1];
        } else if (option == "--open") {
            open = argv[i + 1];
        } else if (option == "--seed") {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 0));
        }
    }
    if (log == nullptr || open.empty()) {
        std::fprintf(stderr, "usage: e2e_storm_window --log FILE --open FILE --seed N\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    int status = 0;
    {
        QApplication application(argc, argv);
        Storm storm(log, open, seed);
        storm.start();
        storm.run();
        status = storm.settle() ? 0 : 1;
    }
    return status;
}
