#include "profile/settings_text.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace rotorix::profile {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::string pulseText(int ms) {
    return std::to_string(ms) + "ms";
}

std::string yesNo(bool yes) {
    return yes ? "yes" : "no";
}

// A raw value outside its coding, as the board holds it.
std::string codeText(int code) {
    return "code " + std::to_string(code);
}

bool pulseCoded(std::uint8_t code) {
    return config::pulseIndexFromCode(code).has_value();
}

std::string keyName(std::size_t key) {
    if (key < config::kEncoderCount) {
        return "enc" + std::to_string(key + 1);
    }
    return key == kPulseKey ? "pulse" : "hidden";
}

std::optional<std::size_t> keyNamed(const std::string& name) {
    for (std::size_t key = 0; key < kSettingKeys; ++key) {
        if (keyName(key) == name) {
            return key;
        }
    }
    return std::nullopt;
}

// "24ms", "24 ms" or "24": the number of milliseconds, whatever its range.
std::optional<long long> parseMilliseconds(std::string_view text) {
    std::string value = lowered(text);
    if (value.ends_with("ms")) {
        value.resize(value.size() - 2);
        while (!value.empty() && value.back() == ' ') {
            value.pop_back();
        }
    }
    long long ms = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (value.empty() || error != std::errc{} || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return ms;
}

// The value of key `key` into `changes`; what is wrong with it, if anything.
std::optional<std::string> assign(Changes& changes, std::size_t key, std::string_view value) {
    const std::string quoted = "\"" + std::string(value) + "\"";
    if (key < config::kEncoderCount) {
        const auto type = parseEncoderType(value);
        if (!type) {
            return keyName(key) + ": " + quoted + " is not off, 1:1, 1:2 or 1:4";
        }
        changes.encoders[key] = type;
    } else if (key == kPulseKey) {
        const auto ms = parseMilliseconds(value);
        if (!ms || !validPulseMs(*ms)) {
            return "pulse: " + quoted +
                   " is not 4ms to 100ms in steps of 4 (for example pulse=24ms)";
        }
        changes.pulse_ms = static_cast<int>(*ms);
    } else {
        const std::string answer = lowered(value);
        if (answer != yesNo(true) && answer != yesNo(false)) {
            return "hidden: " + quoted + " is not yes or no";
        }
        changes.hidden = answer == yesNo(true);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint8_t> parseEncoderType(std::string_view text) {
    const std::string value = lowered(text);
    for (std::uint8_t code = 0; code < config::kEncoderTypeCount; ++code) {
        if (value == encoderTypeText(code)) {
            return code;
        }
    }
    return std::nullopt;
}

std::string encoderTypeText(std::uint8_t code) {
    const auto& texts = config::encoderTypeTexts();
    return code < texts.size() ? lowered(texts[code]) : codeText(code);
}

bool validPulseMs(long long ms) {
    return ms >= config::kPulseCodeMin * config::kPulseStepMs &&
           ms <= config::kPulseCodeMax * config::kPulseStepMs && ms % config::kPulseStepMs == 0;
}

Settings decoded(const config::BoardSettings& raw) {
    return Settings{config::unpackEncoderTypes(raw.planes), raw.pulse_code * config::kPulseStepMs,
                    raw.hide_flag == 1};
}

std::optional<Settings> fromBoard(const config::BoardSettings& raw) {
    if (!pulseCoded(raw.pulse_code) || raw.hide_flag > 1) {
        return std::nullopt;
    }
    return decoded(raw);
}

config::BoardSettings toBoard(const Settings& settings) {
    return {config::packEncoderTypes(settings.encoders),
            static_cast<std::uint8_t>(settings.pulse_ms / config::kPulseStepMs),
            static_cast<std::uint8_t>(settings.hidden ? 1 : 0)};
}

bool Changes::anyEncoder() const {
    return std::any_of(encoders.begin(), encoders.end(),
                       [](const auto& type) { return type.has_value(); });
}

bool Changes::names(std::size_t key) const {
    if (key < encoders.size()) {
        return encoders[key].has_value();
    }
    return key == kPulseKey ? pulse_ms.has_value() : hidden.has_value();
}

Settings Changes::appliedTo(Settings settings) const {
    for (std::size_t i = 0; i < encoders.size(); ++i) {
        if (encoders[i]) {
            settings.encoders[i] = *encoders[i];
        }
    }
    settings.pulse_ms = pulse_ms.value_or(settings.pulse_ms);
    settings.hidden = hidden.value_or(settings.hidden);
    return settings;
}

std::variant<Changes, std::string> parseAssignments(const std::vector<std::string>& words) {
    Changes changes;
    std::set<std::string> named;
    for (const std::string& word : words) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) {
            return "\"" + word + "\" is not KEY=VALUE";
        }
        const std::string key = lowered(word.substr(0, equals));
        if (!named.insert(key).second) {
            return key + " is named twice";
        }
        const auto known = keyNamed(key);
        if (!known) {
            return "unknown key \"" + key + "\" (keys: enc1 to enc8, pulse, hidden)";
        }
        if (auto problem = assign(changes, *known, std::string_view(word).substr(equals + 1))) {
            return std::move(*problem);
        }
    }
    return changes;
}

std::vector<std::string> differences(const Settings& wanted, const config::BoardSettings& got,
                                     const Changes* only) {
    // Two values differ exactly where their words do: a value outside its coding has words no
    // coded value has.
    const SettingLines held = settingLines(got);
    const SettingLines meant = settingLines(toBoard(wanted));
    std::vector<std::string> out;
    for (std::size_t key = 0; key < kSettingKeys; ++key) {
        if ((only == nullptr || only->names(key)) && held[key].second != meant[key].second) {
            out.push_back(held[key].first + " is " + held[key].second + ", not " +
                          meant[key].second);
        }
    }
    return out;
}

SettingLines settingLines(const config::BoardSettings& raw) {
    SettingLines lines;
    const Settings value = decoded(raw);
    for (std::size_t i = 0; i < config::kEncoderCount; ++i) {
        lines[i] = {keyName(i), encoderTypeText(value.encoders[i])};
    }
    lines[kPulseKey] = {keyName(kPulseKey), pulseCoded(raw.pulse_code) ? pulseText(value.pulse_ms)
                                                                       : codeText(raw.pulse_code)};
    lines[kHiddenKey] = {keyName(kHiddenKey),
                         raw.hide_flag <= 1 ? yesNo(value.hidden) : codeText(raw.hide_flag)};
    return lines;
}

std::string assignmentText(const Settings& settings, const Changes* only) {
    const SettingLines lines = settingLines(toBoard(settings));
    std::string out;
    for (std::size_t key = 0; key < kSettingKeys; ++key) {
        if (only == nullptr || only->names(key)) {
            out += (out.empty() ? "" : " ") + lines[key].first + "=" + lines[key].second;
        }
    }
    return out;
}

}  // namespace rotorix::profile
