// Linux-only helpers of the hidapi backend (hidapi_platform.cpp). Private to hid/.
#pragma once

#ifdef __linux__

#include <clocale>
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

// hidapi's hidraw backend turns the UTF-8 strings sysfs holds into wchar_t with mbstowcs, which
// follows the calling thread's LC_CTYPE: in the "C" locale a serial outside ASCII comes back
// empty, and the board could not be told apart or opened by its serial. While an object of this
// class lives, the calling thread converts as UTF-8 whatever the process locale is.
class Utf8Strings {
  public:
    Utf8Strings();
    ~Utf8Strings();
    Utf8Strings(const Utf8Strings&) = delete;
    Utf8Strings& operator=(const Utf8Strings&) = delete;

  private:
    locale_t utf8_;
    locale_t previous_{};
};

}  // namespace rotorix::hid::hidraw

#endif  // __linux__
