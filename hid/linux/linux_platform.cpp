#include "hid/linux/linux_platform.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/unicode.h"
#include "hid/change_tracker.h"
#include "hid/linux/udev_monitor.h"
#include "hid/report_descriptor.h"

namespace rotorix::hid {

namespace {

std::string systemWords(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

// ---- libudev's references --------------------------------------------------------------------

struct UdevFree {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
using Udev = std::unique_ptr<udev, UdevFree>;
using UdevEnumerate = std::unique_ptr<udev_enumerate, UdevFree>;
using UdevDevice = std::unique_ptr<udev_device, UdevFree>;

// The USB device a hidraw node belongs to (owned by `node`), or null for a node on another bus:
// Bluetooth, I2C and uhid devices have no USB identity to offer and are no board of ours.
// libudev finds a parent by walking up the sysfs path, lazily, and while a board is being removed
// its directories can go at any moment: the walk then passes over them and ends at the hub above
// (a root hub's serial is its host controller's name). So the device must sit directly above the
// node's USB interface in the path (an interface's directory sits in its USB device's), or there
// is none.
udev_device* usbParent(udev_device* node) {
    udev_device* const interface =
        udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
    udev_device* const device = interface != nullptr ? udev_device_get_parent(interface) : nullptr;
    if (device == nullptr) {
        return nullptr;
    }
    const std::string_view below = udev_device_get_syspath(interface);
    return below.substr(0, below.rfind('/')) == udev_device_get_syspath(device) ? device : nullptr;
}

std::optional<std::uint16_t> hexAttribute(udev_device* device, const char* name) {
    const char* text = udev_device_get_sysattr_value(device, name);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view view(text);
    std::uint16_t value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value, 16);
    if (view.empty() || ec != std::errc{} || end != view.data() + view.size()) {
        return std::nullopt;
    }
    return value;
}

// The kernel keeps the USB device's string descriptors whole (up to 126 UTF-16 units, as UTF-8);
// a string the device has not got has no attribute at all.
std::u16string stringAttribute(udev_device* usb, const char* name) {
    const char* text = udev_device_get_sysattr_value(usb, name);
    return text != nullptr ? base::fromUtf8Lossy(text) : std::u16string();
}

// Empty optional when the device went while we read: every USB device has idVendor, so its
// absence (read last) means the strings' absence says nothing.
std::optional<Identity> identityOf(udev_device* usb) {
    Identity identity{stringAttribute(usb, "serial"), stringAttribute(usb, "manufacturer"),
                      stringAttribute(usb, "product")};
    if (udev_device_get_sysattr_value(usb, "idVendor") == nullptr) {
        return std::nullopt;
    }
    return identity;
}

// The name of the hid device a hidraw node belongs to ("0003:2B7E:0103.0007"): bus, vendor,
// product and a counter that does not repeat before a reboot, so it names one device instance
// where the node's own name may pass to the next device plugged in. Empty when there is none.
std::string hidInstance(udev_device* node) {
    udev_device* const hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
    const char* const name = hid != nullptr ? udev_device_get_sysname(hid) : nullptr;
    return name != nullptr ? name : std::string();
}

// Whether `node` is still the device instance a walk listed as `entry`.
bool sameInstance(udev_device* node, const InterfaceInfo& entry) {
    return entry.instance.empty() || hidInstance(node) == entry.instance;
}

bool isHidraw(udev_device* node) {
    const char* subsystem = udev_device_get_subsystem(node);
    return subsystem != nullptr && std::strcmp(subsystem, "hidraw") == 0;
}

OpenError::Kind openErrorKind(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenError::Kind::AccessDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenError::Kind::Gone;
        case EBUSY:
            return OpenError::Kind::Busy;
        default:
            return OpenError::Kind::Other;
    }
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// The ioctl's length field has 14 bits.
constexpr std::size_t kMaxIoctlLength = (std::size_t{1} << _IOC_SIZEBITS) - 1;

// ---- the device ------------------------------------------------------------------------------

class HidrawDevice final : public Device {
  public:
    HidrawDevice(FileDescriptor file, std::optional<Identity> identity)
        : file_(std::move(file)), identity_(std::move(identity)) {}

    // Read at open and kept: the attributes vanish with the device, the handle's strings do not.
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
        if (report.empty() || report.size() > kMaxIoctlLength) {
            lastError_ = "a feature report must be 1 to " + std::to_string(kMaxIoctlLength) +
                         " bytes long, not " + std::to_string(report.size());
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
            lastError_ = "the device took " + std::to_string(sent) + " of " +
                         std::to_string(report.size()) + " bytes";
            return false;
        }
        return true;
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        timed_out_ = false;
        if (buffer.empty() || buffer.size() > kMaxIoctlLength) {
            lastError_ = "a feature report buffer must be 1 to " + std::to_string(kMaxIoctlLength) +
                         " bytes long";
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
            lastError_ = systemWords(errno);
            return ReadOutcome::Gone;
        }
        if (polled == 0) {
            return ReadOutcome::NothingYet;
        }
        // hidraw hangs up a node whose device has gone, even with reports still queued.
        if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            lastError_ = systemWords((ready.revents & POLLNVAL) != 0 ? EBADF : ENODEV);
            return ReadOutcome::Gone;
        }
        // With no room for the report, one report is still taken off the queue, so the outcome
        // keeps its meaning.
        std::uint8_t scratch = 0;
        std::uint8_t* data = buffer.empty() ? &scratch : buffer.data();
        std::size_t size = buffer.empty() ? 1 : buffer.size();
        // hidraw hands out unnumbered input reports without their ID byte; this interface keeps
        // byte 0 for the ID, as feature reports have it.
        if (!numbered() && size > 1) {
            data[0] = 0;
            ++data;
            --size;
        }
        const ssize_t got = ::read(file_.get(), data, size);
        if (got > 0) {
            return ReadOutcome::Report;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return ReadOutcome::NothingYet;  // another reader of the node took it first
        }
        // ENODEV, EIO (hidraw's word for a node whose device went), ESHUTDOWN, or anything
        // else: the handle is of no more use.
        lastError_ = got == 0 ? "the device closed its reports" : systemWords(errno);
        return ReadOutcome::Gone;
    }

