#include "e2e/gadget/board_control.h"

#include <charconv>
#include <cstdlib>

#include "sim/encoder_turns.h"

namespace rotorix::e2e {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<int> parseInt(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "P S [R]" of the turn command.
std::optional<ControlCommand> parseTurn(std::string_view arguments) {
    std::optional<int> values[3];
    int count = 0;
    while (!arguments.empty()) {
        if (count == 3) {
            return std::nullopt;
        }
        const auto space = arguments.find_first_of(" \t");
        values[count++] = parseInt(arguments.substr(0, space));
        arguments =
            space == std::string_view::npos ? std::string_view{} : trimmed(arguments.substr(space));
    }
    const int rate = count == 3 ? values[2].value_or(0) : kDefaultTurnRate;
    using Turns = sim::EncoderTurns;
    if (count < 2 || !values[0] || !values[1] || *values[0] < 1 || *values[0] > Turns::kPairs ||
        *values[1] == 0 || std::abs(*values[1]) > Turns::kMaxStepsPerTurn || rate < 1 ||
        rate > Turns::kMaxStepsPerSecond) {
        return std::nullopt;
    }
    return ControlCommand{ControlCommand::Kind::Turn, *values[0], *values[1], rate};
}

}  // namespace

std::optional<ControlCommand> parseControlCommand(std::string_view line) {
    line = trimmed(line);
    const auto space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view{} : trimmed(line.substr(space + 1));

    using Kind = ControlCommand::Kind;
    const auto number = [&]() -> std::optional<int> {
        int count = 0;
        const auto [end, ec] =
            std::from_chars(argument.data(), argument.data() + argument.size(), count);
        if (argument.empty() || ec != std::errc{} || end != argument.data() + argument.size() ||
            count < 1) {
            return std::nullopt;
        }
        return count;
    };
    if (word == "unplug-before" || word == "unplug-after") {
        const auto count = number();
        if (!count) {
            return std::nullopt;
        }
        return ControlCommand{word == "unplug-before" ? Kind::UnplugBefore : Kind::UnplugAfter,
                              *count};
    }
    if (word == "pace") {
        const auto ms = number();
        if (!ms || *ms > 10'000) {
            return std::nullopt;
        }
        return ControlCommand{Kind::Pace, *ms};
    }
    if (word == "short-reply") {
        const auto length = number();
        if (!length || *length > 0xFFFF) {
            return std::nullopt;
        }
        return ControlCommand{Kind::ShortReply, *length};
    }
    if (word == "turn") {
        return parseTurn(argument);
    }
    if (word == "press" || word == "release") {
        const auto button = number();
        if (!button || *button > 16) {
            return std::nullopt;
        }
        return ControlCommand{word == "press" ? Kind::Press : Kind::Release, *button};
    }
    if (word == "hang") {
        if (argument == "on" || argument == "off") {
            return ControlCommand{argument == "on" ? Kind::HangOn : Kind::HangOff, 0};
        }
        return std::nullopt;
    }
    if (!argument.empty()) {
        return std::nullopt;
    }
    if (word == "disarm") {
        return ControlCommand{Kind::Disarm, 0};
    }
    if (word == "silent") {
        return ControlCommand{Kind::Silent, 0};
    }
    if (word == "talkative") {
        return ControlCommand{Kind::Talkative, 0};
    }
    if (word == "full-reply") {
        return ControlCommand{Kind::FullReply, 0};
    }
    return std::nullopt;
}

void UnplugTrigger::arm(int nth, bool before_answer) {
    countdown_ = nth > 0 ? nth : 0;
    before_answer_ = before_answer;
}

UnplugTrigger::Decision UnplugTrigger::onReportRequest() {
    if (countdown_ == 0 || --countdown_ > 0) {
        return Decision::Serve;
    }
    return before_answer_ ? Decision::UnplugInstead : Decision::ServeThenUnplug;
}

}  // namespace rotorix::e2e
