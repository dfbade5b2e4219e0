#include "hid/windows/windows_notices.h"

#ifdef _WIN32

#include <dbt.h>

#include <future>
#include <utility>

namespace rotorix::hid::win32 {

namespace {
constexpr const wchar_t* kClass = L"RotorixDeviceNotices";
}  // namespace

ChangeNotices::ChangeNotices(const GUID& interface_class) {
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

ChangeNotices::~ChangeNotices() {
    if (window_ != nullptr) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
}

LRESULT CALLBACK ChangeNotices::windowProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
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

void ChangeNotices::run(const GUID& interface_class, std::promise<HWND>& started) {
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

}  // namespace rotorix::hid::win32

#endif  // _WIN32
