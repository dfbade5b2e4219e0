#include "hid/hidapi_platform.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "base/unicode.h"
#include "hid/report_descriptor.h"

#ifdef __linux__
#include "hid/hidapi_linux.h"
#include "hid/udev_monitor.h"
#endif

namespace rotorix::hid {

namespace {

// hidapi converts device strings with the C library's multibyte functions; on Linux they must
// see UTF-8 whatever the process locale is.
#ifdef __linux__
using StringConversionScope = hidraw::Utf8Strings;
#else
struct StringConversionScope {};
#endif

// ---- hidapi's lifetime ---------------------------------------------------------------------

// hid_init/hid_exit are process-wide. Every platform and every device it opened holds one use,
// so hid_exit runs only when the last of them is gone (a device may outlive its platform).
class LibraryUse {
  public:
    LibraryUse() {
        const std::scoped_lock lock(mutex_);
        if (users_++ == 0 || !initialised_) {
            initialised_ = hid_init() == 0;
        }
    }
    ~LibraryUse() {
        const std::scoped_lock lock(mutex_);
        if (--users_ == 0 && initialised_) {
            hid_exit();
            initialised_ = false;
        }
    }
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;

    bool initialised() const {
        const std::scoped_lock lock(mutex_);
        return initialised_;
    }

  private:
    static inline std::mutex mutex_;
    static inline int users_ = 0;
    static inline bool initialised_ = false;
};

// ---- text ----------------------------------------------------------------------------------

constexpr char32_t kReplacement = 0xFFFD;

// Calls `emit` with each code point of a wchar_t string: UTF-32 on Linux and macOS, UTF-16 on
// Windows. Unpaired surrogates and values beyond U+10FFFF become U+FFFD.
template <typename Emit>
void forEachCodePoint(std::wstring_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto unit = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
                const auto low = static_cast<char32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    emit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
        }
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        emit(surrogate || unit > 0x10FFFF ? kReplacement : unit);
    }
}

std::u16string toUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    forEachCodePoint(text, [&](char32_t c) {
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    });
    return out;
}

std::string toUtf8(std::wstring_view text) {
    std::string out;
    forEachCodePoint(text, [&](char32_t c) { base::appendUtf8(out, c); });
    return out;
}

// ---- open errors ---------------------------------------------------------------------------

OpenError::Kind openErrorKind(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenError::Kind::AccessDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenError::Kind::Gone;
        case EBUSY:
            return OpenError::Kind::Busy;
        default:
            return OpenError::Kind::Other;
    }
}

// hidraw's hid_open_path leaves open()'s errno in place (it only frees memory and formats its
// message afterwards). Backends that do not set errno fall back to hidapi's own message.
OpenError openError(int error) {
    if (error != 0) {
        return {openErrorKind(error), std::strerror(error)};
    }
    const wchar_t* message = hid_error(nullptr);
    return {OpenError::Kind::Other, message != nullptr ? toUtf8(message) : std::string()};
}

// ---- the device ----------------------------------------------------------------------------

class HidapiDevice final : public Device {
  public:
    HidapiDevice(hid_device* device, std::string path) : device_(device), path_(std::move(path)) {}
    ~HidapiDevice() override { hid_close(device_); }

    std::optional<std::u16string> serialNumber() override {
        return readString(hid_get_serial_number_string);
    }
    std::optional<std::u16string> manufacturer() override {
        return readString(hid_get_manufacturer_string);
    }
    std::optional<std::u16string> product() override { return readString(hid_get_product_string); }

    std::optional<ReportLengths> reportLengths() override {
        const auto summary = readDescriptor();
        if (!summary) {
            return std::nullopt;
        }
        numbered_ = summary->numbered;
        return summary->lengths;
    }

    std::optional<std::vector<InputButton>> inputButtons() override {
        const auto descriptor = descriptorBytes();
        if (!descriptor) {
            return std::nullopt;
        }
        return inputButtonsFromDescriptor(*descriptor);
    }

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (report.empty()) {
            return false;  // not even a report ID to send
        }
        errno = 0;
        const int sent = hid_send_feature_report(device_, report.data(), report.size());
        if (sent < 0) {
            noteFailure();
            return false;
        }
        if (static_cast<std::size_t>(sent) != report.size()) {
            lastError_ = "the device took " + std::to_string(sent) + " of " +
                         std::to_string(report.size()) + " bytes";
            return false;
        }
        return true;
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        if (buffer.empty()) {
            return std::nullopt;  // byte 0 must name the report
        }
        errno = 0;
        const int got = hid_get_feature_report(device_, buffer.data(), buffer.size());
        if (got < 0) {
            noteFailure();
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

    ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        // hidapi waits forever on a negative time-out; this interface promises a bounded wait.
        const int wait = timeout_ms < 0 ? 0 : timeout_ms;
        // With no room for the report, one report is still taken off the queue, so the outcome
        // keeps its meaning (newer hidapi versions fail a zero-length read outright).
        std::uint8_t scratch = 0;
        unsigned char* data = buffer.empty() ? &scratch : buffer.data();
        std::size_t size = buffer.empty() ? 1 : buffer.size();
        // hidapi hands out unnumbered input reports without their (zero) ID byte on every
        // system; this interface keeps byte 0 for the ID, as feature reports have it.
        if (!numbered_.has_value()) {
            const auto summary = readDescriptor();
            numbered_ = summary ? summary->numbered : false;
        }
        if (!*numbered_ && size > 1) {
            data[0] = 0;
            ++data;
            --size;
        }
        errno = 0;
        const int got = hid_read_timeout(device_, data, size, wait);
        if (got > 0) {
            return ReadOutcome::Report;
        }
        if (got == 0) {
            return ReadOutcome::NothingYet;
        }
        noteFailure();
        return ReadOutcome::Gone;
    }

