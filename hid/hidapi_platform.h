// Transitional: app/main.cpp still asks for the platform by its former name. Delete this header
// once it calls makeSystemPlatform() (system_platform.h).
#pragma once

#include "hid/linux/linux_platform.h"

namespace rotorix::hid {

inline std::unique_ptr<Platform> makeHidapiPlatform() {
    return makeLinuxPlatform();
}

}  // namespace rotorix::hid
