// Hears the system announce HID interfaces that come and go. For hid/windows/ only.
#pragma once

#ifdef _WIN32

#include <atomic>
#include <future>
#include <thread>

#include "hid/windows/windows_api.h"

namespace rotorix::hid::win32 {

// A message-only window on a thread of its own takes WM_DEVICECHANGE, so the notices arrive
// whether or not the program pumps messages (rotorixctl does not). CM_Register_Notification
// would need no window, but Wine 8's cfgmgr32 lacks it, and the rig runs the programs under Wine.
// The thread touches nothing but one flag; it ends with the object.
class ChangeNotices {
  public:
    explicit ChangeNotices(const GUID& interface_class);
    ~ChangeNotices();
    ChangeNotices(const ChangeNotices&) = delete;
    ChangeNotices& operator=(const ChangeNotices&) = delete;

    // False when the system would not take the registration: nothing will be heard.
    bool listening() const { return window_ != nullptr; }
    // Whether a notice came since the previous call.
    bool take() { return changed_.exchange(false); }

  private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    // Registers and pumps until the window is closed; `started` gets the window, or nullptr.
    void run(const GUID& interface_class, std::promise<HWND>& started);

    std::atomic<bool> changed_{false};
    HWND window_ = nullptr;
    std::thread thread_;
};

}  // namespace rotorix::hid::win32

#endif  // _WIN32
