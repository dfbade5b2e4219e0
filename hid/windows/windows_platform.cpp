#include "hid/windows/windows_platform.h"

#ifdef _WIN32

#include <windows.h>
// setupapi.h needs windows.h first. hidsdi.h brings hidusage.h and hidpi.h in the order they
// need; mingw's HID headers lack their own extern "C".
#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>
#include <winioctl.h>
extern "C" {
#include <hidclass.h>
#include <hidsdi.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cwchar>
#include <future>
#include <limits>
#include <thread>
#include <utility>

#include "base/unicode.h"
#include "hid/change_tracker.h"
#include "hid/windows/windows_reports.h"
#include "hid/windows/windows_system.h"

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

// ---- queries that need no access rights ----------------------------------------------------

// A handle for the class driver's queries (attributes, strings, capabilities), which ask for no
// access rights: it opens where read/write is refused or held exclusively by another program.
UniqueHandle openForQueries(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

std::optional<HIDD_ATTRIBUTES> readAttributes(HANDLE handle) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(handle, &attributes)) {
        return std::nullopt;
    }
    return attributes;
}

using StringQuery = BOOLEAN(NTAPI*)(HANDLE, PVOID, ULONG);

// `error` gets the system's words when the device could not be asked.
std::optional<std::u16string> readString(HANDLE handle, StringQuery query, std::string& error) {
    // One zero more than the driver is offered, so the text ends inside the buffer whatever the
    // driver wrote.
    std::array<char16_t, win32::kStringRoom + 1> text{};
    const auto offered = static_cast<ULONG>(win32::kStringRoom * sizeof(char16_t));
    const bool succeeded = query(handle, text.data(), offered);
    const DWORD query_error = succeeded ? ERROR_SUCCESS : GetLastError();
    auto result = win32::stringResult(succeeded, std::u16string_view(text.data(), text.size()),
                                      !succeeded && readAttributes(handle).has_value());
    if (!result) {
        error = win32::systemMessage(query_error);
    }
    return result;
}

std::optional<Identity> readIdentity(HANDLE handle, std::string& error) {
    auto serial = readString(handle, HidD_GetSerialNumberString, error);
    auto manufacturer = readString(handle, HidD_GetManufacturerString, error);
    auto product = readString(handle, HidD_GetProductString, error);
    if (!serial || !manufacturer || !product) {
        return std::nullopt;
    }
    return Identity{std::move(*serial), std::move(*manufacturer), std::move(*product)};
}

// ---- the device ----------------------------------------------------------------------------

class WindowsDevice final : public Device {
  public:
    WindowsDevice(UniqueHandle file, UniqueHandle read_event, UniqueHandle control_event)
        : file_(std::move(file)),
          read_event_(std::move(read_event)),
          control_event_(std::move(control_event)) {}

    std::optional<std::u16string> serialNumber() override {
        return readString(file_.get(), HidD_GetSerialNumberString, last_error_);
    }
    std::optional<std::u16string> manufacturer() override {
        return readString(file_.get(), HidD_GetManufacturerString, last_error_);
    }
    std::optional<std::u16string> product() override {
        return readString(file_.get(), HidD_GetProductString, last_error_);
    }

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
        // Not HidD_GetFeature: it says nothing of how much the device gave, so a short reply
        // would read as the zeros behind it.
        const std::uint8_t report_id = buffer[0];
        const auto size = static_cast<DWORD>(buffer.size());
        OVERLAPPED overlapped{};
        overlapped.hEvent = control_event_.get();
        DWORD got = 0;
        if (!DeviceIoControl(file_.get(), IOCTL_HID_GET_FEATURE, buffer.data(), size, buffer.data(),
                             size, &got, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            noteFailure();
            return std::nullopt;
        }
        // Synchronous, as HidD_GetFeature is: the wait is what the device and the USB stack make
        // it.
        if (!GetOverlappedResult(file_.get(), &overlapped, &got, TRUE)) {
            noteFailure();
            return std::nullopt;
        }
        return win32::featureReplyLength(report_id, got, buffer.size());
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
    // Right after the failed call, before anything else can change the thread's last error.
    void noteFailure() { last_error_ = win32::systemMessage(GetLastError()); }

    UniqueHandle file_;
    UniqueHandle read_event_;     // manual-reset, signalled when an overlapped read completes
    UniqueHandle control_event_;  // the same for a feature report fetch
    std::vector<std::uint8_t> read_buffer_;
    std::optional<std::uint16_t> input_length_;  // from the capabilities, once read
    std::string last_error_;
};

// ---- the walk ------------------------------------------------------------------------------

// The device path of one interface of the set, and the device it belongs to; empty optional when
// the system will not say.
std::optional<std::wstring> devicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data,
                                       SP_DEVINFO_DATA& device) {
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
    device = SP_DEVINFO_DATA{};
    device.cbSize = sizeof(device);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, required, nullptr,
                                          &device)) {
        return std::nullopt;  // e.g. the interface went away between the two calls
    }
    const std::size_t room = (storage.size() * sizeof(DWORD) - kFixed) / sizeof(wchar_t);
    const std::wstring path(detail->DevicePath, wcsnlen(detail->DevicePath, room));
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

