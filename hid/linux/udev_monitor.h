// Linux: tells whether a hidraw node was added, removed or changed, without walking sysfs.
// Private to hid/ (the Linux platform's devicesMayHaveChanged()).
#pragma once

#include <functional>
#include <memory>

namespace rotorix::hid::hidraw {

// What one non-blocking receive on the event socket gave.
enum class Receipt {
    Event,    // an event of the hidraw subsystem (any action)
    Dropped,  // a message libudev threw away (from a sender it does not trust, or garbled)
    Empty,    // nothing pending: the socket is not readable
    Overrun,  // the socket's buffer overflowed: events were lost (ENOBUFS), or a signal cut in
    Broken,   // the socket failed otherwise; it cannot be trusted any more
};

struct Drained {
    bool changed = false;  // something may have changed since the previous drain
    bool broken = false;   // stop listening; walk every time from now on
};

// Takes every pending receipt off the socket: a dropped message says nothing, and what follows it
// is read too. Bounded, so that a socket that keeps answering never holds the caller: past
// `limit` receipts the result simply says "changed".
Drained drainEvents(const std::function<Receipt()>& receive, int limit = 4096);

// A udev monitor on the hidraw subsystem, created before the first walk so that no change made
// between that walk and the monitor's birth can be missed.
//
// With udevd running, it listens to udevd's announcements, which come after the rules have set
// the node's owner and mode, so a board found on the event can also be opened. Without udevd (a
// minimal system, a container, our VM rig) nobody sends those, and it listens to the kernel's own.
class DeviceMonitor {
  public:
    // Empty when no monitor can be created (no netlink, no libudev): the caller walks always.
    static std::unique_ptr<DeviceMonitor> create();
    ~DeviceMonitor();
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    // True when any hidraw event arrived since the previous call (or the socket lost events).
    // Reads for as long as the socket is readable, as libudev answers "nothing" also for a
    // message it throws away, and any local user can send such messages: one poll when nothing
    // arrived. After the socket breaks, always true.
    bool changed();

  private:
    struct Handles;
    explicit DeviceMonitor(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> handles_;
    bool broken_ = false;
};

}  // namespace rotorix::hid::hidraw
