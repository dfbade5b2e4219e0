#include "base/console.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "base/unicode.h"

namespace rotorix::base {

std::vector<std::string> programArguments(int argc, char* argv[]) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // The system could not split its own command line: the narrow one is all there is.
        return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
    }
    std::vector<std::string> out;
    for (int i = 1; i < count; ++i) {
        out.push_back(toUtf8(std::wstring_view(wide[i])));
    }
    LocalFree(wide);
    return out;
}

Utf8Console::Utf8Console() {
    const UINT previous = GetConsoleOutputCP();  // 0 without a console
    if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        previous_ = previous;
    }
}

Utf8Console::~Utf8Console() {
    if (previous_ != 0) {
        SetConsoleOutputCP(previous_);
    }
}

}  // namespace rotorix::base
