// rotorix-usb-board: serves the firmware model as a USB HID board through FunctionFS.
//
// Run it on a mounted FunctionFS instance of a configured gadget, then bind the gadget to a UDC
// once ep1 exists. It answers ep0's control requests and keeps the interrupt IN endpoint fed
// with input reports; every report the host sends is appended to the log as one line. It runs
// until killed, and survives the gadget being unbound and bound again (an unplug and replug).
// With --control it also takes the commands of board_control.h from a FIFO; with --pulse-log it
// writes down every pulse a turn makes, with its times, as soon as the turn is given.
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/gadget/board_args.h"
#include "e2e/gadget/board_control.h"
#include "e2e/gadget/hid_function.h"

namespace {

using rotorix::e2e::ControlAction;
using rotorix::e2e::ControlCommand;
using rotorix::e2e::HidFunction;
using rotorix::e2e::SetupPacket;
using rotorix::e2e::UnplugTrigger;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

ssize_t readFd(int fd, void* data, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::read(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t writeFd(int fd, const void* data, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

void complain(const std::string& what) {
    std::fprintf(stderr, "rotorix-usb-board: %s: %s\n", what.c_str(), std::strerror(errno));
}

// Keeps the interrupt IN endpoint fed while the host has the function enabled. A write blocks
// until the host polls, and the host polls only while someone holds the hidraw node open.
class InputPump {
  public:
    InputPump(HidFunction& function, int endpoint) : function_(function), endpoint_(endpoint) {}

    void start() {
        std::thread([this] { run(); }).detach();
    }

    void enable() {
        const std::scoped_lock lock(mutex_);
        enabled_ = true;
        ++generation_;
        changed_.notify_all();
    }

    void disable() {
        const std::scoped_lock lock(mutex_);
        enabled_ = false;
    }

    void setSilent(bool silent) {
        const std::scoped_lock lock(mutex_);
        silent_ = silent;
        changed_.notify_all();
    }

    void setPace(std::chrono::milliseconds pace) {
        const std::scoped_lock lock(mutex_);
        pace_ = pace;
    }

  private:
    [[noreturn]] void run() {
        for (;;) {
            std::uint64_t generation = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return enabled_ && !silent_; });
                generation = generation_;
            }
            const auto payload = function_.nextInputPayload();
            if (writeFd(endpoint_, payload.data(), payload.size()) < 0) {
                // Unbound or disabled under the write: wait for the next enable rather than spin.
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return enabled_ && generation_ != generation; });
            } else {
                std::unique_lock lock(mutex_);
                if (pace_.count() > 0) {
                    changed_.wait_for(lock, pace_);
                }
            }
        }
    }

    HidFunction& function_;
    int endpoint_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool enabled_ = false;
    bool silent_ = false;
    std::chrono::milliseconds pace_{0};  // 0: a report at every poll
    std::uint64_t generation_ = 0;
};

SetupPacket hostOrder(const usb_ctrlrequest& raw) {
    return {raw.bRequestType, raw.bRequest, le16toh(raw.wValue), le16toh(raw.wIndex),
            le16toh(raw.wLength)};
}

class Board {
  public:
    Board(const rotorix::e2e::BoardArgs& args, int ep0, int ep1, int pulse_log,
          HidFunction& function)
        : args_(args),
          ep0_(ep0),
          pulse_log_(pulse_log),
          function_(function),
          pump_(function, ep1) {}

