// Win32 helpers of the Windows backend (windows_platform.cpp): what a system error code means
// for an open, and the system's words for it. Declared without Windows headers, so tests
// outside hid/ can reach them.
#pragma once

#ifdef _WIN32

#include <cstddef>
#include <cstdint>
#include <optional>
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
// (its length is one byte, two of which are its header), and one more holds the terminator the
// HID class driver appends. 254 bytes also stay below the 255 a string descriptor can carry,
// which some devices need: asked for more, they answer with broken text.
inline constexpr std::size_t kStringRoom = 127;

// What a string query (HidD_GetSerialNumberString and its kind) came to. `text` is the buffer
// after the query; `device_answers` whether the device, asked right after a failed query on the
// same handle, still gave its attributes. A query that succeeded yields the text up to its first
// zero, at most 126 units. A failed query of a device that still answers means it has no such
// string (Windows fails the query instead of returning an empty string): empty. Empty optional
// when the device does not answer at all.
std::optional<std::u16string> stringResult(bool succeeded, std::u16string_view text,
                                           bool device_answers);

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

}  // namespace rotorix::hid::win32

#endif  // _WIN32
