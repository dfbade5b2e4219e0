// The board as a USB HID function: its descriptors, and its answers to control requests, with
// the firmware model behind the feature report. No I/O here: the FunctionFS program feeds in
// what ep0 delivers and carries out the returned action, so all of this runs in host unit tests.
//
// The board's reports, in the system's numbering (byte 0 is the report ID, always 0):
//   input    input_length bytes: 16 buttons, then constant padding
//   feature  feature_length bytes: vendor-defined, one byte per usage
// Neither is numbered, so on the wire every payload lacks the ID byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/firmware_model.h"

namespace rotorix::e2e {

struct BoardReports {
    // Report-ID byte included, as hid::ReportLengths counts them. The input report holds at least
    // the 16 button bits (3 bytes); a feature length below 2 means the board has no feature report.
    std::uint16_t input_length = 3;
    std::uint16_t feature_length = 9;
};

inline constexpr std::uint16_t kMinInputLength = 3;
inline constexpr std::uint16_t kMaxInputLength = 1025;  // one high-speed interrupt packet
inline constexpr std::uint16_t kMaxFeatureLength = 4096;

// True when the descriptors below can describe these lengths.
bool supported(BoardReports reports);

// The HID report descriptor: a game pad with 16 buttons and a vendor-defined feature report.
std::vector<std::uint8_t> reportDescriptor(BoardReports reports);

// The HID class descriptor (0x21) naming one report descriptor of the given length.
std::vector<std::uint8_t> hidDescriptor(std::size_t report_descriptor_length);

// What FunctionFS expects written to ep0 first: the V2 descriptor blob with full- and high-speed
// sets (interface, HID class descriptor, interrupt IN endpoint 0x81), then the string table.
std::vector<std::uint8_t> functionfsDescriptors(BoardReports reports);
std::vector<std::uint8_t> functionfsStrings();

// One SETUP packet, fields in host order.
struct SetupPacket {
    std::uint8_t request_type = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    bool deviceToHost() const { return (request_type & 0x80) != 0; }
    // GET_REPORT or SET_REPORT: the requests that carry the board's reports.
    bool isReportRequest() const {
        return (request_type == 0xA1 && request == 0x01) ||
               (request_type == 0x21 && request == 0x09);
    }
};

// What to do on ep0 for one SETUP.
struct ControlAction {
    enum class Kind {
        Send,     // IN: write `data` (never longer than wLength)
        Receive,  // OUT: read the wLength-byte data stage (or the status stage when 0)
        Stall,
    };
    Kind kind = Kind::Stall;
    std::vector<std::uint8_t> data;

    friend bool operator==(const ControlAction&, const ControlAction&) = default;
};

class HidFunction {
  public:
    // `log` gets one line per report received, without newline: "feature 00 ee 08 55 ..." or
    // "output ...", bytes in the system's numbering (the report ID from wValue first); and one
    // per request held unanswered (logHeld).
    using LogSink = std::function<void(const std::string& line)>;

    HidFunction(sim::FirmwareModel model, BoardReports reports, LogSink log);

    // Decides what a SETUP gets. Requests this board does not know are stalled.
    ControlAction setup(const SetupPacket& setup);

    // The data stage of an OUT request for which setup() returned Receive has arrived.
    void dataStage(const SetupPacket& setup, std::span<const std::uint8_t> data);

    // Logs a request the board leaves unanswered: "held" and the SETUP packet's eight bytes as
    // they came on the wire ("held 21 09 00 03 00 00 09 00").
    void logHeld(const SetupPacket& setup);

    // The next input report for the interrupt IN endpoint, without the report-ID byte, with the
    // buttons as they are at `now` (turns' pulses included). Safe to call from another thread
    // than the one serving ep0.
    // Times must not go backwards (see sim::EncoderTurns::buttonsAt); the overload without one
    // reads the clock in turn with every other caller.
    std::vector<std::uint8_t> nextInputPayload(sim::Clock::time_point now);
    std::vector<std::uint8_t> nextInputPayload();

    // Turns the encoder on pair `pair` (sim::FirmwareModel::turn) from `now`, with the pulse
    // length the board holds at that moment. Returns the pulses it will make, none when the turn
    // was refused.
    std::vector<sim::Pulse> turn(int pair, int steps, int steps_per_second,
                                 sim::Clock::time_point now);

    // Holds button `number` (1..16) down, or lets it go, in the input reports from now on.
    // Safe to call from another thread than the one serving the IN endpoint.
    void setButton(int number, bool pressed);

    // Feature fetches are answered with at most `length` bytes, report ID counted; nullopt: in
    // full.
    void limitFeatureReplies(std::optional<std::size_t> length);

    BoardReports reports() const { return reports_; }
    std::uint8_t idleRate() const;

  private:
    ControlAction getReport(const SetupPacket& setup);

    mutable std::mutex mutex_;  // the model is shared between ep0 and the IN endpoint
    sim::FirmwareModel model_;
    BoardReports reports_;
    std::vector<std::uint8_t> report_descriptor_;
    LogSink log_;
    std::uint8_t idle_rate_ = 0;
    std::optional<std::size_t> feature_reply_limit_;
};

// "00 ee 08" for {0x00, 0xEE, 0x08}.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// One line of the board's pulse log: "pulse PAIR BUTTON START END", the times in nanoseconds of
// the monotonic clock (steady_clock, CLOCK_MONOTONIC), which the host's stamps in the same VM
// share.
std::string pulseLine(const sim::Pulse& pulse);

}  // namespace rotorix::e2e
