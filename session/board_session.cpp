#include "session/board_session.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "session/board_notice.h"

namespace rotorix::session {

namespace {

// The open board, keeping the system's words for the first call that failed. A write sends two
// reports, and a device's last error speaks only of its latest call: when the second report is
// taken after the first was refused, the refusal's words would otherwise be gone.
class FirstFailure final : public hid::Device {
  public:
    explicit FirstFailure(hid::Device& board) : board_(board) {}

    std::optional<std::u16string> serialNumber() override { return note(board_.serialNumber()); }
    std::optional<std::u16string> manufacturer() override { return note(board_.manufacturer()); }
    std::optional<std::u16string> product() override { return note(board_.product()); }
    std::optional<hid::ReportLengths> reportLengths() override {
        return note(board_.reportLengths());
    }
    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        return note(board_.sendFeatureReport(report));
    }
    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        return note(board_.getFeatureReport(buffer));
    }
    hid::ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        const hid::ReadOutcome outcome = board_.readInputReport(buffer, timeout_ms);
        note(outcome != hid::ReadOutcome::Gone);
        return outcome;
    }
    std::string lastError() const override { return words_; }

  private:
    template <class Result>
    Result note(Result result) {
        if (!result && words_.empty()) {
            words_ = board_.lastError();
        }
        return result;
    }

    hid::Device& board_;
    std::string words_;
};

}  // namespace

BoardSession::BoardSession(hid::Platform& platform, hid::DeviceMatch match)
    : platform_(platform), match_(match) {}

BoardSession::~BoardSession() = default;

// ---- Operations a front end calls ----

void BoardSession::start() {
    settings_loaded_ = false;
    switch_pending_ = false;
    scan_complete_ = false;
    // Asked before the walk, so the first tick's answer speaks only of what came after it.
    platform_.devicesMayHaveChanged();
    scan();
    device_found_ = findTheHid();
    refresh();
    publish();
}

TickResult BoardSession::tick() {
    TickResult result;
    // The time this tick waited for; no need to count past the retry's due time.
    since_walk_ms_ = std::min(since_walk_ms_ + interval_ms_, kRetryUnusableMs);
    const bool was_open = device_found_;
    if (device_found_) {
        std::vector<std::uint8_t> report(std::max<std::size_t>(caps_.input, 65), 0);
        const auto outcome = board_->device->readInputReport(report, kLivenessWaitMs);
        const bool answered = outcome != hid::ReadOutcome::Gone;
        if (!answered) {
            noteDeviceError();
        }
        if (!answered || switch_pending_ || read_back_failed_) {
            result.lost = !switch_pending_;
            device_found_ = false;
            closeBoard();
            interval_ms_ = kSearchIntervalMs;
            settings_loaded_ = false;
        } else {
            interval_ms_ = kConnectedIntervalMs;
        }
    }
    // Asked on every search, so that its next answer covers only what happens after this walk.
    const bool rescan = !device_found_ && (platform_.devicesMayHaveChanged() || was_open ||
                                           switch_pending_ || retryDue());
    if (rescan) {
        settings_loaded_ = false;
        scan();
        device_found_ = findTheHid();
        if (device_found_) {
            switch_pending_ = false;
        }
        refresh();
    }
    publish();
    result.interval_ms = interval_ms_;
    return result;
}

int BoardSession::select(int index) {
    if (!scan_complete_) {
        return interval_ms_;
    }
    switch_pending_ = true;
    if (device_found_) {
        device_found_ = false;
        closeBoard();
        interval_ms_ = kSearchIntervalMs;
    }
    settings_loaded_ = false;
    const bool listed = index >= 0 && static_cast<std::size_t>(index) < snapshot_.serials.size();
    snapshot_.selected = listed ? index : -1;
    device_found_ = findTheHid();
    if (device_found_) {
        switch_pending_ = false;
    }
    refresh();
    publish();
    return interval_ms_;
}

bool BoardSession::selectSerial(const std::u16string& serial) {
    const auto& serials = snapshot_.serials;
    const auto found = std::find(serials.begin(), serials.end(), serial);
    if (found == serials.end() || !scan_complete_) {
        return false;
    }
    select(static_cast<int>(found - serials.begin()));
    return true;
}

WriteOutcome BoardSession::writeEncoderTypes(const config::EncoderTypes& types) {
    if (!(device_found_ && settings_loaded_)) {
        return WriteOutcome::NotSent;
    }
    config::EncoderTypes clamped{};
    std::transform(types.begin(), types.end(), clamped.begin(),
                   [](std::uint8_t type) { return std::min<std::uint8_t>(type, 3); });
    config::BoardSettings written = *snapshot_.settings;
    written.planes = config::packEncoderTypes(clamped);
    FirstFailure device(*board_->device);
    const bool taken = config::writeEncoderTypes(device, caps_.feature, clamped);
    return afterWrite(taken, written, device.lastError());
}

