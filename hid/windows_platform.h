// The platform on Windows, through SetupAPI and the HID class driver (hid.dll).
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

#ifdef _WIN32
// Creates the Windows platform. It holds no system resources between calls: each enumerate()
// walks the present HID interfaces afresh, and each open device owns its handles.
//
// - Paths are the interfaces' device paths in UTF-8.
// - Report lengths come from the HID class driver's parsed capabilities (HidP_GetCaps).
// - Interfaces that cannot be opened even without access rights (to read their IDs) are left
//   out of enumerate(); an interface that is listed but refuses read/write access fails open()
//   with the system's reason.
std::unique_ptr<Platform> makeWindowsPlatform();
#endif

}  // namespace rotorix::hid
