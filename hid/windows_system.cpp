#include "hid/windows_system.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

// Not in every mingw-w64's winerror.h.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

#include <array>
#include <climits>

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
    return toUtf8(view);
}

OpenError openError(std::uint32_t error) {
    return {openErrorKind(error), systemMessage(error)};
}

std::string toUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int units = static_cast<int>(text.size());
    // Without WC_ERR_INVALID_CHARS an unpaired surrogate becomes U+FFFD instead of failing.
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

std::optional<std::wstring> toWide(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    const int bytes = static_cast<int>(text.size());
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, out.data(), units) !=
        units) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::string>> commandLineArguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (int i = 1; i < count; ++i) {
        out.push_back(toUtf8(wide[i]));
    }
    LocalFree(wide);
    return out;
}

unsigned useUtf8ConsoleOutput() {
    const UINT previous = GetConsoleOutputCP();  // 0 without a console
    if (previous == 0 || previous == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) {
        return 0;
    }
    return previous;
}

void restoreConsoleOutput(unsigned codePage) {
    if (codePage != 0) {
        SetConsoleOutputCP(codePage);
    }
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
