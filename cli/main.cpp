// rotorixctl: the command line on the system's boards. Everything but the signals and the
// platform lives in run() (cli.h), which the tests call with a simulated platform.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "hid/hidapi_platform.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void requestStop(int) {
    stop_requested = 1;
}

// Only watch runs until it is told to stop; every other sub-command keeps the default, so
// Ctrl-C ends it at once.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program the usual way
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<rotorix::hid::Platform> platform = rotorix::hid::makeHidapiPlatform();
    rotorix::cli::Context context{*platform, std::cin, std::cout, std::cerr, &stop_requested};
    context.catch_stop_signals = catchStopSignals;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return rotorix::cli::run(args, context);
}
