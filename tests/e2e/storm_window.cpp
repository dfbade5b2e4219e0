// The window under a hot-plug storm (e2e/vm/storm-hotplug): a frmMain on the system's platform,
// kept busy with the user's writes, board switches and restarts while boards come and go, so that
// boards vanish in the middle of its exchanges. Not a test suite; the script judges what it logs.
//
// Every call into the window must return within a second: a watchdog thread ends the program
// with "HANG: ..." (and every thread's stack, when gdb is there) otherwise. Each call that
// exchanged reports with a board is logged with its span, once per board, so the script can tell
// which unplugs landed inside one:
//   X <begin us> <end us> <action> <board> <lost>
// where the times are CLOCK_REALTIME (bash's $EPOCHREALTIME), <board> the index of a board the
// call spoke to and <lost> 1 when the window had not that board loaded by the end of the call.
// What the window shows is logged whenever it changes:
//   S <us> <action> <selected board> <found> <loaded> <boards listed> <notice>
// The index of the board the window has open (or -1) is kept in the --open file for the plugger.
//
// SIGTERM ends the storm: the window ticks until it shows a board again (the script has put
// every board back by then), and the program says "END: ..." and exits 0 only when the board it
// shows is attached.
//
// Usage: e2e_storm_window --log FILE --open FILE --seed N [--bound-scale N]
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <variant>

#include "app/frm_main.h"
#include "hid/system_platform.h"

