#include "cli/settings_text.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace rotorix::cli {

namespace {

constexpr std::array<std::string_view, config::kEncoderTypeCount> kEncoderTexts = {"off", "1:1",
                                                                                   "1:2", "1:4"};

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

}  // namespace

std::optional<std::uint8_t> parseEncoderType(std::string_view text) {
    const std::string value = lowered(text);
    for (std::size_t code = 0; code < kEncoderTexts.size(); ++code) {
        if (value == kEncoderTexts[code]) {
            return static_cast<std::uint8_t>(code);
        }
    }
    return std::nullopt;
}

std::string encoderTypeText(std::uint8_t code) {
    return code < kEncoderTexts.size() ? std::string(kEncoderTexts[code])
                                       : "code " + std::to_string(code);
}

bool validPulseMs(long long ms) {
    return ms >= config::kPulseCodeMin * config::kPulseStepMs &&
           ms <= config::kPulseCodeMax * config::kPulseStepMs && ms % config::kPulseStepMs == 0;
}

std::optional<Settings> fromBoard(const config::BoardSettings& raw) {
    if (raw.pulse_code < config::kPulseCodeMin || raw.pulse_code > config::kPulseCodeMax ||
        raw.hide_flag > 1) {
        return std::nullopt;
    }
    return Settings{config::unpackEncoderTypes(raw.planes), raw.pulse_code * config::kPulseStepMs,
                    raw.hide_flag == 1};
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
        const std::string_view value = std::string_view(word).substr(equals + 1);
        if (!named.insert(key).second) {
            return key + " is named twice";
        }
        if (key.size() == 4 && key.starts_with("enc") && key[3] >= '1' && key[3] <= '8') {
            const auto type = parseEncoderType(value);
            if (!type) {
                return key + ": \"" + std::string(value) + "\" is not off, 1:1, 1:2 or 1:4";
            }
            changes.encoders[static_cast<std::size_t>(key[3] - '1')] = type;
        } else if (key == "pulse") {
            const auto ms = parseMilliseconds(value);
            if (!ms || !validPulseMs(*ms)) {
                return "pulse: \"" + std::string(value) +
                       "\" is not 4ms to 100ms in steps of 4 (for example pulse=24ms)";
            }
            changes.pulse_ms = static_cast<int>(*ms);
        } else if (key == "hidden") {
            const std::string answer = lowered(value);
            if (answer != "yes" && answer != "no") {
                return "hidden: \"" + std::string(value) + "\" is not yes or no";
            }
            changes.hidden = answer == "yes";
        } else {
            return "unknown key \"" + key + "\" (keys: enc1 to enc8, pulse, hidden)";
        }
    }
    return changes;
}

std::vector<std::string> differences(const Settings& wanted, const config::BoardSettings& got,
                                     const Changes* only) {
    std::vector<std::string> out;
    const config::EncoderTypes types = config::unpackEncoderTypes(got.planes);
    for (std::size_t i = 0; i < types.size(); ++i) {
        if ((only == nullptr || only->encoders[i]) && types[i] != wanted.encoders[i]) {
            out.push_back("enc" + std::to_string(i + 1) + " is " + encoderTypeText(types[i]) +
                          ", not " + encoderTypeText(wanted.encoders[i]));
        }
    }
    const bool pulse_named = only == nullptr || only->pulse_ms.has_value();
    if (pulse_named && got.pulse_code * config::kPulseStepMs != wanted.pulse_ms) {
        const auto lines = settingLines(got);
        out.push_back("pulse is " + lines[config::kEncoderCount].second + ", not " +
                      pulseText(wanted.pulse_ms));
    }
    const bool hidden_named = only == nullptr || only->hidden.has_value();
    if (hidden_named && got.hide_flag != (wanted.hidden ? 1 : 0)) {
        const auto lines = settingLines(got);
        out.push_back("hidden is " + lines[config::kEncoderCount + 1].second + ", not " +
                      (wanted.hidden ? "yes" : "no"));
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> settingLines(const config::BoardSettings& raw) {
    std::vector<std::pair<std::string, std::string>> lines;
    const config::EncoderTypes types = config::unpackEncoderTypes(raw.planes);
    for (std::size_t i = 0; i < types.size(); ++i) {
        lines.emplace_back("enc" + std::to_string(i + 1), encoderTypeText(types[i]));
    }
    const bool pulse_coded =
        raw.pulse_code >= config::kPulseCodeMin && raw.pulse_code <= config::kPulseCodeMax;
    lines.emplace_back("pulse", pulse_coded ? pulseText(raw.pulse_code * config::kPulseStepMs)
                                            : "code " + std::to_string(raw.pulse_code));
    lines.emplace_back("hidden", raw.hide_flag == 0   ? std::string("no")
                                 : raw.hide_flag == 1 ? std::string("yes")
                                                      : "code " + std::to_string(raw.hide_flag));
    return lines;
}

}  // namespace rotorix::cli
