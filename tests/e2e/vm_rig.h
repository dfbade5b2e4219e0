// What a suite running inside run-vm's guest sees of the emulated boards: their logs, their
// cables, and the kernel's announcements that a device came or went.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rotorix::e2e {

// One report a board received, as its log line says.
struct LoggedReport {
    std::string kind;                 // "feature" or "output"
    std::vector<std::uint8_t> bytes;  // report ID first

    friend bool operator==(const LoggedReport&, const LoggedReport&) = default;
};

// One pulse of a turn, as the board's own record has it (e2e/gadget/hid_function.h, pulseLine).
struct BoardPulse {
    int pair = 0;
    int button = 0;
    std::chrono::steady_clock::time_point start;  // the guest's monotonic clock, as the suite's
    std::chrono::steady_clock::time_point end;
};

// One board as the test's run-vm command line describes it (tests/e2e_boards.cmake), so each suite
// takes its boards from the one list that plugs them in.
struct RigBoard {
    std::optional<std::string> serial;  // UTF-8; none: a string the board has not got
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::uint16_t version = 0;
    int input_length = 0;  // report-ID byte included
    int feature_length = 0;
    std::map<unsigned, unsigned> settings;  // firmware code to value as plugged in; others are 0

    unsigned setting(unsigned code) const {
        const auto it = settings.find(code);
        return it == settings.end() ? 0 : it->second;
    }
};

// Long enough for anything the emulated kernel does, short enough that a fault fails the suite
// well inside run-vm's own limit. Only a bound against hanging; nothing is timed.
inline constexpr std::chrono::seconds kEventLimit{20};

class VmRig {
  public:
    // The rig run-vm describes in the environment and its directory; empty optional outside its
    // guest. A board description it cannot read fails the calling test.
    static std::optional<VmRig> fromEnvironment();

    int boardCount() const { return static_cast<int>(boards_.size()); }
    const RigBoard& board(int board) const { return boards_.at(static_cast<std::size_t>(board)); }

    // Every report board `board` has received since it was plugged in at boot, in order.
    // A line the log cannot parse fails the calling test.
    std::vector<LoggedReport> log(int board) const;

    // The pulses of every turn board `board` was given, in order (run-vm's board<i>.pulses). A
    // line the record cannot parse fails the calling test.
    std::vector<BoardPulse> pulses(int board) const;

    // Unbinds the board from its port (as pulling its cable) or binds it again. True when the
    // gadget took the request; the host side notices asynchronously.
    bool unplug(int board) const;
    bool replug(int board) const;
    // Whether the board is bound to its port (whether or not the host has caught up yet).
    bool bound(int board) const;

    // Sends one fault command (e2e/gadget/board_control.h) to the board's program. It is in
    // force for every exchange the caller starts afterwards. False when the program is not there.
    bool control(int board, const std::string& command) const;

  private:
    VmRig(std::filesystem::path dir, std::vector<RigBoard> boards)
        : dir_(std::move(dir)), boards_(std::move(boards)) {}

    std::filesystem::path dir_;
    std::vector<RigBoard> boards_;
};

// Listens to the device announcements: udevd's when it runs, else the kernel's own (uevents),
// as the Linux platform's device monitor does. Every change the HID stack makes to what the walk
// enumerates is followed by one, so waiting on them needs no polling interval.
class DeviceEvents {
  public:
    DeviceEvents();
    ~DeviceEvents();
    DeviceEvents(const DeviceEvents&) = delete;
    DeviceEvents& operator=(const DeviceEvents&) = delete;

    bool listening() const { return fd_ >= 0; }

    // Re-checks `condition` after each announcement until it holds or `limit` has passed.
    // Returns the condition's final value.
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds limit = kEventLimit);

    // Announcements of hidraw nodes with this action ("add", "remove", "change") heard so far,
    // by waitUntil. Once one is heard, every other listener has it waiting too.
    int hidraw(const std::string& action) const;

  private:
    void note(std::string_view message);

    int fd_ = -1;
    std::map<std::string, int, std::less<>> hidraw_;
};

}  // namespace rotorix::e2e