    std::string lastError() const override { return lastError_; }
    bool timedOut() const override { return timed_out_; }

  private:
    // usbhid gives a control transfer the device never completes 5 s, then ETIMEDOUT; a device
    // that refuses one stalls it (EPIPE) at once.
    void noteFailure(int error) {
        lastError_ = systemWords(error);
        timed_out_ = error == ETIMEDOUT;
    }

    // The report descriptor through the open handle rather than from sysfs by the node's name:
    // after an unplug another device may take that name, but a handle only ever speaks of its
    // own device. Kept once read (it cannot change for one node); null while it cannot be read.
    const std::vector<std::uint8_t>* descriptor() {
        if (descriptor_) {
            return &*descriptor_;
        }
        int size = 0;
        if (::ioctl(file_.get(), HIDIOCGRDESCSIZE, &size) < 0) {
            lastError_ = systemWords(errno);
            return nullptr;
        }
        if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
            lastError_ = "the kernel reports a descriptor of " + std::to_string(size) + " bytes";
            return nullptr;
        }
        auto wanted = std::make_unique<hidraw_report_descriptor>();
        wanted->size = static_cast<std::uint32_t>(size);
        if (::ioctl(file_.get(), HIDIOCGRDESC, wanted.get()) < 0) {
            lastError_ = systemWords(errno);
            return nullptr;
        }
        descriptor_.emplace(wanted->value, wanted->value + size);
        return &*descriptor_;
    }

    // Whether input reports carry an ID byte; a device whose descriptor cannot be read is taken
    // to number none.
    bool numbered() {
        if (!numbered_) {
            const auto* bytes = descriptor();
            if (bytes == nullptr) {
                return false;
            }
            numbered_ = summarizeDescriptor(*bytes).numbered;
        }
        return *numbered_;
    }

    FileDescriptor file_;
    std::optional<Identity> identity_;  // empty: the strings could not be read at open
    std::optional<std::vector<std::uint8_t>> descriptor_;
    std::optional<bool> numbered_;
    std::string lastError_;
    bool timed_out_ = false;
};

// ---- the platform ----------------------------------------------------------------------------

class LinuxPlatform final : public Platform {
  public:
    // The monitor exists before anything can walk, so no change slips in between.
    LinuxPlatform() : monitor_(hidraw::DeviceMonitor::create()) {}

    bool devicesMayHaveChanged() override {
        // Every pending event is taken even on the first call, so that the next call speaks of
        // what happened after this one.
        return changes_.ask(monitor_ == nullptr || monitor_->changed());
    }

    Enumeration enumerate() override {
        Enumeration walk = walkHidraw();
        changes_.walked(!walk.failure);
        return walk;
    }

