#include "base/words.h"

#include "base/unicode.h"

namespace rotorix::base {

std::string inParentheses(std::string_view words) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = words.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = words.find_last_not_of(kBlanks);
    return " (" + std::string(words.substr(first, last - first + 1)) + ")";
}

std::string printable(std::u16string_view text) {
    std::string out;
    forEachCodePoint(text, [&](char32_t c) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        appendUtf8(out, control ? kReplacement : c);
    });
    return out;
}

}  // namespace rotorix::base