// The device instance ID of the device's parent (for a HID collection: the USB interface); empty
// when the system will not say, so the collection is listed on its own.
std::string parentInstance(DEVINST device) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) {
        return {};
    }
    std::array<wchar_t, MAX_DEVICE_ID_LEN + 1> id{};
    if (CM_Get_Device_IDW(parent, id.data(), MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return {};
    }
    return base::toUtf8(std::wstring_view(id.data(), wcsnlen(id.data(), id.size())));
}

std::uint16_t featureLength(HANDLE handle) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(handle, &preparsed)) {
        return 0;
    }
    HIDP_CAPS caps{};
    const bool described = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    return described ? caps.FeatureReportByteLength : 0;
}

// ---- device-change notices -----------------------------------------------------------------

// Hears the system announce HID interfaces that come and go. A message-only window on a thread of
// its own takes WM_DEVICECHANGE, so the notices arrive whether or not the program pumps messages
// (rotorixctl does not). CM_Register_Notification would need no window, but Wine 8's cfgmgr32
// lacks it, and the rig runs the programs under Wine.
class ChangeNotices {
  public:
    explicit ChangeNotices(const GUID& interface_class) {
        std::promise<HWND> started;
        auto window = started.get_future();
        thread_ = std::thread([this, interface_class, started = std::move(started)]() mutable {
            run(interface_class, started);
        });
        window_ = window.get();
        if (window_ == nullptr) {
            thread_.join();
        }
    }
    ~ChangeNotices() {
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
            thread_.join();
        }
    }
    ChangeNotices(const ChangeNotices&) = delete;
    ChangeNotices& operator=(const ChangeNotices&) = delete;

    bool listening() const { return window_ != nullptr; }
    // Whether a notice came since the previous call.
    bool take() { return changed_.exchange(false); }

  private:
    static constexpr const wchar_t* kClass = L"RotorixDeviceNotices";

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* self = reinterpret_cast<ChangeNotices*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self != nullptr) {
            // Arrival, removal or anything else about the class: each may change a walk.
            self->changed_ = true;
            return TRUE;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    void run(const GUID& interface_class, std::promise<HWND>& started) {
        const HINSTANCE module = GetModuleHandleW(nullptr);
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof(window_class);
        window_class.lpfnWndProc = windowProc;
        window_class.hInstance = module;
        window_class.lpszClassName = kClass;
        // A second platform in the same process finds the class registered already.
        if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            started.set_value(nullptr);
            return;
        }
        const HWND window =
            CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
        if (window == nullptr) {
            started.set_value(nullptr);
            return;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = interface_class;
        const HDEVNOTIFY registration =
            RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (registration == nullptr) {
            DestroyWindow(window);
            started.set_value(nullptr);
            return;
        }
        started.set_value(window);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        UnregisterDeviceNotification(registration);
    }

    std::atomic<bool> changed_{false};
    HWND window_ = nullptr;
    std::thread thread_;
};

// ---- the platform --------------------------------------------------------------------------

GUID hidInterfaceClass() {
    GUID guid{};
    HidD_GetHidGuid(&guid);
    return guid;
}

class WindowsPlatform final : public Platform {
  public:
    WindowsPlatform() : hid_class_(hidInterfaceClass()), notices_(hid_class_) {}

