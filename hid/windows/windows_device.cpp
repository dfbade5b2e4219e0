#include "hid/windows/windows_device.h"

#ifdef _WIN32

#include "hid/windows/windows_api.h"
// After windows.h, which it builds on.
#include <winioctl.h>
extern "C" {
#include <hidclass.h>
}

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "hid/windows/windows_reports.h"
#include "hid/windows/windows_system.h"

namespace rotorix::hid::win32 {

static_assert(std::is_same_v<decltype(&DeviceIoControl), ControlCall>,
              "ControlCall must have DeviceIoControl's shape");

namespace {

template <typename Size>
bool fits(std::size_t size) {
    return size <= std::numeric_limits<Size>::max();
}

// What one overlapped request came to.
struct Outcome {
    bool done = false;            // completed without error
    DWORD bytes = 0;              // what the driver reported as transferred, when done
    DWORD error = ERROR_SUCCESS;  // why it failed, when not done
    bool timed_out = false;       // the bound ran out and the request was cancelled
};

// Starts one overlapped request with `start` and waits at most `bound_ms` for it. The driver
// holds the OVERLAPPED and the caller's buffers until the request completes, so on expiry the
// request is cancelled and waited for until the cancel has landed; only then may they go.
template <typename Start>
Outcome bounded(HANDLE file, HANDLE event, DWORD bound_ms, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD bytes = 0;
    if (start(&overlapped)) {
        // Done at once; the count is in the OVERLAPPED all the same.
        if (!GetOverlappedResult(file, &overlapped, &bytes, FALSE)) {
            return {false, 0, GetLastError(), false};
        }
        return {true, bytes};
    }
    const DWORD start_error = GetLastError();
    if (start_error != ERROR_IO_PENDING) {
        return {false, 0, start_error, false};
    }
    const DWORD waited = WaitForSingleObject(event, bound_ms);
    const DWORD wait_error = waited == WAIT_FAILED ? GetLastError() : ERROR_SUCCESS;
    if (waited != WAIT_OBJECT_0) {
        // Whether the cancel found the request or it had just completed, the wait below tells.
        CancelIoEx(file, &overlapped);
    }
    if (!GetOverlappedResult(file, &overlapped, &bytes, TRUE)) {
        const DWORD error = GetLastError();
        return {false, 0, waited == WAIT_FAILED ? wait_error : error,
                waited == WAIT_TIMEOUT && error == ERROR_OPERATION_ABORTED};
    }
    // An answer that came as the bound ran out is an answer all the same.
    return {true, bytes};
}

class WindowsDevice final : public Device {
  public:
    WindowsDevice(UniqueHandle file, UniqueHandle read_event, UniqueHandle control_event,
                  DeviceSetup setup)
        : file_(std::move(file)),
          read_event_(std::move(read_event)),
          control_event_(std::move(control_event)),
          control_(setup.control != nullptr ? setup.control : &DeviceIoControl),
          bound_ms_(setup.bound_ms),
          serial_shown_(setup.serial_shown),
          lengths_(setup.lengths) {}

    std::optional<std::u16string> serialNumber() override {
        return queryString(IOCTL_HID_GET_SERIALNUMBER_STRING);
    }
    std::optional<std::u16string> manufacturer() override {
        return queryString(IOCTL_HID_GET_MANUFACTURER_STRING);
    }
    std::optional<std::u16string> product() override {
        return queryString(IOCTL_HID_GET_PRODUCT_STRING);
    }

    std::optional<ReportLengths> reportLengths() override {
        begin();
        if (!lengths_) {
            // The class driver's parsed descriptor: no request reaches the device.
            const auto described = describeReports(file_.get(), last_error_);
            if (!described) {
                return std::nullopt;
            }
            lengths_ = described->lengths;
        }
        return lengths_;
    }

