// The Windows backend without a board: run under Wine on the build host, or on Windows.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
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
        bool serial_shown;
        bool answers;
        std::optional<std::u16string> result;
    } strings[] = {
        {true, std::u16string_view(u"RX-1\0junk", 9), true, false, u"RX-1"},
        {true, full, false, false, std::u16string(126, u'x')},
        // A failed query is "no such string" only where the USB instance ID shows no serial
        // and the device still answers.
        {false, u"stale", false, true, u""},
        {false, u"stale", true, true, std::nullopt},    // it has a serial: it could not be asked
        {false, u"stale", false, false, std::nullopt},  // the device is gone
    };
    for (const auto& c : strings) {
        EXPECT_EQ(win32::stringResult(c.succeeded, c.text, c.serial_shown, c.answers), c.result)
            << c.succeeded << c.serial_shown << c.answers;
    }
    EXPECT_EQ(win32::kStringRoom * 2, 252u);  // the longest USB string, without a terminator

    // Unnumbered reports: the count leaves out the ID byte the buffer starts with.
    EXPECT_EQ(win32::featureReplyLength(0, 8, 9), 9u);
    EXPECT_EQ(win32::featureReplyLength(0, 2, 9), 3u);  // a short reply stays short
    EXPECT_EQ(win32::featureReplyLength(5, 9, 9), 9u);
    EXPECT_EQ(win32::featureReplyLength(5, 0, 9), 0u);
    EXPECT_EQ(win32::featureReplyLength(0, 9, 9), 9u);  // never past the buffer
}

// A USB instance ID's last part is the serial when the device has one; Windows makes up one with
// '&' in it otherwise. Above a HID collection sits the USB device, or one interface of it.
TEST(WindowsReplies, TheUsbInstanceIdTellsWhetherTheDeviceHasASerial) {
    using win32::UsbNode;
    const struct {
        const char* id;
        UsbNode kind;
        bool serial;
    } cases[] = {
        {R"(USB\VID_2B7E&PID_0103\RX-0117)", UsbNode::Device, true},
        {R"(usb\vid_2b7e&pid_0103\0001)", UsbNode::Device, true},
        {R"(USB\VID_2B7E&PID_0103\5&2C1D7A3&0&2)", UsbNode::Device, false},  // made up
        {R"(USB\VID_2B7E&PID_0103&MI_00\7&1A2B3C4D&0&0000)", UsbNode::Interface, false},
        {R"(USB\VID_046D&PID_C52B&mi_02\7&2F5B&0&0002)", UsbNode::Interface, false},
        {R"(USB\VID_2B7E&PID_0103\)", UsbNode::Device, false},  // no last part at all
        {R"(BTHENUM\{00001124-0000-1000-8000-00805F9B34FB}_VID&0002046D_PID&B342\8&1&0&0)",
         UsbNode::Other, false},
        {R"(WINEBUS\VID_2B7E&PID_0103&MI_00\260&RX-0117&0&0)", UsbNode::Other, false},
        {R"(HID\VID_2B7E&PID_0103\6&1F2E&0&0000)", UsbNode::Other, false},
        {"USB", UsbNode::Other, false},
        {"", UsbNode::Other, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win32::usbNodeKind(c.id), c.kind) << c.id;
        if (c.kind == UsbNode::Device || c.kind == UsbNode::Other) {
            EXPECT_EQ(win32::instanceShowsSerial(c.id), c.serial) << c.id;
        }
    }
}

