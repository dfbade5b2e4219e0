// rotorixctl: the command line on the system's boards. Everything but the signals and the
// platform lives in run() (cli.h), which the tests call with a simulated platform.
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "cli/cli.h"
#include "hid/system_platform.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void requestStop(int signal) {
    stop_requested = 1;
    std::signal(signal, SIG_DFL);  // a second Ctrl-C ends the program the usual way
}

// Only watch, test and which run until they are told to stop; every other sub-command keeps the default,
// so Ctrl-C ends it at once.
void catchStopSignals() {
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
}

}  // namespace

int main(int argc, char* argv[]) {
    const rotorix::base::Utf8Console console;
    const std::unique_ptr<rotorix::hid::Platform> platform = rotorix::hid::makeSystemPlatform();
    rotorix::cli::Context context{*platform, std::cin, std::cout, std::cerr, &stop_requested};
    context.catch_stop_signals = catchStopSignals;
    return rotorix::cli::run(rotorix::base::programArguments(argc, argv), context);
}
