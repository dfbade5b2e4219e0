// Finding boards among the present HID interfaces: the listing walk that fills the board
// selector, and the opening walk that connects to the chosen board.
//
// Both walk the platform's enumeration in order and look only at interfaces whose vendor and
// product IDs match before opening anything. Neither leaves a handle open that it does not return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid {

struct DeviceMatch {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;

    bool matches(const InterfaceInfo& info) const {
        return info.vendor_id == vendor_id && info.product_id == product_id;
    }
};

// A matching interface that could not be listed, and why.
struct UnusableBoard {
    enum class Reason {
        OpenFailed,     // `open_error` says what the system returned
        NoSerialNumber  // opened, but the serial-number query failed
    };
    std::string path;
    Reason reason = Reason::OpenFailed;
    OpenError open_error;

    friend bool operator==(const UnusableBoard&, const UnusableBoard&) = default;
};

struct BoardListing {
    std::vector<std::u16string> serials;  // one per usable matching interface, enumeration order
    std::vector<UnusableBoard> unusable;  // matching interfaces that could not be listed
};

// The listing walk: the serial texts of every matching interface, in enumeration order.
BoardListing listBoards(Platform& platform, DeviceMatch match);

struct OpenedBoard {
    DeviceHandle device;
    InterfaceInfo info;          // attributes of the chosen interface
    ReportLengths lengths;       // from its report descriptor; all zero when unreadable
    bool lengths_known = false;  // false: the descriptor could not be read this time
};

struct OpenOutcome {
    std::optional<OpenedBoard> board;     // empty when no usable interface has that serial
    std::vector<UnusableBoard> unusable;  // matching interfaces passed over on the way
};

// The opening walk: opens the first matching interface whose serial text equals `serial`
// exactly, and reads its report lengths. Every other handle is closed.
OpenOutcome openBoard(Platform& platform, DeviceMatch match, const std::u16string& serial);

}  // namespace rotorix::hid
