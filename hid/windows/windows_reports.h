// What the HID class driver's preparsed data says of a device's reports: their lengths, and where
// each button sits in an input report. Windows hands out no report descriptor, so the buttons
// are found by setting one usage at a time in an empty report and seeing which bit it sets.
// Declared without Windows headers (the handle is a void*).
#pragma once

#ifdef _WIN32

#include <optional>
#include <string>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid::win32 {

struct DescribedReports {
    ReportLengths lengths;
    // One-bit input buttons on the Button page (array fields left out), in usage order.
    std::vector<InputButton> buttons;
};

// For the open device `file`; empty optional (and `error` in plain words) when the class driver
// cannot describe it.
std::optional<DescribedReports> describeReports(void* file, std::string& error);

}  // namespace rotorix::hid::win32

#endif  // _WIN32