    std::optional<std::vector<InputButton>> inputButtons() override {
        begin();
        auto described = describeReports(file_.get(), last_error_);
        if (!described) {
            return std::nullopt;
        }
        return std::move(described->buttons);
    }

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (report.empty()) {
            begin();
            last_error_ = "A feature report needs at least its report ID";
            return false;
        }
        // The class driver sends a report as long as the device's feature reports, whatever
        // it is given: a longer one would lose its tail without a word.
        const auto lengths = reportLengths();
        if (!lengths) {
            return false;
        }
        auto padded = featureToSend(report, lengths->feature, last_error_);
        if (!padded) {
            return false;
        }
        const Outcome sent = control(IOCTL_HID_SET_FEATURE, padded->data(),
                                     static_cast<DWORD>(padded->size()), nullptr, 0);
        return succeeded(sent);
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        begin();
        if (buffer.empty() || !fits<DWORD>(buffer.size())) {
            last_error_ =
                "A feature report buffer needs room for the report ID, and no more "
                "than Windows can pass";
            return std::nullopt;
        }
        // Not HidD_GetFeature: it says nothing of how much the device gave, so a short reply
        // would read as the zeros behind it.
        const std::uint8_t report_id = buffer[0];
        const auto size = static_cast<DWORD>(buffer.size());
        const Outcome got =
            control(IOCTL_HID_GET_FEATURE, buffer.data(), size, buffer.data(), size);
        if (!succeeded(got)) {
            return std::nullopt;
        }
        return featureReplyLength(report_id, got.bytes, buffer.size());
    }

    ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        // The class driver refuses a read shorter than the device's input report, so the read
        // goes into a buffer of that length and as much as fits is handed on.
        const auto lengths = reportLengths();
        begin();
        const std::size_t length =
            lengths && lengths->input > 0 ? std::size_t{lengths->input} : buffer.size();
        if (length == 0 || !fits<DWORD>(length)) {
            last_error_ = "The device has no input report to read";
            return ReadOutcome::Gone;
        }
        read_buffer_.assign(length, 0);
        // Negative means "do not wait": the wait is bounded whatever the caller passes.
        const DWORD wait = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0;
        const Outcome read =
            bounded(file_.get(), read_event_.get(), wait, [&](OVERLAPPED* overlapped) {
                return ReadFile(file_.get(), read_buffer_.data(), static_cast<DWORD>(length),
                                nullptr, overlapped) != FALSE;
            });
        if (read.timed_out) {
            last_error_.clear();
            return ReadOutcome::NothingYet;
        }
        if (!read.done) {
            last_error_ = systemMessage(read.error);
            return ReadOutcome::Gone;
        }
        const std::size_t size = std::min<std::size_t>({read.bytes, length, buffer.size()});
        std::copy_n(read_buffer_.begin(), size, buffer.begin());
        return ReadOutcome::Report;
    }

    std::string lastError() const override { return last_error_; }
    bool timedOut() const override { return timed_out_; }

  private:
    // Every call starts with no failure of its own: what a failure leaves is about that call.
    void begin() {
        last_error_.clear();
        timed_out_ = false;
    }

    Outcome control(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size) {
        begin();
        return bounded(file_.get(), control_event_.get(), bound_ms_, [&](OVERLAPPED* overlapped) {
            return control_(file_.get(), code, in, in_size, out, out_size, nullptr, overlapped) !=
                   FALSE;
        });
    }

    // Records why `outcome` failed; true when it did not.
    bool succeeded(const Outcome& outcome) {
        if (outcome.done) {
            return true;
        }
        timed_out_ = outcome.timed_out;
        last_error_ = outcome.timed_out
                          ? "The device did not answer within " + std::to_string(bound_ms_) + " ms"
                          : systemMessage(outcome.error);
        return false;
    }

    std::optional<std::u16string> queryString(DWORD code) {
        // One zero more than the driver is offered, so the text ends inside the buffer whatever
        // the driver wrote.
        std::array<char16_t, kStringRoom + 1> text{};
        const Outcome asked =
            control(code, nullptr, 0, text.data(), static_cast<DWORD>(kStringRoom * 2));
        if (asked.timed_out) {
            succeeded(asked);
            return std::nullopt;
        }
        auto result =
            stringResult(asked.done, std::u16string_view(text.data(), text.size()), serial_shown_,
                         !asked.done && readAttributes(file_.get()).has_value());
        if (!result) {
            succeeded(asked);
        }
        return result;
    }

    UniqueHandle file_;
    UniqueHandle read_event_;     // manual-reset, signalled when an overlapped read completes
    UniqueHandle control_event_;  // the same for a feature exchange or a string query
    ControlCall control_;
    DWORD bound_ms_;
    bool serial_shown_;
    std::vector<std::uint8_t> read_buffer_;
    std::optional<ReportLengths> lengths_;  // from the capabilities, once read
    std::string last_error_;
    bool timed_out_ = false;
};

}  // namespace

OpenResult deviceOn(void* file, DeviceSetup setup) {
    UniqueHandle owned(static_cast<HANDLE>(file));
    UniqueHandle read_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle control_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!read_event || !control_event) {
        return openError(GetLastError());
    }
    return std::make_unique<WindowsDevice>(std::move(owned), std::move(read_event),
                                           std::move(control_event), std::move(setup));
}

std::optional<Identity> readIdentity(Device& device) {
    auto serial = device.serialNumber();
    auto manufacturer = serial ? device.manufacturer() : std::nullopt;
    auto product = manufacturer ? device.product() : std::nullopt;
    if (!product) {
        return std::nullopt;
    }
    return Identity{std::move(*serial), std::move(*manufacturer), std::move(*product)};
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
