// The walk over the present HID interfaces (SetupAPI and the configuration manager), and what it
// learns of one interface from its path. For hid/windows/ only.
#pragma once

#ifdef _WIN32

#include <optional>
#include <string>

#include "hid/platform.h"
#include "hid/windows/windows_api.h"

namespace rotorix::hid::win32 {

// One walk of the interfaces of `hid_class`. With `wanted`, an interface whose path names another
// vendor and product is never opened, and only wanted interfaces are listed; without, every
// interface is opened to read its attributes.
Enumeration walkInterfaces(const GUID& hid_class, const std::optional<DeviceMatch>& wanted);

// A handle for the class driver's queries (attributes, strings, capabilities), which ask for no
// access rights: it opens where read/write is refused or held exclusively by another program.
// `flags`: FILE_FLAG_OVERLAPPED for a handle whose string queries are to be bounded.
HANDLE openForQueries(const std::wstring& path, DWORD flags);

// Whether the instance ID of the USB device above the collection at `path` shows a serial
// number. False when no USB device is above it, or the system will not say.
bool usbSerialShown(const std::wstring& path);

}  // namespace rotorix::hid::win32

#endif  // _WIN32
