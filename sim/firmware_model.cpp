#include "sim/firmware_model.h"

#include "config/protocol.h"

namespace rotorix::sim {

namespace {

constexpr std::size_t kCommandByte = config::kCommandByte;
constexpr std::size_t kCodeByte = config::kCodeByte;
constexpr std::size_t kValueByte = config::kValueByte;

bool knownSetting(std::uint8_t code) {
    return code < FirmwareModel::kSettingCount;
}

}  // namespace

void FirmwareModel::receiveFeatureReport(std::span<const std::uint8_t> report) {
    received_.emplace_back(report.begin(), report.end());
    // The board has only the unnumbered report; anything else never reaches its handler.
    if (report.size() <= kCommandByte || report[0] != config::kReportId) {
        return;
    }
    const std::uint8_t command = report[kCommandByte];
    if (command == config::kWriteCommand) {
        if (report.size() > kValueByte && knownSetting(report[kCodeByte])) {
            settings_[report[kCodeByte]] = report[kValueByte];
        }
    } else if (command == config::kCommandB0) {
        ++b0_count_;
    } else if (knownSetting(command)) {
        selected_ = command;
    }
}

std::vector<std::uint8_t> FirmwareModel::featureReportReply(std::size_t length) const {
    std::vector<std::uint8_t> reply(length, 0);
    if (length > kCommandByte) {
        reply[kCommandByte] = selected_;
    }
    if (length > config::kReplyValueByte) {
        reply[config::kReplyValueByte] = settings_[selected_];
    }
    return reply;
}

std::vector<std::uint8_t> FirmwareModel::inputReport(std::size_t length) {
    // [report ID, buttons 1-8, buttons 9-16, counter]: the counter lets a test tell successive
    // reports apart.
    constexpr std::size_t kCounterByte = 3;
    if (!queued_buttons_.empty()) {
        buttons_ = queued_buttons_.front();
        queued_buttons_.pop_front();
    }
    std::vector<std::uint8_t> report(length, 0);
    if (length > 1) {
        report[1] = static_cast<std::uint8_t>(buttons_ & 0xFF);
    }
    if (length > 2) {
        report[2] = static_cast<std::uint8_t>(buttons_ >> 8);
    }
    if (length > kCounterByte) {
        report[kCounterByte] = input_counter_;
    }
    ++input_counter_;
    return report;
}

void FirmwareModel::setButtons(std::uint16_t pressed) {
    queued_buttons_.clear();
    buttons_ = pressed;
}

void FirmwareModel::setButton(int number, bool pressed) {
    if (number < 1 || number > 16) {
        return;
    }
    const auto bit = static_cast<std::uint16_t>(1u << (number - 1));
    setButtons(static_cast<std::uint16_t>(pressed ? (buttons_ | bit) : (buttons_ & ~bit)));
}

void FirmwareModel::queueButtons(const std::vector<std::uint16_t>& states) {
    queued_buttons_.insert(queued_buttons_.end(), states.begin(), states.end());
}

std::uint8_t FirmwareModel::setting(std::uint8_t code) const {
    return knownSetting(code) ? settings_[code] : std::uint8_t{0};
}

void FirmwareModel::setSetting(std::uint8_t code, std::uint8_t value) {
    if (knownSetting(code)) {
        settings_[code] = value;
    }
}

}  // namespace rotorix::sim
