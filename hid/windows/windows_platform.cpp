#include "hid/windows/windows_platform.h"

#ifdef _WIN32

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/unicode.h"
#include "hid/change_tracker.h"
#include "hid/windows/windows_api.h"
#include "hid/windows/windows_device.h"
#include "hid/windows/windows_notices.h"
#include "hid/windows/windows_system.h"
#include "hid/windows/windows_walk.h"

namespace rotorix::hid {

namespace {

GUID hidInterfaceClass() {
    GUID guid{};
    HidD_GetHidGuid(&guid);
    return guid;
}

// The wide path CreateFileW takes; empty optional for text that names no path.
std::optional<std::wstring> devicePathOf(const std::string& path) {
    auto wide = base::toWide(path);
    // A NUL inside the path would make CreateFileW open a shorter, different path.
    if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    return wide;
}

win32::DeviceSetup setupFor(const std::wstring& path) {
    win32::DeviceSetup setup;
    setup.serial_shown = win32::usbSerialShown(path);
    return setup;
}

class WindowsPlatform final : public Platform {
  public:
    WindowsPlatform()
        : hid_class_(hidInterfaceClass()),
          notices_(hid_class_),
          under_wine_(win32::runsUnderWine()) {}

    bool devicesMayHaveChanged() override {
        // The notice is taken on every call, so the next answer speaks only of what came after.
        const bool noticed = notices_.take();
        notice_heard_ = notice_heard_ || noticed;
        // Wine's registration can succeed and still bring nothing (its notices fail for good
        // when its plug-and-play service is not up yet as the program starts): there a walk
        // that is old enough is made anyway, until a first notice shows that they arrive.
        const bool old =
            win32::oldWalkIsDue(under_wine_, notice_heard_,
                                std::chrono::steady_clock::now() - last_walk_, unchanged_walks_);
        return changes_.ask(noticed || !notices_.listening() || old);
    }

    Enumeration enumerate() override {
        return walked(win32::walkInterfaces(hid_class_, std::nullopt));
    }

    Enumeration enumerateMatching(const DeviceMatch& wanted) override {
        return walked(win32::walkInterfaces(hid_class_, wanted));
    }

    // An interface path holds the collection's device instance ID, which Windows gives no other
    // device while this one is present: the path names one instance by itself.
    std::optional<Identity> identify(const InterfaceInfo& entry) override {
        const auto wide = devicePathOf(entry.path);
        if (!wide) {
            return std::nullopt;
        }
        const HANDLE handle = win32::openForQueries(*wide, FILE_FLAG_OVERLAPPED);
        if (handle == INVALID_HANDLE_VALUE) {
            return std::nullopt;
        }
        auto opened = win32::deviceOn(handle, setupFor(*wide));
        auto* device = std::get_if<DeviceHandle>(&opened);
        return device != nullptr ? win32::readIdentity(**device) : std::nullopt;
    }

    OpenResult open(const InterfaceInfo& entry) override {
        const auto wide = devicePathOf(entry.path);
        if (!wide) {
            return OpenError{OpenError::Kind::Other, "Not a device path"};
        }
        const HANDLE file = CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return win32::openError(GetLastError());
        }
        return win32::deviceOn(file, setupFor(*wide));
    }

  private:
    Enumeration walked(Enumeration walk) {
        changes_.walked(!walk.failure);
        if (!walk.failure) {
            last_walk_ = std::chrono::steady_clock::now();
            countUnchanged(walk.interfaces);
        }
        return walk;
    }

    void countUnchanged(const std::vector<InterfaceInfo>& interfaces) {
        std::vector<std::string> paths;
        paths.reserve(interfaces.size());
        for (const InterfaceInfo& entry : interfaces) {
            paths.push_back(entry.path);
        }
        std::sort(paths.begin(), paths.end());
        if (last_paths_ == paths) {
            unchanged_walks_ = std::min(unchanged_walks_ + 1, kUnchangedWalksCounted);
        } else {
            unchanged_walks_ = 0;
            last_paths_ = std::move(paths);
        }
    }

    GUID hid_class_;
    win32::ChangeNotices notices_;
    bool under_wine_;
    bool notice_heard_ = false;  // a notice came once: this system's notices arrive
    ChangeTracker changes_;
    std::chrono::steady_clock::time_point last_walk_ = std::chrono::steady_clock::now();
    // Walks in a row that listed the same paths, which spaces out the walks made under Wine;
    // counted only so far, so that a search of days cannot wrap it.
    static constexpr unsigned kUnchangedWalksCounted = 16;
    unsigned unchanged_walks_ = 0;
    std::optional<std::vector<std::string>> last_paths_;  // sorted; none before the first walk
};

}  // namespace

std::unique_ptr<Platform> makeWindowsPlatform() {
    return std::make_unique<WindowsPlatform>();
}

}  // namespace rotorix::hid

#endif  // _WIN32
