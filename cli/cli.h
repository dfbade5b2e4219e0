// rotorixctl as a function: what main() hands over, and the one entry point the tests call too.
#pragma once

#include <csignal>
#include <iosfwd>
#include <string>
#include <vector>

#include "hid/platform.h"

namespace rotorix::cli {

// Exit statuses, as the manual page lists them.
enum ExitStatus : int {
    kDone = 0,
    kBoardRefused = 1,  // a board refused or lost an exchange; what was not written is said
    kNoChange = 1,      // which: no board's buttons changed before the time-out
    kBadUsage = 2,      // bad arguments or a bad profile; nothing was sent to any board
    kNoBoard = 3,       // no such board, no board, or it cannot be configured
};

struct Context {
    hid::Platform& platform;  // the system's boards; --demo brings its own
    std::istream& in;         // `import -`
    std::ostream& out;        // results
    std::ostream& err;        // messages
    // Set (from a signal handler) to end `watch`, `test` or `which`; null: nothing ends them but
    // their
    // --count or --seconds or a lost board.
    const volatile std::sig_atomic_t* stop = nullptr;
    // Called once `watch`, `test` or `which` starts to wait for reports, so the caller can make
    // Ctrl-C set `stop` only then; may be null.
    void (*catch_stop_signals)() = nullptr;
    // How long `watch`, `test` and `which` wait for input before they look at `stop` again.
    int watch_wait_ms = 200;
    // How long `--demo watch` lets pass between the virtual board's reports (0 in tests).
    int demo_pace_ms = 40;
};

// Runs one command line (without the program name) and returns its exit status.
int run(const std::vector<std::string>& args, Context& context);

}  // namespace rotorix::cli
