// Text between the board's UTF-16 strings and the UTF-8 of the command line and the terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rotorix::cli {

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string toUtf8(std::u16string_view text);

// Strict UTF-8 to UTF-16: empty optional for anything that is not well-formed UTF-8 (overlong
// forms, surrogates, values beyond U+10FFFF, truncated sequences).
std::optional<std::u16string> fromUtf8(std::string_view text);

// A device's text made safe to print on a terminal: control characters (C0, DEL, C1) become
// U+FFFD, so a board cannot move the cursor or recolour the screen through its strings.
std::string printable(std::u16string_view text);

// The number of code points, for lining up columns.
std::size_t displayWidth(std::string_view utf8);

// "a", "b" and "c" -> "a, b, c".
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace rotorix::cli
