// Text between the board's UTF-16 strings and the UTF-8 of the command line and the terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unicode.h"

namespace rotorix::cli {

using base::fromUtf8;
using base::toUtf8;

// A device's text made safe to print on a terminal: control characters (C0, DEL, C1) become
// U+FFFD, so a board cannot move the cursor or recolour the screen through its strings.
std::string printable(std::u16string_view text);

// The number of code points, for lining up columns.
std::size_t displayWidth(std::string_view utf8);

// "a", "b" and "c" -> "a, b, c".
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace rotorix::cli
