// The system's headers as the Windows backend needs them, and owners of the system's handles.
// For hid/windows/ only: everything else stays free of Windows' headers.
#pragma once

#ifdef _WIN32

#include <windows.h>
// setupapi.h needs windows.h first. hidsdi.h brings hidusage.h and hidpi.h in the order they
// need; mingw's HID headers lack their own extern "C".
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <optional>
#include <utility>

namespace rotorix::hid::win32 {

// A kernel handle closed exactly once. CreateFileW fails with INVALID_HANDLE_VALUE and
// CreateEventW with NULL; both are held as "no handle".
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle)
        : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~UniqueHandle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&&) = delete;
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HANDLE handle_ = nullptr;
};

// A SetupAPI device information set, destroyed exactly once.
class DeviceInfoSet {
  public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (set_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    HDEVINFO get() const { return set_; }
    explicit operator bool() const { return set_ != INVALID_HANDLE_VALUE; }

  private:
    HDEVINFO set_;
};

// The attributes (vendor, product, version) the class driver holds for an open collection; it
// answers from what it learned as the device arrived, without asking the device.
inline std::optional<HIDD_ATTRIBUTES> readAttributes(HANDLE handle) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(handle, &attributes)) {
        return std::nullopt;
    }
    return attributes;
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
