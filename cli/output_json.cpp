#include "cli/output_json.h"

#include <nlohmann/json.hpp>

#include "cli/text.h"
#include "profile/profile.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using nlohmann::ordered_json;

// Text from the system (paths, its error words) may not be UTF-8; it is replaced, not thrown on.
std::string dumped(const ordered_json& document, int indent) {
    return document.dump(indent, ' ', false, ordered_json::error_handler_t::replace);
}

ordered_json orNull(const std::optional<std::string>& text) {
    return text ? ordered_json(*text) : ordered_json(nullptr);
}

// Its identity and state: serial, path, manufacturer, product, firmware, state.
ordered_json identityJson(const BoardView& view) {
    ordered_json entry;
    entry["serial"] = toUtf8(view.serial);
    entry["path"] = view.path;
    entry["manufacturer"] = orNull(view.manufacturer);
    entry["product"] = orNull(view.product);
    entry["firmware"] = orNull(view.firmware);
    entry["state"] = view.state;
    return entry;
}

ordered_json encodersJson(const config::EncoderTypes& types) {
    ordered_json encoders = ordered_json::array();
    for (const std::uint8_t type : types) {
        encoders.push_back(encoderTypeText(type));
    }
    return encoders;
}

// As profiles key them; only the parts `only` names (every part when it is null).
ordered_json settingsJson(const Settings& settings, const Changes* only) {
    ordered_json entry = ordered_json::object();
    if (only == nullptr || only->anyEncoder()) {
        entry["encoders"] = encodersJson(settings.encoders);
    }
    if (only == nullptr || only->pulse_ms) {
        entry["pulse_ms"] = settings.pulse_ms;
    }
    if (only == nullptr || only->hidden) {
        entry["hidden"] = settings.hidden;
    }
    return entry;
}

ordered_json settingsJson(const config::BoardSettings& raw) {
    if (const auto coded = fromBoard(raw)) {
        return settingsJson(*coded, nullptr);
    }
    // Values outside their coding are shown as the board holds them.
    ordered_json entry;
    entry["encoders"] = encodersJson(config::unpackEncoderTypes(raw.planes));
    entry["pulse_code"] = raw.pulse_code;
    entry["hide_flag"] = raw.hide_flag;
    return entry;
}

ordered_json boardJson(const NamedBoard& board) {
    ordered_json entry;
    entry["serial"] = toUtf8(board.serial);
    entry["path"] = board.path;
    return entry;
}

ordered_json resultJson(const BoardResult& result, const Changes* only) {
    ordered_json entry = boardJson(result.board);
    entry["result"] = outcomeText(result.outcome);
    entry["settings"] = result.settings ? settingsJson(*result.settings, only) : nullptr;
    entry["read_back_equal"] = result.read_back_equal;
    entry["problems"] = result.problems;
    return entry;
}

std::string boardsDocument(const ordered_json& boards) {
    return dumped(ordered_json{{"boards", boards}}, 2);
}

}  // namespace

std::string jsonDocument(const ListOutput& output) {
    ordered_json boards = ordered_json::array();
    for (const BoardView& view : output.boards) {
        ordered_json entry = identityJson(view);
        if (view.reason) {
            entry["reason"] = *view.reason;
        }
        boards.push_back(entry);
    }
    return boardsDocument(boards);
}

std::string jsonDocument(const ShowOutput& output) {
    ordered_json entry = identityJson(output.board);
    entry["settings"] = output.settings ? settingsJson(*output.settings) : nullptr;
    return dumped(entry, 2);
}

std::string jsonDocument(const SetOutput& output) {
    return boardsDocument(ordered_json::array({resultJson(output.board, &output.named)}));
}

std::string jsonDocument(const ImportOutput& output) {
    ordered_json boards = ordered_json::array();
    for (const BoardResult& result : output.boards) {
        boards.push_back(resultJson(result, nullptr));
    }
    return boardsDocument(boards);
}

std::string jsonDocument(const ExportOutput& output) {
    ordered_json entry = boardJson(output.board);
    entry["file"] = output.file.empty() ? ordered_json(nullptr) : ordered_json(output.file);
    // The profile as export writes it, so it reads back into import as it is.
    entry["profile"] = ordered_json::parse(formatProfile(output.settings));
    return boardsDocument(ordered_json::array({entry}));
}

namespace {

// Milliseconds to the microsecond; null for a width not measured.
ordered_json milliseconds(std::optional<input::Clock::duration> width) {
    if (!width) {
        return nullptr;
    }
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*width).count();
    return static_cast<double>(us) / 1000.0;
}

}  // namespace

std::string jsonDocument(const TestOutput& output) {
    ordered_json pairs = ordered_json::array();
    for (const auto& [pair, summary] : output.pairs) {
        pairs.push_back({{"pair", pair},
                         {"type", encoderTypeText(summary.type)},
                         {"positive_steps", summary.positive},
                         {"negative_steps", summary.negative},
                         {"min_ms", milliseconds(summary.min_width)},
                         {"median_ms", milliseconds(summary.median_width)},
                         {"max_ms", milliseconds(summary.max_width)}});
    }
    static constexpr const char* kKinds[] = {"short_pulses", "both_down", "back_to_back",
                                             "off_pair_pulses", "encoder_pair_held"};
    ordered_json findings = ordered_json::array();
    for (const input::Finding& finding : output.findings) {
        findings.push_back(
            {{"kind", kKinds[static_cast<std::size_t>(finding.kind)]},
             {"pair", finding.pair == 0 ? ordered_json(nullptr) : ordered_json(finding.pair)},
             {"text", finding.text}});
    }
    return dumped(ordered_json{{"pairs", pairs}, {"findings", findings}}, -1);
}

std::string jsonLine(const Testing& testing) {
    ordered_json entry = boardJson(testing.board);
    entry["encoders"] = encodersJson(testing.types);
    if (testing.pulse_code >= config::kPulseCodeMin &&
        testing.pulse_code <= config::kPulseCodeMax) {
        entry["pulse_ms"] = testing.pulse_code * config::kPulseStepMs;
    } else {
        entry["pulse_ms"] = nullptr;
        entry["pulse_code"] = testing.pulse_code;
    }
    return dumped(entry, -1);
}

std::string jsonLine(const TestStep& step) {
    return dumped(ordered_json{{"pair", step.pair},
                               {"button", step.button},
                               {"positive", step.positive},
                               {"width_ms", milliseconds(step.width)},
                               {"positive_steps", step.positive_steps},
                               {"negative_steps", step.negative_steps}},
                  -1);
}

std::string jsonDocument(const RuleOutput& output) {
    return dumped(ordered_json{{"file", session::kUdevRulePath}, {"rule", output.text}}, 2);
}

std::string jsonDocument(const WhichOutput& output) {
    ordered_json entry = boardJson(output.board);
    entry["serial_unique"] = output.serial_unique;
    entry["button"] = output.button;
    entry["pressed"] = output.pressed;
    return dumped(entry, 2);
}

std::string jsonLine(const ButtonChange& change) {
    return dumped(ordered_json{{"button", change.button}, {"pressed", change.pressed}}, -1);
}

}  // namespace rotorix::cli
