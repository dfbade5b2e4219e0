// Plain words for messages, shared by every layer that speaks to the user.
#pragma once

#include <string>
#include <string_view>

namespace rotorix::base {

// " (words)": the system's words beside a message, without the blanks and line ends they may
// come with; nothing at all when there are none.
std::string inParentheses(std::string_view words);

}  // namespace rotorix::base
