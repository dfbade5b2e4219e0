#include "hid/linux/udev_monitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace rotorix::hid::hidraw {

Drained drainEvents(const std::function<Receipt()>& receive, int limit) {
    Drained result;
    for (int i = 0; i < limit; ++i) {
        switch (receive()) {
            case Receipt::Empty:
                return result;
            case Receipt::Dropped:
                break;
            case Receipt::Event:
            case Receipt::Overrun:
                result.changed = true;
                break;
            case Receipt::Broken:
                result.changed = true;
                result.broken = true;
                return result;
        }
    }
    result.changed = true;  // still more to read; whatever it says, a walk will see it
    return result;
}

struct DeviceMonitor::Handles {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;

    ~Handles() {
        if (monitor != nullptr) {
            udev_monitor_unref(monitor);
        }
        if (context != nullptr) {
            udev_unref(context);
        }
    }
};

std::unique_ptr<DeviceMonitor> DeviceMonitor::create() {
    auto handles = std::make_unique<Handles>();
    handles->context = udev_new();
    if (handles->context == nullptr) {
        return nullptr;
    }
    // udevd's control socket exists while it runs. libudev would happily subscribe to udevd's
    // group without it and then never hear a thing.
    const bool via_udevd = ::access("/run/udev/control", F_OK) == 0;
    handles->monitor =
        udev_monitor_new_from_netlink(handles->context, via_udevd ? "udev" : "kernel");
    if (handles->monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(handles->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(handles->monitor) < 0) {
        return nullptr;
    }
    // libudev opens the socket non-blocking already; a tick must never wait on it, so make sure.
    const int fd = udev_monitor_get_fd(handles->monitor);
    const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
    if (flags < 0 || ((flags & O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)) {
        return nullptr;
    }
    return std::unique_ptr<DeviceMonitor>(new DeviceMonitor(std::move(handles)));
}

DeviceMonitor::DeviceMonitor(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

DeviceMonitor::~DeviceMonitor() = default;

bool DeviceMonitor::changed() {
    if (broken_) {
        return true;
    }
    pollfd socket{udev_monitor_get_fd(handles_->monitor), POLLIN, 0};
    const Drained drained = drainEvents([this, &socket] {
        socket.revents = 0;
        const int polled = ::poll(&socket, 1, 0);
        if (polled == 0) {
            return Receipt::Empty;
        }
        if (polled < 0) {
            return errno == EINTR ? Receipt::Overrun : Receipt::Broken;
        }
        if ((socket.revents & POLLNVAL) != 0) {
            return Receipt::Broken;
        }
        // Readable, or an error the receive will tell (ENOBUFS after an overflow).
        errno = 0;
        udev_device* const device = udev_monitor_receive_device(handles_->monitor);
        if (device != nullptr) {
            udev_device_unref(device);
            return Receipt::Event;
        }
        switch (errno) {
            // A message from a sender other than the one we listen to, one that failed to parse,
            // or one of another subsystem: dropped, and the next one may be fine.
            case EAGAIN:
#if EWOULDBLOCK != EAGAIN
            case EWOULDBLOCK:
#endif
            case EINVAL:
            case EBADMSG:
            case EPERM:
                return Receipt::Dropped;
            case ENOBUFS:
            case EINTR:
                return Receipt::Overrun;
            default:
                return Receipt::Broken;
        }
    });
    broken_ = drained.broken;
    return drained.changed;
}

}  // namespace rotorix::hid::hidraw
