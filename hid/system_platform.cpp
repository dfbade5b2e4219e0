#include "hid/system_platform.h"

#ifdef _WIN32
#include "hid/windows/windows_platform.h"
#else
#include "hid/linux/linux_platform.h"
#endif

namespace rotorix::hid {

std::unique_ptr<Platform> makeSystemPlatform() {
#ifdef _WIN32
    return makeWindowsPlatform();
#else
    return makeLinuxPlatform();
#endif
}

}  // namespace rotorix::hid
