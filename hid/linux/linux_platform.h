// The platform on Linux: libudev walks and watches the hidraw subsystem, the hidraw ioctls and
// read() speak to the devices.
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

// Never fails to make: a system where libudev cannot start gives a platform whose walks fail
// with the system's words (and whose devicesMayHaveChanged() always answers true).
std::unique_ptr<Platform> makeLinuxPlatform();

}  // namespace rotorix::hid
