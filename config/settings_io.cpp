#include "config/settings_io.h"

#include <algorithm>

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
    BoardSettings settings;
    const auto low = channel->read(Setting::EncoderLowPlane);
    if (!low) {
        return std::nullopt;
    }
    const auto high = channel->read(Setting::EncoderHighPlane);
    if (!high) {
        return std::nullopt;
    }
    const auto pulse = channel->read(Setting::PulseLength);
    if (!pulse) {
        return std::nullopt;
    }
    const auto hide = channel->read(Setting::HideFromGameControllers);
    if (!hide) {
        return std::nullopt;
    }
    settings.planes = {*low, *high};
    settings.pulse_code = *pulse;
    settings.hide_flag = *hide;
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
    const bool b0_ok = channel->sendCommandB0();
    return write_ok && b0_ok;
}

}  // namespace rotorix::config
