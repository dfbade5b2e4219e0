#include "hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

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

// Item tags (prefix with the size bits masked off) of the items the button map needs.
constexpr std::uint8_t kCollection = 0xA0;
constexpr std::uint8_t kEndCollection = 0xC0;
constexpr std::uint8_t kUsagePage = 0x04;
constexpr std::uint8_t kUsage = 0x08;
constexpr std::uint8_t kUsageMinimum = 0x18;
constexpr std::uint8_t kUsageMaximum = 0x28;

constexpr std::uint32_t kButtonPage = 0x09;
constexpr std::uint32_t kConstantFlag = 0x01;
constexpr std::uint32_t kVariableFlag = 0x02;
constexpr std::uint64_t kMaxReportBits = kMaxLength * 8;
// A bound on the Usage items kept for one main item, so a hostile descriptor cannot grow them.
constexpr std::size_t kMaxLocalUsages = 1024;

// The global state a main item is read under.
struct Globals {
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint32_t report_id = 0;  // 0: no Report ID item seen yet
    std::uint32_t usage_page = 0;
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

// One short item as the walk hands it on.
struct Item {
    std::uint8_t tag = 0;  // prefix without the size bits
    std::uint32_t value = 0;
    std::size_t data_size = 0;
};

// One item as the reader finds it, and the bytes it takes.
struct ReadItem {
    Item item;
    std::size_t size = 0;
    bool long_item = false;  // to be skipped: no item of ours is long
};

// The item at `pos` (before the end of `descriptor`); nullopt for a truncated one, which ends
// the walk with what the complete items before it described.
std::optional<ReadItem> itemAt(std::span<const std::uint8_t> descriptor, std::size_t pos) {
    const std::uint8_t prefix = descriptor[pos];
    const std::size_t remaining = descriptor.size() - pos;
    if (prefix == kLongItem) {
        if (remaining < kLongItemHeader || remaining < kLongItemHeader + descriptor[pos + 1]) {
            return std::nullopt;
        }
        return ReadItem{{}, kLongItemHeader + descriptor[pos + 1], true};
    }
    const std::size_t size_code = prefix & kSizeMask;
    const std::size_t data_size = size_code == 3 ? 4 : size_code;
    if (remaining < 1 + data_size) {
        return std::nullopt;
    }
    const Item item{static_cast<std::uint8_t>(prefix & ~kSizeMask),
                    unsignedData(descriptor.subspan(pos + 1, data_size)), data_size};
    return ReadItem{item, 1 + data_size, false};
}

std::optional<Kind> mainKind(std::uint8_t tag) {
    switch (tag) {
        case kInput:
            return Kind::Input;
        case kOutput:
            return Kind::Output;
        case kFeature:
            return Kind::Feature;
        default:
            return std::nullopt;
    }
}

// The state the global items build, Push and Pop included.
class GlobalState {
  public:
    enum class Outcome : std::uint8_t { Applied, NotGlobal, Overflow };

    Outcome apply(const Item& item) {
        switch (item.tag) {
            case kReportSize:
                globals_.report_size = item.value;
                return Outcome::Applied;
            case kReportCount:
                globals_.report_count = item.value;
                return Outcome::Applied;
            case kReportId:
                globals_.report_id = item.value;
                numbered_ = true;
                return Outcome::Applied;
            case kUsagePage:
                globals_.usage_page = item.value;
                return Outcome::Applied;
            case kPush:
                if (depth_ == stack_.size()) {
                    // The state this Push saves could never be restored, so nothing after it
                    // can be trusted.
                    return Outcome::Overflow;
                }
                stack_[depth_++] = globals_;
                return Outcome::Applied;
            case kPop:
                if (depth_ > 0) {  // a Pop with nothing pushed has no state to restore
                    globals_ = stack_[--depth_];
                }
                return Outcome::Applied;
            default:
                return Outcome::NotGlobal;
        }
    }

    const Globals& current() const { return globals_; }
    bool numbered() const { return numbered_; }

  private:
    Globals globals_;
    std::array<Globals, kGlobalStackDepth> stack_{};
    std::size_t depth_ = 0;
    bool numbered_ = false;
};

// Walks the items of a descriptor, keeps the global state (Push and Pop included), and calls
// onMain(kind, globals, item) for each Input, Output and Feature item and onItem(globals, item)
// for every other short item. Long items are skipped; a truncated item, or a Push past the
// stack's bound, ends the walk with what came before it. Returns whether Report ID was declared.
template <typename OnMain, typename OnItem>
bool walkItems(std::span<const std::uint8_t> descriptor, OnMain onMain, OnItem onItem) {
    GlobalState state;
    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const auto read = itemAt(descriptor, pos);
        if (!read) {
            break;
        }
        pos += read->size;
        if (read->long_item) {
            continue;
        }
        if (const auto kind = mainKind(read->item.tag)) {
            onMain(*kind, state.current(), read->item);
            continue;
        }
        switch (state.apply(read->item)) {
            case GlobalState::Outcome::Applied:
                break;
            case GlobalState::Outcome::Overflow:
                return state.numbered();
            case GlobalState::Outcome::NotGlobal:
                onItem(state.current(), read->item);
                break;
        }
    }
    return state.numbered();
}

