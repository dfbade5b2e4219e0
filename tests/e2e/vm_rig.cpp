#include "vm_rig.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace rotorix::e2e {

namespace {

std::optional<LoggedReport> parseLine(const std::string& line) {
    std::istringstream words(line);
    LoggedReport report;
    if (!(words >> report.kind)) {
        return std::nullopt;
    }
    std::string hex;
    while (words >> hex) {
        if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
            return std::nullopt;
        }
        report.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex, nullptr, 16)));
    }
    return report;
}

std::string udcFile(int board) {
    return "/sys/kernel/config/usb_gadget/board" + std::to_string(board) + "/UDC";
}

bool writeUdc(int board, const std::string& text) {
    std::ofstream udc(udcFile(board));
    udc << text << '\n';
    udc.flush();
    return udc.good();
}

std::optional<std::string> fileText(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// run-vm writes one file per option of the board (e2e/vm/run-vm); numbers end in a newline.
RigBoard readBoard(const std::filesystem::path& dir) {
    const auto number = [&](const char* name) {
        const auto text = fileText(dir / name);
        if (!text) {
            ADD_FAILURE() << "the rig does not describe " << (dir / name);
            return 0ul;
        }
        return std::stoul(*text, nullptr, 0);
    };
    RigBoard board;
    board.serial = fileText(dir / "serial");
    board.manufacturer = fileText(dir / "manufacturer");
    board.product = fileText(dir / "product");
    board.version = static_cast<std::uint16_t>(number("version"));
    board.input_length = static_cast<int>(number("input-length"));
    board.feature_length = static_cast<int>(number("feature-length"));
    std::istringstream settings(fileText(dir / "settings").value_or(""));
    std::string pair;
    while (std::getline(settings, pair, ',')) {
        const auto equals = pair.find('=');
        if (equals != std::string::npos) {
            board.settings[static_cast<unsigned>(std::stoul(pair.substr(0, equals), nullptr, 0))] =
                static_cast<unsigned>(std::stoul(pair.substr(equals + 1), nullptr, 0));
        }
    }
    return board;
}

}  // namespace

std::optional<VmRig> VmRig::fromEnvironment() {
    const char* dir = std::getenv("ROTORIX_E2E_DIR");
    const char* count = std::getenv("ROTORIX_E2E_BOARDS");
    if (dir == nullptr || count == nullptr) {
        return std::nullopt;
    }
    std::vector<RigBoard> boards;
    for (int i = 0; i < std::atoi(count); ++i) {
        boards.push_back(readBoard(std::filesystem::path(dir) / "boards" / std::to_string(i)));
    }
    return VmRig(dir, std::move(boards));
}

std::vector<LoggedReport> VmRig::log(int board) const {
    std::ifstream file(dir_ / ("board" + std::to_string(board) + ".log"));
    std::vector<LoggedReport> reports;
    std::string line;
    while (std::getline(file, line)) {
        if (auto report = parseLine(line)) {
            reports.push_back(std::move(*report));
        } else {
            ADD_FAILURE() << "board " << board << " logged a line that is no report: " << line;
        }
    }
    return reports;
}

std::vector<BoardPulse> VmRig::pulses(int board) const {
    std::ifstream file(dir_ / ("board" + std::to_string(board) + ".pulses"));
    std::vector<BoardPulse> pulses;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string word;
        long long start = 0;
        long long end = 0;
        BoardPulse pulse;
        if (!(words >> word >> pulse.pair >> pulse.button >> start >> end) || word != "pulse") {
            ADD_FAILURE() << "board " << board << " recorded a line that is no pulse: " << line;
            continue;
        }
        pulse.start = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(start));
        pulse.end = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(end));
        pulses.push_back(pulse);
    }
    return pulses;
}

bool VmRig::unplug(int board) const {
    return writeUdc(board, "");
}

bool VmRig::replug(int board) const {
    return writeUdc(board, "dummy_udc." + std::to_string(board));
}

bool VmRig::bound(int board) const {
    std::ifstream udc(udcFile(board));
    std::string name;
    return std::getline(udc, name) && !name.empty();
}

bool VmRig::control(int board, const std::string& command) const {
    // Non-blocking: a board program that has died must fail the test, not hang it.
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

DeviceEvents::DeviceEvents() {
    fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd_ < 0) {
        return;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    // udevd's announcements come after its rules ran; without udevd only the kernel speaks.
    address.nl_groups = ::access("/run/udev/control", F_OK) == 0 ? 2 : 1;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

DeviceEvents::~DeviceEvents() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool DeviceEvents::waitUntil(const std::function<bool()>& condition,
                             std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fd_ < 0) {
            return condition();
        }
        pollfd poller{fd_, POLLIN, 0};
        ::poll(&poller, 1, static_cast<int>(left.count()));
        std::array<char, 8192> message{};
        for (;;) {
            const auto got = ::recv(fd_, message.data(), message.size(), 0);
            if (got <= 0) {
                break;
            }
            note({message.data(), static_cast<std::size_t>(got)});
        }
    }
    return true;
}

// Both the kernel's and udevd's messages carry the properties as "KEY=value" strings, each
// ending in a zero byte.
void DeviceEvents::note(std::string_view message) {
    using namespace std::string_view_literals;
    if (message.find("\0SUBSYSTEM=hidraw\0"sv) == std::string_view::npos) {
        return;
    }
    const auto at = message.find("ACTION="sv);
    if (at != std::string_view::npos) {
        const auto value = message.substr(at + 7);
        ++hidraw_[std::string(value.substr(0, value.find('\0')))];
    }
}

int DeviceEvents::hidraw(const std::string& action) const {
    const auto it = hidraw_.find(action);
    return it == hidraw_.end() ? 0 : it->second;
}

}  // namespace rotorix::e2e
