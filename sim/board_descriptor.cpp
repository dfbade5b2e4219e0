#include "sim/board_descriptor.h"

#include <cstddef>
#include <initializer_list>

namespace rotorix::sim {

namespace {

constexpr std::uint16_t kButtonBytesWithId = 3;

// Appends one item's bytes. Not vector::insert with an initializer list: GCC 12 at -O3 inlines
// its reallocation and then warns (-Warray-bounds) about a copy past the old buffer that cannot
// happen.
void put(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        out.push_back(byte);
    }
}

// Report Count as the shortest item that holds it.
void putReportCount(std::vector<std::uint8_t>& out, std::size_t count) {
    if (count <= 0xFF) {
        put(out, {0x95, static_cast<std::uint8_t>(count)});
    } else {
        put(out, {0x96, static_cast<std::uint8_t>(count & 0xFF),
                  static_cast<std::uint8_t>((count >> 8) & 0xFF)});
    }
}

}  // namespace

std::vector<std::uint8_t> boardReportDescriptor(std::uint16_t input_length,
                                                std::uint16_t feature_length) {
    std::vector<std::uint8_t> d = {
        0x05, 0x01,  // Usage Page (Generic Desktop)
        0x09, 0x05,  // Usage (Game Pad)
        0xA1, 0x01,  // Collection (Application)
        0x05, 0x09,  //   Usage Page (Button)
        0x19, 0x01,  //   Usage Minimum (1)
        0x29, 0x10,  //   Usage Maximum (16)
        0x15, 0x00,  //   Logical Minimum (0)
        0x25, 0x01,  //   Logical Maximum (1)
        0x75, 0x01,  //   Report Size (1)
        0x95, 0x10,  //   Report Count (16)
        0x81, 0x02,  //   Input (Data, Variable, Absolute)
    };
    if (input_length > kButtonBytesWithId) {
        put(d, {0x75, 0x08});  // Report Size (8)
        putReportCount(d, input_length - kButtonBytesWithId);
        put(d, {0x81, 0x03});  // Input (Constant, Variable, Absolute)
    }
    if (feature_length >= 2) {
        put(d, {
                   0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
                   0x09, 0x01,        // Usage (1)
                   0x15, 0x00,        // Logical Minimum (0)
                   0x26, 0xFF, 0x00,  // Logical Maximum (255)
                   0x75, 0x08,        // Report Size (8)
               });
        putReportCount(d, feature_length - 1u);
        put(d, {0xB1, 0x02});  // Feature (Data, Variable, Absolute)
    }
    d.push_back(0xC0);  // End Collection
    return d;
}

}  // namespace rotorix::sim
