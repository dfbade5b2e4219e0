// An open HID collection on Windows. Every request that reaches the device (a feature report
// sent or fetched, a string asked for, an input report read) is overlapped and bounded: when its
// bound runs out it is cancelled, and waited for until the cancel has landed, so the driver never
// writes into a buffer that has been given back. Declared without Windows headers.
#pragma once

#ifdef _WIN32

#include <optional>

#include "hid/platform.h"

struct _OVERLAPPED;

namespace rotorix::hid::win32 {

// How long a feature exchange or a string query waits for the device. A board answers in a few
// milliseconds; one that has not answered after a second will most likely never answer.
inline constexpr unsigned long kExchangeBoundMs = 1000;

// DeviceIoControl's shape (64-bit Windows, where the calling conventions are one). What the
// device asks of the class driver goes through one such call.
using ControlCall = int (*)(void* file, unsigned long code, void* in, unsigned long in_size,
                            void* out, unsigned long out_size, unsigned long* returned,
                            _OVERLAPPED* overlapped);

struct DeviceSetup {
    // The call that carries the device's requests; nullptr means DeviceIoControl. Tests put an
    // overlapped operation of their own here, one that never completes, for instance.
    ControlCall control = nullptr;
    unsigned long bound_ms = kExchangeBoundMs;
    // Whether the instance ID of the USB device above the collection shows a serial number
    // (instanceShowsSerial): then a string query that fails is a failure, never "no such string".
    bool serial_shown = false;
    // The report lengths when known already; otherwise they are asked of the class driver when
    // first needed.
    std::optional<ReportLengths> lengths;
};

// The device on `file`, a handle opened with FILE_FLAG_OVERLAPPED, which it takes over and closes
// exactly once. Fails, with the system's words, only when the device's events cannot be made.
OpenResult deviceOn(void* file, DeviceSetup setup);

// The device's identity strings, or empty optional when one of them could not be read.
std::optional<Identity> readIdentity(Device& device);

}  // namespace rotorix::hid::win32

#endif  // _WIN32
