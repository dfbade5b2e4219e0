// Linux-only helpers of the hidapi backend (hidapi_platform.cpp). Private to hid/.
#pragma once

#ifdef __linux__

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rotorix::hid::hidraw {

// The report descriptor of the hidraw node at `device_path` (e.g. "/dev/hidraw3"), read from
// /sys/class/hidraw/<basename>/device/report_descriptor. Empty optional when the file cannot be
// read or is empty.
std::optional<std::vector<std::uint8_t>> readSysfsReportDescriptor(const std::string& device_path);

// True when `path` exists and is certainly not a hidraw node (not a character device, or a
// character device that sysfs files under another subsystem). False when it is a hidraw node or
// cannot be told: a missing path is left for the open itself to report.
bool isCertainlyNotHidraw(const std::string& path);

}  // namespace rotorix::hid::hidraw

#endif  // __linux__
