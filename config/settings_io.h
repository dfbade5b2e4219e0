// The feature-report exchanges with an open board: reading its settings back and writing each
// change. Every report is exactly as long as the board's feature report.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "config/protocol.h"
#include "hid/platform.h"

namespace rotorix::config {

// Everything the window shows of a board's configuration, as the board holds it (values are
// raw: a pulse code or hide flag outside its coding is kept as it came).
struct BoardSettings {
    EncoderPlanes planes;
    std::uint8_t pulse_code = 0;
    std::uint8_t hide_flag = 0;

    friend bool operator==(const BoardSettings&, const BoardSettings&) = default;
};

// True when a board with this feature report length can carry reads and writes.
bool canConfigure(std::uint16_t feature_length);

// One operation's exchanges with a board. The object owns the operation's outgoing buffer,
// zero-filled on creation; every report of the operation goes out of that one buffer, so a
// report inherits the bytes its layout does not name from the report before it.
class SettingsChannel {
  public:
    // Empty optional when the feature report is too short to configure (canConfigure).
    static std::optional<SettingsChannel> open(hid::Device& device, std::uint16_t feature_length);

    // Read request for `setting`, then a fetch; the value is byte 2 of the fetched report.
    // Empty optional when either half fails or the reply is too short to hold the value: a
    // failed fetch never yields an earlier reply's byte.
    std::optional<std::uint8_t> read(Setting setting);

    // One setting write. True when the board took the whole report.
    bool write(Setting setting, std::uint8_t value);

    // Command 0xB0 from the current buffer (bytes 2 and 3 as the last write left them).
    bool sendCommandB0();

  private:
    SettingsChannel(hid::Device& device, std::uint16_t feature_length);

    hid::Device* device_;
    std::vector<std::uint8_t> outgoing_;
    std::vector<std::uint8_t> incoming_;
};

// The read-back: settings 8, 9, 10, then 1. Stops at the first failed exchange and returns
// empty optional (the device's timedOut() then says whether it went unanswered); nothing is sent
// to a board that cannot be configured.
std::optional<BoardSettings> readSettings(hid::Device& device, std::uint16_t feature_length);

// Two-report writes send their second report even when the board refused the first, but not
// when the first went unanswered (the device's timedOut()): a board that does not answer is
// sent nothing more, so the caller waits once, not twice.

// Setting 8 (low plane), then setting 9 (high plane). True when both were taken.
bool writeEncoderTypes(hid::Device& device, std::uint16_t feature_length,
                       const EncoderTypes& types);

// Setting 10.
bool writePulseCode(hid::Device& device, std::uint16_t feature_length, std::uint8_t code);

// Setting 1, then command 0xB0. True when both were taken.
bool writeHideFlag(hid::Device& device, std::uint16_t feature_length, std::uint8_t value);

}  // namespace rotorix::config
