// The platform of the system the program runs on, for front ends that want one call.
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

// SetupAPI and hid.dll on Windows (windows/windows_platform.h); libudev and hidraw on Linux
// (linux/linux_platform.h).
std::unique_ptr<Platform> makeSystemPlatform();

}  // namespace rotorix::hid
