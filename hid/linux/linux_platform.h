// The platform on Linux: the hidraw class in sysfs and libudev walk and watch the hidraw nodes,
// the hidraw ioctls and read() speak to the devices.
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

// Never fails to make: a system where libudev cannot start gives a platform whose walks fail
// with the system's words (and whose devicesMayHaveChanged() always answers true).
std::unique_ptr<Platform> makeLinuxPlatform();

}  // namespace rotorix::hid