    std::string lastError() const override { return lastError_; }

  private:
    // The system's words for a call that just failed: errno as the kernel left it, else hidapi's
    // own message.
    void noteFailure() {
        const int error = errno;
        if (error != 0) {
            lastError_ = std::strerror(error);
            return;
        }
        const wchar_t* message = hid_error(device_);
        lastError_ = message != nullptr ? toUtf8(message) : std::string();
    }

    using StringQuery = int (*)(hid_device*, wchar_t*, std::size_t);

    // A USB string descriptor holds at most 126 UTF-16 units, so 256 wchar_t always hold the whole
    // string and its terminator.
    std::optional<std::u16string> readString(StringQuery query) {
        std::array<wchar_t, 256> text{};
        const StringConversionScope utf8;
        if (query(device_, text.data(), text.size()) < 0) {
            return std::nullopt;
        }
        text.back() = L'\0';  // older backends may leave a string of exactly maxlen unterminated
        return toUtf16(std::wstring_view(text.data()));
    }

    std::optional<DescriptorSummary> readDescriptor() {
        const auto descriptor = descriptorBytes();
        if (!descriptor) {
            return std::nullopt;
        }
        return summarizeDescriptor(*descriptor);
    }

    std::optional<std::vector<std::uint8_t>> descriptorBytes() {
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
        std::vector<std::uint8_t> descriptor(HID_API_MAX_REPORT_DESCRIPTOR_SIZE);
        const int size = hid_get_report_descriptor(device_, descriptor.data(), descriptor.size());
        if (size <= 0) {
            return std::nullopt;
        }
        descriptor.resize(static_cast<std::size_t>(size));
        return descriptor;
#elif defined(__linux__)
        // hidapi 0.13 (Debian 12) cannot hand out the descriptor; sysfs can.
        return hidraw::readSysfsReportDescriptor(path_);
#else
        return std::nullopt;
#endif
    }

    LibraryUse library_;
    hid_device* device_;
    [[maybe_unused]] std::string path_;  // the sysfs descriptor read needs the node's name
    std::optional<bool> numbered_;       // do input reports carry an ID byte on the wire
    std::string lastError_;              // why the most recent failed call failed
};

// ---- the platform --------------------------------------------------------------------------

class HidapiPlatform final : public Platform {
  public:
#ifdef __linux__
    // The monitor exists before anything can walk, so no change slips in between.
    HidapiPlatform() : monitor_(hidraw::DeviceMonitor::create()) {}
#endif

    bool devicesMayHaveChanged() override {
        // Every pending event is taken even on the first call, so that the next call speaks of
        // what happened after this one.
#ifdef __linux__
        const bool changed = monitor_ == nullptr || monitor_->changed();
#else
        const bool changed = true;
#endif
        const bool first = !asked_;
        asked_ = true;
        return first || changed;
    }

    std::optional<Identity> identify(const std::string& path) override {
        auto opened = open(path);
        auto* device = std::get_if<DeviceHandle>(&opened);
        if (device == nullptr) {
            return std::nullopt;
        }
        auto serial = (*device)->serialNumber();
        auto manufacturer = (*device)->manufacturer();
        auto product = (*device)->product();
        if (!serial || !manufacturer || !product) {
            return std::nullopt;
        }
        return Identity{*serial, *manufacturer, *product};
    }

    Enumeration enumerate() override {
        Enumeration walk;
        auto& interfaces = walk.interfaces;
        if (!library_.initialised()) {
            walk.failure = "hidapi could not be initialised";
            return walk;
        }
        const StringConversionScope utf8;
        hid_device_info* const list = hid_enumerate(0, 0);
        for (const hid_device_info* info = list; info != nullptr; info = info->next) {
            InterfaceInfo entry{info->path != nullptr ? info->path : "", info->vendor_id,
                                info->product_id, info->release_number};
            // hidraw lists a node once per top-level collection, all with the same path; it is
            // one interface to open, so only its first entry counts.
            const auto same_path = [&](const InterfaceInfo& seen) {
                return seen.path == entry.path;
            };
            if (std::none_of(interfaces.begin(), interfaces.end(), same_path)) {
                interfaces.push_back(std::move(entry));
            }
        }
        hid_free_enumeration(list);
        return walk;
    }

    OpenResult open(const std::string& path) override {
#if HID_API_VERSION < HID_API_MAKE_VERSION(0, 14, 0) && defined(__linux__)
        // hidapi 0.13's hid_open_path crashes (a use-after-free, libusb/hidapi#542, fixed after
        // 0.13.1) when the file it opened is not a hidraw node, so such a path never reaches it.
        if (hidraw::isCertainlyNotHidraw(path)) {
            return OpenError{OpenError::Kind::Other, "Not a hidraw device"};
        }
#endif
        errno = 0;
        hid_device* const device = hid_open_path(path.c_str());
        const int error = errno;  // before anything else can touch it
        if (device == nullptr) {
            return openError(error);
        }
        return std::make_unique<HidapiDevice>(device, path);
    }

  private:
    LibraryUse library_;
#ifdef __linux__
    std::unique_ptr<hidraw::DeviceMonitor> monitor_;  // empty: cannot tell, so always walk
#endif
    bool asked_ = false;
};

}  // namespace

std::unique_ptr<Platform> makeHidapiPlatform() {
    return std::make_unique<HidapiPlatform>();
}

}  // namespace rotorix::hid
