#include "base/unicode.h"

namespace rotorix::base {

namespace {

// One well-formed sequence at the start of `text`: its code point and length; empty optional when
// it is not one.
struct Decoded {
    char32_t c = 0;
    std::size_t length = 0;
};

std::optional<Decoded> decodeOne(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return std::nullopt;
    }
    return Decoded{c, length};
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
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

std::string toUtf8(std::u16string_view text) {
    std::string out;
    forEachCodePoint(text, [&](char32_t c) { appendUtf8(out, c); });
    return out;
}

std::optional<std::u16string> fromUtf8(std::string_view text) {
    std::u16string out;
    while (!text.empty()) {
        const auto decoded = decodeOne(text);
        if (!decoded) {
            return std::nullopt;
        }
        appendUtf16(out, decoded->c);
        text.remove_prefix(decoded->length);
    }
    return out;
}

std::u16string fromUtf8Lossy(std::string_view text) {
    std::u16string out;
    while (!text.empty()) {
        const auto decoded = decodeOne(text);
        appendUtf16(out, decoded ? decoded->c : kReplacement);
        text.remove_prefix(decoded ? decoded->length : 1);
    }
    return out;
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide strings are UTF-16");

namespace {

std::wstring wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::string toUtf8(std::wstring_view text) {
    return toUtf8(std::u16string(text.begin(), text.end()));
}

std::optional<std::wstring> toWide(std::string_view text) {
    const auto units = fromUtf8(text);
    return units ? std::optional(wide(*units)) : std::nullopt;
}

std::wstring toWideLossy(std::string_view text) {
    return wide(fromUtf8Lossy(text));
}
#endif

}  // namespace rotorix::base
