// What the window tells the desktop about itself (the caption is in view/; the product name and
// description stand in the Windows version record and the Linux desktop metadata under
// packaging/).
#pragma once

#include "rotorix_version.h"

namespace rotorix::app {

inline constexpr const char* kVersion = rotorix::kVersion;  // from project() in CMake
inline constexpr const char* kInternalName = "Rotorix_configuration";
// Matches the installed desktop entry, so desktops can pair the window with its icon.
inline constexpr const char* kDesktopFileName = "rotorix-config";

}  // namespace rotorix::app
