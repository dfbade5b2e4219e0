#include "hid/linux/linux_platform.h"

#include <fcntl.h>
#include <libudev.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "base/unicode.h"
#include "hid/linux/hidraw_device.h"
#include "hid/linux/udev_monitor.h"

namespace rotorix::hid {

namespace {

using hidraw::FileDescriptor;
using hidraw::systemWords;

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
        return hidraw::makeHidrawDevice(std::move(file),
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
    hidraw::ChangeTracker changes_;
    Udev udev_;
};

}  // namespace

std::unique_ptr<Platform> makeLinuxPlatform() {
    return std::make_unique<LinuxPlatform>();
}

}  // namespace rotorix::hid