// A run of usages from one Usage or Usage Minimum/Maximum pair: page and IDs first..last.
struct UsageRange {
    std::uint32_t page = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;

    std::uint64_t count() const { return std::uint64_t{last} - first + 1; }
};

// A 4-byte usage carries its own page in the high half; a shorter one takes the current page.
std::pair<std::uint32_t, std::uint32_t> pageAndId(const Item& item, const Globals& globals) {
    if (item.data_size == 4) {
        return {item.value >> 16, item.value & 0xFFFF};
    }
    return {globals.usage_page, item.value};
}

// Gathers the on/off buttons of the input reports as the walk hands on the items.
class ButtonCollector {
  public:
    void onMain(Kind kind, const Globals& globals, const Item& item) {
        if (kind == Kind::Input) {
            auto& offset = input_bits_[globals.report_id];
            const bool on_off_data = (item.value & kConstantFlag) == 0 &&
                                     (item.value & kVariableFlag) != 0 && globals.report_size == 1;
            if (on_off_data) {
                addButtons(globals, offset);
            }
            offset = saturatingAdd(
                offset, std::uint64_t{globals.report_size} * std::uint64_t{globals.report_count});
        }
        clearLocals();
    }

    void onLocal(const Globals& globals, const Item& item) {
        switch (item.tag) {
            case kUsage: {
                const auto [page, id] = pageAndId(item, globals);
                addUsages({page, id, id});
                break;
            }
            case kUsageMinimum:
                usage_minimum_ = pageAndId(item, globals);
                break;
            case kUsageMaximum:
                if (usage_minimum_) {
                    addUsages({usage_minimum_->first, usage_minimum_->second,
                               pageAndId(item, globals).second});
                    usage_minimum_.reset();
                }
                break;
            case kCollection:
            case kEndCollection:
                clearLocals();
                break;
            default:
                break;
        }
    }

    std::vector<InputButton> take() { return std::move(buttons_); }

  private:
    void clearLocals() {
        usages_.clear();
        usage_minimum_.reset();
    }

    void addUsages(UsageRange range) {
        if (usages_.size() < kMaxLocalUsages && range.first <= range.last) {
            usages_.push_back(range);
        }
    }

    // Field i of the item has the i-th usage of the list; fields past its end repeat the last.
    void addButtons(const Globals& globals, std::uint64_t offset) {
        if (offset >= kMaxReportBits) {
            return;
        }
        const std::uint64_t fields = globals.report_count;
        std::uint64_t field = 0;
        for (const UsageRange& range : usages_) {
            if (field >= fields) {
                return;
            }
            const std::uint64_t count = std::min(range.count(), fields - field);
            if (range.page == kButtonPage) {
                emit(globals, offset + field, count, range.first, false);
            }
            field += count;
        }
        if (field < fields && !usages_.empty() && usages_.back().page == kButtonPage) {
            emit(globals, offset + field, fields - field, usages_.back().last, true);
        }
    }

    // `count` one-bit fields from bit `first_bit` of the data (after the ID byte), with usages
    // from `first` on, or all with `first` when `same_usage`.
    void emit(const Globals& globals, std::uint64_t first_bit, std::uint64_t count,
              std::uint32_t first, bool same_usage) {
        if (same_usage && first == 0) {
            return;  // no button, however many fields repeat it
        }
        for (std::uint64_t k = 0; k < count && buttons_.size() < kMaxInputButtons; ++k) {
            const std::uint64_t bit = 8 + first_bit + k;
            if (bit >= kMaxReportBits) {
                return;
            }
            const std::uint64_t usage = same_usage ? first : first + k;
            if (usage != 0 && usage <= 0xFFFF) {
                buttons_.push_back({globals.report_id, static_cast<std::uint32_t>(bit),
                                    static_cast<std::uint16_t>(usage)});
            }
        }
    }

    std::vector<InputButton> buttons_;
    std::map<std::uint32_t, std::uint64_t> input_bits_;  // per report ID: bits declared so far
    std::vector<UsageRange> usages_;                     // the local usages of the next main item
    std::optional<std::pair<std::uint32_t, std::uint32_t>> usage_minimum_;
};

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
    summary.numbered = walkItems(
        descriptor,
        [&](Kind kind, const Globals& globals, const Item&) {
            const std::uint64_t item_bits =
                std::uint64_t{globals.report_size} * std::uint64_t{globals.report_count};
            auto& sum = bits[{kind, globals.report_id}];
            sum = saturatingAdd(sum, item_bits);
        },
        [](const Globals&, const Item&) {});

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

std::vector<InputButton> inputButtonsFromDescriptor(std::span<const std::uint8_t> descriptor) {
    ButtonCollector collector;
    walkItems(
        descriptor,
        [&](Kind kind, const Globals& globals, const Item& item) {
            collector.onMain(kind, globals, item);
        },
        [&](const Globals& globals, const Item& item) { collector.onLocal(globals, item); });
    return collector.take();
}

}  // namespace rotorix::hid
