// Report lengths from a HID report descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid {

// Computes the input, output and feature report byte lengths the way Windows' HidP_GetCaps does:
// for each kind, the largest report (the bits of all its main items under one report ID, rounded
// up to whole bytes) plus one byte for the report ID, whether or not the descriptor declares
// report IDs; 0 for a kind the descriptor has none of.
//
// Handles global-item Push/Pop, several report IDs and long items (skipped). Never reads outside
// `descriptor`, always terminates, and accepts any byte string: malformed input yields whatever
// the well-formed prefix describes. Lengths saturate at 65535.
ReportLengths reportLengthsFromDescriptor(std::span<const std::uint8_t> descriptor);

struct DescriptorSummary {
    ReportLengths lengths;
    bool numbered = false;  // the descriptor declares report IDs
};

// The lengths above, and whether the reports carry an ID byte on the wire.
DescriptorSummary summarizeDescriptor(std::span<const std::uint8_t> descriptor);

// The on/off buttons of the input reports: every one-bit field of a variable, non-constant
// Input item on the Button page (0x09), with its usage taken from the item's Usage list or Usage
// Minimum/Maximum range (the last usage repeats for fields beyond the list, as HID has it),
// extended 4-byte usages included. Fields whose usage is 0 (Button page: no button) are left out,
// so are bits that would lie beyond a 65535-byte report. In the order the descriptor declares
// them. The same robustness as above: any byte string, bounded time and memory (at most
// kMaxInputButtons entries).
inline constexpr std::size_t kMaxInputButtons = 4096;
std::vector<InputButton> inputButtonsFromDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace rotorix::hid
