#include "profile/profile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

namespace rotorix::profile {

namespace {

using nlohmann::json;

constexpr std::string_view kFormat = "rotorix-profile";
constexpr int kVersion = 1;
constexpr std::array<std::string_view, 5> kKeys = {"format", "version", "encoders", "pulse_ms",
                                                   "hidden"};

// Collects nothing; it only keeps the parser's words for the first error, so a refusal can say
// where the text stops being JSON without the parser throwing.
struct ErrorOnly : nlohmann::json_sax<json> {
    std::string message;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        message = error.what();
        return false;
    }
};

// "[json.exception.parse_error.101] parse error at line 1, column 3: syntax error ..." without
// the library's tag. The parser quotes the text it stopped at, which may be any bytes: all but
// printable ASCII become '?', so the message cannot upset a terminal.
std::string parseErrorWords(std::string_view text) {
    ErrorOnly sax;
    json::sax_parse(text, &sax, json::input_format_t::json, true, false);
    std::string message = sax.message;
    if (const auto tag = message.find("] "); message.starts_with("[json.") && tag != message.npos) {
        message.erase(0, tag + 2);
    }
    for (char& c : message) {
        if (c < 0x20 || c > 0x7E) {
            c = '?';
        }
    }
    return message.empty() ? "not valid JSON" : "not valid JSON: " + message;
}

std::string typeName(const json& value) {
    switch (value.type()) {
        case json::value_t::null:
            return "null";
        case json::value_t::object:
            return "an object";
        case json::value_t::array:
            return "an array";
        case json::value_t::string:
            return "a string";
        case json::value_t::boolean:
            return "true or false";
        case json::value_t::number_float:
            return "a fraction";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
            return "a number";
        default:
            return "something else";
    }
}

std::string quoted(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

// Text from the file, quoted and escaped as JSON with every non-ASCII character spelt out, so a
// message never carries control characters or broken UTF-8 to the terminal.
std::string escaped(const std::string& text) {
    return json(text).dump(-1, ' ', true, json::error_handler_t::replace);
}

// An integer JSON value equal to `expected` (a huge unsigned value never is).
bool isInteger(const json& value, std::int64_t expected) {
    if (value.is_number_unsigned()) {
        return expected >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(expected);
    }
    return value.is_number_integer() && value.get<std::int64_t>() == expected;
}

using Problem = std::optional<std::string>;

// Exactly the documented keys, each once.
Problem checkKeys(const json& document) {
    for (const auto& [key, value] : document.items()) {
        if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
            return "unknown key " + escaped(key);
        }
    }
    for (const std::string_view key : kKeys) {
        if (!document.contains(key)) {
            return "missing key " + quoted(key);
        }
    }
    return std::nullopt;
}

Problem checkFormat(const json& document) {
    const json& format = document.at("format");
    if (!format.is_string()) {
        return quoted("format") + " must be " + quoted(kFormat) + ", not " + typeName(format);
    }
    if (format.get_ref<const std::string&>() != kFormat) {
        return quoted("format") + " must be " + quoted(kFormat) + ", not " +
               escaped(format.get_ref<const std::string&>());
    }
    const json& version = document.at("version");
    if (!version.is_number_integer()) {
        return quoted("version") + " must be an integer, not " + typeName(version);
    }
    if (!isInteger(version, kVersion)) {
        return quoted("version") + ": version " + version.dump() +
               " is not supported (this program reads version " + std::to_string(kVersion) + ")";
    }
    return std::nullopt;
}

Problem readEncoders(const json& document, Settings& settings) {
    const json& encoders = document.at("encoders");
    if (!encoders.is_array()) {
        return quoted("encoders") + " must be an array of 8 values, not " + typeName(encoders);
    }
    if (encoders.size() != config::kEncoderCount) {
        return quoted("encoders") + " must hold 8 values, not " + std::to_string(encoders.size());
    }
    for (std::size_t i = 0; i < encoders.size(); ++i) {
        const json& value = encoders[i];
        const std::string where = quoted("encoders") + " value " + std::to_string(i + 1);
        if (!value.is_string()) {
            return where + " must be a string, not " + typeName(value);
        }
        const auto type = parseEncoderType(value.get_ref<const std::string&>());
        if (!type) {
            return where + ": " + escaped(value.get_ref<const std::string&>()) +
                   " is not \"off\", \"1:1\", \"1:2\" or \"1:4\"";
        }
        settings.encoders[i] = *type;
    }
    return std::nullopt;
}

Problem readPulseAndHidden(const json& document, Settings& settings) {
    const json& pulse = document.at("pulse_ms");
    if (!pulse.is_number_integer()) {
        return quoted("pulse_ms") + " must be an integer number of milliseconds, not " +
               typeName(pulse);
    }
    // Beyond the int64 range the value is certainly out of range; below it, it fits.
    const bool in_range = pulse.is_number_unsigned()
                              ? pulse.get<std::uint64_t>() <= 100 &&
                                    validPulseMs(static_cast<long long>(pulse.get<std::uint64_t>()))
                              : validPulseMs(pulse.get<std::int64_t>());
    if (!in_range) {
        return quoted("pulse_ms") + ": " + pulse.dump() + " is not 4 to 100 in steps of 4";
    }
    settings.pulse_ms = pulse.get<int>();

    const json& hidden = document.at("hidden");
    if (!hidden.is_boolean()) {
        return quoted("hidden") + " must be true or false, not " + typeName(hidden);
    }
    settings.hidden = hidden.get<bool>();
    return std::nullopt;
}

}  // namespace

std::variant<Settings, std::string> parseProfile(std::string_view text) {
    if (text.size() > kMaxProfileBytes) {
        return "the profile is " + std::to_string(text.size()) +
               " bytes long; a profile is at most " + std::to_string(kMaxProfileBytes);
    }
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        return parseErrorWords(text);
    }
    if (!document.is_object()) {
        return "a profile is a JSON object, not " + typeName(document);
    }
    // In this order: each step reads only keys the ones before it found.
    Settings settings;
    Problem problem = checkKeys(document);
    problem = problem ? problem : checkFormat(document);
    problem = problem ? problem : readEncoders(document, settings);
    problem = problem ? problem : readPulseAndHidden(document, settings);
    if (problem) {
        return std::move(*problem);
    }
    return settings;
}

std::string formatProfile(const Settings& settings) {
    std::string out = "{\"format\": \"" + std::string(kFormat) +
                      "\", \"version\": " + std::to_string(kVersion) + ", \"encoders\": [";
    for (std::size_t i = 0; i < settings.encoders.size(); ++i) {
        out += (i == 0 ? "\"" : ", \"") + encoderTypeText(settings.encoders[i]) + "\"";
    }
    out += "], \"pulse_ms\": " + std::to_string(settings.pulse_ms) +
           ", \"hidden\": " + (settings.hidden ? "true" : "false") + "}\n";
    return out;
}

}  // namespace rotorix::profile
