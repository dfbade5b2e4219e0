// The platform on Windows, through SetupAPI and the HID class driver (hid.dll).
#pragma once

#include <memory>

#include "hid/platform.h"

namespace rotorix::hid {

#ifdef _WIN32
// Creates the Windows platform (hid/platform.h says what it gives). Each walk runs afresh; between
// walks it holds one thread that hears the system's device-change notices, so
// devicesMayHaveChanged() answers false while nothing came or went. Under Wine, whose notices
// may never come, it also answers true when the last successful walk is old, until a first notice
// shows that they arrive: after two seconds, doubled for each walk in a row that listed what the
// one before it listed, up to eight.
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