// A feature report goes to the class driver exactly as long as the device's feature reports.
TEST(WindowsReplies, AFeatureReportIsPaddedToTheDevicesLengthAndNeverCut) {
    std::string refusal;
    const std::vector<std::uint8_t> three{0, 0x81, 7};
    EXPECT_EQ(win32::featureToSend(three, 3, refusal), three);
    EXPECT_EQ(win32::featureToSend(three, 6, refusal),
              (std::vector<std::uint8_t>{0, 0x81, 7, 0, 0, 0}));
    EXPECT_TRUE(refusal.empty());
    EXPECT_EQ(win32::featureToSend(three, 2, refusal), std::nullopt);
    EXPECT_EQ(refusal, "The feature report is 3 bytes long; the device takes at most 2");
    EXPECT_EQ(win32::featureToSend(three, 0, refusal), std::nullopt);  // no feature reports
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

// Interface paths as Windows and Wine name them. The device ID after the first '#' names the
// vendor and product of a USB device; other buses name theirs otherwise, or not at all.
TEST(WindowsWalk, APathThatNamesAnotherVendorAndProductIsNeverOpened) {
    const DeviceMatch board{0x2B7E, 0x0103};
    const struct {
        const char* path;
        std::optional<DeviceMatch> named;
    } paths[] = {
        {R"(\\?\hid#vid_2b7e&pid_0103#6&1f2e3d4c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         board},
        {R"(\\?\HID#VID_2B7E&PID_0103&MI_00#7&1A2B&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030})",
         board},
        {R"(\\?\hid#vid_046d&pid_c52b&mi_02&col01#8&2f5b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         DeviceMatch{0x046D, 0xC52B}},
        {R"(\\?\hid#vid_2b7e&pid_0104#6&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         DeviceMatch{0x2B7E, 0x0104}},  // our vendor, another product
        {R"(\\?\hid#vid_045e&pid_02ff&ig_00#7&3&0&00#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         DeviceMatch{0x045E, 0x02FF}},
        // Bluetooth, I2C and virtual devices: opened to read their attributes.
        {R"(\\?\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002046d_pid&b342&col01#8&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         std::nullopt},
        {R"(\\?\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02046d_pid&b023_rev&0007_f0e1d2c3b4a5#9&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         std::nullopt},
        {R"(\\?\hid#acpi0c50&col01#5&3&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         std::nullopt},
        {R"(\\?\hid#hidclass&col01#1&2d595ca7&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})",
         std::nullopt},
        // Almost a USB device ID: not enough to leave it unopened.
        {R"(\\?\hid#vid_2b7&pid_0103#1#{x})", std::nullopt},
        {R"(\\?\hid#vid_2b7e&pid_01034#1#{x})", std::nullopt},
        {R"(\\?\hid#vid_2b7e&pid_010g#1#{x})", std::nullopt},
        {R"(\\?\hid#vid_2b7e)", std::nullopt},
        {"", std::nullopt},
    };
    std::vector<std::string> walk;
    for (const auto& c : paths) {
        const auto named = win32::idsInPath(c.path);
        EXPECT_EQ(named.has_value(), c.named.has_value()) << c.path;
        if (named && c.named) {
            EXPECT_EQ(named->vendor_id, c.named->vendor_id) << c.path;
            EXPECT_EQ(named->product_id, c.named->product_id) << c.path;
        }
        walk.emplace_back(c.path);
    }

    // The walk: what it opens, and what it lists. Every opened interface answers as a board
    // would, except the Bluetooth one, which is a board of ours on another bus.
    std::vector<std::size_t> opened;
    const auto open = [&](std::size_t i) -> std::optional<win32::Collection> {
        opened.push_back(i);
        const InterfaceInfo info{walk[i], board.vendor_id, board.product_id, 0x0104, {}};
        return win32::Collection{info, "USB\\parent-" + std::to_string(i), 9};
    };
    const auto wanted = win32::listCollections(walk, board, open);
    EXPECT_EQ(opened, (std::vector<std::size_t>{0, 1, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    ASSERT_EQ(wanted.size(), opened.size());
    EXPECT_EQ(wanted[0].path, walk[0]);

    // One that says it is something else once opened is not listed; without a wish, every
    // interface is opened.
    opened.clear();
    const auto foreign = [&](std::size_t i) -> std::optional<win32::Collection> {
        opened.push_back(i);
        return win32::Collection{{walk[i], 0x1234, 0x0001, 1, {}}, {}, 0};
    };
    EXPECT_TRUE(win32::listCollections(walk, board, foreign).empty());
    EXPECT_EQ(win32::listCollections(walk, std::nullopt, foreign).size(), walk.size());
    EXPECT_EQ(opened.size(), 11u + walk.size());
}

// Where notices arrive (Windows), a walk waits for one; where they may never come (Wine), a walk
// 2 s old is made anyway, until a first notice shows that they do, and later ones wait longer
// while the walks find nothing new (4 s, then 8 s at most).
TEST(WindowsWalk, AnOldWalkIsRepeatedOnlyWhereNoticesAreNotKnownToArrive) {
    using std::chrono::milliseconds;
    const struct {
        bool wine;
        bool heard;
        unsigned unchanged;
        milliseconds age;
        bool due;
    } cases[] = {
        {false, false, 0, milliseconds(3'600'000), false},
        {false, true, 0, milliseconds(3'600'000), false},
        {true, false, 0, milliseconds(1'999), false},
        {true, false, 0, milliseconds(2'000), true},
        {true, false, 1, milliseconds(3'999), false},
        {true, false, 1, milliseconds(4'000), true},
        {true, false, 2, milliseconds(7'999), false},
        {true, false, 2, milliseconds(8'000), true},
        {true, false, 40, milliseconds(8'000), true},
        {true, true, 0, milliseconds(3'600'000), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win32::oldWalkIsDue(c.wine, c.heard, c.age, c.unchanged), c.due)
            << c.wine << c.heard << c.unchanged << ' ' << c.age.count();
    }
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
    const DeviceMatch board{0x2B7E, 0x0103};
    const Enumeration boards = platform->enumerateMatching(board);
    EXPECT_FALSE(boards.failure.has_value());
    for (const InterfaceInfo& info : boards.interfaces) {
        EXPECT_TRUE(board.matches(info)) << info.path;
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
        const std::string refused = device.lastError();
        EXPECT_FALSE(refused.empty());
        EXPECT_FALSE(device.timedOut());
        // A call refused before it reaches the system says why itself, not what came before.
        EXPECT_FALSE(device.sendFeatureReport({}));
        EXPECT_NE(device.lastError(), refused);
        EXPECT_FALSE(device.lastError().empty());
        EXPECT_EQ(device.getFeatureReport({}), std::nullopt);
        EXPECT_NE(device.lastError(), refused);

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