    // Serves ep0 (and the control FIFO, if any) until ep0 fails for good.
    int run(int control) {
        pump_.start();
        std::vector<pollfd> watched{{ep0_, POLLIN, 0}};
        if (control >= 0) {
            watched.push_back({control, POLLIN, 0});
        }
        for (;;) {
            // While a request is held, ep0 is left alone: FunctionFS reports it readable until
            // the request is answered. Only `hang on` holds one, so the FIFO is there to wake us.
            watched[0].fd = held_ ? -1 : ep0_;
            if (::poll(watched.data(), watched.size(), holdLeftMs()) < 0 && errno != EINTR) {
                complain("poll");
                return 1;
            }
            // Commands first: one written before a request was sent applies to that request.
            drainControl(control);
            if (held_ && (!hang_ || holdLeftMs() == 0)) {
                release();
            }
            if ((watched[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && !serveEvent()) {
                return 1;
            }
        }
    }

  private:
    // Reads one ep0 event and acts on it. False when ep0 is unusable.
    bool serveEvent() {
        usb_functionfs_event event{};
        // One event at a time: a SETUP must be answered before the next read of ep0.
        const ssize_t n = readFd(ep0_, &event, sizeof event);
        if (n < 0) {
            // The host abandoned a request (an unplug mid-exchange); the events that say so follow.
            if (errno == EIDRM || errno == EAGAIN || errno == ESHUTDOWN || errno == EL2HLT) {
                return true;
            }
            complain("reading ep0");
            return false;
        }
        if (static_cast<std::size_t>(n) < sizeof event) {
            return true;
        }
        switch (event.type) {
            case FUNCTIONFS_SETUP:
                serveSetup(hostOrder(event.u.setup));
                break;
            case FUNCTIONFS_ENABLE:
                pump_.enable();
                break;
            case FUNCTIONFS_DISABLE:
            case FUNCTIONFS_UNBIND:
                pump_.disable();
                break;
            default:
                break;
        }
        return true;
    }

    // Carries out one control request. The data or status stage must be finished before ep0
    // yields the next event. An I/O error here means the host gave up on the request; the next
    // event says why.
    void serveSetup(const SetupPacket& setup) {
        if (hang_ && setup.isReportRequest()) {
            hold(setup);
            return;
        }
        auto decision = UnplugTrigger::Decision::Serve;
        if (setup.isReportRequest()) {
            decision = trigger_.onReportRequest();
        }
        if (decision == UnplugTrigger::Decision::UnplugInstead) {
            unplug();
            return;
        }
        const ControlAction action = function_.setup(setup);
        switch (action.kind) {
            case ControlAction::Kind::Send:
                writeFd(ep0_, action.data.data(), action.data.size());
                break;
            case ControlAction::Kind::Receive: {
                std::vector<std::uint8_t> data(setup.length);
                const ssize_t n = readFd(ep0_, data.data(), data.size());
                if (n >= 0) {
                    function_.dataStage(setup, std::span(data.data(), static_cast<std::size_t>(n)));
                }
                break;
            }
            case ControlAction::Kind::Stall:
                stall(setup);
                break;
        }
        if (decision == UnplugTrigger::Decision::ServeThenUnplug) {
            unplug();
        }
    }

    // FunctionFS stalls ep0 when the stage goes the wrong way.
    void stall(const SetupPacket& setup) {
        if (setup.deviceToHost()) {
            std::uint8_t none = 0;
            readFd(ep0_, &none, 0);
        } else {
            writeFd(ep0_, nullptr, 0);
        }
    }

    // A hung board's request: logged, then left unanswered until the host has given up on it.
    void hold(const SetupPacket& setup) {
        function_.logHeld(setup);
        held_ = setup;
        held_until_ = std::chrono::steady_clock::now() + kHold;
    }

    // Ends the held request with a stall that nobody waits for any more, so that FunctionFS
    // hands out the next event. When one came meanwhile (the host's next request, an unplug),
    // FunctionFS has dropped the held request already and the stall fails harmlessly.
    void release() {
        stall(*held_);
        held_.reset();
    }

    // The poll's timeout: what is left of the hold, or no limit while nothing is held.
    int holdLeftMs() const {
        if (!held_) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            held_until_ - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }

    // As pulling the cable: the gadget leaves its UDC, and the host side sees a disconnect. The
    // write returns once the gadget is unbound, so no later request reaches this board.
    void unplug() {
        const FileDescriptor udc(::open(args_.udc_file.c_str(), O_WRONLY));
        if (!udc.valid() || writeFd(udc.get(), "\n", 1) < 0) {
            complain("unplugging through " + args_.udc_file);
        }
    }

    void drainControl(int control) {
        if (control < 0) {
            return;
        }
        char chunk[256];
        ssize_t n = 0;
        while ((n = readFd(control, chunk, sizeof chunk)) > 0) {
            pending_.append(chunk, static_cast<std::size_t>(n));
        }
        std::size_t newline = 0;
        while ((newline = pending_.find('\n')) != std::string::npos) {
            const std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            apply(line);
        }
    }

    void apply(const std::string& line) {
        const auto command = rotorix::e2e::parseControlCommand(line);
        if (!command) {
            std::fprintf(stderr, "rotorix-usb-board: not a command: %s\n", line.c_str());
            return;
        }
        using Kind = ControlCommand::Kind;
        switch (command->kind) {
            case Kind::UnplugBefore:
            case Kind::UnplugAfter:
                trigger_.arm(command->count, command->kind == Kind::UnplugBefore);
                break;
            case Kind::Disarm:
                trigger_.disarm();
                break;
            case Kind::Silent:
            case Kind::Talkative:
                pump_.setSilent(command->kind == Kind::Silent);
                break;
            case Kind::Pace:
                pump_.setPace(std::chrono::milliseconds(command->count));
                break;
            case Kind::Press:
            case Kind::Release:
                function_.setButton(command->count, command->kind == Kind::Press);
                break;
            case Kind::ShortReply:
            case Kind::FullReply:
                function_.limitFeatureReplies(
                    command->kind == Kind::ShortReply
                        ? std::optional(static_cast<std::size_t>(command->count))
                        : std::nullopt);
                break;
            case Kind::Turn:
                turn(*command);
                break;
            case Kind::HangOn:
            case Kind::HangOff:
                hang_ = command->kind == Kind::HangOn;
                break;
        }
    }

    void turn(const ControlCommand& command) {
        const auto pulses = function_.turn(command.count, command.steps, command.rate,
                                           std::chrono::steady_clock::now());
        if (pulses.empty()) {
            std::fprintf(stderr, "rotorix-usb-board: turn refused\n");
            return;
        }
        if (pulse_log_ < 0) {
            return;
        }
        std::string lines;
        for (const auto& pulse : pulses) {
            lines += rotorix::e2e::pulseLine(pulse) + "\n";
        }
        // One write: a reader of the log never sees a turn's pulses in part.
        if (writeFd(pulse_log_, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) {
            complain("writing the pulse log");
        }
    }

    const rotorix::e2e::BoardArgs& args_;
    int ep0_;
    int pulse_log_;  // -1: none
    HidFunction& function_;
    InputPump pump_;
    UnplugTrigger trigger_;
    std::string pending_;  // control input up to its next newline
    // `hang on`: report requests are held, one at a time, each past the host's time-out (usbhid
    // gives a control transfer 5 s) with room for a busy guest, so the host always gives up first
    // and never sees the stall that ends the hold.
    static constexpr std::chrono::seconds kHold{7};
    bool hang_ = false;
    std::optional<SetupPacket> held_;
    std::chrono::steady_clock::time_point held_until_;
};

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    return writeFd(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto parsed = rotorix::e2e::parseBoardArgs(args, error);
    if (!parsed) {
        std::fprintf(stderr, "rotorix-usb-board: %s\n", error.c_str());
        return 2;
    }

    std::unique_ptr<FileDescriptor> log;
    if (!parsed->log_path.empty()) {
        log = std::make_unique<FileDescriptor>(
            ::open(parsed->log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644));
        if (!log->valid()) {
            complain(parsed->log_path);
            return 1;
        }
    }
    // One write per line, so a reader never sees half a report.
    HidFunction function(rotorix::sim::FirmwareModel(parsed->settings), parsed->reports,
                         [&log](const std::string& line) {
                             if (log) {
                                 const std::string text = line + "\n";
                                 writeFd(log->get(), text.data(), text.size());
                             }
                         });

    FileDescriptor pulse_log;
    if (!parsed->pulse_log_path.empty()) {
        pulse_log.reset(
            ::open(parsed->pulse_log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644));
        if (!pulse_log.valid()) {
            complain(parsed->pulse_log_path);
            return 1;
        }
    }

    // Opened read-write, the FIFO always has a writer, so it never reports end of file, and a
    // test's non-blocking open finds a reader exactly while this program lives.
    FileDescriptor control;
    if (!parsed->control_path.empty()) {
        if (::mkfifo(parsed->control_path.c_str(), 0600) != 0 && errno != EEXIST) {
            complain(parsed->control_path);
            return 1;
        }
        control.reset(::open(parsed->control_path.c_str(), O_RDWR | O_NONBLOCK));
        if (!control.valid()) {
            complain(parsed->control_path);
            return 1;
        }
    }

    const std::string ep0_path = parsed->ffs_dir + "/ep0";
    const FileDescriptor ep0(::open(ep0_path.c_str(), O_RDWR));
    if (!ep0.valid()) {
        complain(ep0_path);
        return 1;
    }
    if (!writeAll(ep0.get(), rotorix::e2e::functionfsDescriptors(parsed->reports)) ||
        !writeAll(ep0.get(), rotorix::e2e::functionfsStrings())) {
        complain("FunctionFS refused the descriptors");
        return 1;
    }
    const std::string ep1_path = parsed->ffs_dir + "/ep1";
    const FileDescriptor ep1(::open(ep1_path.c_str(), O_RDWR));
    if (!ep1.valid()) {
        complain(ep1_path);
        return 1;
    }

    Board board(*parsed, ep0.get(), ep1.get(), pulse_log.get(), function);
    return board.run(control.get());
}
