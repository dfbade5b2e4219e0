// The board's firmware, as far as the host can observe it: a handful of one-byte settings behind
// an unnumbered feature report, and input reports sent on its own.
//
// Reports use the system's numbering: byte 0 is the report ID (always 0 for this board), the
// payload follows. Transports that strip the ID byte (USB SET_REPORT / GET_REPORT on the wire)
// add or remove it before calling in.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "sim/encoder_turns.h"

namespace rotorix::sim {

class FirmwareModel {
  public:
    static constexpr std::size_t kSettingCount = 16;  // codes 0..15; the host uses 1, 8, 9, 10
    using Settings = std::array<std::uint8_t, kSettingCount>;

    FirmwareModel() = default;
    explicit FirmwareModel(const Settings& settings) : settings_(settings) {}

    // A feature report arrives from the host. Every report is logged, whatever it holds.
    //   [0, P, ...]                 read request: the next fetch answers with setting P
    //   [0, 0xEE, P, V, ...]        setting P := V
    //   [0, 0xB0, ...]              command 0xB0 (counted; no other effect on the settings)
    // Reports shorter than the command needs, and unknown setting codes, are logged and ignored.
    void receiveFeatureReport(std::span<const std::uint8_t> report);

    // The host fetches a feature report of `length` bytes (report ID included):
    // [0, P, value of P, 0, ...] for the P of the last read request (P = 0 before any).
    std::vector<std::uint8_t> featureReportReply(std::size_t length) const;

    // The next input report the board sends on its own, `length` bytes (report ID included):
    // [0, buttons 1-8, buttons 9-16, counter, 0...]. The pulses of turns are not in it: they
    // need the time, which the overload below is given.
    std::vector<std::uint8_t> inputReport(std::size_t length);
    // The same at `now`: buttons held by the pulses of turns under way are pressed as well.
    std::vector<std::uint8_t> inputReport(std::size_t length, Clock::time_point now);

    // Turns the encoder on pair `pair` (1..8) by `steps` at `steps_per_second`, as
    // EncoderTurns::turn does, each pulse as long as the pulse setting (setting 10: code x 4 ms;
    // a code outside 1..25 counts as the nearest one inside). Returns the pulses scheduled (none
    // when the turn was refused).
    std::vector<Pulse> turn(int pair, int steps, int steps_per_second, Clock::time_point now);
    // The pulse length the board makes now, from setting 10.
    std::chrono::milliseconds pulseLength() const;
    bool turning(Clock::time_point now) const { return turns_.turning(now); }

    // The buttons held down (bit n-1: button n), as the following input reports carry them.
    void setButtons(std::uint16_t pressed);
    void setButton(int number, bool pressed);  // number 1..16; others are ignored
    std::uint16_t buttons() const { return buttons_; }
    // One button state per following input report, in order; once they are used up, reports
    // keep the last one. setButtons() drops what is still queued.
    void queueButtons(const std::vector<std::uint16_t>& states);

    std::uint8_t setting(std::uint8_t code) const;
    void setSetting(std::uint8_t code, std::uint8_t value);
    const Settings& settings() const { return settings_; }

    // Every feature report received, in order, byte for byte (its size is the sent length).
    const std::vector<std::vector<std::uint8_t>>& received() const { return received_; }
    void clearReceived() { received_.clear(); }
    int commandB0Count() const { return b0_count_; }

  private:
    Settings settings_{};
    std::uint8_t selected_ = 0;
    int b0_count_ = 0;
    std::uint8_t input_counter_ = 0;
    std::uint16_t buttons_ = 0;
    std::deque<std::uint16_t> queued_buttons_;
    EncoderTurns turns_;
    std::vector<std::vector<std::uint8_t>> received_;
};

}  // namespace rotorix::sim
