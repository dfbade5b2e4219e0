// File names given as UTF-8 (the command line, a profile's settings), as the system's file API
// wants them.
#pragma once

#include <filesystem>
#include <string>

#include "base/unicode.h"

namespace rotorix::base {

// On Windows the path holds UTF-16, so streams opened on it go through the wide API (_wfopen)
// and reach the file whatever the ANSI code page is; elsewhere file names are bytes and pass
// as they are. Text that is not UTF-8 cannot name a file on Windows: its broken bytes become
// U+FFFD, and opening it fails as for any missing file.
inline std::filesystem::path pathFromUtf8(const std::string& name) {
#ifdef _WIN32
    return std::filesystem::path(toWideLossy(name));
#else
    return std::filesystem::path(name);
#endif
}

}  // namespace rotorix::base
