// Runs rotorixctl's run() on the simulated platform and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fixtures.h"
#include "sim/sim_platform.h"

namespace rotorix::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs one command line on `platform`, without waits between watch's reads.
inline CliResult runCli(sim::SimPlatform& platform, const std::vector<std::string>& args,
                        const std::string& input = {},
                        const volatile std::sig_atomic_t* stop = nullptr,
                        void (*catch_stop)() = nullptr) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    cli::Context context{platform, in, out, err, stop};
    context.catch_stop_signals = catch_stop;
    context.watch_wait_ms = 0;
    context.demo_pace_ms = 0;
    const int status = cli::run(args, context);
    return {status, out.str(), err.str()};
}

class Cli : public ::testing::Test {
  protected:
    CliResult run(const std::vector<std::string>& args, const std::string& input = {}) {
        return runCli(platform, args, input, &stop, catch_stop);
    }

    // Every feature report any board received, in order per board.
    std::vector<std::vector<std::uint8_t>> received(sim::SimPlatform::BoardId id) const {
        return platform.firmware(id).received();
    }

    sim::SimPlatform platform;
    volatile std::sig_atomic_t stop = 0;
    void (*catch_stop)() = nullptr;
};

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The four read requests of one read-back of a board with 9-byte feature reports.
inline std::vector<std::vector<std::uint8_t>> readBack9() {
    return {paddedReport(9, {0x00, 0x08}), paddedReport(9, {0x00, 0x09}),
            paddedReport(9, {0x00, 0x0A}), paddedReport(9, {0x00, 0x01})};
}

}  // namespace rotorix::test
