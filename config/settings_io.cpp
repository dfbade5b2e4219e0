#include "config/settings_io.h"

#include <algorithm>
#include <array>

namespace rotorix::config {

bool canConfigure(std::uint16_t feature_length) {
    return feature_length >= kMinFeatureLength;
}

SettingsChannel::SettingsChannel(hid::Device& device, std::uint16_t feature_length)
    : device_(&device), outgoing_(feature_length, 0), incoming_(feature_length, 0) {}

std::optional<SettingsChannel> SettingsChannel::open(hid::Device& device,
                                                     std::uint16_t feature_length) {
    if (!canConfigure(feature_length)) {
        return std::nullopt;
    }
    return SettingsChannel(device, feature_length);
}

std::optional<std::uint8_t> SettingsChannel::read(Setting setting) {
    setReadRequest(outgoing_, setting);
    if (!device_->sendFeatureReport(outgoing_)) {
        return std::nullopt;
    }
    // A fresh receive buffer for every fetch, so a failed or short fetch cannot hand back the
    // value of an earlier one.
    std::fill(incoming_.begin(), incoming_.end(), std::uint8_t{0});
    incoming_[0] = kReportId;
    const auto received = device_->getFeatureReport(incoming_);
    if (!received || *received <= kReplyValueByte || *received > incoming_.size()) {
        return std::nullopt;
    }
    return incoming_[kReplyValueByte];
}

bool SettingsChannel::write(Setting setting, std::uint8_t value) {
    setSettingWrite(outgoing_, setting, value);
    return device_->sendFeatureReport(outgoing_);
}

bool SettingsChannel::sendCommandB0() {
    setCommandB0(outgoing_);
    return device_->sendFeatureReport(outgoing_);
}

std::optional<BoardSettings> readSettings(hid::Device& device, std::uint16_t feature_length) {
    auto channel = SettingsChannel::open(device, feature_length);
    if (!channel) {
        return std::nullopt;
    }
    // The board has always been read in this order; keep it.
    static constexpr std::array<Setting, 4> kOrder = {
        Setting::EncoderLowPlane, Setting::EncoderHighPlane, Setting::PulseLength,
        Setting::HideFromGameControllers};
    std::array<std::uint8_t, kOrder.size()> values{};
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        const auto value = channel->read(kOrder[i]);
        if (!value) {
            return std::nullopt;  // a board that stops answering gets no further requests
        }
        values[i] = *value;
    }
    BoardSettings settings;
    settings.planes = {values[0], values[1]};
    settings.pulse_code = values[2];
    settings.hide_flag = values[3];
    return settings;
}

bool writeEncoderTypes(hid::Device& device, std::uint16_t feature_length,
                       const EncoderTypes& types) {
    auto channel = SettingsChannel::open(device, feature_length);
    if (!channel) {
        return false;
    }
    const EncoderPlanes planes = packEncoderTypes(types);
    // Both planes go out even if the first is refused: the board must always get all eight.
    const bool low_ok = channel->write(Setting::EncoderLowPlane, planes.low);
    if (!low_ok && device.timedOut()) {
        return false;
    }
    const bool high_ok = channel->write(Setting::EncoderHighPlane, planes.high);
    return low_ok && high_ok;
}

bool writePulseCode(hid::Device& device, std::uint16_t feature_length, std::uint8_t code) {
    auto channel = SettingsChannel::open(device, feature_length);
    return channel && channel->write(Setting::PulseLength, code);
}

bool writeHideFlag(hid::Device& device, std::uint16_t feature_length, std::uint8_t value) {
    auto channel = SettingsChannel::open(device, feature_length);
    if (!channel) {
        return false;
    }
    const bool write_ok = channel->write(Setting::HideFromGameControllers, value);
    if (!write_ok && device.timedOut()) {
        return false;
    }
    const bool b0_ok = channel->sendCommandB0();
    return write_ok && b0_ok;
}

}  // namespace rotorix::config
