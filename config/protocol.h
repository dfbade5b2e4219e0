// The board's configuration protocol: identifiers, report layouts, setting codes and the coding of
// each value. Pure functions only; the exchanges over a device are in settings_io.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rotorix::config {

// A board is a HID interface with these IDs; the version takes no part in the match.
inline constexpr std::uint16_t kVendorId = 0x2B7E;
inline constexpr std::uint16_t kProductId = 0x0103;

// The board's feature report is unnumbered.
inline constexpr std::uint8_t kReportId = 0x00;

// Byte positions in the system's numbering (byte 0 is the report ID).
inline constexpr std::size_t kCommandByte = 1;     // read request: the setting code itself
inline constexpr std::size_t kCodeByte = 2;        // setting write: the setting code
inline constexpr std::size_t kValueByte = 3;       // setting write: the new value
inline constexpr std::size_t kReplyValueByte = 2;  // fetched report: the setting's value

// A write and command 0xB0 need bytes 0 to 3; a shorter feature report cannot carry them.
inline constexpr std::size_t kMinFeatureLength = 4;

inline constexpr std::uint8_t kWriteCommand = 0xEE;
inline constexpr std::uint8_t kCommandB0 = 0xB0;

enum class Setting : std::uint8_t {
    HideFromGameControllers = 1,  // 0 listed, 1 hidden
    EncoderLowPlane = 8,          // bit k: bit 0 of pair k+1's encoder type
    EncoderHighPlane = 9,         // bit k: bit 1 of pair k+1's encoder type
    PulseLength = 10,             // 1..25, pulse = 4 ms x value
};

inline constexpr std::size_t kEncoderCount = 8;
inline constexpr int kEncoderTypeCount = 4;  // "OFF", "1:1", "1:2", "1:4"
inline constexpr int kPulseCodeMin = 1;
inline constexpr int kPulseCodeMax = 25;
inline constexpr int kPulseStepMs = 4;

// Encoder type codes of pairs 1..8, each 0..3 (also the index of the item in its list).
using EncoderTypes = std::array<std::uint8_t, kEncoderCount>;

struct EncoderPlanes {
    std::uint8_t low = 0;   // setting 8
    std::uint8_t high = 0;  // setting 9

    friend bool operator==(const EncoderPlanes&, const EncoderPlanes&) = default;
};

// Packs eight type codes into the two planes. Only bits 0 and 1 of each code are used.
EncoderPlanes packEncoderTypes(const EncoderTypes& types);
// The inverse: type of pair k+1 = bit k of low + 2 x bit k of high.
EncoderTypes unpackEncoderTypes(EncoderPlanes planes);

// Pulse code <-> index of the item in the pulse-length list ("4 ms" is index 0, code 1).
// A code outside 1..25 has no item: empty optional.
std::optional<int> pulseIndexFromCode(std::uint8_t code);
// Index 0..24 to code 1..25; empty optional for an index that names no item.
std::optional<std::uint8_t> pulseCodeFromIndex(int index);

// Texts of the lists' items, in index order.
const std::array<std::string, kEncoderTypeCount>& encoderTypeTexts();
std::vector<std::string> pulseLengthTexts();

// Report builders. Each writes into `report` (the operation's outgoing buffer, as long as the
// board's feature report and at least kMinFeatureLength) only the bytes its layout names, so a
// report inherits every other byte from the one before it in the same buffer.
void setReadRequest(std::span<std::uint8_t> report, Setting setting);
void setSettingWrite(std::span<std::uint8_t> report, Setting setting, std::uint8_t value);
// Command 0xB0 keeps bytes 2 and 3 of the write before it.
void setCommandB0(std::span<std::uint8_t> report);

// The version caption shown after the board's version number: " major.minor", major in decimal,
// minor in upper-case hexadecimal without leading zeros (0x0104 -> " 1.4", 0x0110 -> " 1.10").
std::string versionCaption(std::uint16_t version);
// Firmware 0.0 cannot be configured.
bool firmwareTooOld(std::uint16_t version);
inline constexpr const char* kUpgradeFirmwareSuffix = " - upgrade firmware!";

}  // namespace rotorix::config
