#include "hid/discovery.h"

#include <utility>

namespace rotorix::hid {

BoardListing listBoards(Platform& platform, DeviceMatch match) {
    BoardListing listing;
    Enumeration walk = platform.enumerateMatching(match);
    if (walk.failure) {
        listing.walk_failure = walk.failure->empty() ? "the system gave no reason" : *walk.failure;
        return listing;
    }
    for (InterfaceInfo& info : walk.interfaces) {
        if (!match.matches(info)) {
            continue;
        }
        // An interface that cannot say who it is has just gone; the next walk settles it.
        if (auto identity = platform.identify(info)) {
            listing.boards.push_back({std::move(info), std::move(*identity)});
        }
    }
    return listing;
}

std::variant<OpenedBoard, OpenError> openBoard(Platform& platform, const BoardEntry& entry) {
    OpenResult opened = platform.open(entry.info);
    if (auto* error = std::get_if<OpenError>(&opened)) {
        return *error;
    }
    OpenedBoard board;
    board.device = std::move(std::get<DeviceHandle>(opened));
    if (!board.device) {
        return OpenError{OpenError::Kind::Other, {}};
    }
    board.info = entry.info;
    const auto lengths = board.device->reportLengths();
    board.lengths = lengths.value_or(ReportLengths{});
    board.lengths_known = lengths.has_value();
    return board;
}

}  // namespace rotorix::hid
