#include "hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <map>
#include <utility>

namespace rotorix::hid {

namespace {

// Item prefixes with the two size bits masked off (HID 1.11, 6.2.2.4 and 6.2.2.7).
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kOutput = 0x90;
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kSizeMask = 0x03;

// A long item is exactly this prefix, then bDataSize, bLongItemTag and bDataSize data bytes
// (6.2.2.3). Other 0xF? prefixes are short items with reserved tags, not long items.
constexpr std::uint8_t kLongItem = 0xFE;
constexpr std::size_t kLongItemHeader = 3;

// Linux accepts 4 levels of Push (HID_GLOBAL_STACK_SIZE); we allow more, but a bound keeps a
// hostile descriptor from growing memory without limit.
constexpr std::size_t kGlobalStackDepth = 32;

constexpr std::uint64_t kMaxLength = std::numeric_limits<std::uint16_t>::max();

enum class Kind : std::uint8_t { Input, Output, Feature };

// The part of the global state that decides report lengths.
struct Globals {
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint32_t report_id = 0;  // 0: no Report ID item seen yet
};

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

// Little-endian unsigned value of a short item's data (0, 1, 2 or 4 bytes).
std::uint32_t unsignedData(std::span<const std::uint8_t> data) {
    std::uint32_t value = 0;
    for (std::size_t i = data.size(); i-- > 0;) {
        value = (value << 8) | data[i];
    }
    return value;
}

std::uint16_t lengthWithIdByte(std::uint64_t bits) {
    const std::uint64_t bytes = bits / 8 + (bits % 8 != 0 ? 1 : 0);
    return static_cast<std::uint16_t>(std::min(bytes + 1, kMaxLength));
}

}  // namespace

// The whole descriptor is treated as one top-level collection, which is how hidraw presents it.
// Windows splits a descriptor with several top-level collections into one device per collection,
// each with its own caps; for a single-collection device such as the Rotorix both agree.
//
// A main item declares its report even when Report Size or Report Count is 0: the kind then has a
// length of at least 1 (the ID byte). Linux's hid-core does the same (hid_register_report runs
// before the field's size is looked at), and it keeps "the kind is absent" (0) distinct from
// "the kind is present but carries no data".
DescriptorSummary summarizeDescriptor(std::span<const std::uint8_t> descriptor) {
    DescriptorSummary summary;
    // Bits per (kind, report ID). A map, not a table indexed by ID, because a malformed
    // descriptor may declare 32-bit report IDs.
    std::map<std::pair<Kind, std::uint32_t>, std::uint64_t> bits;
    Globals globals;
    std::array<Globals, kGlobalStackDepth> stack{};
    std::size_t depth = 0;

    const auto addMainItem = [&](Kind kind) {
        const std::uint64_t item_bits =
            std::uint64_t{globals.report_size} * std::uint64_t{globals.report_count};
        auto& sum = bits[{kind, globals.report_id}];
        sum = saturatingAdd(sum, item_bits);
    };

    std::size_t pos = 0;
    bool malformed = false;
    while (pos < descriptor.size() && !malformed) {
        const std::uint8_t prefix = descriptor[pos];
        const std::size_t remaining = descriptor.size() - pos;

        if (prefix == kLongItem) {
            if (remaining < kLongItemHeader) {
                break;
            }
            const std::size_t item_size = kLongItemHeader + descriptor[pos + 1];
            if (remaining < item_size) {
                break;
            }
            pos += item_size;
            continue;
        }

        const std::size_t size_code = prefix & kSizeMask;
        const std::size_t data_size = size_code == 3 ? 4 : size_code;
        if (remaining < 1 + data_size) {
            break;  // truncated item: the walk ends with what the complete items described
        }
        const std::uint32_t value = unsignedData(descriptor.subspan(pos + 1, data_size));
        pos += 1 + data_size;

        switch (prefix & static_cast<std::uint8_t>(~kSizeMask)) {
            case kInput:
                addMainItem(Kind::Input);
                break;
            case kOutput:
                addMainItem(Kind::Output);
                break;
            case kFeature:
                addMainItem(Kind::Feature);
                break;
            case kReportSize:
                globals.report_size = value;
                break;
            case kReportCount:
                globals.report_count = value;
                break;
            case kReportId:
                globals.report_id = value;
                summary.numbered = true;
                break;
            case kPush:
                if (depth == stack.size()) {
                    // The state this Push saves could never be restored, so nothing after it
                    // can be trusted: the walk ends here.
                    malformed = true;
                } else {
                    stack[depth++] = globals;
                }
                break;
            case kPop:
                if (depth > 0) {  // a Pop with nothing pushed has no state to restore
                    globals = stack[--depth];
                }
                break;
            default:
                break;  // every other item leaves the lengths alone
        }
    }

    ReportLengths& lengths = summary.lengths;
    for (const auto& [key, sum] : bits) {
        const std::uint16_t length = lengthWithIdByte(sum);
        std::uint16_t& slot = key.first == Kind::Input    ? lengths.input
                              : key.first == Kind::Output ? lengths.output
                                                          : lengths.feature;
        slot = std::max(slot, length);
    }
    return summary;
}

ReportLengths reportLengthsFromDescriptor(std::span<const std::uint8_t> descriptor) {
    return summarizeDescriptor(descriptor).lengths;
}

}  // namespace rotorix::hid
