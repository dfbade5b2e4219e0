#include "hid/windows/windows_system.h"

#ifdef _WIN32

#include <windows.h>

// Not in every mingw-w64's winerror.h.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <map>

#include "base/unicode.h"

namespace rotorix::hid::win32 {

OpenError::Kind openErrorKind(std::uint32_t error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return OpenError::Kind::AccessDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_NO_SUCH_DEVICE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        // The HID class driver answers an open of an interface whose device is being torn down
        // with a general failure; for an open there is no other cause worth telling apart.
        case ERROR_GEN_FAILURE:
            return OpenError::Kind::Gone;
        case ERROR_SHARING_VIOLATION:
            return OpenError::Kind::Busy;
        default:
            return OpenError::Kind::Other;
    }
}

std::string systemMessage(std::uint32_t error) {
    // System messages are one or two sentences; a longer one is cut, which FormatMessageW
    // reports as a failure, and the number stands in for it.
    std::array<wchar_t, 512> text{};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0,  // the user's language, falling back as the system does
                       text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::wstring_view view(text.data(), length < text.size() ? length : 0);
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' ')) {
        view.remove_suffix(1);
    }
    if (view.empty()) {
        return "Windows error " + std::to_string(error);
    }
    return base::toUtf8(view);
}

OpenError openError(std::uint32_t error) {
    return {openErrorKind(error), systemMessage(error)};
}

std::optional<std::u16string> stringResult(bool succeeded, std::u16string_view text,
                                           bool serial_shown, bool device_answers) {
    if (!succeeded) {
        return !serial_shown && device_answers ? std::optional<std::u16string>(u"") : std::nullopt;
    }
    text = text.substr(0, std::min(text.find(u'\0'), kStringRoom));
    return std::u16string(text);
}

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool containsNoCase(std::string_view text, std::string_view part) {
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (startsWithNoCase(text.substr(at), part)) {
            return true;
        }
    }
    return false;
}

// Exactly four hex digits, in either case.
std::optional<std::uint16_t> hex4(std::string_view text) {
    std::uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 4 || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

UsbNode usbNodeKind(std::string_view instance_id) {
    // "USB\<device ID>\<instance>": the enumerator, what the device is, which one it is.
    const std::size_t last = instance_id.rfind('\\');
    if (!startsWithNoCase(instance_id, "USB\\") || last < 4) {
        return UsbNode::Other;
    }
    return containsNoCase(instance_id.substr(4, last - 4), "&MI_") ? UsbNode::Interface
                                                                   : UsbNode::Device;
}

bool instanceShowsSerial(std::string_view usb_device_id) {
    const std::size_t last = usb_device_id.rfind('\\');
    if (last == std::string_view::npos || last + 1 == usb_device_id.size()) {
        return false;
    }
    return usb_device_id.find('&', last) == std::string_view::npos;
}

std::optional<DeviceMatch> idsInPath(std::string_view path) {
    // "\\?\hid#vid_2b7e&pid_0103&mi_00&col01#7&1a2b3c&0&0000#{4d1e55b2-...}": the part after
    // the first '#' is the device ID the USB bus gave the interface.
    const std::size_t first = path.find('#');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view id = path.substr(first + 1, path.find('#', first + 1) - first - 1);
    // "vid_2b7e&pid_0103", then the end or "&" and what else the bus says (mi_00, col01).
    constexpr std::size_t kLength = 17;
    if (id.size() < kLength || !startsWithNoCase(id, "vid_") ||
        !startsWithNoCase(id.substr(8), "&pid_") || (id.size() > kLength && id[kLength] != '&')) {
        return std::nullopt;
    }
    const auto vendor = hex4(id.substr(4, 4));
    const auto product = hex4(id.substr(13, 4));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return DeviceMatch{*vendor, *product};
}

std::optional<std::vector<std::uint8_t>> featureToSend(std::span<const std::uint8_t> report,
                                                       std::size_t feature_length,
                                                       std::string& refusal) {
    if (report.size() > feature_length) {
        refusal = "The feature report is " + std::to_string(report.size()) +
                  " bytes long; the device takes at most " + std::to_string(feature_length);
        return std::nullopt;
    }
    std::vector<std::uint8_t> padded(report.begin(), report.end());
    padded.resize(feature_length, 0);
    return padded;
}

std::size_t featureReplyLength(std::uint8_t report_id, std::size_t returned,
                               std::size_t buffer_size) {
    return std::min(returned + (report_id == 0 ? 1 : 0), buffer_size);
}

std::vector<InterfaceInfo> onePerInterface(const std::vector<Collection>& collections) {
    std::map<std::string, std::size_t> chosen;  // parent -> index of its longest feature report
    for (std::size_t i = 0; i < collections.size(); ++i) {
        const Collection& collection = collections[i];
        if (collection.parent.empty()) {
            continue;
        }
        const auto [at, added] = chosen.try_emplace(collection.parent, i);
        if (!added && collection.feature_length > collections[at->second].feature_length) {
            at->second = i;
        }
    }
    std::vector<InterfaceInfo> out;
    for (std::size_t i = 0; i < collections.size(); ++i) {
        const Collection& collection = collections[i];
        if (collection.parent.empty() || chosen.at(collection.parent) == i) {
            out.push_back(collection.info);
        }
    }
    return out;
}

std::vector<InterfaceInfo> listCollections(
    const std::vector<std::string>& paths, const std::optional<DeviceMatch>& wanted,
    const std::function<std::optional<Collection>(std::size_t)>& open) {
    std::vector<Collection> collections;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Opening an interface costs the system far more than reading its name: keyboards,
        // mice and game pads that are not ours are known by their paths.
        if (const auto named = idsInPath(paths[i]);
            wanted && named &&
            (named->vendor_id != wanted->vendor_id || named->product_id != wanted->product_id)) {
            continue;
        }
        auto collection = open(i);
        if (collection && (!wanted || wanted->matches(collection->info))) {
            collections.push_back(std::move(*collection));
        }
    }
    return onePerInterface(collections);
}

bool oldWalkIsDue(bool under_wine, bool notice_heard,
                  std::chrono::steady_clock::duration since_walk, unsigned unchanged_walks) {
    constexpr unsigned kMostDoublings = 2;  // 2 s, 4 s, 8 s
    const auto trusted =
        std::chrono::seconds(2) * (1U << std::min(unchanged_walks, kMostDoublings));
    return under_wine && !notice_heard && since_walk >= trusted;
}

bool runsUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
