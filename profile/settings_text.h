// A board's settings in the words of the command line and its profiles: encoder types "off",
// "1:1", "1:2", "1:4"; the pulse in milliseconds; hidden yes or no.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "config/protocol.h"
#include "config/settings_io.h"

namespace rotorix::profile {

// Settings a board can hold and a profile can carry: every value inside its coding.
struct Settings {
    config::EncoderTypes encoders{};  // type codes 0..3 of pairs 1..8
    int pulse_ms = 4;                 // 4..100, a multiple of 4
    bool hidden = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// "off", "1:1", "1:2", "1:4" in any case -> 0..3.
std::optional<std::uint8_t> parseEncoderType(std::string_view text);
// 0..3 -> "off", "1:1", "1:2", "1:4": the window's words, in lower case.
std::string encoderTypeText(std::uint8_t code);

bool validPulseMs(long long ms);
// Each value as the board holds it. Only a hide flag of 1 is hidden: the window shows any other
// value but 0 as neither listed nor hidden. A pulse code outside 1..25 is carried over as it is.
Settings decoded(const config::BoardSettings& raw);
// The same, when every value is inside its coding: a pulse code of 1..25 and a hide flag of 0 or
// 1. Empty optional otherwise (a value only a broken or foreign board holds).
std::optional<Settings> fromBoard(const config::BoardSettings& raw);
config::BoardSettings toBoard(const Settings& settings);

// The settings' keys, as `set` takes them and `show` prints them, in that order: enc1..enc8,
// pulse, hidden.
inline constexpr std::size_t kSettingKeys = config::kEncoderCount + 2;
inline constexpr std::size_t kPulseKey = config::kEncoderCount;
inline constexpr std::size_t kHiddenKey = config::kEncoderCount + 1;

// The parts of a board's settings a `set` names; the rest stays as the board holds it.
struct Changes {
    std::array<std::optional<std::uint8_t>, config::kEncoderCount> encoders;
    std::optional<int> pulse_ms;
    std::optional<bool> hidden;

    bool anyEncoder() const;
    // Whether key `key` (0..kSettingKeys-1) is named.
    bool names(std::size_t key) const;
    Settings appliedTo(Settings settings) const;
};

// KEY=VALUE words: enc1..enc8 = off|1:1|1:2|1:4, pulse = 4ms..100ms or a number of milliseconds
// (a multiple of 4), hidden = yes|no. Keys and values in any case. A message naming the word and
// what is wrong with it when one is not understood, or names a key a second time.
std::variant<Changes, std::string> parseAssignments(const std::vector<std::string>& words);

// What `set` and `import` report about settings the board did not take: "enc3 is 1:2, not 1:4".
// Only the keys `only` names are compared; every key when it is null.
std::vector<std::string> differences(const Settings& wanted, const config::BoardSettings& got,
                                     const Changes* only);

// Each key and its value, as `show` prints them: "enc1" "1:1", ... "pulse" "24ms", "hidden"
// "no". Raw values outside their coding are printed as they are ("code 30").
using SettingLines = std::array<std::pair<std::string, std::string>, kSettingKeys>;
SettingLines settingLines(const config::BoardSettings& raw);

// "enc1=1:4 pulse=24ms": the keys `only` names (every key when it is null), as `set` echoes them.
std::string assignmentText(const Settings& settings, const Changes* only);

}  // namespace rotorix::profile
