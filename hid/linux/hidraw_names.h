// Linux: which hidraw nodes can be a board, decided from names alone. Private to hid/linux/.
//
// A hidraw node's entry in /sys/class/hidraw links to its place under the hid device it belongs
// to, whose name ("0003:2B7E:0103.0007") gives the bus, the vendor, the product and a counter
// that does not repeat before a reboot. One readlink per node therefore tells whether the node is
// worth a closer look; libudev, which resolves a sysfs path one component at a time and each of
// its parents the same way, costs hundreds of system calls per node and is kept for the nodes
// that pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid::hidraw {

inline constexpr std::uint16_t kBusUsb = 0x0003;  // BUS_USB in <linux/input.h>

// What a hid device's name says about it.
struct HidName {
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    friend bool operator==(const HidName&, const HidName&) = default;
};

// "BBBB:VVVV:PPPP.NNNN" as the kernel names a hid device (four hex digits each, then a counter
// of four or more); empty for anything else.
std::optional<HidName> parseHidName(std::string_view name);

// One node a walk may be interested in.
struct NodeName {
    std::string node;      // "hidraw3": /dev/hidraw3, and its entry in the class directory
    std::string instance;  // its hid device's name
    HidName hid;
    std::string link;  // where its entry links to, relative: the order of the walk
};

struct NodeNames {
    std::vector<NodeName> nodes;
    std::optional<std::string> failure;  // the directory could not be read: the system's words
};

// The nodes listed in `class_dir` (normally /sys/class/hidraw) whose hid device is on the USB bus
// and, when `wanted` is given, has its vendor and product, in libudev's order: by sysfs path,
// component by component, so that boards keep the bus order whatever their node numbers. One
// readlink per node and nothing else; a node whose link names no hid device is passed over, as
// is one that vanishes meanwhile. A missing directory is no node (the kernel makes it with the
// first one), not a failure.
NodeNames usbNodes(const std::string& class_dir, const std::optional<DeviceMatch>& wanted);

// Whether sysfs path `a` sorts before `b`, one component at a time ("1-1" before "1-1.2").
bool sysfsPathLess(std::string_view a, std::string_view b);

}  // namespace rotorix::hid::hidraw
