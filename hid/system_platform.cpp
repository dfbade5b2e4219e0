#include "hid/system_platform.h"

#ifdef _WIN32
#include "hid/windows_platform.h"
#include "hid/windows_system.h"
#else
#include "hid/hidapi_platform.h"
#endif

#include <optional>
#include <utility>

namespace rotorix::hid {

std::unique_ptr<Platform> makeSystemPlatform() {
#ifdef _WIN32
    return makeWindowsPlatform();
#else
    return makeHidapiPlatform();
#endif
}

std::vector<std::string> programArguments(int argc, char* argv[]) {
#ifdef _WIN32
    if (std::optional<std::vector<std::string>> wide = win32::commandLineArguments()) {
        return std::move(*wide);
    }
#endif
    return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
}

Utf8Console::Utf8Console() {
#ifdef _WIN32
    previous_ = win32::useUtf8ConsoleOutput();
#endif
}

Utf8Console::~Utf8Console() {
#ifdef _WIN32
    win32::restoreConsoleOutput(previous_);
#endif
}

}  // namespace rotorix::hid
