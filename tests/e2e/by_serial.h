// The rig's boards carry distinct serials, so its suites name them by serial: a thin layer over
// the listing walk, which names boards by path.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hid/discovery.h"

namespace rotorix::e2e {

inline std::vector<std::u16string> listedSerials(hid::Platform& platform, hid::DeviceMatch match) {
    std::vector<std::u16string> serials;
    for (const auto& board : hid::listBoards(platform, match).boards) {
        serials.push_back(board.identity.serial);
    }
    return serials;
}

struct OpenedBySerial {
    std::optional<hid::OpenedBoard> board;
    std::vector<hid::UnusableBoard> unusable;  // the board of that serial that would not open
};

// Opens the first listed board with `serial`.
inline OpenedBySerial openBySerial(hid::Platform& platform, hid::DeviceMatch match,
                                   const std::u16string& serial) {
    OpenedBySerial outcome;
    for (const auto& entry : hid::listBoards(platform, match).boards) {
        if (entry.identity.serial != serial) {
            continue;
        }
        auto opened = hid::openBoard(platform, entry);
        if (auto* error = std::get_if<hid::OpenError>(&opened)) {
            outcome.unusable.push_back({entry.info.path, serial, *error});
        } else {
            outcome.board = std::move(std::get<hid::OpenedBoard>(opened));
        }
        break;
    }
    return outcome;
}

}  // namespace rotorix::e2e
