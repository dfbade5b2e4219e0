// The platform on real hardware, through hidapi (the hidraw backend on Linux).
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

// Creates the hidapi platform. hidapi is initialised on creation and shut down when the last
// platform object is destroyed. Returns the platform even if initialisation failed; it then
// enumerates nothing.
std::unique_ptr<Platform> makeHidapiPlatform();

}  // namespace rotorix::hid
