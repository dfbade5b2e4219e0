// What `rotorixctl test` costs and how well it stamps, against an emulated board inside run-vm
// (e2e/vm/bench-input starts it). A measurement, not a test: it prints figures and asserts
// nothing.
//
// 1. CPU: the program tests the board for N seconds (60 unless told) while nobody turns
//    anything, once while the board sends nothing and once while it sends its unchanged report
//    at every poll. The program's user and system time over the wall time, as a share of one
//    core.
// 2. Stamping: 200 steps (two pairs, 100 each, one way and the other, 10 steps a second); each
//    step's width as the program printed it against the board's own record of that pulse
//    (board0.pulses, the same monotonic clock): the median and the worst error.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSteps = 200;

std::string rigDir() {
    const char* dir = std::getenv("ROTORIX_E2E_DIR");
    return dir != nullptr ? dir : "/tmp";
}

bool control(const std::string& command) {
    const int fd = ::open("/run/rotorix-e2e/board0.control", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string line = command + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written;
}

// The widths of the board's recorded pulses, in milliseconds, in order.
std::vector<double> boardWidths() {
    std::ifstream file(rigDir() + "/board0.pulses");
    std::vector<double> widths;
    std::string word;
    long long pair = 0, button = 0, start = 0, end = 0;
    while (file >> word >> pair >> button >> start >> end) {
        widths.push_back(static_cast<double>(end - start) / 1e6);
    }
    return widths;
}

// Runs the program with `args`, its standard output into a pipe; the child's pid.
pid_t start(const std::vector<std::string>& args, int& out) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    out = fds[0];
    return pid;
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// `state`: "silent" (the board sends nothing) or "talkative" (its unchanged report at every
// poll).
int measureCpu(const std::string& program, const std::string& board, int duration,
               const std::string& state) {
    if (!control(state)) {
        std::fprintf(stderr, "board 0 takes no commands\n");
        return 1;
    }
    int out = -1;
    const auto began = std::chrono::steady_clock::now();
    const pid_t pid =
        start({program, "test", "--board", board, "--seconds", std::to_string(duration)}, out);
    char chunk[4096];
    while (::read(out, chunk, sizeof chunk) > 0) {
    }
    ::close(out);
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) {
        std::fprintf(stderr, "the program did not run\n");
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    std::printf(
        "cpu, board %s: %.3f s (user %.3f, system %.3f) over %.1f s: %.2f %% of a core; "
        "%ld voluntary context switches; exit status %d\n",
        state.c_str(), cpu, seconds(usage.ru_utime), seconds(usage.ru_stime), wall,
        100.0 * cpu / wall, usage.ru_nvcsw, WEXITSTATUS(status));
    return 0;
}

// "width_ms":24.112 from one step's line; negative when the line is no step.
double widthOf(const std::string& line) {
    const std::string key = "\"width_ms\":";
    const auto at = line.find(key);
    return at == std::string::npos ? -1.0 : std::atof(line.c_str() + at + key.size());
}

int measureStamps(const std::string& program, const std::string& board) {
    const std::size_t before = boardWidths().size();
    int out = -1;
    const pid_t pid = start(
        {program, "test", "--json", "--board", board, "--count", std::to_string(kSteps)}, out);
    FILE* lines = ::fdopen(out, "r");
    char text[4096];
    // The settings' line comes once the program has the board's first report.
    if (pid < 0 || lines == nullptr || std::fgets(text, sizeof text, lines) == nullptr) {
        std::fprintf(stderr, "the program did not start testing\n");
        return 1;
    }
    control("turn 1 " + std::to_string(kSteps / 2) + " 10");
    control("turn 2 -" + std::to_string(kSteps / 2) + " 10");
    std::vector<double> measured;
    while (std::fgets(text, sizeof text, lines) != nullptr) {
        if (const double width = widthOf(text); width >= 0) {
            measured.push_back(width);
        }
    }
    std::fclose(lines);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::vector<double> all = boardWidths();
    if (measured.size() != static_cast<std::size_t>(kSteps) ||
        all.size() != before + static_cast<std::size_t>(kSteps)) {
        std::fprintf(stderr, "%zu steps measured, %zu pulses recorded\n", measured.size(),
                     all.size() - before);
        return 1;
    }
    std::vector<double> errors;
    for (std::size_t k = 0; k < measured.size(); ++k) {
        errors.push_back(measured[k] - all[before + k]);
    }
    std::vector<double> sizes(errors.size());
    std::transform(errors.begin(), errors.end(), sizes.begin(),
                   [](double e) { return std::abs(e); });
    std::sort(errors.begin(), errors.end());
    std::sort(sizes.begin(), sizes.end());
    std::printf(
        "stamping over %d steps of %.1f ms pulses: error median %.3f ms (signed %+.3f ms), "
        "worst %.3f ms; 95th percentile %.3f ms\n",
        kSteps, all[before], sizes[sizes.size() / 2], errors[errors.size() / 2], sizes.back(),
        sizes[sizes.size() * 95 / 100]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_input_vm ROTORIXCTL BOARD [SECONDS]\n");
        return 2;
    }
    const int duration = argc > 3 ? std::atoi(argv[3]) : 60;
    for (const char* state : {"silent", "talkative"}) {
        if (const int failed = measureCpu(argv[1], argv[2], duration, state); failed != 0) {
            return failed;
        }
    }
    return measureStamps(argv[1], argv[2]);
}
