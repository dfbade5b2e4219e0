// Profiles: a board's settings as a small JSON document, for backups and for putting the same
// settings on other boards.
//
//   {"format": "rotorix-profile", "version": 1,
//    "encoders": ["1:1", "1:4", "1:2", "off", "off", "off", "off", "off"],
//    "pulse_ms": 24, "hidden": true}
//
// Every key must be there and no other; encoder values are read in any case ("OFF" is "off"),
// as the window and `set` spell them, and written in lower case.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "profile/settings_text.h"

namespace rotorix::profile {

// Larger input is refused before it is parsed: a profile is about 150 bytes.
inline constexpr std::size_t kMaxProfileBytes = 64 * 1024;

// The settings a profile holds, or a message that names the key and what is wrong with it. Any
// byte string is either accepted or refused with a message; nothing throws.
std::variant<Settings, std::string> parseProfile(std::string_view text);

// The profile of `settings`, one line and a newline, keys in the documented order.
std::string formatProfile(const Settings& settings);

}  // namespace rotorix::profile
