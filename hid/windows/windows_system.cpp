#include "hid/windows/windows_system.h"

#ifdef _WIN32

#include <windows.h>

// Not in every mingw-w64's winerror.h.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

#include <algorithm>
#include <array>
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
                                           bool device_answers) {
    if (!succeeded) {
        return device_answers ? std::optional<std::u16string>(u"") : std::nullopt;
    }
    text = text.substr(0, std::min(text.find(u'\0'), kStringRoom - 1));
    return std::u16string(text);
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

}  // namespace rotorix::hid::win32

#endif  // _WIN32
