// The board's HID report descriptor: a game pad whose input report holds 16 buttons (then
// constant padding), with a vendor-defined feature report. One definition for the simulated
// platform and the emulated USB board.
#pragma once

#include <cstdint>
#include <vector>

namespace rotorix::sim {

// Lengths count the report-ID byte, as hid::ReportLengths does. The 16 button bits are always
// declared; padding follows when input_length is above 3. A feature_length below 2 declares no
// feature report. Counts above 65535 are not representable and are clamped.
std::vector<std::uint8_t> boardReportDescriptor(std::uint16_t input_length,
                                                std::uint16_t feature_length);

}  // namespace rotorix::sim