namespace {

// A small file of /proc, whole; empty when it cannot be read.
std::string wholeFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

// Every call's bound is this many times its own (--bound-scale): a loaded machine slows the
// emulated one, and a generous bound beats a spurious hang.
long long boundScale = 1;

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
        bound_ = bound.count() * boundScale;
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
            const std::string text = wholeFile(stat);
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
                    const std::string info =
                        wholeFile("/proc/self/task/" + std::to_string(::getpid()) + "/" + part);
                    std::fprintf(stderr, "HANG: main thread's %s:\n%s\n", part, info.c_str());
                }
                std::fflush(stderr);
                backtrace();
                std::_Exit(3);
            }
        }
    }

    // Every thread's user-space stack, from gdb when the system has it: the kernel's stack says
    // nothing of a thread that spins in user space. Bounded, as gdb itself is slow under
    // emulation; stderr is where it writes.
    static void backtrace() {
        ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
        const std::string pid = std::to_string(::getpid());
        const char* argv[] = {"timeout",
                              "-k",
                              "10",
                              "300",
                              "gdb",
                              "-p",
                              pid.c_str(),
                              "-batch",
                              "-nx",
                              "-ex",
                              "set debuginfod enabled off",
                              "-ex",
                              "thread apply all bt",
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
        ::pid_t child = 0;
        std::fprintf(stderr, "HANG: backtraces:\n");
        std::fflush(stderr);
        if (::posix_spawnp(&child, "timeout", &actions, nullptr, const_cast<char**>(argv),
                           environ) == 0) {
            int status = 0;
            ::waitpid(child, &status, 0);
        } else {
            std::fprintf(stderr, "HANG: no gdb to ask\n");
        }
        posix_spawn_file_actions_destroy(&actions);
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

// The system's platform, noting which boards each call into the window exchanged reports with.
// A read-back can run inside any call (a search tick that found a board, a restart, a tick that
// reopens an unreadable board), so the window's own gestures cannot say which boards it spoke to.
class WitnessPlatform final : public rotorix::hid::Platform {
  public:
    explicit WitnessPlatform(std::unique_ptr<rotorix::hid::Platform> system)
        : system_(std::move(system)) {}

    // The boards spoken to since the previous take, as a bit per board index.
    unsigned take() { return std::exchange(spoken_, 0U); }

    rotorix::hid::Enumeration enumerate() override { return system_->enumerate(); }
    rotorix::hid::Enumeration enumerateMatching(const rotorix::hid::DeviceMatch& wanted) override {
        return system_->enumerateMatching(wanted);
    }
    std::optional<rotorix::hid::Identity> identify(
        const rotorix::hid::InterfaceInfo& entry) override {
        return system_->identify(entry);
    }
    bool devicesMayHaveChanged() override { return system_->devicesMayHaveChanged(); }
    rotorix::hid::OpenResult open(const rotorix::hid::InterfaceInfo& entry) override {
        rotorix::hid::OpenResult opened = system_->open(entry);
        if (auto* device = std::get_if<rotorix::hid::DeviceHandle>(&opened); device && *device) {
            const auto serial = (*device)->serialNumber();
            const int board = serial ? boardIndex(QString::fromStdU16String(*serial)) : -1;
            *device = std::make_unique<Witnessed>(std::move(*device), board, spoken_);
        }
        return opened;
    }

  private:
    class Witnessed final : public rotorix::hid::Device {
      public:
        Witnessed(rotorix::hid::DeviceHandle device, int board, unsigned& spoken)
            : device_(std::move(device)),
              bit_(board >= 0 && board < 32 ? 1U << board : 0U),
              spoken_(spoken) {}
        std::optional<std::u16string> serialNumber() override { return device_->serialNumber(); }
        std::optional<std::u16string> manufacturer() override { return device_->manufacturer(); }
        std::optional<std::u16string> product() override { return device_->product(); }
        std::optional<rotorix::hid::ReportLengths> reportLengths() override {
            return device_->reportLengths();
        }
        std::optional<std::vector<rotorix::hid::InputButton>> inputButtons() override {
            return device_->inputButtons();
        }
        bool sendFeatureReport(std::span<const std::uint8_t> report) override {
            spoken_ |= bit_;
            return device_->sendFeatureReport(report);
        }
        std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
            spoken_ |= bit_;
            return device_->getFeatureReport(buffer);
        }
        rotorix::hid::ReadOutcome readInputReport(std::span<std::uint8_t> buffer,
                                                  int timeout_ms) override {
            spoken_ |= bit_;
            return device_->readInputReport(buffer, timeout_ms);
        }
        std::string lastError() const override { return device_->lastError(); }

      private:
        rotorix::hid::DeviceHandle device_;
        unsigned bit_;
        unsigned& spoken_;
    };

    std::unique_ptr<rotorix::hid::Platform> system_;
    unsigned spoken_ = 0;
};

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
                call("encoder-write", [this] { pickOn(encoder(uniform(1, 8))); });
            } else if (roll < 70) {
                call("pulse-write", [this] { pickOn(control<QComboBox>("ModeCh1")); });
            } else if (roll < 82) {
                call("hide-write", [this] { control<QCheckBox>("NoJoy")->click(); });
            } else if (roll < 92) {
                switchBoard();
            } else if (roll < 94) {
                restart();
            } else {
                call("tick", [this] { window_->Timer_Timer(); });
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
        window_ = std::make_unique<frmMain>(platform_);
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
        platform_.take();
        const long long begin = wallMicros();
        watchdog_.run(what, bound, body);
        const unsigned spoken = platform_.take();
        for (int board = 0; spoken >> board != 0; ++board) {
            if ((spoken >> board & 1U) != 0) {
                log(begin, what, board, openBoard() != board);
            }
        }
        logState(what);
    }

    // What the window shows, each time it changes: S <us> <call> <board> <found> <loaded> <notice>
    void logState(const char* after) {
        const auto& shown = window_->session().snapshot();
        const auto* board = shown.selectedBoard();
        std::string state =
            std::to_string(board ? boardIndex(QString::fromStdU16String(board->identity.serial))
                                 : -1) +
            " " + std::to_string(window_->deviceFound() ? 1 : 0) + " " +
            std::to_string(window_->settingsLoaded() ? 1 : 0) + " " +
            std::to_string(shown.boards.size()) + " " + shown.notice;
        if (state != state_) {
            state_ = state;
            std::fprintf(log_, "S %lld %s %s\n", wallMicros(), after, state.c_str());
        }
    }

    void log(long long begin, const char* what, int board, bool lost) {
        ++exchanges_;
        lost_ += lost ? 1 : 0;
        std::fprintf(log_, "X %lld %lld %s %d %d\n", begin, wallMicros(), what, board,
                     lost ? 1 : 0);
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
            call("tick", [this] { window_->Timer_Timer(); });
            return;
        }
        call("switch-read-back", [&] { pick(serNo, index); });
    }

    // As a user closing the program and starting it again: the start-up read-back of the last
    // listed board. Building the widgets is slow under emulation, so its bound is wider.
    void restart() {
        call(
            "restart",
            [this] {
                window_.reset();
                load();
            },
            std::chrono::seconds(5));
    }

    std::FILE* log_;
    std::string openFile_;
    std::mt19937 rng_;
    WitnessPlatform platform_{rotorix::hid::makeSystemPlatform()};
    std::unique_ptr<frmMain> window_;
    Watchdog watchdog_;
    int published_ = -2;
    std::string state_;
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
        } else if (option == "--bound-scale") {
            boundScale = std::max(1LL, std::strtoll(argv[i + 1], nullptr, 10));
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
