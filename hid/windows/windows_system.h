// Win32 helpers of the Windows backend (hid/windows/): what a system error code means, the
// system's words for it, and the decisions the backend takes from the system's answers (paths,
// instance IDs, string and feature replies, which interfaces a walk opens). Declared without
// Windows headers, so tests outside hid/ can reach them.
#pragma once

#ifdef _WIN32

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid::win32 {

// What an open that failed with `error` (a GetLastError() code) means to the caller.
OpenError::Kind openErrorKind(std::uint32_t error);

// The system's message for `error` in UTF-8, without the line break Windows ends it with;
// "Windows error N" when the system has no text for it. Never empty.
std::string systemMessage(std::uint32_t error);

// The open error for `error`: its kind and the system's message.
OpenError openError(std::uint32_t error);

// The room a string query is offered, in UTF-16 units: a USB string descriptor holds at most 126
// (its length is one byte, two of which are its header). Offered more, some devices answer with
// broken text, and 127 units and more can come back "successful" with a broken string.
inline constexpr std::size_t kStringRoom = 126;

// What a string query (IOCTL_HID_GET_SERIALNUMBER_STRING and its kind) came to. `text` is the
// buffer after the query. A query that succeeded yields the text up to its first zero, at most
// 126 units. Windows fails the query of a string the device lacks instead of returning an empty
// one, and fails it too when the device could not be asked; a failed query counts as "no such
// string" (empty) only when the device's USB instance ID shows no serial (`serial_shown` false:
// a device that has a serial answers string requests) and the handle still gives the device's
// attributes (`device_answers`). Empty optional otherwise: a failure.
std::optional<std::u16string> stringResult(bool succeeded, std::u16string_view text,
                                           bool serial_shown, bool device_answers);

// What a device instance ID names, for the walk up from a HID collection to its USB device.
enum class UsbNode {
    Device,     // "USB\VID_2B7E&PID_0103\RX-0117": the USB device itself
    Interface,  // "USB\VID_2B7E&PID_0103&MI_00\7&1A2B3C&0&0000": one interface of a composite
    Other,      // not on the USB bus (Bluetooth, I2C, a virtual bus), or not an instance ID
};
UsbNode usbNodeKind(std::string_view instance_id);

// Whether a USB device's instance ID shows that it has a serial number: its last part is the
// serial when the device has a usable one; when it has none, Windows makes one up, which always
// holds a '&'. False for an empty ID (no USB device found).
bool instanceShowsSerial(std::string_view usb_device_id);

// The vendor and product a USB HID interface path names ("\\?\hid#vid_2b7e&pid_0103&mi_00#...",
// in any case); empty optional for a path that names none (Bluetooth, I2C and virtual devices
// name theirs otherwise, or not at all).
std::optional<DeviceMatch> idsInPath(std::string_view path);

// The feature report as the class driver must be given it: exactly as long as the device's
// feature reports (`feature_length`, as HidP_GetCaps counts it), a shorter one padded with zeros.
// Empty optional, and `refusal` in plain words, for a report longer than that: the driver would
// send only its first `feature_length` bytes.
std::optional<std::vector<std::uint8_t>> featureToSend(std::span<const std::uint8_t> report,
                                                       std::size_t feature_length,
                                                       std::string& refusal);

// The bytes a feature report fetch placed in the buffer, report ID included, from the count
// IOCTL_HID_GET_FEATURE returned: for a device without numbered reports the count leaves out the
// report ID byte (0) that the buffer starts with. Never more than the buffer holds.
std::size_t featureReplyLength(std::uint8_t report_id, std::size_t returned,
                               std::size_t buffer_size);

// One top-level collection as the walk finds it. Windows lists each collection of a USB
// interface as an interface of its own; they share the parent device instance.
struct Collection {
    InterfaceInfo info;
    std::string parent;                // the parent's device instance ID; empty when unknown
    std::uint16_t feature_length = 0;  // as HidP_GetCaps counts it; 0 when unreadable
};

// One entry per USB interface, in the walk's order: of the collections that share a parent, the
// one with the longest feature report (the first of equals), which is where a board's settings
// live. A collection whose parent is unknown stands alone.
std::vector<InterfaceInfo> onePerInterface(const std::vector<Collection>& collections);

// The walk's choice over the interfaces' paths, in the walk's order: `open(i)` opens path i and
// reads what it is (empty optional when it cannot). With `wanted`, a path that names another
// vendor and product is never opened, and only wanted collections are listed; without, every
// path is opened. One entry per USB interface (onePerInterface).
std::vector<InterfaceInfo> listCollections(
    const std::vector<std::string>& paths, const std::optional<DeviceMatch>& wanted,
    const std::function<std::optional<Collection>(std::size_t)>& open);

// Whether a walk is due only because the last one is `since_walk` old. Where the system's device
// notices are known not to arrive (Wine, until its first notice came), `true` after 2 s, doubled
// for each of the `unchanged_walks` in a row that listed what the walk before it listed, up to
// 8 s: a search among devices that stay as they are walks seldom, and one that sees a change
// looks again soon. Where notices arrive (Windows), never: a notice is the system's word.
bool oldWalkIsDue(bool under_wine, bool notice_heard,
                  std::chrono::steady_clock::duration since_walk, unsigned unchanged_walks);

// Whether the program runs under Wine (its ntdll exports wine_get_version).
bool runsUnderWine();

}  // namespace rotorix::hid::win32

#endif  // _WIN32
