// Discovery: the walk that lists the boards (probing which can be opened), and opening the one
// selected.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "session/board_session.h"

namespace rotorix::session {

void BoardSession::scan() {
    scan_complete_ = false;
    retry_.walked();
    hid::BoardListing listing = hid::listBoards(platform_, match_);
    Snapshot& shown = snapshot_;
    shown.walk_failure = std::move(listing.walk_failure);
    change_pending_ = change_pending_ && shown.walk_failure;
    shown.boards.clear();
    shown.serials.clear();
    shown.listed.clear();
    shown.unusable.clear();
    entries_.clear();
    for (hid::BoardEntry& entry : listing.boards) {
        ListedBoard board{entry.info.path, entry.identity, entry.info.version, std::nullopt};
        // Only a board that can be opened can be picked; the others are told about.
        hid::OpenResult probe = platform_.open(entry.info);
        if (const auto* error = std::get_if<hid::OpenError>(&probe)) {
            if (error->kind == hid::OpenError::Kind::Gone) {
                continue;  // unplugged while we looked; the next walk settles it
            }
            board.problem = *error;
            shown.unusable.push_back({entry.info.path, entry.identity.serial, *error});
        } else {
            shown.serials.push_back(entry.identity.serial);
            shown.listed.push_back(shown.boards.size());
        }  // the probe's handle closes before the walk moves on
        shown.boards.push_back(std::move(board));
        entries_.push_back(std::move(entry));
    }
    // Like a list that selects each item as it is added: the last board listed is the one
    // opened.
    shown.selected = static_cast<int>(shown.serials.size()) - 1;
    scan_complete_ = true;
}

bool BoardSession::findTheHid() {
    board_.reset();
    not_answering_ = false;  // a handle opened afresh is worth one more try
    const int selected = snapshot_.selected;
    if (selected < 0 || static_cast<std::size_t>(selected) >= snapshot_.listed.size()) {
        return false;
    }
    const std::size_t index = snapshot_.listed[static_cast<std::size_t>(selected)];
    auto opened = hid::openBoard(platform_, entries_[index]);
    if (const auto* error = std::get_if<hid::OpenError>(&opened)) {
        const hid::UnusableBoard problem{entries_[index].info.path, entries_[index].identity.serial,
                                         *error};
        auto& unusable = snapshot_.unusable;
        if (std::find(unusable.begin(), unusable.end(), problem) == unusable.end()) {
            unusable.push_back(problem);
        }
        return false;
    }
    board_ = std::move(std::get<hid::OpenedBoard>(opened));
    caps_ = board_->lengths;
    return true;
}

void BoardSession::openSelected(bool again) {
    if (findTheHid()) {
        again ? retry_.reopened() : retry_.opened();
    }
    refresh();
}

}  // namespace rotorix::session
