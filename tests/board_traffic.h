// What a board received and holds, spelled out for tests on the simulated platform: the reports
// the host sends, a strict decoder for them, and the board's own settings. No toolkit: the session
// and the window tests share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "fixtures.h"
#include "sim/sim_platform.h"

namespace rotorix::test {

using sim::Call;
using sim::SimPlatform;
using BoardId = SimPlatform::BoardId;
using Report = std::vector<std::uint8_t>;

// ---- What a board received ----

inline std::uint8_t code(config::Setting setting) {
    return static_cast<std::uint8_t>(setting);
}

inline Report readRequest(std::size_t length, config::Setting setting) {
    return paddedReport(length, {config::kReportId, code(setting)});
}
inline Report settingWrite(std::size_t length, config::Setting setting, std::uint8_t value) {
    return paddedReport(length, {config::kReportId, config::kWriteCommand, code(setting), value});
}
// Command 0xB0 carries bytes 2 and 3 of the write before it.
inline Report commandB0(std::size_t length, config::Setting setting, std::uint8_t value) {
    return paddedReport(length, {config::kReportId, config::kCommandB0, code(setting), value});
}
// The whole read-back, in the order it is made.
inline std::vector<Report> readBack(std::size_t length) {
    return {readRequest(length, config::Setting::EncoderLowPlane),
            readRequest(length, config::Setting::EncoderHighPlane),
            readRequest(length, config::Setting::PulseLength),
            readRequest(length, config::Setting::HideFromGameControllers)};
}

struct Decoded {
    enum class Kind { ReadRequest, SettingWrite, CommandB0, Unknown };
    Kind kind = Kind::Unknown;
    std::uint8_t setting = 0;
    std::uint8_t value = 0;
};

inline bool isHostSetting(std::uint8_t setting) {
    return setting == code(config::Setting::HideFromGameControllers) ||
           setting == code(config::Setting::EncoderLowPlane) ||
           setting == code(config::Setting::EncoderHighPlane) ||
           setting == code(config::Setting::PulseLength);
}

// Classifies one report strictly: anything with a stray byte, an unknown setting or a wrong
// report ID is Unknown.
inline Decoded decode(const Report& report) {
    auto zeroFrom = [&](std::size_t first) {
        for (std::size_t i = first; i < report.size(); ++i) {
            if (report[i] != 0) {
                return false;
            }
        }
        return true;
    };
    if (report.size() < 2 || report[0] != config::kReportId) {
        return {};
    }
    if (isHostSetting(report[1]) && zeroFrom(2)) {
        return {Decoded::Kind::ReadRequest, report[1], 0};
    }
    if (report.size() < 4 || !isHostSetting(report[2]) || !zeroFrom(4)) {
        return {};
    }
    if (report[1] == config::kWriteCommand) {
        return {Decoded::Kind::SettingWrite, report[2], report[3]};
    }
    if (report[1] == config::kCommandB0) {
        return {Decoded::Kind::CommandB0, report[2], report[3]};
    }
    return {};
}

// Reports other than read requests, e.g. to check that nothing was written.
inline std::vector<Report> writesIn(const std::vector<Report>& reports) {
    std::vector<Report> writes;
    for (const Report& report : reports) {
        if (decode(report).kind != Decoded::Kind::ReadRequest) {
            writes.push_back(report);
        }
    }
    return writes;
}

inline std::string hex(const Report& report) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : report) {
        text += text.empty() ? "" : " ";
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

// ---- Settings as a board holds them ----

inline void setBoardSetting(sim::BoardSpec& design, config::Setting setting, std::uint8_t value) {
    design.settings[settingIndex(setting)] = value;
}

inline std::uint8_t boardSetting(const SimPlatform& platform, BoardId id, config::Setting setting) {
    return platform.firmware(id).setting(code(setting));
}

}  // namespace rotorix::test
