#include "base/words.h"

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

}  // namespace rotorix::base
