#include "input/buttons.h"

#include <algorithm>
#include <utility>

namespace rotorix::input {

namespace {

constexpr std::uint16_t kPairButtonCount = 16;

}  // namespace

ButtonReader::ButtonReader(std::vector<hid::InputButton> buttons, std::uint16_t input_length,
                           Start start)
    : buttons_(std::move(buttons)),
      down_(buttons_.size(),
            start == Start::Released ? std::optional<bool>(false) : std::optional<bool>()) {
    room_ = std::max<std::size_t>(input_length, 2);
    for (const hid::InputButton& button : buttons_) {
        room_ = std::max<std::size_t>(room_, button.bit / 8 + 1);
    }
}

std::vector<ButtonChange> ButtonReader::take(std::span<const std::uint8_t> report) {
    std::vector<ButtonChange> changes;
    if (report.empty()) {
        return changes;
    }
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const hid::InputButton& button = buttons_[i];
        if (button.report_id != report[0] || button.bit / 8 >= report.size()) {
            continue;  // another report of a numbered device, or not in this one
        }
        const bool down = ((report[button.bit / 8] >> (button.bit % 8)) & 1u) != 0;
        const std::optional<bool> before = std::exchange(down_[i], down);
        if (before && *before != down) {
            changes.push_back({button.number, down});
        }
    }
    return changes;
}

PairButtons ButtonReader::pairButtons() const {
    PairButtons held = 0;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const std::uint16_t number = buttons_[i].number;
        if (down_[i].value_or(false) && number >= 1 && number <= kPairButtonCount) {
            held = static_cast<PairButtons>(held | (1u << (number - 1)));
        }
    }
    return held;
}

}  // namespace rotorix::input
