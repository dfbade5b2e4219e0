#include "config/protocol.h"

#include <cstdio>

namespace rotorix::config {

namespace {

std::uint8_t toByte(Setting setting) {
    return static_cast<std::uint8_t>(setting);
}

}  // namespace

EncoderPlanes packEncoderTypes(const EncoderTypes& types) {
    EncoderPlanes planes;
    for (std::size_t k = 0; k < kEncoderCount; ++k) {
        const auto bit = static_cast<unsigned>(1u << k);
        if (types[k] & 1u) {
            planes.low = static_cast<std::uint8_t>(planes.low | bit);
        }
        if (types[k] & 2u) {
            planes.high = static_cast<std::uint8_t>(planes.high | bit);
        }
    }
    return planes;
}

EncoderTypes unpackEncoderTypes(EncoderPlanes planes) {
    EncoderTypes types{};
    for (std::size_t k = 0; k < kEncoderCount; ++k) {
        const unsigned low = (planes.low >> k) & 1u;
        const unsigned high = (planes.high >> k) & 1u;
        types[k] = static_cast<std::uint8_t>(low + 2u * high);
    }
    return types;
}

std::optional<int> pulseIndexFromCode(std::uint8_t code) {
    if (code < kPulseCodeMin || code > kPulseCodeMax) {
        return std::nullopt;
    }
    return code - kPulseCodeMin;
}

std::optional<std::uint8_t> pulseCodeFromIndex(int index) {
    if (index < 0 || index > kPulseCodeMax - kPulseCodeMin) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(index + kPulseCodeMin);
}

const std::array<std::string, kEncoderTypeCount>& encoderTypeTexts() {
    static const std::array<std::string, kEncoderTypeCount> texts{"OFF", "1:1", "1:2", "1:4"};
    return texts;
}

std::vector<std::string> pulseLengthTexts() {
    std::vector<std::string> texts;
    for (int code = kPulseCodeMin; code <= kPulseCodeMax; ++code) {
        texts.push_back(std::to_string(code * kPulseStepMs) + " ms");
    }
    return texts;
}

void setReadRequest(std::span<std::uint8_t> report, Setting setting) {
    report[0] = kReportId;
    report[kCommandByte] = toByte(setting);
}

void setSettingWrite(std::span<std::uint8_t> report, Setting setting, std::uint8_t value) {
    report[0] = kReportId;
    report[kCommandByte] = kWriteCommand;
    report[kCodeByte] = toByte(setting);
    report[kValueByte] = value;
}

void setCommandB0(std::span<std::uint8_t> report) {
    report[0] = kReportId;
    report[kCommandByte] = kCommandB0;
}

std::string versionCaption(std::uint16_t version) {
    // bcdDevice is an unsigned field: 0x8001 is firmware 128.1, not a negative major.
    const unsigned major = version / 256u;
    const unsigned minor = version % 256u;
    char text[16];
    std::snprintf(text, sizeof text, " %u.%X", major, minor);
    return text;
}

bool firmwareTooOld(std::uint16_t version) {
    return version == 0;
}

}  // namespace rotorix::config
