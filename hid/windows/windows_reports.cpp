#include "hid/windows/windows_reports.h"

#ifdef _WIN32

#include <windows.h>
// mingw's HID headers lack their own extern "C".
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstdint>

#include "hid/windows/windows_system.h"

namespace rotorix::hid::win32 {

namespace {

constexpr USAGE kButtonPage = 0x09;
constexpr USHORT kVariable = 0x02;  // main item data: 0 array, 1 variable

// The bit `usage` sets in an input report of report `id`, or empty optional when the driver
// places it nowhere.
std::optional<std::uint32_t> bitOf(PHIDP_PREPARSED_DATA preparsed, const HIDP_BUTTON_CAPS& caps,
                                   USAGE usage, std::size_t length) {
    if (length < 2) {
        return std::nullopt;  // no room for a button beside the report ID
    }
    std::vector<char> empty(length, 0);
    empty[0] = static_cast<char>(caps.ReportID);
    std::vector<char> report = empty;
    ULONG count = 1;
    if (HidP_SetUsages(HidP_Input, kButtonPage, caps.LinkCollection, &usage, &count, preparsed,
                       report.data(), static_cast<ULONG>(report.size())) != HIDP_STATUS_SUCCESS) {
        return std::nullopt;
    }
    for (std::size_t byte = 1; byte < length; ++byte) {
        const auto changed = static_cast<unsigned char>(report[byte] ^ empty[byte]);
        if (changed != 0) {
            int bit = 0;
            while (((changed >> bit) & 1u) == 0) {
                ++bit;
            }
            return static_cast<std::uint32_t>(byte * 8 + static_cast<std::size_t>(bit));
        }
    }
    return std::nullopt;
}

std::vector<InputButton> buttonsOf(PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps) {
    std::vector<InputButton> buttons;
    USHORT count = caps.NumberInputButtonCaps;
    if (count == 0 || caps.InputReportByteLength < 2) {
        return buttons;
    }
    std::vector<HIDP_BUTTON_CAPS> all(count);
    if (HidP_GetButtonCaps(HidP_Input, all.data(), &count, preparsed) != HIDP_STATUS_SUCCESS) {
        return buttons;
    }
    all.resize(count);
    for (const HIDP_BUTTON_CAPS& button : all) {
        // An array field lists the pressed buttons by number, in slots of several bits: no usage
        // has a bit of its own there. Bit 1 of the main item's data says which kind it is.
        if (button.UsagePage != kButtonPage || (button.BitField & kVariable) == 0) {
            continue;
        }
        const USAGE first = button.IsRange ? button.Range.UsageMin : button.NotRange.Usage;
        const USAGE last = button.IsRange ? button.Range.UsageMax : button.NotRange.Usage;
        for (unsigned usage = first; usage <= last && usage != 0; ++usage) {
            if (const auto bit = bitOf(preparsed, button, static_cast<USAGE>(usage),
                                       caps.InputReportByteLength)) {
                buttons.push_back({button.ReportID, *bit, static_cast<std::uint16_t>(usage)});
            }
        }
    }
    std::stable_sort(
        buttons.begin(), buttons.end(),
        [](const InputButton& a, const InputButton& b) { return a.number < b.number; });
    return buttons;
}

}  // namespace

std::optional<DescribedReports> describeReports(void* file, std::string& error) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(static_cast<HANDLE>(file), &preparsed)) {
        error = systemMessage(GetLastError());
        return std::nullopt;
    }
    HIDP_CAPS caps{};
    std::optional<DescribedReports> described;
    if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
        described = DescribedReports{
            {caps.InputReportByteLength, caps.OutputReportByteLength, caps.FeatureReportByteLength},
            buttonsOf(preparsed, caps)};
    } else {
        // An NTSTATUS, not a Win32 code: FormatMessageW has no text for it.
        error = "The HID class driver could not describe the device's reports";
    }
    HidD_FreePreparsedData(preparsed);
    return described;
}

}  // namespace rotorix::hid::win32

#endif  // _WIN32
