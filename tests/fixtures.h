// Shared starting points for tests on the simulated platform: one sane board that each test
// changes in one field, and helpers to open it and to spell out expected reports.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "config/protocol.h"
#include "sim/sim_platform.h"

namespace rotorix::test {

inline constexpr std::size_t settingIndex(config::Setting setting) {
    return static_cast<std::size_t>(setting);
}

// A board that works: serial "0001", firmware 1.4, 9-byte input and feature reports, pairs 1-3 at
// "1:1", "1:4", "1:2" (planes 0x03 / 0x06), pulse "24 ms" (code 6), listed as a game controller.
inline sim::BoardSpec saneBoard() {
    sim::BoardSpec design;
    design.serial = u"0001";
    design.version = 0x0104;
    design.lengths = {9, 0, 9};
    design.settings[settingIndex(config::Setting::EncoderLowPlane)] = 0x03;
    design.settings[settingIndex(config::Setting::EncoderHighPlane)] = 0x06;
    design.settings[settingIndex(config::Setting::PulseLength)] = 6;
    design.settings[settingIndex(config::Setting::HideFromGameControllers)] = 0;
    return design;
}

inline sim::BoardSpec saneBoard(std::u16string serial) {
    sim::BoardSpec design = saneBoard();
    design.serial = std::move(serial);
    return design;
}

// A report as the host sends it: `head`, then zeros up to `length` bytes.
inline std::vector<std::uint8_t> paddedReport(std::size_t length,
                                              std::initializer_list<std::uint8_t> head) {
    std::vector<std::uint8_t> report(head);
    report.resize(length, 0);
    return report;
}

// Opens one interface of a device through the platform, as discovery would; a null handle (and a
// failed test) when the platform refuses.
inline hid::DeviceHandle openDevice(sim::SimPlatform& platform, sim::SimPlatform::BoardId id,
                                    int interface_index = 0) {
    auto result = platform.open(hid::unlistedEntry(platform.path(id, interface_index)));
    if (auto* handle = std::get_if<hid::DeviceHandle>(&result)) {
        return std::move(*handle);
    }
    ADD_FAILURE() << "the simulated platform refused to open device " << id;
    return nullptr;
}

}  // namespace rotorix::test