WriteOutcome BoardSession::writePulseCode(std::uint8_t code) {
    if (!(device_found_ && settings_loaded_) || !config::pulseIndexFromCode(code)) {
        return WriteOutcome::NotSent;
    }
    config::BoardSettings written = *snapshot_.settings;
    written.pulse_code = code;
    FirstFailure device(*board_->device);
    const bool taken = config::writePulseCode(device, caps_.feature, code);
    return afterWrite(taken, written, device.lastError());
}

WriteOutcome BoardSession::writeHideFlag(std::uint8_t value) {
    if (!(device_found_ && settings_loaded_)) {
        return WriteOutcome::NotSent;
    }
    config::BoardSettings written = *snapshot_.settings;
    written.hide_flag = value;
    FirstFailure device(*board_->device);
    const bool taken = config::writeHideFlag(device, caps_.feature, value);
    return afterWrite(taken, written, device.lastError());
}

bool BoardSession::reload() {
    refresh();
    publish();
    return settings_loaded_;
}

void BoardSession::close() {
    scan_complete_ = false;
    closeBoard();
    // With the handle gone, a late call must find the gates shut rather than reach a released
    // board.
    device_found_ = false;
    settings_loaded_ = false;
    snapshot_.board_open = false;
    snapshot_.settings.reset();
    publish();
}

// ---- The steps behind them ----

bool BoardSession::retryDue() const {
    return !snapshot_.unusable.empty() && since_walk_ms_ >= kRetryUnusableMs;
}

void BoardSession::scan() {
    scan_complete_ = false;
    since_walk_ms_ = 0;
    hid::BoardListing listing = hid::listBoards(platform_, match_);
    snapshot_.serials = std::move(listing.serials);
    // Like a list that selects each item as it is added: the last board listed is the one
    // opened.
    snapshot_.selected = static_cast<int>(snapshot_.serials.size()) - 1;
    snapshot_.unusable = std::move(listing.unusable);
    scan_complete_ = true;
}

bool BoardSession::findTheHid() {
    device_found_ = false;
    const std::u16string wanted =
        snapshot_.selected >= 0 ? snapshot_.serials[static_cast<std::size_t>(snapshot_.selected)]
                                : std::u16string();
    hid::OpenOutcome outcome = hid::openBoard(platform_, match_, wanted);
    for (auto& problem : outcome.unusable) {
        if (std::find(snapshot_.unusable.begin(), snapshot_.unusable.end(), problem) ==
            snapshot_.unusable.end()) {
            snapshot_.unusable.push_back(std::move(problem));
        }
    }
    if (!outcome.board) {
        return false;
    }
    board_ = std::move(outcome.board);
    caps_ = board_->lengths;
    return true;
}

void BoardSession::refresh() {
    settings_loaded_ = false;
    read_back_failed_ = false;
    Snapshot& shown = snapshot_;
    shown.board_open = device_found_ && board_.has_value();
    shown.manufacturer.reset();
    shown.product.reset();
    shown.version.reset();
    shown.version_caption.clear();
    shown.firmware = Firmware::None;
    shown.settings.reset();
    shown.notice = shown.board_open ? std::string() : unusableBoardNotice(shown.unusable);
    if (!shown.board_open) {
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
    // Report lengths that could not be read are not a board that cannot be configured: the
    // watchdog reopens it on the next tick, as after a failed read-back.
    shown.firmware = Firmware::Ready;
    if (!board_->lengths_known) {
        read_back_failed_ = true;
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
        read_back_failed_ = true;
        return;
    }
    shown.last_error.clear();
    settings_loaded_ = true;
}

void BoardSession::closeBoard() {
    board_.reset();
    read_back_failed_ = false;
}

WriteOutcome BoardSession::afterWrite(bool taken, const config::BoardSettings& written,
                                      std::string words) {
    if (taken) {
        snapshot_.settings = written;
        snapshot_.last_error.clear();
        publish();
        return WriteOutcome::Taken;
    }
    // The board refused: read everything back, so what is shown is what the board holds rather
    // than what the user hoped it took.
    const std::string why = words.empty() ? "the board did not answer" : std::move(words);
    snapshot_.last_error = why;
    refresh();
    if (snapshot_.last_error.empty()) {
        snapshot_.last_error = why;  // the read-back worked; keep the refusal's words
    }
    publish();
    return settings_loaded_ ? WriteOutcome::RefusedReread : WriteOutcome::RefusedLost;
}

void BoardSession::noteDeviceError() {
    std::string words = board_ ? board_->device->lastError() : std::string();
    snapshot_.last_error = words.empty() ? "the board did not answer" : std::move(words);
}

void BoardSession::publish() {
    if (snapshot_ != published_) {
        published_ = snapshot_;
        ++generation_;
    }
}

}  // namespace rotorix::session
