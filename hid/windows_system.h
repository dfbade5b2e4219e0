// Win32 helpers of the Windows backend (windows_platform.cpp): what a system error code means
// for an open, the system's words for it, and the UTF-8 <-> UTF-16 conversions the wide API
// needs. Declared without Windows headers, so tests outside hid/ can reach them.
#pragma once

#ifdef _WIN32

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/platform.h"

namespace rotorix::hid::win32 {

// What an open that failed with `error` (a GetLastError() code) means to the caller.
OpenError::Kind openErrorKind(std::uint32_t error);

// The system's message for `error` in UTF-8, without the line break Windows ends it with;
// "Windows error N" when the system has no text for it. Never empty.
std::string systemMessage(std::uint32_t error);

// The open error for `error`: its kind and the system's message.
OpenError openError(std::uint32_t error);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::wstring_view text);

// UTF-8 to UTF-16; empty optional when `text` is not valid UTF-8.
std::optional<std::wstring> toWide(std::string_view text);

// The arguments of the process's wide command line, its own name left out, in UTF-8; empty
// optional when the system cannot split it.
std::optional<std::vector<std::string>> commandLineArguments();

// Switches the console's output code page to UTF-8 and returns the one it had; 0 when there is
// no console or it already was UTF-8. restoreConsoleOutput(0) does nothing.
unsigned useUtf8ConsoleOutput();
void restoreConsoleOutput(unsigned codePage);

}  // namespace rotorix::hid::win32

#endif  // _WIN32
