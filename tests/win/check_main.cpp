// rotorix-config-check.exe, the window's test build: the same window, on the boards attached to
// this computer or on virtual ones, run through a list of steps that print what it shows.
//
//   rotorix-config-check [--demo | --demo=none] [--self-check OUT STEP...]
//
// --demo gives it the two demo boards, --demo=none a simulated system without any. Without
// --self-check it runs like rotorix-config. With it, the steps (see self_check.h, plus
// unplug:N, replug:N and traffic:N for demo board N, counted from 1) run, what they print goes
// to OUT, and the exit status is 1 when a step failed.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "config/protocol.h"
#include "hid/discovery.h"
#include "hid/system_platform.h"
#include "self_check.h"
#include "session/board_session.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"
#include "win/main_window.h"

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (const std::uint8_t b : bytes) {
        std::array<char, 4> text{};
        std::snprintf(text.data(), text.size(), "%02X", b);
        out += (out.empty() ? "" : " ") + std::string(text.data());
    }
    return out;
}

// Steps on the demo boards (ids 0 and 1 in the order they were added):
//   unplug:N  replug:N      the board goes, or comes back
//   traffic:N               prints the reports it received since the last time
//   busy:N                  from now on it cannot be opened: another program holds it
//   unreadable:N            from now on it answers, but refuses every read of its settings
//   setting:N:CODE:VALUE    its firmware holds VALUE for setting CODE (a value the window
//                           shows only when it next reads the board)
//   turn:N:PAIR:STEPS:RATE  it turns the encoder of PAIR by STEPS at RATE steps a second
//   buttons:N:MASK          from now on it holds the buttons of MASK, and no others
bool demoStep(rotorix::sim::SimPlatform& sim, std::string_view step, std::string& out) {
    std::vector<int> numbers;
    std::string_view rest = step;
    for (auto colon = rest.find(':'); colon != std::string_view::npos; colon = rest.find(':')) {
        rest = rest.substr(colon + 1);
        numbers.push_back(std::atoi(std::string(rest.substr(0, rest.find(':'))).c_str()));
    }
    const std::string_view verb = step.substr(0, step.find(':'));
    const int board = numbers.empty() ? -1 : numbers[0] - 1;
    if (board < 0 || board > 1) {
        return false;
    }
    if (verb == "unplug") {
        sim.unplug(board);
    } else if (verb == "replug") {
        sim.replug(board);
    } else if (verb == "traffic") {
        auto& firmware = sim.firmware(board);
        for (const auto& report : firmware.received()) {
            out += "board" + std::to_string(board + 1) + " <- " + hex(report) + "\n";
        }
        firmware.clearReceived();
    } else if (verb == "busy") {
        sim.refuseOpen(board, rotorix::hid::OpenError{rotorix::hid::OpenError::Kind::Busy,
                                                      "The process cannot access the file"});
    } else if (verb == "unreadable") {
        sim.failCall(board, rotorix::sim::Call::GetFeature, 1'000'000);
    } else if (verb == "buttons" && numbers.size() == 2) {
        sim.setButtons(board, static_cast<std::uint16_t>(numbers[1]));
    } else if (verb == "turn" && numbers.size() == 4) {
        return sim.turn(board, numbers[1], numbers[2], numbers[3]);
    } else if (verb == "setting" && numbers.size() == 3) {
        sim.firmware(board).setSetting(static_cast<std::uint8_t>(numbers[1]),
                                       static_cast<std::uint8_t>(numbers[2]));
    } else {
        return false;
    }
    return true;
}

// walk:N  waits, handling the window's messages, until a walk of the system's devices lists N
// boards (at most a minute): under Wine a replugged board reaches its device list a while after
// the kernel has it, and no notice says when. Prints nothing unless it gives up.
bool walkStep(rotorix::hid::Platform& platform, const rotorix::win::MainWindow& window,
              std::string_view step, std::string& out) {
    if (!step.starts_with("walk:")) {
        return false;
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::atoi(std::string(step.substr(5)).c_str()));
    const ULONGLONG limit = GetTickCount64() + 60'000;
    const rotorix::hid::DeviceMatch match{rotorix::config::kVendorId, rotorix::config::kProductId};
    while (rotorix::hid::listBoards(platform, match).boards.size() < wanted) {
        if (GetTickCount64() > limit) {
            out += "error: no walk listed " + std::to_string(wanted) + " boards in a minute\n";
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 250, QS_ALLINPUT);
        rotorix::win::pumpMessages(window);
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    std::vector<std::string> args = rotorix::base::programArguments(__argc, __argv);
    std::unique_ptr<rotorix::hid::Platform> platform;
    rotorix::sim::SimPlatform* sim = nullptr;
    std::wstring suffix;
    if (!args.empty() && args.front().starts_with("--demo")) {
        auto simulated = std::make_unique<rotorix::sim::SimPlatform>();
        // The encoder test's reader waits a report interval between reads, as on a board.
        simulated->setReportInterval(std::chrono::milliseconds(4));
        if (args.front() != "--demo=none") {
            rotorix::sim::addDemoBoards(*simulated);
        }
        sim = simulated.get();
        platform = std::move(simulated);
        suffix = L" (demo boards)";
        args.erase(args.begin());
    } else {
        platform = rotorix::hid::makeSystemPlatform();
    }
    const bool checking = args.size() >= 2 && args[0] == "--self-check";

    rotorix::session::BoardSession session(*platform);
    rotorix::win::MainWindow window(*platform, session, instance, {suffix, !checking});
    if (!window.create(show_command)) {
        return 1;
    }
    if (!checking) {
        return rotorix::win::runMessageLoop(window);
    }
    const std::vector<std::string> steps(args.begin() + 2, args.end());
    const std::string printed =
        rotorix::win::runSteps(window, steps, [&](std::string_view step, std::string& out) {
            return (sim != nullptr && demoStep(*sim, step, out)) ||
                   walkStep(*platform, window, step, out);
        });
    std::FILE* file = std::fopen(args[1].c_str(), "wb");
    if (file == nullptr) {
        return 1;
    }
    std::fwrite(printed.data(), 1, printed.size(), file);
    std::fclose(file);
    return printed.find("error:") == std::string::npos ? 0 : 1;
}
