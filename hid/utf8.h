// Appends one code point to UTF-8 text. Shared by every conversion to UTF-8 that does its own
// decoding (hidapi's wide strings, the command line's UTF-16), so the encoding is written once.
#pragma once

#include <string>

namespace rotorix::hid {

// `c` must be a Unicode scalar value (callers replace surrogates and larger values first).
inline void appendUtf8(std::string& out, char32_t c) {
    const auto put = [&](char32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

}  // namespace rotorix::hid
