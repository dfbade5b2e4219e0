#include "sim/firmware_model.h"

#include <algorithm>

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
    // No pulse has begun at the earliest time there is.
    return inputReport(length, Clock::time_point::min());
}

std::vector<std::uint8_t> FirmwareModel::inputReport(std::size_t length, Clock::time_point now) {
    // [report ID, buttons 1-8, buttons 9-16, counter]: the counter lets a test tell successive
    // reports apart.
    constexpr std::size_t kCounterByte = 3;
    if (!queued_buttons_.empty()) {
        buttons_ = queued_buttons_.front();
        queued_buttons_.pop_front();
    }
    const auto pressed = static_cast<std::uint16_t>(buttons_ | turns_.buttonsAt(now));
    std::vector<std::uint8_t> report(length, 0);
    if (length > 1) {
        report[1] = static_cast<std::uint8_t>(pressed & 0xFF);
    }
    if (length > 2) {
        report[2] = static_cast<std::uint8_t>(pressed >> 8);
    }
    if (length > kCounterByte) {
        report[kCounterByte] = input_counter_;
    }
    ++input_counter_;
    return report;
}

std::chrono::milliseconds FirmwareModel::pulseLength() const {
    const int code =
        std::clamp<int>(settings_[static_cast<std::size_t>(config::Setting::PulseLength)],
                        config::kPulseCodeMin, config::kPulseCodeMax);
    return std::chrono::milliseconds(code * config::kPulseStepMs);
}

std::vector<Pulse> FirmwareModel::turn(int pair, int steps, int steps_per_second,
                                       Clock::time_point now) {
    return turns_.turn(pair, steps, steps_per_second, pulseLength(), now);
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
