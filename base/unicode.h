// UTF-8 <-> UTF-16, written once for every layer: the boards speak UTF-16, the terminal, the
// command line, JSON and Linux's sysfs speak UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rotorix::base {

inline constexpr char32_t kReplacement = 0xFFFD;

// Appends one code point. `c` must be a Unicode scalar value (callers replace surrogates and
// larger values first).
void appendUtf8(std::string& out, char32_t c);

// Calls emit(char32_t) with each code point; an unpaired surrogate comes out as U+FFFD.
template <typename Emit>
void forEachCodePoint(std::u16string_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            emit(0x10000 + ((unit - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            emit(kReplacement);
        } else {
            emit(unit);
        }
    }
}

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string toUtf8(std::u16string_view text);

// Strict UTF-8 to UTF-16: empty optional for anything that is not well-formed UTF-8 (overlong
// forms, surrogates, values beyond U+10FFFF, truncated sequences).
std::optional<std::u16string> fromUtf8(std::string_view text);

// The same, but every byte that does not start a well-formed sequence becomes U+FFFD: for text
// that should be UTF-8 but comes from outside (a device's strings as the kernel hands them on).
std::u16string fromUtf8Lossy(std::string_view text);

#ifdef _WIN32
// Windows' wide strings are UTF-16 (wchar_t is 16 bits there): the same conversions for the wide
// API's own string type.
std::string toUtf8(std::wstring_view text);
std::optional<std::wstring> toWide(std::string_view text);
std::wstring toWideLossy(std::string_view text);
#endif

}  // namespace rotorix::base
