#include "e2e/gadget/hid_function.h"

#include <linux/usb/functionfs.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "sim/board_descriptor.h"

namespace rotorix::e2e {

namespace {

// bRequestType values this board answers.
constexpr std::uint8_t kStandardInInterface = 0x81;
constexpr std::uint8_t kClassInInterface = 0xA1;
constexpr std::uint8_t kClassOutInterface = 0x21;

constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kGetIdle = 0x02;
constexpr std::uint8_t kGetProtocol = 0x03;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kSetProtocol = 0x0B;

constexpr std::uint8_t kHidDescriptorType = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;

// High byte of wValue in GET_REPORT / SET_REPORT.
constexpr std::uint8_t kInputReportType = 1;
constexpr std::uint8_t kOutputReportType = 2;
constexpr std::uint8_t kFeatureReportType = 3;

constexpr std::uint8_t kReportProtocol = 1;

constexpr std::size_t kFullSpeedMaxInterruptPacket = 64;
// 4 ms at both speeds: full speed counts frames, high speed 2^(n-1) microframes.
constexpr std::uint8_t kFullSpeedInterval = 4;
constexpr std::uint8_t kHighSpeedInterval = 6;
constexpr std::uint8_t kInEndpointAddress = 0x81;

constexpr std::size_t kInterfaceDescriptorLength = 9;
constexpr std::size_t kHidDescriptorLength = 9;
// FunctionFS takes the 7-byte endpoint descriptor, without the audio-only fields.
constexpr std::size_t kEndpointDescriptorLength = 7;

void putLe16(std::vector<std::uint8_t>& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
}

void patchLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

void appendSpeedSet(std::vector<std::uint8_t>& out, BoardReports reports, std::size_t max_packet,
                    std::uint8_t interval) {
    out.insert(out.end(), {kInterfaceDescriptorLength, 0x04, 0, 0, 1, 0x03, 0, 0, 0});
    const auto hid = hidDescriptor(reportDescriptor(reports).size());
    out.insert(out.end(), hid.begin(), hid.end());
    const std::size_t payload = reports.input_length - 1u;
    out.insert(out.end(), {kEndpointDescriptorLength, 0x05, kInEndpointAddress, 0x03});
    putLe16(out, std::min(payload, max_packet));
    out.push_back(interval);
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> data, std::uint16_t length) {
    if (data.size() > length) {
        data.resize(length);
    }
    return data;
}

ControlAction send(std::vector<std::uint8_t> data, const SetupPacket& setup) {
    return {ControlAction::Kind::Send, truncated(std::move(data), setup.length)};
}

ControlAction receive() {
    return {ControlAction::Kind::Receive, {}};
}

ControlAction stall() {
    return {ControlAction::Kind::Stall, {}};
}

std::vector<std::uint8_t> withoutReportId(std::vector<std::uint8_t> report) {
    if (!report.empty()) {
        report.erase(report.begin());
    }
    return report;
}

}  // namespace

bool supported(BoardReports reports) {
    return reports.input_length >= kMinInputLength && reports.input_length <= kMaxInputLength &&
           reports.feature_length <= kMaxFeatureLength;
}

std::vector<std::uint8_t> reportDescriptor(BoardReports reports) {
    return sim::boardReportDescriptor(reports.input_length, reports.feature_length);
}

std::vector<std::uint8_t> hidDescriptor(std::size_t report_descriptor_length) {
    std::vector<std::uint8_t> d = {kHidDescriptorLength,
                                   kHidDescriptorType,
                                   0x11,
                                   0x01,  // bcdHID 1.11
                                   0x00,  // not localised
                                   0x01,  // one class descriptor follows
                                   kReportDescriptorType};
    putLe16(d, report_descriptor_length);
    return d;
}

std::vector<std::uint8_t> functionfsDescriptors(BoardReports reports) {
    std::vector<std::uint8_t> out;
    putLe32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    putLe32(out, 0);  // total length, patched below
    putLe32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    constexpr std::uint32_t kDescriptorsPerSpeed = 3;
    putLe32(out, kDescriptorsPerSpeed);
    putLe32(out, kDescriptorsPerSpeed);
    appendSpeedSet(out, reports, kFullSpeedMaxInterruptPacket, kFullSpeedInterval);
    appendSpeedSet(out, reports, kMaxInputLength - 1u, kHighSpeedInterval);
    patchLe32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> functionfsStrings() {
    std::vector<std::uint8_t> out;
    putLe32(out, FUNCTIONFS_STRINGS_MAGIC);
    putLe32(out, 16);  // this header is all there is
    putLe32(out, 0);   // strings
    putLe32(out, 0);   // languages
    return out;
}

HidFunction::HidFunction(sim::FirmwareModel model, BoardReports reports, LogSink log)
    : model_(std::move(model)),
      reports_(reports),
      report_descriptor_(reportDescriptor(reports)),
      log_(std::move(log)) {}

ControlAction HidFunction::setup(const SetupPacket& setup) {
    const auto descriptor_type = static_cast<std::uint8_t>(setup.value >> 8);
    if (setup.request_type == kStandardInInterface && setup.request == kGetDescriptor) {
        if (descriptor_type == kReportDescriptorType) {
            return send(report_descriptor_, setup);
        }
        if (descriptor_type == kHidDescriptorType) {
            return send(hidDescriptor(report_descriptor_.size()), setup);
        }
        return stall();
    }
    if (setup.request_type == kClassInInterface) {
        switch (setup.request) {
            case kGetReport:
                return getReport(setup);
            case kGetIdle:
                return send({idleRate()}, setup);
            case kGetProtocol:
                return send({kReportProtocol}, setup);
            default:
                return stall();
        }
    }
    if (setup.request_type == kClassOutInterface) {
        const auto report_type = static_cast<std::uint8_t>(setup.value >> 8);
        switch (setup.request) {
            case kSetReport:
                if (report_type == kOutputReportType ||
                    (report_type == kFeatureReportType && reports_.feature_length >= 2)) {
                    return receive();
                }
                return stall();
            case kSetIdle: {
                const std::scoped_lock lock(mutex_);
                idle_rate_ = static_cast<std::uint8_t>(setup.value >> 8);
                return receive();
            }
            case kSetProtocol:
                return receive();
            default:
                return stall();
        }
    }
    return stall();
}

void HidFunction::limitFeatureReplies(std::optional<std::size_t> length) {
    const std::scoped_lock lock(mutex_);
    feature_reply_limit_ = length;
}

void HidFunction::setButton(int number, bool pressed) {
    const std::scoped_lock lock(mutex_);
    model_.setButton(number, pressed);
}

ControlAction HidFunction::getReport(const SetupPacket& setup) {
    const auto report_type = static_cast<std::uint8_t>(setup.value >> 8);
    const auto report_id = static_cast<std::uint8_t>(setup.value & 0xFF);
    if (report_id != 0) {
        return stall();  // the board numbers none of its reports
    }
    const std::scoped_lock lock(mutex_);
    if (report_type == kFeatureReportType && reports_.feature_length >= 2) {
        auto reply = model_.featureReportReply(reports_.feature_length);
        if (feature_reply_limit_ && *feature_reply_limit_ < reply.size()) {
            reply.resize(*feature_reply_limit_);
        }
        return send(withoutReportId(reply), setup);
    }
    if (report_type == kInputReportType) {
        return send(withoutReportId(model_.inputReport(reports_.input_length, sim::Clock::now())),
                    setup);
    }
    return stall();
}

void HidFunction::dataStage(const SetupPacket& setup, std::span<const std::uint8_t> data) {
    if (setup.request_type != kClassOutInterface || setup.request != kSetReport) {
        return;  // the status stage of SET_IDLE / SET_PROTOCOL carries nothing
    }
    const auto report_type = static_cast<std::uint8_t>(setup.value >> 8);
    std::vector<std::uint8_t> report;
    report.reserve(data.size() + 1);
    report.push_back(static_cast<std::uint8_t>(setup.value & 0xFF));
    report.insert(report.end(), data.begin(), data.end());

    const char* kind = report_type == kFeatureReportType ? "feature" : "output";
    const std::scoped_lock lock(mutex_);
    if (log_) {
        log_(std::string(kind) + " " + hexBytes(report));
    }
    if (report_type == kFeatureReportType) {
        model_.receiveFeatureReport(report);
    }
}

std::vector<std::uint8_t> HidFunction::nextInputPayload(sim::Clock::time_point now) {
    const std::scoped_lock lock(mutex_);
    return withoutReportId(model_.inputReport(reports_.input_length, now));
}

void HidFunction::logHeld(const SetupPacket& setup) {
    const std::uint8_t wire[] = {setup.request_type,
                                 setup.request,
                                 static_cast<std::uint8_t>(setup.value & 0xFF),
                                 static_cast<std::uint8_t>(setup.value >> 8),
                                 static_cast<std::uint8_t>(setup.index & 0xFF),
                                 static_cast<std::uint8_t>(setup.index >> 8),
                                 static_cast<std::uint8_t>(setup.length & 0xFF),
                                 static_cast<std::uint8_t>(setup.length >> 8)};
    const std::scoped_lock lock(mutex_);
    if (log_) {
        log_("held " + hexBytes(wire));
    }
}

std::vector<std::uint8_t> HidFunction::nextInputPayload() {
    const std::scoped_lock lock(mutex_);
    return withoutReportId(model_.inputReport(reports_.input_length, sim::Clock::now()));
}

std::vector<sim::Pulse> HidFunction::turn(int pair, int steps, int steps_per_second,
                                          sim::Clock::time_point now) {
    const std::scoped_lock lock(mutex_);
    return model_.turn(pair, steps, steps_per_second, now);
}

std::uint8_t HidFunction::idleRate() const {
    const std::scoped_lock lock(mutex_);
    return idle_rate_;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", b);
        if (!text.empty()) {
            text += ' ';
        }
        text += hex;
    }
    return text;
}

std::string pulseLine(const sim::Pulse& pulse) {
    const auto ns = [](sim::Clock::time_point t) {
        return std::to_string(
            std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
    };
    return "pulse " + std::to_string(pulse.pair) + " " + std::to_string(pulse.button) + " " +
           ns(pulse.start) + " " + ns(pulse.end);
}

}  // namespace rotorix::e2e
