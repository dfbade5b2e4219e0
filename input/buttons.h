// The buttons of one board's input reports, as its report descriptor declares them: how big a
// read buffer must be, and which buttons each report changes.
//
// Shared by everything that watches buttons (the input watch here, `rotorixctl watch`).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hid/platform.h"

namespace rotorix::input {

// Reports are stamped on the host's monotonic clock, as they arrive.
using Clock = std::chrono::steady_clock;

// Buttons 1..16, the eight pairs' buttons: bit n-1 is button n.
using PairButtons = std::uint16_t;

struct ButtonChange {
    std::uint16_t number = 0;  // the button's usage: 1 is button 1
    bool pressed = false;

    friend bool operator==(const ButtonChange&, const ButtonChange&) = default;
};

class ButtonReader {
  public:
    // What a button's state is before any report has said.
    enum class Start {
        Released,     // every button up: one held when watching begins shows as pressed
        FirstReport,  // unknown: the first report that carries a button sets its state and
                      // reports no change (a button held at the start is no event)
    };

    // `buttons` as Device::inputButtons() lists them; `input_length` the board's input report
    // length from its descriptor (0 when unknown).
    ButtonReader(std::vector<hid::InputButton> buttons, std::uint16_t input_length, Start start);

    // Bytes a read buffer needs: the input report length, and at least room for every button's
    // bit and for a report ID and one byte.
    std::size_t reportRoom() const { return room_; }

    // Takes one report as Device::readInputReport filled it (byte 0 the report ID). Returns
    // the buttons it changed, in the descriptor's order. Buttons of other report IDs, and bits
    // beyond the report's end, are left as they were.
    std::vector<ButtonChange> take(std::span<const std::uint8_t> report);

    // Buttons 1..16 down now (a button declared by several fields is down when any is). One
    // whose state no report has told yet counts as up.
    PairButtons pairButtons() const;

    const std::vector<hid::InputButton>& buttons() const { return buttons_; }

  private:
    std::vector<hid::InputButton> buttons_;
    std::vector<std::optional<bool>> down_;  // per entry of buttons_
    std::size_t room_ = 0;
};

}  // namespace rotorix::input
