// Plain words for messages, shared by every layer that speaks to the user.
#pragma once

#include <string>
#include <string_view>

namespace rotorix::base {

// " (words)": the system's words beside a message, without the blanks and line ends they may
// come with; nothing at all when there are none.
std::string inParentheses(std::string_view words);

// A device's text made safe to print on a terminal or show in a message: control characters
// (C0, DEL, C1) become U+FFFD, so a board cannot move the cursor or recolour the screen through
// its strings.
std::string printable(std::u16string_view text);

}  // namespace rotorix::base
