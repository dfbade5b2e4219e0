#include "hid/windows/windows_walk.h"

#ifdef _WIN32

#include <cfgmgr32.h>

#include <array>
#include <cstddef>
#include <cwchar>
#include <limits>
#include <vector>

#include "base/unicode.h"
#include "hid/windows/windows_system.h"

namespace rotorix::hid::win32 {

namespace {

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

// The device instance ID of `node`; empty when the system will not say.
std::string instanceId(DEVINST node) {
    std::array<wchar_t, MAX_DEVICE_ID_LEN + 1> id{};
    if (CM_Get_Device_IDW(node, id.data(), MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return {};
    }
    return base::toUtf8(std::wstring_view(id.data(), wcsnlen(id.data(), id.size())));
}

// The parent of `node` and its instance ID; empty optional when the system will not say.
std::optional<std::pair<DEVINST, std::string>> parentOf(DEVINST node) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    std::string id = instanceId(parent);
    if (id.empty()) {
        return std::nullopt;
    }
    return std::pair{parent, std::move(id)};
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

// What one interface is, read through a handle without access rights: interfaces the system
// holds for itself (keyboards, mice), and boards that another program holds, answer too.
std::optional<Collection> describeCollection(const std::wstring& path, DEVINST device) {
    // Attributes and capabilities are answered at once: no need for an overlapped handle.
    const UniqueHandle handle(openForQueries(path, 0));
    const auto attributes = handle ? readAttributes(handle.get()) : std::nullopt;
    if (!attributes) {
        return std::nullopt;
    }
    const auto parent = parentOf(device);
    return Collection{{base::toUtf8(path),
                       attributes->VendorID,
                       attributes->ProductID,
                       attributes->VersionNumber,
                       {}},
                      parent ? parent->second : std::string(),
                      featureLength(handle.get())};
}

}  // namespace

HANDLE openForQueries(const std::wstring& path, DWORD flags) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       flags, nullptr);
}

Enumeration walkInterfaces(const GUID& hid_class, const std::optional<DeviceMatch>& wanted) {
    Enumeration walk;
    const DeviceInfoSet set(
        SetupDiGetClassDevsW(&hid_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) {
        walk.failure = systemMessage(GetLastError());
        return walk;
    }
    std::vector<std::wstring> paths;
    std::vector<std::string> names;  // the same in UTF-8
    std::vector<DEVINST> devices;
    for (DWORD index = 0; index < std::numeric_limits<DWORD>::max(); ++index) {
        SP_DEVICE_INTERFACE_DATA interface_data{};
        interface_data.cbSize = sizeof(interface_data);
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid_class, index, &interface_data)) {
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_ITEMS) {
                // Later indices cannot be trusted either: what was found is not the whole.
                walk.failure = systemMessage(error);
                return walk;
            }
            break;
        }
        // An interface whose path cannot be read is one nobody could find a board on; it has
        // usually just been unplugged.
        SP_DEVINFO_DATA device{};
        if (auto path = devicePath(set.get(), interface_data, device)) {
            names.push_back(base::toUtf8(*path));
            paths.push_back(std::move(*path));
            devices.push_back(device.DevInst);
        }
    }
    walk.interfaces = listCollections(
        names, wanted, [&](std::size_t i) { return describeCollection(paths[i], devices[i]); });
    return walk;
}

bool usbSerialShown(const std::wstring& path) {
    const DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set) {
        return false;
    }
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof(interface_data);
    SP_DEVINFO_DATA collection{};
    if (!SetupDiOpenDeviceInterfaceW(set.get(), path.c_str(), 0, &interface_data) ||
        !devicePath(set.get(), interface_data, collection)) {
        return false;
    }
    // A collection's parent is the USB device, or one interface of a composite one, whose own
    // parent is the device. A third step would leave the USB device behind.
    DEVINST node = collection.DevInst;
    for (int step = 0; step < 2; ++step) {
        const auto parent = parentOf(node);
        if (!parent) {
            return false;
        }
        switch (usbNodeKind(parent->second)) {
            case UsbNode::Device:
                return instanceShowsSerial(parent->second);
            case UsbNode::Interface:
                node = parent->first;
                break;
            case UsbNode::Other:
                return false;
        }
    }
    return false;
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
