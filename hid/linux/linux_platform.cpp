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
#include "hid/change_tracker.h"
#include "hid/linux/hidraw_device.h"
#include "hid/linux/hidraw_names.h"
#include "hid/linux/udev_monitor.h"

namespace rotorix::hid {

namespace {

using hidraw::FileDescriptor;
using hidraw::systemWords;

const std::string kHidrawClass = "/sys/class/hidraw";

// ---- libudev's references --------------------------------------------------------------------

struct UdevFree {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
using Udev = std::unique_ptr<udev, UdevFree>;
using UdevDevice = std::unique_ptr<udev_device, UdevFree>;

std::string_view parentPath(std::string_view path) {
    return path.substr(0, std::min(path.rfind('/'), path.size()));
}

bool hasType(udev_device* device, const char* subsystem, const char* devtype) {
    const char* const is_subsystem = udev_device_get_subsystem(device);
    const char* const is_devtype = udev_device_get_devtype(device);
    return is_subsystem != nullptr && std::strcmp(is_subsystem, subsystem) == 0 &&
           is_devtype != nullptr && std::strcmp(is_devtype, devtype) == 0;
}

// Parents are found, lazily, by walking up the sysfs path, and while a device is being removed
// its directories can go at any moment: the walk then passes over them and ends further up (at
// the hub above, say, whose root hub's serial is its host controller's name). So each device
// below must sit exactly where its parent's path says, or there is none.

// `device`'s parent of that type when it sits directly above it; else null.
udev_device* directParent(udev_device* device, const char* subsystem, const char* devtype) {
    udev_device* const parent = device != nullptr ? udev_device_get_parent(device) : nullptr;
    if (parent == nullptr || !hasType(parent, subsystem, devtype)) {
        return nullptr;
    }
    return parentPath(udev_device_get_syspath(device)) == udev_device_get_syspath(parent) ? parent
                                                                                          : nullptr;
}

// The hid device a hidraw node belongs to (owned by `node`): its node sits in its "hidraw"
// directory. Null when there is none.
udev_device* hidDevice(udev_device* node) {
    udev_device* const hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
    if (hid == nullptr) {
        return nullptr;
    }
    return parentPath(parentPath(udev_device_get_syspath(node))) == udev_device_get_syspath(hid)
               ? hid
               : nullptr;
}

// The name of the hid device a hidraw node belongs to ("0003:2B7E:0103.0007"), which names one
// device instance where the node's own name may pass to the next device plugged in. Empty when
// there is none.
std::string hidInstance(udev_device* node) {
    udev_device* const hid = hidDevice(node);
    const char* const name = hid != nullptr ? udev_device_get_sysname(hid) : nullptr;
    return name != nullptr ? name : std::string();
}

// The USB interface whose hid device a node belongs to (owned by `node`), or null. Only a hid
// device on the USB bus speaks for a USB device: a Bluetooth one sits below its adapter, often a
// USB device with a serial and strings of its own; I2C and uhid devices offer none. None is a
// board of ours.
udev_device* usbInterface(udev_device* node) {
    udev_device* const hid = hidDevice(node);
    const char* const name = hid != nullptr ? udev_device_get_sysname(hid) : nullptr;
    const auto parsed = name != nullptr ? hidraw::parseHidName(name) : std::nullopt;
    if (!parsed || parsed->bus != hidraw::kBusUsb) {
        return nullptr;
    }
    return directParent(hid, "usb", "usb_interface");
}

udev_device* usbParent(udev_device* node) {
    return directParent(usbInterface(node), "usb", "usb_device");
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

// The kernel keeps the USB device's string descriptors (up to 126 UTF-16 units, as UTF-8); a
// string the device has not got has no attribute at all.
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
    explicit LinuxPlatform(std::chrono::milliseconds longest_trust)
        : monitor_(hidraw::DeviceMonitor::create()), longest_trust_(longest_trust) {}

    bool devicesMayHaveChanged() override {
        // Every pending event is taken even on the first call, so that the next call speaks of
        // what happened after this one.
        const bool heard = changes_.ask(monitor_ == nullptr || monitor_->changed());
        // A monitor can listen and never hear a thing: kernel events do not reach a sandbox or a
        // rootless container, and /run/udev/control can outlive a dead udevd. So a walk that is
        // old enough is made anyway: a missed event costs a few seconds, not the board, and a
        // walk that decides from names first costs next to nothing.
        return heard || Clock::now() - last_walk_ >= longest_trust_;
    }

    Enumeration enumerate() override { return noted(walk(std::nullopt)); }

    Enumeration enumerateMatching(const DeviceMatch& wanted) override {
        return noted(walk(wanted));
    }

    std::optional<Identity> identify(const InterfaceInfo& entry) override {
        const UdevDevice node = nodeOf(entry.path);
        const bool ours = node && sameInstance(node.get(), entry);
        udev_device* const usb = ours ? usbParent(node.get()) : nullptr;
        return usb != nullptr ? identityOf(usb) : std::nullopt;
    }

    OpenResult open(const InterfaceInfo& entry) override {
        // Non-blocking: a read must never hold the caller past its bounded wait, even when
        // another reader of the node took the report poll() announced.
        FileDescriptor file(::open(entry.path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
        if (file.get() < 0) {
            const int error = errno;
            // An interface whose device is being unplugged can refuse an open before its node
            // goes: EIO (usbhid cannot wake it), or EBUSY. A present board that fails the same
            // way has a real fault, and is told as one.
            const bool leaving = (error == EIO || error == EBUSY) && onItsWayOut(entry);
            return OpenError{leaving ? OpenError::Kind::Gone : openErrorKind(error),
                             systemWords(error)};
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
        // A device being removed loses its sysfs entries one by one.
        if (udev_device_get_subsystem(node.get()) == nullptr) {
            return OpenError{OpenError::Kind::Gone, systemWords(ENODEV)};
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
    using Clock = std::chrono::steady_clock;

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

    // The hidraw node at `path` as it is now; null when there is none.
    UdevDevice nodeOf(const std::string& path) {
        struct stat info {};
        std::string failure;
        udev* const udev = context(failure);
        if (udev == nullptr || ::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
            return nullptr;
        }
        UdevDevice node(udev_device_new_from_devnum(udev, 'c', info.st_rdev));
        return node && isHidraw(node.get()) ? std::move(node) : nullptr;
    }

    // After an open failed with EIO: whether the entry's device is going. It is when its node has
    // gone or passed to another instance, or when the hub has let its USB device go, which the
    // device's usbfs node says at once (ENODEV) while the hidraw node may linger a moment.
    // Whatever cannot be asked leaves the EIO a failure of a present device.
    bool onItsWayOut(const InterfaceInfo& entry) {
        std::string failure;
        if (context(failure) == nullptr) {
            return false;
        }
        const UdevDevice node = nodeOf(entry.path);
        if (!node || !sameInstance(node.get(), entry)) {
            return true;
        }
        udev_device* const usb = usbParent(node.get());
        if (usb == nullptr) {
            return true;  // a board when it was listed: its directories are going
        }
        const char* const usbfs = udev_device_get_devnode(usb);
        if (usbfs == nullptr) {
            return false;
        }
        const FileDescriptor probe(::open(usbfs, O_RDONLY | O_CLOEXEC));
        return probe.get() < 0 && (errno == ENODEV || errno == ENOENT || errno == ENXIO);
    }

    Enumeration noted(Enumeration walk) {
        changes_.walked(!walk.failure);
        if (!walk.failure) {
            last_walk_ = Clock::now();
        }
        return walk;
    }

    // Names first: only the nodes of USB hid devices (of `wanted`'s IDs, when given) are resolved
    // and read, so a foreign device costs one readlink.
    Enumeration walk(const std::optional<DeviceMatch>& wanted) {
        Enumeration walk;
        hidraw::NodeNames names = hidraw::usbNodes(kHidrawClass, wanted);
        if (names.failure) {
            walk.failure = std::move(names.failure);
            return walk;
        }
        if (names.nodes.empty()) {
            return walk;
        }
        std::string failure;
        udev* const udev = context(failure);
        if (udev == nullptr) {
            walk.failure = failure;
            return walk;
        }
        for (const hidraw::NodeName& name : names.nodes) {
            // Whatever is missing below, the device is on its way out; and a node whose hid
            // device is not the one its name spoke of passed to another since.
            const UdevDevice node(
                udev_device_new_from_syspath(udev, (kHidrawClass + '/' + name.node).c_str()));
            const char* const devnode = node ? udev_device_get_devnode(node.get()) : nullptr;
            const bool same = devnode != nullptr && hidInstance(node.get()) == name.instance;
            udev_device* const usb = same ? usbParent(node.get()) : nullptr;
            if (usb == nullptr) {
                continue;
            }
            const auto vendor = hexAttribute(usb, "idVendor");
            const auto product = hexAttribute(usb, "idProduct");
            const auto version = hexAttribute(usb, "bcdDevice");
            if (vendor && product && version) {
                walk.interfaces.push_back({devnode, *vendor, *product, *version, name.instance});
            }
        }
        return walk;
    }

    std::unique_ptr<hidraw::DeviceMonitor> monitor_;  // empty: cannot tell, so always walk
    ChangeTracker changes_;
    std::chrono::milliseconds longest_trust_;
    Clock::time_point last_walk_ = Clock::now();
    Udev udev_;
};

}  // namespace

std::unique_ptr<Platform> makeLinuxPlatform(std::chrono::milliseconds longest_trust) {
    return std::make_unique<LinuxPlatform>(longest_trust);
}

}  // namespace rotorix::hid
