#include "session/board_session.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "session/board_notice.h"

namespace rotorix::session {

BoardSession::BoardSession(hid::Platform& platform, hid::DeviceMatch match)
    : platform_(platform), match_(match) {}

BoardSession::~BoardSession() = default;

// ---- Operations a front end calls ----

void BoardSession::start() {
    beginStart();
    scan();
    openSelected();
    publish();
}

NameMatch BoardSession::start(const std::u16string& name) {
    beginStart();
    scan();
    const NameMatch match = matchName(snapshot_.boards, name);
    openListed(match.kind == NameMatch::Kind::One ? std::optional{match.boards.front()}
                                                  : std::nullopt);
    return match;
}

void BoardSession::list() {
    beginStart();
    scan();
    openListed(std::nullopt);
}

void BoardSession::visitEach(const std::function<void(std::size_t board)>& visit) {
    list();
    const std::size_t count = snapshot_.boards.size();
    for (std::size_t i = 0; i < count; ++i) {
        openListed(i);
        visit(i);
    }
    close();
}

TickResult BoardSession::tick() {
    TickResult result;
    retry_.elapse(interval_ms_);  // the time this tick waited for
    const bool was_open = open();
    if (was_open) {
        std::vector<std::uint8_t> report(std::max<std::size_t>(caps_.input, 65), 0);
        const auto outcome = board_->device->readInputReport(report, kLivenessWaitMs);
        const bool answered = outcome != hid::ReadOutcome::Gone;
        if (!answered) {
            noteDeviceError();
        }
        if (!answered || switch_pending_) {
            result.lost = !answered && !switch_pending_;
            closeBoard();
            interval_ms_ = kSearchIntervalMs;
        } else {
            interval_ms_ = kConnectedIntervalMs;
            if (retry_.reopenDue()) {
                reopen();
            }
        }
    }
    // Asked on every search, so that its next answer covers only what happens after this walk.
    // A change stays pending until a walk after it succeeds; while walks fail, they are tried
    // again once a second, not on every tick.
    if (!open() && platform_.devicesMayHaveChanged()) {
        change_pending_ = true;
    }
    const bool changed = change_pending_ && !snapshot_.walk_failure;
    const bool rescan = !open() && (changed || was_open || switch_pending_ || retryDue());
    if (rescan) {
        scan();
        openSelected();
        if (open()) {
            switch_pending_ = false;
        }
    }
    publish();
    result.interval_ms = interval_ms_;
    return result;
}

std::optional<int> BoardSession::select(int index) {
    if (!scan_complete_) {
        return std::nullopt;
    }
    switch_pending_ = true;
    if (open()) {
        closeBoard();
        interval_ms_ = kSearchIntervalMs;
    }
    const bool listed = index >= 0 && static_cast<std::size_t>(index) < snapshot_.serials.size();
    snapshot_.selected = listed ? index : -1;
    openSelected();
    if (open()) {
        switch_pending_ = false;
    }
    publish();
    return interval_ms_;
}

bool BoardSession::reload() {
    if (not_answering_) {
        return false;  // another read-back would only wait on it again
    }
    refresh();
    publish();
    return loaded();
}

void BoardSession::close() {
    scan_complete_ = false;
    closeBoard();
    // With the handle gone, a late call must find the gates shut rather than reach a released
    // board.
    snapshot_.settings.reset();
    snapshot_.not_answering = false;
    publish();
}

// ---- The steps behind them ----

void BoardSession::beginStart() {
    switch_pending_ = false;
    scan_complete_ = false;
    // Asked before the walk, so the first tick's answer speaks only of what came after it.
    platform_.devicesMayHaveChanged();
}

void BoardSession::openListed(std::optional<std::size_t> board) {
    closeBoard();
    const auto& listed = snapshot_.listed;
    const auto pickable = board ? std::find(listed.begin(), listed.end(), *board) : listed.end();
    snapshot_.selected =
        pickable != listed.end() ? static_cast<int>(pickable - listed.begin()) : -1;
    openSelected();
    publish();
}

bool BoardSession::retryDue() const {
    const bool worth_retrying = !snapshot_.unusable.empty() || snapshot_.walk_failure;
    return retry_.walkDue(worth_retrying);
}

void BoardSession::reopen() {
    closeBoard();
    openSelected(true);
    if (!open()) {
        interval_ms_ = kSearchIntervalMs;
    }
}

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

void BoardSession::refresh() {
    retry_.clearUnreadable();
    Snapshot& shown = snapshot_;
    shown.manufacturer.reset();
    shown.product.reset();
    shown.version.reset();
    shown.version_caption.clear();
    shown.firmware = Firmware::None;
    shown.settings.reset();
    readBack();
    showNotice();
}

void BoardSession::readBack() {
    Snapshot& shown = snapshot_;
    if (!open()) {
        return;
    }
    hid::Device& device = *board_->device;
    shown.manufacturer = device.manufacturer();
    if (shown.manufacturer) {
        shown.version = board_->info.version;
        shown.version_caption = config::versionCaption(*shown.version);
    }
    shown.product = device.product();

    // Firmware 0.0 cannot be configured. A board without a manufacturer string has no version
    // shown and counts as firmware 0.0 too.
    if (!shown.version || config::firmwareTooOld(*shown.version)) {
        shown.version_caption += config::kUpgradeFirmwareSuffix;
        shown.firmware = Firmware::TooOld;
        return;
    }
    // Report lengths that could not be read are not a board that cannot be configured: it is
    // reopened after the back-off, as after a failed read-back.
    shown.firmware = Firmware::Ready;
    if (!board_->lengths_known) {
        retry_.readBackFailed();
        return;
    }
    // A feature report too short to carry a setting write: show the board, send it nothing.
    if (!config::canConfigure(caps_.feature)) {
        shown.firmware = Firmware::NotConfigurable;
        return;
    }

    // Everything is read before anything is shown: never a half-read mix, never a value left
    // from an earlier fetch.
    shown.settings = config::readSettings(device, caps_.feature);
    if (!shown.settings) {
        noteDeviceError();
        if (device.timedOut()) {
            stopTalking();
        } else {
            retry_.readBackFailed();
        }
        return;
    }
    shown.last_error.clear();
    retry_.settingsRead();
}

void BoardSession::showNotice() {
    Snapshot& shown = snapshot_;
    shown.not_answering = open() && not_answering_;
    if (shown.not_answering) {
        shown.notice = notAnsweringNotice();
    } else if (open()) {
        shown.notice =
            retry_.unreadable() ? unreadableBoardNotice(shown.last_error) : std::string();
    } else if (shown.walk_failure) {
        shown.notice = failedWalkNotice(*shown.walk_failure);
    } else {
        shown.notice = unusableBoardNotice(shown.unusable);
    }
}

void BoardSession::closeBoard() {
    board_.reset();
    retry_.closed();
    not_answering_ = false;
}

void BoardSession::stopTalking() {
    not_answering_ = true;
    retry_.clearUnreadable();  // no back-off: each reopen would wait on it once more
    snapshot_.settings.reset();
}

void BoardSession::noteDeviceError() {
    std::string words = board_ ? board_->device->lastError() : std::string();
    snapshot_.last_error = words.empty() ? "the board did not answer" : std::move(words);
}

void BoardSession::publish() {
    snapshot_.board_open = open();
    if (snapshot_ != published_) {
        published_ = snapshot_;
        ++generation_;
    }
}

}  // namespace rotorix::session
