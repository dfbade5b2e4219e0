// The read-back of the open board: its identity, what its firmware allows, its settings, and the
// notice that says what keeps the window from working with it.
#include <string>
#include <utility>

#include "session/board_notice.h"
#include "session/board_session.h"

namespace rotorix::session {

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

void BoardSession::stopTalking() {
    not_answering_ = true;
    retry_.clearUnreadable();  // no back-off: each reopen would wait on it once more
    snapshot_.settings.reset();
}

void BoardSession::noteDeviceError() {
    std::string words = board_ ? board_->device->lastError() : std::string();
    snapshot_.last_error = words.empty() ? "the board did not answer" : std::move(words);
}

}  // namespace rotorix::session
