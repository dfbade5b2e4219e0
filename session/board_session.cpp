// The operations a front end calls, the watchdog and the board switch, and publication.
#include "session/board_session.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

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

void BoardSession::closeBoard() {
    board_.reset();
    retry_.closed();
    not_answering_ = false;
}

void BoardSession::publish() {
    snapshot_.board_open = open();
    if (snapshot_ != published_) {
        published_ = snapshot_;
        ++generation_;
    }
}

}  // namespace rotorix::session
