#include "hid/linux/hidraw_device.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "hid/report_descriptor.h"

namespace rotorix::hid::hidraw {

std::string systemWords(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

namespace {

// hidraw refuses a feature report without at least one byte after the report ID (EINVAL, and a
// warning in the kernel's log), and the ioctl's length field has 14 bits.
constexpr std::size_t kMinFeatureLength = 2;
constexpr std::size_t kMaxFeatureLength = (std::size_t{1} << _IOC_SIZEBITS) - 1;
// HIDIOCGRDESC refuses to hand out more than HID_MAX_DESCRIPTOR_SIZE - 1 bytes, although the
// kernel keeps descriptors of HID_MAX_DESCRIPTOR_SIZE.
constexpr int kMaxDescriptorRead = HID_MAX_DESCRIPTOR_SIZE - 1;

// Empty when `size` fits a feature ioctl; else the words that say why not.
std::string featureLengthProblem(const char* what, std::size_t size) {
    if (size >= kMinFeatureLength && size <= kMaxFeatureLength) {
        return {};
    }
    return std::string(what) + " must be " + std::to_string(kMinFeatureLength) + " to " +
           std::to_string(kMaxFeatureLength) +
           " bytes long (the report ID and at least one byte of data), not " + std::to_string(size);
}

class HidrawDevice final : public Device {
  public:
    HidrawDevice(FileDescriptor file, std::optional<Identity> identity)
        : file_(std::move(file)), identity_(std::move(identity)) {}

    std::optional<std::u16string> serialNumber() override {
        return identity_ ? std::optional(identity_->serial) : std::nullopt;
    }
    std::optional<std::u16string> manufacturer() override {
        return identity_ ? std::optional(identity_->manufacturer) : std::nullopt;
    }
    std::optional<std::u16string> product() override {
        return identity_ ? std::optional(identity_->product) : std::nullopt;
    }

    std::optional<ReportLengths> reportLengths() override {
        const auto* bytes = descriptor();
        if (bytes == nullptr) {
            return std::nullopt;
        }
        return summarizeDescriptor(*bytes).lengths;
    }

    std::optional<std::vector<InputButton>> inputButtons() override {
        const auto* bytes = descriptor();
        if (bytes == nullptr) {
            return std::nullopt;
        }
        return inputButtonsFromDescriptor(*bytes);
    }

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        timed_out_ = false;
        if (auto problem = featureLengthProblem("a feature report", report.size());
            !problem.empty()) {
            last_error_ = std::move(problem);
            return false;
        }
        // Byte 0 is the report ID also for a device without numbered reports (ID 0): usbhid
        // then sends the rest and counts the ID byte in what it reports as sent.
        const int sent = ::ioctl(file_.get(), HIDIOCSFEATURE(report.size()), report.data());
        if (sent < 0) {
            noteFailure(errno);
            return false;
        }
        if (static_cast<std::size_t>(sent) != report.size()) {
            last_error_ = "the device took " + std::to_string(sent) + " of " +
                          std::to_string(report.size()) + " bytes";
            return false;
        }
        return true;
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        timed_out_ = false;
        if (auto problem = featureLengthProblem("a feature report buffer", buffer.size());
            !problem.empty()) {
            last_error_ = std::move(problem);
            return std::nullopt;
        }
        const std::uint8_t report_id = buffer[0];
        const int got = ::ioctl(file_.get(), HIDIOCGFEATURE(buffer.size()), buffer.data());
        if (got < 0) {
            noteFailure(errno);
            return std::nullopt;
        }
        // The kernel's hidraw documentation says an unnumbered report's data starts at byte 0;
        // usbhid in fact keeps byte 0 for the report number and counts it in the result. For
        // report 0 that byte never came from the device, so it is set here. The count, the
        // device's bytes plus one, is handed on as it is: the caller judges a reply too short.
        if (report_id == 0 && got > 0) {
            buffer[0] = 0;
        }
        return static_cast<std::size_t>(got);
    }

    ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        pollfd ready{file_.get(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, timeout_ms < 0 ? 0 : timeout_ms);
        if (polled < 0) {
            if (errno == EINTR) {
                return ReadOutcome::NothingYet;
            }
            last_error_ = systemWords(errno);
            return ReadOutcome::Gone;
        }
        if (polled == 0) {
            return ReadOutcome::NothingYet;
        }
        // hidraw hangs up a node whose device has gone, even with reports still queued.
        if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            last_error_ = systemWords((ready.revents & POLLNVAL) != 0 ? EBADF : ENODEV);
            return ReadOutcome::Gone;
        }
        // hidraw hands out unnumbered input reports without their ID byte, and this interface
        // keeps byte 0 for the ID, so where a report goes depends on the descriptor. Without it
        // the report cannot be laid out: it is taken off the queue (the device is alive, and a
        // full queue would wake every wait at once) but not handed on as if it could.
        const std::optional<bool> numbered = numberedReports();
        std::uint8_t scratch = 0;
        std::uint8_t* data = buffer.empty() || !numbered ? &scratch : buffer.data();
        std::size_t size = buffer.empty() || !numbered ? 1 : buffer.size();
        if (numbered == false && size > 1) {
            data[0] = 0;
            ++data;
            --size;
        }
        // With no room for the report, one report is still taken off the queue, so the outcome
        // keeps its meaning.
        const ssize_t got = ::read(file_.get(), data, size);
        if (got > 0) {
            return numbered ? ReadOutcome::Report : ReadOutcome::NothingYet;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return ReadOutcome::NothingYet;  // another reader of the node took it first
        }
        // ENODEV, EIO (hidraw's word for a node whose device went), ESHUTDOWN, or anything
        // else: the handle is of no more use.
        last_error_ = got == 0 ? "the device closed its reports" : systemWords(errno);
        return ReadOutcome::Gone;
    }

    std::string lastError() const override { return last_error_; }
    bool timedOut() const override { return timed_out_; }

  private:
    // usbhid gives a control transfer the device never completes 5 s, then ETIMEDOUT; a device
    // that refuses one stalls it (EPIPE) at once.
    void noteFailure(int error) {
        last_error_ = systemWords(error);
        timed_out_ = error == ETIMEDOUT;
    }

    // The report descriptor through the open handle rather than from sysfs by the node's name:
    // after an unplug another device may take that name, but a handle only ever speaks of its
    // own device. Kept once read (it cannot change for one node); null while it cannot be read,
    // with lastError() saying why.
    const std::vector<std::uint8_t>* descriptor() {
        if (descriptor_) {
            return &*descriptor_;
        }
        int size = 0;
        if (::ioctl(file_.get(), HIDIOCGRDESCSIZE, &size) < 0) {
            last_error_ = "the report descriptor cannot be read: " + systemWords(errno);
            return nullptr;
        }
        if (size <= 0 || size > kMaxDescriptorRead) {
            last_error_ = "the report descriptor has " + std::to_string(size) +
                          " bytes; the kernel hands out 1 to " + std::to_string(kMaxDescriptorRead);
            return nullptr;
        }
        auto wanted = std::make_unique<hidraw_report_descriptor>();
        wanted->size = static_cast<std::uint32_t>(size);
        if (::ioctl(file_.get(), HIDIOCGRDESC, wanted.get()) < 0) {
            last_error_ = "the report descriptor cannot be read: " + systemWords(errno);
            return nullptr;
        }
        descriptor_.emplace(wanted->value, wanted->value + size);
        return &*descriptor_;
    }

    // Whether input reports carry an ID byte; empty while the descriptor cannot be read.
    std::optional<bool> numberedReports() {
        if (!numbered_) {
            if (const auto* bytes = descriptor()) {
                numbered_ = summarizeDescriptor(*bytes).numbered;
            }
        }
        return numbered_;
    }

    FileDescriptor file_;
    std::optional<Identity> identity_;  // empty: the strings could not be read at open
    std::optional<std::vector<std::uint8_t>> descriptor_;
    std::optional<bool> numbered_;
    std::string last_error_;
    bool timed_out_ = false;
};

}  // namespace

DeviceHandle makeHidrawDevice(FileDescriptor file, std::optional<Identity> identity) {
    return std::make_unique<HidrawDevice>(std::move(file), std::move(identity));
}

}  // namespace rotorix::hid::hidraw
