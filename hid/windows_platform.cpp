#include "hid/windows_platform.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// setupapi.h needs windows.h first. hidsdi.h brings hidusage.h and hidpi.h in the order they
// need; mingw's HID headers lack their own extern "C".
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <array>
#include <cstddef>
#include <cwchar>
#include <limits>
#include <utility>

#include "hid/windows_reports.h"
#include "hid/windows_system.h"

namespace rotorix::hid {

namespace {

// ---- handles -------------------------------------------------------------------------------

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

template <typename Size>
bool fits(std::size_t size) {
    return size <= std::numeric_limits<Size>::max();
}

// ---- the device ----------------------------------------------------------------------------

class WindowsDevice final : public Device {
  public:
    WindowsDevice(UniqueHandle file, UniqueHandle read_event)
        : file_(std::move(file)), read_event_(std::move(read_event)) {}

    std::optional<std::u16string> serialNumber() override {
        return readString(HidD_GetSerialNumberString);
    }
    std::optional<std::u16string> manufacturer() override {
        return readString(HidD_GetManufacturerString);
    }
    std::optional<std::u16string> product() override { return readString(HidD_GetProductString); }

    std::optional<ReportLengths> reportLengths() override {
        const auto described = win32::describeReports(file_.get(), last_error_);
        if (!described) {
            return std::nullopt;
        }
        input_length_ = described->lengths.input;
        return described->lengths;
    }

    std::optional<std::vector<InputButton>> inputButtons() override {
        auto described = win32::describeReports(file_.get(), last_error_);
        if (!described) {
            return std::nullopt;
        }
        return std::move(described->buttons);
    }

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (report.empty() || !fits<ULONG>(report.size())) {
            return false;  // not even a report ID to send
        }
        // HidD_SetFeature takes a writable buffer though it only reads it.
        std::vector<std::uint8_t> copy(report.begin(), report.end());
        if (!HidD_SetFeature(file_.get(), copy.data(), static_cast<ULONG>(copy.size()))) {
            noteFailure();
            return false;
        }
        return true;
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        if (buffer.empty() || !fits<ULONG>(buffer.size())) {
            return std::nullopt;  // byte 0 must name the report
        }
        if (!HidD_GetFeature(file_.get(), buffer.data(), static_cast<ULONG>(buffer.size()))) {
            noteFailure();
            return std::nullopt;
        }
        // The class driver fills the buffer as the report's declared length and says no more.
        return buffer.size();
    }

    ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        // The class driver refuses a read shorter than the device's input report, so the read
        // goes into a buffer of that length and as much as fits is handed on.
        if (!input_length_) {
            reportLengths();
        }
        const std::size_t length = input_length_.value_or(0) > 0 ? *input_length_ : buffer.size();
        if (length == 0 || !fits<DWORD>(length)) {
            last_error_ = "The device has no input report to read";
            return ReadOutcome::Gone;
        }
        read_buffer_.assign(length, 0);

        OVERLAPPED overlapped{};
        overlapped.hEvent = read_event_.get();
        DWORD got = 0;
        if (!ReadFile(file_.get(), read_buffer_.data(), static_cast<DWORD>(length), nullptr,
                      &overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) {
                last_error_ = win32::systemMessage(error);
                return ReadOutcome::Gone;
            }
            // Negative means "do not wait": the wait is bounded whatever the caller passes.
            const DWORD wait = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0;
            const DWORD waited = WaitForSingleObject(read_event_.get(), wait);
            const DWORD wait_error = waited == WAIT_FAILED ? GetLastError() : ERROR_SUCCESS;
            if (waited != WAIT_OBJECT_0) {
                // The read must be over before this returns, or the driver would write into
                // read_buffer_ and overlapped later: cancel it, then wait for the cancel to land.
                CancelIo(file_.get());
            }
            if (!GetOverlappedResult(file_.get(), &overlapped, &got, TRUE)) {
                const DWORD result_error = GetLastError();
                if (waited == WAIT_TIMEOUT && result_error == ERROR_OPERATION_ABORTED) {
                    return ReadOutcome::NothingYet;
                }
                last_error_ =
                    win32::systemMessage(waited == WAIT_FAILED ? wait_error : result_error);
                return ReadOutcome::Gone;
            }
            // A report that arrived while the wait was running out is a report all the same.
        } else if (!GetOverlappedResult(file_.get(), &overlapped, &got, FALSE)) {
            noteFailure();
            return ReadOutcome::Gone;
        }
        const std::size_t size = std::min<std::size_t>({got, length, buffer.size()});
        std::copy_n(read_buffer_.begin(), size, buffer.begin());
        return ReadOutcome::Report;
    }

    std::string lastError() const override { return last_error_; }

  private:
    using StringQuery = BOOLEAN(NTAPI*)(HANDLE, PVOID, ULONG);

