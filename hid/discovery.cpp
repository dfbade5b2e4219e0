#include "hid/discovery.h"

#include <utility>

namespace rotorix::hid {

namespace {

// Opens one matching interface and reads its serial text. On failure the reason is appended to
// `unusable` and no handle is kept.
struct Candidate {
    DeviceHandle device;
    std::u16string serial;
};

std::optional<Candidate> openCandidate(Platform& platform, const InterfaceInfo& info,
                                       std::vector<UnusableBoard>& unusable) {
    OpenResult opened = platform.open(info.path);
    if (auto* error = std::get_if<OpenError>(&opened)) {
        unusable.push_back({info.path, UnusableBoard::Reason::OpenFailed, *error});
        return std::nullopt;
    }
    DeviceHandle device = std::move(std::get<DeviceHandle>(opened));
    if (!device) {
        unusable.push_back({info.path, UnusableBoard::Reason::OpenFailed, {}});
        return std::nullopt;
    }
    auto serial = device->serialNumber();
    if (!serial) {
        unusable.push_back({info.path, UnusableBoard::Reason::NoSerialNumber, {}});
        return std::nullopt;  // the handle closes here
    }
    return Candidate{std::move(device), std::move(*serial)};
}

}  // namespace

BoardListing listBoards(Platform& platform, DeviceMatch match) {
    BoardListing listing;
    const Enumeration walk = platform.enumerate();
    for (const InterfaceInfo& info : walk.interfaces) {
        if (!match.matches(info)) {
            continue;
        }
        if (auto candidate = openCandidate(platform, info, listing.unusable)) {
            listing.serials.push_back(std::move(candidate->serial));
        }  // the candidate's handle closes before the walk moves on
    }
    return listing;
}

OpenOutcome openBoard(Platform& platform, DeviceMatch match, const std::u16string& serial) {
    OpenOutcome outcome;
    const Enumeration walk = platform.enumerate();
    for (const InterfaceInfo& info : walk.interfaces) {
        if (!match.matches(info)) {
            continue;
        }
        auto candidate = openCandidate(platform, info, outcome.unusable);
        if (!candidate || candidate->serial != serial) {
            continue;
        }
        OpenedBoard board;
        board.info = info;
        const auto lengths = candidate->device->reportLengths();
        board.lengths = lengths.value_or(ReportLengths{});
        board.lengths_known = lengths.has_value();
        board.device = std::move(candidate->device);
        outcome.board = std::move(board);
        break;
    }
    return outcome;
}

}  // namespace rotorix::hid
