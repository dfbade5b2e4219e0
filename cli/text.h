// Text between the board's UTF-16 strings and the UTF-8 of the command line and the terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unicode.h"
#include "base/words.h"

namespace rotorix::cli {

using base::fromUtf8;
using base::printable;
using base::toUtf8;

// The number of code points, for lining up columns.
std::size_t displayWidth(std::string_view utf8);

// "a", "b" and "c" -> "a, b, c".
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace rotorix::cli
