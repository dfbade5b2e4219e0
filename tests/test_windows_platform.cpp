// The Windows backend without a board: run under Wine on the build host, or on Windows.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/unicode.h"
#include "hid/windows/windows_platform.h"
#include "hid/windows/windows_system.h"

namespace rotorix::hid {
namespace {

using Kind = OpenError::Kind;

// Error codes as numbers: tests do not include Windows' headers.
TEST(WindowsErrors, OpenFailuresAreSortedByWhatTheyMean) {
    const struct {
        std::uint32_t code;
        Kind kind;
    } cases[] = {
        {5, Kind::AccessDenied},  // ERROR_ACCESS_DENIED
        {2, Kind::Gone},          // ERROR_FILE_NOT_FOUND
        {3, Kind::Gone},          // ERROR_PATH_NOT_FOUND
        {31, Kind::Gone},         // ERROR_GEN_FAILURE
        {433, Kind::Gone},        // ERROR_NO_SUCH_DEVICE
        {1167, Kind::Gone},       // ERROR_DEVICE_NOT_CONNECTED
        {1617, Kind::Gone},       // ERROR_DEVICE_REMOVED
        {32, Kind::Busy},         // ERROR_SHARING_VIOLATION
        {87, Kind::Other},        // ERROR_INVALID_PARAMETER
        {0, Kind::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win32::openErrorKind(c.code), c.kind) << "error " << c.code;
    }
    const OpenError busy = win32::openError(32);
    EXPECT_EQ(busy.kind, Kind::Busy);
    EXPECT_EQ(busy.detail, win32::systemMessage(32));
}

TEST(WindowsErrors, MessagesAreTheSystemsWordsOnOneLine) {
    for (const std::uint32_t code : {5u, 2u, 31u, 1167u}) {
        const std::string text = win32::systemMessage(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": " << text;
        EXPECT_NE(text.back(), ' ') << code;
        EXPECT_NE(text.rfind("Windows error", 0), 0u) << code << " has no text of its own";
    }
    // A code the system has no text for still says something.
    EXPECT_EQ(win32::systemMessage(0x2000FFFF), "Windows error 536936447");
}

TEST(WindowsText, Utf16AndUtf8ConvertWholeAndRefuseBrokenInput) {
    EXPECT_EQ(base::toUtf8(L"\x03A9mega-2"), "\xCE\xA9mega-2");
    EXPECT_EQ(base::toUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // one pair, one code point
    EXPECT_EQ(base::toUtf8(L"a\xD800z"), "a\xEF\xBF\xBDz");        // unpaired: U+FFFD
    EXPECT_EQ(base::toUtf8(L""), "");

    EXPECT_EQ(base::toWide("\xCE\xA9mega-2"), std::wstring(L"\x03A9mega-2"));
    EXPECT_EQ(base::toWide(""), std::wstring());
    EXPECT_EQ(base::toWide("\xC3\x28"), std::nullopt);      // a lead byte without its tail
    EXPECT_EQ(base::toWide("\xED\xA0\x80"), std::nullopt);  // an encoded surrogate
    EXPECT_EQ(base::toWideLossy("a\xC3\x28"), std::wstring(L"a\xFFFD("));
}

// What only a device can show under Windows, as the backend decides it from the system's answers:
// a string the device lacks, the byte count of a feature report, and one entry per USB interface.
TEST(WindowsReplies, MissingStringsAreEmptyAndCountsAreWhatTheDeviceGave) {
    const std::u16string full(130, u'x');  // a driver that wrote past the longest USB string
    const struct {
        bool succeeded;
        std::u16string_view text;
        bool answers;
        std::optional<std::u16string> result;
    } strings[] = {
        {true, std::u16string_view(u"RX-1\0junk", 9), false, u"RX-1"},
        {true, full, false, std::u16string(126, u'x')},
        {false, u"stale", true, u""},            // no such string: the device still answers
        {false, u"stale", false, std::nullopt},  // the device is gone
    };
    for (const auto& c : strings) {
        EXPECT_EQ(win32::stringResult(c.succeeded, c.text, c.answers), c.result)
            << c.succeeded << c.answers;
    }
    EXPECT_EQ(win32::kStringRoom * 2, 254u);  // below 255: what a string descriptor can carry

    // Unnumbered reports: the count leaves out the ID byte the buffer starts with.
    EXPECT_EQ(win32::featureReplyLength(0, 8, 9), 9u);
    EXPECT_EQ(win32::featureReplyLength(0, 2, 9), 3u);  // a short reply stays short
    EXPECT_EQ(win32::featureReplyLength(5, 9, 9), 9u);
    EXPECT_EQ(win32::featureReplyLength(5, 0, 9), 0u);
    EXPECT_EQ(win32::featureReplyLength(0, 9, 9), 9u);  // never past the buffer
}

TEST(WindowsReplies, OneEntryPerUsbInterfaceTheCollectionWithTheLongestFeatureReport) {
    const auto entry = [](const char* path) { return InterfaceInfo{path, 0x2B7E, 0x0103, 1, {}}; };
    const std::vector<win32::Collection> walk = {
        {entry("board&col01"), "USB\\B&MI_00\\1", 0},
        {entry("keyboard"), "USB\\K\\1", 0},
        {entry("board&col02"), "USB\\B&MI_00\\1", 9},
        {entry("board&col03"), "USB\\B&MI_00\\1", 9},  // as long: the first one stays
        {entry("orphan-a"), "", 2},                    // parent unknown: each stands alone
        {entry("orphan-b"), "", 2},
        {entry("other&col01"), "USB\\B&MI_00\\2", 3},  // a second board of the same kind
        {entry("other&col02"), "USB\\B&MI_00\\2", 65},
    };
    std::vector<std::string> listed;
    for (const InterfaceInfo& info : win32::onePerInterface(walk)) {
        listed.push_back(info.path);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"keyboard", "board&col02", "orphan-a", "orphan-b",
                                                "other&col02"}));
}

// With nothing plugged in or out, a searching tick needs no walk: only the first question, and
// one after a failed walk, answer yes.
TEST(WindowsPlatform, DeviceNoticesSpareTheWalkWhileNothingChanges) {
    const auto platform = makeWindowsPlatform();
    EXPECT_TRUE(platform->devicesMayHaveChanged());
    ASSERT_FALSE(platform->enumerate().failure.has_value());
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_FALSE(platform->devicesMayHaveChanged()) << tick;
    }
    // Two platforms in one process each hear the system.
    const auto second = makeWindowsPlatform();
    EXPECT_TRUE(second->devicesMayHaveChanged());
    EXPECT_FALSE(second->devicesMayHaveChanged());
    EXPECT_FALSE(platform->devicesMayHaveChanged());
}

TEST(WindowsPlatform, EnumeratesAndRefusesPathsThatNameNothing) {
    const auto platform = makeWindowsPlatform();
    // No board here; the walk must still run to its end (Wine may list devices of its own).
    const Enumeration walk = platform->enumerate();
    EXPECT_FALSE(walk.failure.has_value());
    for (const InterfaceInfo& info : walk.interfaces) {
        EXPECT_FALSE(info.path.empty());
    }

    const auto open_error = [&](const std::string& path) {
        auto result = platform->open(hid::unlistedEntry(path));
        return std::holds_alternative<OpenError>(result) ? std::get<OpenError>(result)
                                                         : OpenError{};
    };
    const OpenError missing =
        open_error(R"(\\?\hid#vid_2b7e&pid_0103#0&0&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030})");
    EXPECT_EQ(missing.kind, Kind::Gone) << missing.detail;
    EXPECT_FALSE(missing.detail.empty());

    for (const std::string& bad :
         {std::string(), std::string("C:\\a\0b", 6), std::string("\xC3\x28")}) {
        EXPECT_EQ(open_error(bad), (OpenError{Kind::Other, "Not a device path"}));
    }
}

// A plain file opens like a device path, and every HID call on it fails: the failure paths of a
// device whose interface answers nothing sensible, with the system's reasons.
TEST(WindowsPlatform, CallsOnAHandleThatIsNoHidInterfaceFailAsValuesAndCloseOnce) {
    const auto file = std::filesystem::temp_directory_path() / L"rotorix-\x03A9-not-hid.bin";
    std::ofstream(file, std::ios::binary) << "abc";
    const auto platform = makeWindowsPlatform();
    {
        auto result = platform->open(
            hid::unlistedEntry(reinterpret_cast<const char*>(file.u8string().c_str())));
        ASSERT_TRUE(std::holds_alternative<DeviceHandle>(result))
            << std::get<OpenError>(result).detail;
        Device& device = *std::get<DeviceHandle>(result);

        // Not even attributes: the device cannot be asked, which is no empty identity.
        EXPECT_EQ(platform->identify(
                      hid::unlistedEntry(reinterpret_cast<const char*>(file.u8string().c_str()))),
                  std::nullopt);
        EXPECT_EQ(device.serialNumber(), std::nullopt);
        EXPECT_FALSE(device.lastError().empty());
        EXPECT_EQ(device.manufacturer(), std::nullopt);
        EXPECT_EQ(device.product(), std::nullopt);
        EXPECT_EQ(device.reportLengths(), std::nullopt);
        const std::array<std::uint8_t, 3> report{0, 0x81, 0};
        EXPECT_FALSE(device.sendFeatureReport(report));
        std::array<std::uint8_t, 3> buffer{};
        EXPECT_EQ(device.getFeatureReport(buffer), std::nullopt);
        EXPECT_FALSE(device.sendFeatureReport({}));
        EXPECT_EQ(device.getFeatureReport({}), std::nullopt);

        // Without report lengths the read takes the caller's buffer; the file's bytes arrive.
        std::array<std::uint8_t, 8> input{};
        EXPECT_EQ(device.readInputReport(input, 50), ReadOutcome::Report);
        EXPECT_EQ(input[0], 'a');
        EXPECT_EQ(input[2], 'c');

        // While the handle is open the file cannot be removed (no FILE_SHARE_DELETE).
        std::error_code error;
        EXPECT_FALSE(std::filesystem::remove(file, error));
    }
    EXPECT_TRUE(std::filesystem::remove(file));  // the device closed its handle

    std::ofstream(file, std::ios::binary).flush();  // empty
    {
        auto result = platform->open(
            hid::unlistedEntry(reinterpret_cast<const char*>(file.u8string().c_str())));
        ASSERT_TRUE(std::holds_alternative<DeviceHandle>(result));
        Device& device = *std::get<DeviceHandle>(result);
        std::array<std::uint8_t, 8> input{};
        EXPECT_EQ(device.readInputReport(input, 50), ReadOutcome::Gone);  // end of file: an error
        EXPECT_FALSE(device.lastError().empty());
    }
    EXPECT_TRUE(std::filesystem::remove(file));
}

}  // namespace
}  // namespace rotorix::hid
