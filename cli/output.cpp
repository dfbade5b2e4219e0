// The printers every command's output model goes through: aligned tables and JSON.
#include <algorithm>
#include <ostream>

#include "cli/common.h"
#include "cli/text.h"

namespace rotorix::cli {

using nlohmann::ordered_json;

std::string jsonText(const ordered_json& document) {
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

std::string orDash(const std::optional<std::string>& text) {
    return text ? *text : std::string("-");
}

ordered_json identityJson(const BoardView& view) {
    const auto orNull = [](const std::optional<std::string>& text) {
        return text ? ordered_json(*text) : ordered_json(nullptr);
    };
    ordered_json entry;
    entry["serial"] = toUtf8(view.serial);
    entry["path"] = view.path;
    entry["manufacturer"] = orNull(view.manufacturer);
    entry["product"] = orNull(view.product);
    entry["firmware"] = orNull(view.firmware);
    entry["state"] = view.state;
    return entry;
}

ordered_json settingsJson(const config::BoardSettings& raw) {
    ordered_json encoders = ordered_json::array();
    for (const std::uint8_t type : config::unpackEncoderTypes(raw.planes)) {
        encoders.push_back(encoderTypeText(type));
    }
    ordered_json settings;
    settings["encoders"] = encoders;
    if (const auto coded = fromBoard(raw)) {
        settings["pulse_ms"] = coded->pulse_ms;
        settings["hidden"] = coded->hidden;
    } else {
        // Values outside their coding are shown as the board holds them.
        settings["pulse_code"] = raw.pulse_code;
        settings["hide_flag"] = raw.hide_flag;
    }
    return settings;
}

void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], displayWidth(row[c]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - displayWidth(row[c]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

}  // namespace rotorix::cli
