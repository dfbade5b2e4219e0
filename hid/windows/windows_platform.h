// The platform on Windows, through SetupAPI and the HID class driver (hid.dll).
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

#ifdef _WIN32
// Creates the Windows platform. Each enumerate() walks the present HID interfaces afresh; between
// walks it holds one thread that hears the system's device-change notices, so
// devicesMayHaveChanged() can answer false while nothing came or went (and true at least every
// two seconds after the last successful walk, in case a notice was lost).
//
// - Paths are the interfaces' device paths in UTF-8.
// - Attributes and identity strings are read through handles without access rights, so a board
//   that another program holds, or that this user may not open, is listed and named all the
//   same; read/write access is asked only by open().
// - Of the top-level collections of one USB interface, only the one with the longest feature
//   report is listed.
// - Report lengths come from the HID class driver's parsed capabilities (HidP_GetCaps).
std::unique_ptr<Platform> makeWindowsPlatform();
#endif

}  // namespace rotorix::hid
