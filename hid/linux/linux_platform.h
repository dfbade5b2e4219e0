// The platform on Linux: the hidraw class in sysfs and libudev walk and watch the hidraw nodes,
// the hidraw ioctls and read() speak to the devices.
#pragma once

#include <chrono>
#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

// How long devicesMayHaveChanged() believes a device monitor that heard nothing: after that long
// without a successful walk it answers true anyway, in case the monitor cannot hear.
inline constexpr std::chrono::seconds kLongestTrust{2};

// Never fails to make: a system where libudev cannot start gives a platform whose walks fail
// with the system's words (and whose devicesMayHaveChanged() always answers true).
// `longest_trust` is for tests that must know when the answer may turn true on its own.
std::unique_ptr<Platform> makeLinuxPlatform(
    std::chrono::milliseconds longest_trust = kLongestTrust);

}  // namespace rotorix::hid