    std::optional<Identity> identify(const InterfaceInfo& entry) override {
        struct stat info {};
        std::string failure;
        udev* const udev = context(failure);
        if (::stat(entry.path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || udev == nullptr) {
            return std::nullopt;
        }
        const UdevDevice node(udev_device_new_from_devnum(udev, 'c', info.st_rdev));
        const bool ours = node && isHidraw(node.get()) && sameInstance(node.get(), entry);
        udev_device* const usb = ours ? usbParent(node.get()) : nullptr;
        return usb != nullptr ? identityOf(usb) : std::nullopt;
    }

    OpenResult open(const InterfaceInfo& entry) override {
        // Non-blocking: a read must never hold the caller past its bounded wait, even when
        // another reader of the node took the report poll() announced.
        FileDescriptor file(::open(entry.path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
        if (file.get() < 0) {
            const int error = errno;
            return OpenError{openErrorKind(error), systemWords(error)};
        }
        struct stat info {};
        if (::fstat(file.get(), &info) != 0) {
            return OpenError{OpenError::Kind::Other, systemWords(errno)};
        }
        if (!S_ISCHR(info.st_mode)) {
            return OpenError{OpenError::Kind::Other, "Not a hidraw device"};
        }
        std::string failure;
        udev* const udev = context(failure);
        if (udev == nullptr) {
            return OpenError{OpenError::Kind::Other, failure};
        }
        // The node as it is now, by the number of the file just opened: its name may already
        // belong to another device.
        errno = 0;
        const UdevDevice node(udev_device_new_from_devnum(udev, 'c', info.st_rdev));
        if (!node) {
            const int error = errno;
            const bool gone = error == ENOENT || error == ENODEV || error == ENXIO;
            return OpenError{gone ? OpenError::Kind::Gone : OpenError::Kind::Other,
                             systemWords(error)};
        }
        if (!isHidraw(node.get())) {
            return OpenError{OpenError::Kind::Other, "Not a hidraw device"};
        }
        // The listed device was unplugged and another took its node: nothing may reach it.
        if (!sameInstance(node.get(), entry)) {
            return OpenError{OpenError::Kind::Gone, "No such device"};
        }
        udev_device* const usb = usbParent(node.get());
        return std::make_unique<HidrawDevice>(std::move(file),
                                              usb != nullptr ? identityOf(usb) : std::nullopt);
    }

  private:
    // libudev's context, made again after a failure so that a walk can recover from one.
    udev* context(std::string& failure) {
        if (!udev_) {
            errno = 0;
            udev_.reset(udev_new());
            if (!udev_) {
                failure = systemWords(errno);
            }
        }
        return udev_.get();
    }

    Enumeration walkHidraw() {
        Enumeration walk;
        std::string failure;
        udev* const udev = context(failure);
        if (udev == nullptr) {
            walk.failure = failure;
            return walk;
        }
        errno = 0;
        const UdevEnumerate enumerate(udev_enumerate_new(udev));
        if (!enumerate) {
            walk.failure = systemWords(errno);
            return walk;
        }
        if (const int error = udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
            error < 0) {
            walk.failure = systemWords(-error);
            return walk;
        }
        if (const int error = udev_enumerate_scan_devices(enumerate.get()); error < 0) {
            walk.failure = systemWords(-error);
            return walk;
        }
        // The list is built here, and may fail here; ENODATA only says it is empty.
        errno = 0;
        udev_list_entry* const first = udev_enumerate_get_list_entry(enumerate.get());
        if (first == nullptr && errno != 0 && errno != ENODATA) {
            walk.failure = systemWords(errno);
            return walk;
        }
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, first) {
            // Whatever is missing below, the device is on its way out (or on another bus).
            const UdevDevice node(
                udev_device_new_from_syspath(udev, udev_list_entry_get_name(entry)));
            const char* const devnode = node ? udev_device_get_devnode(node.get()) : nullptr;
            udev_device* const usb = devnode != nullptr ? usbParent(node.get()) : nullptr;
            if (usb == nullptr) {
                continue;
            }
            const auto vendor = hexAttribute(usb, "idVendor");
            const auto product = hexAttribute(usb, "idProduct");
            const auto version = hexAttribute(usb, "bcdDevice");
            if (vendor && product && version) {
                walk.interfaces.push_back(
                    {devnode, *vendor, *product, *version, hidInstance(node.get())});
            }
        }
        return walk;
    }

    std::unique_ptr<hidraw::DeviceMonitor> monitor_;  // empty: cannot tell, so always walk
    ChangeTracker changes_;
    Udev udev_;
};

}  // namespace

std::unique_ptr<Platform> makeLinuxPlatform() {
    return std::make_unique<LinuxPlatform>();
}

}  // namespace rotorix::hid
