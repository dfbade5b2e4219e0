// Finding boards among the present HID interfaces: the listing walk, and opening exactly the
// interface the user picked.
//
// A board is one interface of one walk, named by its path: two boards may share a serial number
// or have none, so a serial alone never decides which board is opened. The walk looks only at
// interfaces whose vendor and product IDs match, and reads their identity without opening them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid {

// One matching interface of a walk.
struct BoardEntry {
    InterfaceInfo info;  // info.path names exactly this board within the walk
    Identity identity;

    friend bool operator==(const BoardEntry&, const BoardEntry&) = default;
};

// A matching interface that could not be opened, and why.
struct UnusableBoard {
    std::string path;
    std::u16string serial;  // as the board reports it; empty when it has none
    OpenError open_error;

    friend bool operator==(const UnusableBoard&, const UnusableBoard&) = default;
};

struct BoardListing {
    // Every matching interface that could be identified, in the system's order. One that
    // vanished during the walk is not listed.
    std::vector<BoardEntry> boards;
    // Set when the walk itself failed (the system's words): then `boards` says nothing about
    // what is attached.
    std::optional<std::string> walk_failure;
};

// The listing walk: one enumeration, each matching interface identified without being opened.
BoardListing listBoards(Platform& platform, DeviceMatch match);

struct OpenedBoard {
    DeviceHandle device;
    InterfaceInfo info;          // attributes of the chosen interface
    ReportLengths lengths;       // from its report descriptor; all zero when unreadable
    bool lengths_known = false;  // false: the descriptor could not be read this time
};

// Opens exactly `entry`'s interface and reads its report lengths.
std::variant<OpenedBoard, OpenError> openBoard(Platform& platform, const BoardEntry& entry);

}  // namespace rotorix::hid
