#include "e2e/gadget/board_args.h"

#include <charconv>
#include <string_view>

namespace rotorix::e2e {

namespace {

std::optional<unsigned long> parseNumber(std::string_view text, unsigned long max) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

bool parseSettings(std::string_view text, sim::FirmwareModel::Settings& settings) {
    for (;;) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const auto equals = item.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        const auto code = parseNumber(item.substr(0, equals), settings.size() - 1);
        const auto value = parseNumber(item.substr(equals + 1), 0xFF);
        if (!code || !value) {
            return false;
        }
        settings[*code] = static_cast<std::uint8_t>(*value);
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

std::optional<BoardArgs> parseBoardArgs(std::span<const std::string> args, std::string& error) {
    BoardArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (option == "--ffs") {
            parsed.ffs_dir = value;
        } else if (option == "--log") {
            parsed.log_path = value;
        } else if (option == "--pulse-log") {
            parsed.pulse_log_path = value;
        } else if (option == "--control") {
            parsed.control_path = value;
        } else if (option == "--udc-file") {
            parsed.udc_file = value;
        } else if (option == "--input-length" || option == "--feature-length") {
            const auto length = parseNumber(value, 0xFFFF);
            if (!length) {
                error = option + ": not a length: " + value;
                return std::nullopt;
            }
            auto& field = option == "--input-length" ? parsed.reports.input_length
                                                     : parsed.reports.feature_length;
            field = static_cast<std::uint16_t>(*length);
        } else if (option == "--settings") {
            if (!parseSettings(value, parsed.settings)) {
                error =
                    "--settings wants CODE=VALUE[,CODE=VALUE]... with codes 0..15, values "
                    "0..255: " +
                    value;
                return std::nullopt;
            }
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    if (parsed.ffs_dir.empty()) {
        error = "--ffs DIR is required";
        return std::nullopt;
    }
    if (!parsed.control_path.empty() && parsed.udc_file.empty()) {
        error = "--control needs --udc-file: the board unplugs itself through it";
        return std::nullopt;
    }
    if (!supported(parsed.reports)) {
        error = "report lengths out of range: input " + std::to_string(kMinInputLength) + ".." +
                std::to_string(kMaxInputLength) + ", feature 0.." +
                std::to_string(kMaxFeatureLength);
        return std::nullopt;
    }
    return parsed;
}

}  // namespace rotorix::e2e