    std::optional<std::u16string> readString(StringQuery query) {
        // A USB string descriptor holds at most 126 UTF-16 units. The driver is offered one unit
        // less than the buffer holds, so the text always ends in a zero within the buffer.
        std::array<wchar_t, 256> text{};
        const auto offered = static_cast<ULONG>((text.size() - 1) * sizeof(wchar_t));
        if (!query(file_.get(), text.data(), offered)) {
            noteFailure();
            return std::nullopt;
        }
        const std::size_t units = wcsnlen(text.data(), text.size());
        std::u16string out(units, u'\0');
        std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(units), out.begin(),
                       [](wchar_t unit) { return static_cast<char16_t>(unit); });
        return out;
    }

    // Right after the failed call, before anything else can change the thread's last error.
    void noteFailure() { last_error_ = win32::systemMessage(GetLastError()); }

    UniqueHandle file_;
    UniqueHandle read_event_;  // manual-reset, signalled when an overlapped read completes
    std::vector<std::uint8_t> read_buffer_;
    std::optional<std::uint16_t> input_length_;  // from the capabilities, once read
    std::string last_error_;
};

// ---- the platform --------------------------------------------------------------------------

// The device path of one interface of the set; empty optional when the system will not say.
std::optional<std::wstring> devicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data) {
    // The first call fails by design and reports the size of the detail record.
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &required, nullptr);
    constexpr DWORD kFixed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (required <= kFixed + sizeof(wchar_t) || required > 65536) {
        return std::nullopt;  // no room for a path, or not a size a path could have
    }
    // DWORD elements keep the record aligned; the spare element is zero, so a path the system
    // left unterminated still ends inside the buffer.
    std::vector<DWORD> storage(required / sizeof(DWORD) + 2, 0);
    auto* const detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, required, nullptr,
                                          nullptr)) {
        return std::nullopt;  // e.g. the interface went away between the two calls
    }
    const std::size_t room = (storage.size() * sizeof(DWORD) - kFixed) / sizeof(wchar_t);
    const std::wstring path(detail->DevicePath, wcsnlen(detail->DevicePath, room));
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

// Vendor, product and version of the interface at `path`. The interface is opened with no
// access rights, which is all HidD_GetAttributes needs, so interfaces the system holds for
// itself (keyboards, mice) are listed too.
std::optional<HIDD_ATTRIBUTES> readAttributes(const std::wstring& path) {
    const UniqueHandle handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) {
        return std::nullopt;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(handle.get(), &attributes)) {
        return std::nullopt;
    }
    return attributes;
}

class WindowsPlatform final : public Platform {
  public:
    std::optional<Identity> identify(const std::string& path) override {
        auto opened = open(path);
        auto* device = std::get_if<DeviceHandle>(&opened);
        if (device == nullptr) {
            return std::nullopt;
        }
        auto serial = (*device)->serialNumber();
        auto manufacturer = (*device)->manufacturer();
        auto product = (*device)->product();
        if (!serial || !manufacturer || !product) {
            return std::nullopt;
        }
        return Identity{*serial, *manufacturer, *product};
    }

    Enumeration enumerate() override {
        Enumeration walk;
        auto& interfaces = walk.interfaces;
        GUID hid_guid{};
        HidD_GetHidGuid(&hid_guid);
        const DeviceInfoSet set(SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr,
                                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!set) {
            walk.failure = win32::systemMessage(GetLastError());
            return walk;
        }
        // The index runs until the system says there is no such member (ERROR_NO_MORE_ITEMS);
        // any other failure ends the walk too, since later indices cannot be trusted either.
        for (DWORD index = 0; index < std::numeric_limits<DWORD>::max(); ++index) {
            SP_DEVICE_INTERFACE_DATA interface_data{};
            interface_data.cbSize = sizeof(interface_data);
            if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid_guid, index,
                                             &interface_data)) {
                break;
            }
            // An interface whose path or IDs cannot be read is one nobody could find a board
            // on; it has usually just been unplugged.
            const auto path = devicePath(set.get(), interface_data);
            if (!path) {
                continue;
            }
            const auto attributes = readAttributes(*path);
            if (!attributes) {
                continue;
            }
            interfaces.push_back({win32::toUtf8(*path), attributes->VendorID, attributes->ProductID,
                                  attributes->VersionNumber});
        }
        return walk;
    }

    OpenResult open(const std::string& path) override {
        const auto wide = win32::toWide(path);
        // A NUL inside the path would make CreateFileW open a shorter, different path.
        if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
            return OpenError{OpenError::Kind::Other, "Not a device path"};
        }
        UniqueHandle file(CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
        if (!file) {
            return win32::openError(GetLastError());
        }
        UniqueHandle read_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!read_event) {
            return win32::openError(GetLastError());
        }
        return std::make_unique<WindowsDevice>(std::move(file), std::move(read_event));
    }
};

}  // namespace

std::unique_ptr<Platform> makeWindowsPlatform() {
    return std::make_unique<WindowsPlatform>();
}

}  // namespace rotorix::hid

#endif  // _WIN32