    bool devicesMayHaveChanged() override {
        // The notice is taken on every call, so the next answer speaks only of what came after.
        // A registration can succeed and still bring nothing (Wine's notices fail for good when
        // its plug-and-play service is not up yet as the program starts), so a walk that is
        // old enough is made anyway: a missed notice costs a few seconds, not the board.
        const bool stale = std::chrono::steady_clock::now() - last_walk_ >= kLongestTrust;
        return changes_.ask(notices_.take() || !notices_.listening() || stale);
    }

    // An interface path holds the device's instance ID, so it names one instance by itself.
    std::optional<Identity> identify(const InterfaceInfo& entry) override {
        const auto wide = devicePathOf(entry.path);
        if (!wide) {
            return std::nullopt;
        }
        const UniqueHandle handle = openForQueries(*wide);
        if (!handle) {
            return std::nullopt;
        }
        std::string error;
        return readIdentity(handle.get(), error);
    }

    Enumeration enumerate() override {
        Enumeration walk = walkCollections();
        changes_.walked(!walk.failure);
        if (!walk.failure) {
            last_walk_ = std::chrono::steady_clock::now();
        }
        return walk;
    }

    OpenResult open(const InterfaceInfo& entry) override {
        const auto wide = devicePathOf(entry.path);
        if (!wide) {
            return OpenError{OpenError::Kind::Other, "Not a device path"};
        }
        UniqueHandle file(CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
        if (!file) {
            return win32::openError(GetLastError());
        }
        UniqueHandle read_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueHandle control_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!read_event || !control_event) {
            return win32::openError(GetLastError());
        }
        return std::make_unique<WindowsDevice>(std::move(file), std::move(read_event),
                                               std::move(control_event));
    }

  private:
    static std::optional<std::wstring> devicePathOf(const std::string& path) {
        auto wide = base::toWide(path);
        // A NUL inside the path would make CreateFileW open a shorter, different path.
        if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
            return std::nullopt;
        }
        return wide;
    }

    Enumeration walkCollections() {
        Enumeration walk;
        const DeviceInfoSet set(SetupDiGetClassDevsW(&hid_class_, nullptr, nullptr,
                                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!set) {
            walk.failure = win32::systemMessage(GetLastError());
            return walk;
        }
        std::vector<win32::Collection> collections;
        for (DWORD index = 0; index < std::numeric_limits<DWORD>::max(); ++index) {
            SP_DEVICE_INTERFACE_DATA interface_data{};
            interface_data.cbSize = sizeof(interface_data);
            if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid_class_, index,
                                             &interface_data)) {
                const DWORD error = GetLastError();
                if (error != ERROR_NO_MORE_ITEMS) {
                    // Later indices cannot be trusted either: what was found is not the whole.
                    walk.failure = win32::systemMessage(error);
                    return walk;
                }
                break;
            }
            // An interface whose path or IDs cannot be read is one nobody could find a board
            // on; it has usually just been unplugged.
            SP_DEVINFO_DATA device{};
            const auto path = devicePath(set.get(), interface_data, device);
            if (!path) {
                continue;
            }
            // No access rights: interfaces the system holds for itself (keyboards, mice), and
            // boards that another program holds, are listed too.
            const UniqueHandle handle = openForQueries(*path);
            const auto attributes = handle ? readAttributes(handle.get()) : std::nullopt;
            if (!attributes) {
                continue;
            }
            collections.push_back({{base::toUtf8(*path),
                                    attributes->VendorID,
                                    attributes->ProductID,
                                    attributes->VersionNumber,
                                    {}},
                                   parentInstance(device.DevInst),
                                   featureLength(handle.get())});
        }
        walk.interfaces = win32::onePerInterface(collections);
        return walk;
    }

    static constexpr std::chrono::seconds kLongestTrust{2};

    GUID hid_class_;
    ChangeNotices notices_;
    std::chrono::steady_clock::time_point last_walk_ = std::chrono::steady_clock::now();
    ChangeTracker changes_;
};

}  // namespace

std::unique_ptr<Platform> makeWindowsPlatform() {
    return std::make_unique<WindowsPlatform>();
}

}  // namespace rotorix::hid

#endif  // _WIN32
