// The platform, discovery and settings exchanges on the Linux backend, against boards that the
// VM's own USB host side enumerates: libudev, hidraw, usbhid and the USB control path all take
// part. Runs only inside run-vm (ctest -L e2e); tests/e2e_boards.cmake describes the boards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "base/unicode.h"
#include "by_serial.h"
#include "config/protocol.h"
#include "config/settings_io.h"
#include "hid/discovery.h"
#include "hid/linux/linux_platform.h"
#include "vm_rig.h"

namespace rotorix::e2e {
namespace {

using config::BoardSettings;
using hid::ReadOutcome;
using Bytes = std::vector<std::uint8_t>;
using Serials = std::vector<std::u16string>;

struct Board {
    std::u16string serial;
    std::u16string manufacturer;
    std::u16string product;
    std::uint16_t version;
    hid::ReportLengths lengths;
    BoardSettings settings;  // as plugged in: planes (8, 9), pulse code (10), hide flag (1)
};

Board described(const RigBoard& board) {
    const auto text = [](const std::optional<std::string>& utf8) {
        return base::fromUtf8(utf8.value_or("")).value_or(u"(not UTF-8)");
    };
    const auto byte = [&](unsigned code) { return static_cast<std::uint8_t>(board.setting(code)); };
    return {text(board.serial),
            text(board.manufacturer),
            text(board.product),
            board.version,
            {static_cast<std::uint16_t>(board.input_length), 0,
             static_cast<std::uint16_t>(board.feature_length)},
            {{byte(8), byte(9)}, byte(10), byte(1)}};
}

// The boards tests/e2e_boards.cmake has run-vm plug in, in bus order: two that can be
// configured, an odd one with no strings, firmware 0.0 and a feature report too short to
// configure, then one whose strings are longer than the 63 bytes the kernel keeps in HID_UNIQ.
const std::vector<Board> kBoards = [] {
    std::vector<Board> boards;
    if (const auto rig = VmRig::fromEnvironment()) {
        for (int i = 0; i < rig->boardCount(); ++i) {
            boards.push_back(described(rig->board(i)));
        }
    }
    return boards;
}();
constexpr int kBoardCount = 4;
constexpr int kConfigurable = 2;  // boards 0 and 1
constexpr int kOddBoard = 2;
constexpr int kLongBoard = 3;

Serials allSerials() {
    Serials serials;
    for (const Board& board : kBoards) {
        serials.push_back(board.serial);
    }
    return serials;
}

Bytes padded(std::size_t length, std::initializer_list<std::uint8_t> head) {
    Bytes report(head);
    report.resize(length, 0);
    return report;
}

LoggedReport feature(std::size_t length, std::initializer_list<std::uint8_t> head) {
    return {"feature", padded(length, head)};
}

class VmPlatform : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // As the window does: QCoreApplication takes the locale from the environment, and run-vm
        // exports a UTF-8 one.
        std::setlocale(LC_ALL, "");
        rig_ = VmRig::fromEnvironment();
    }

    void SetUp() override {
        ASSERT_TRUE(rig_.has_value()) << "this suite runs inside the VM: ctest -L e2e, or "
                                         "e2e/vm/run-vm with the boards of tests/e2e_boards.cmake";
        ASSERT_EQ(rig_->boardCount(), kBoardCount);
        ASSERT_TRUE(events.listening()) << "no uevent socket";
        platform = hid::makeLinuxPlatform();
        ASSERT_EQ(boards().size(), static_cast<std::size_t>(kBoardCount))
            << "an earlier test left a board unplugged";
        for (int i = 0; i < kBoardCount; ++i) {
            log_marks[i] = rig_->log(i).size();
        }
    }

    void TearDown() override {
        for (int i = 0; i < kBoardCount; ++i) {
            rig_->control(i, "disarm");
            rig_->control(i, "talkative");
            rig_->control(i, "full-reply");
            if (!rig_->bound(i)) {
                replugAndWait(i);
            }
            if (dirty[i] && i < kConfigurable) {
                restoreSettings(i);
            }
        }
    }

    // The interfaces with the board's IDs, in the platform's order.
    std::vector<hid::InterfaceInfo> boards() {
        std::vector<hid::InterfaceInfo> found;
        for (auto& info : platform->enumerate().interfaces) {
            if (match.matches(info)) {
                found.push_back(info);
            }
        }
        return found;
    }

    bool present(int board) {
        return std::ranges::count(listedSerials(*platform, match), kBoards[board].serial) > 0;
    }

    hid::OpenedBoard open(int board) {
        auto outcome = openBySerial(*platform, match, kBoards[board].serial);
        EXPECT_TRUE(outcome.unusable.empty());
        if (!outcome.board) {
            ADD_FAILURE() << "board " << board << " did not open";
            return {};
        }
        return std::move(*outcome.board);
    }

    // The reports `board` received since the test began. `device`, open on that board, fences
    // the log first: the function answers a fetch only after it has logged every report before
    // it, while a SET_REPORT completes on the host before the function has seen its data.
    std::vector<LoggedReport> traffic(int board, hid::Device& device) {
        Bytes fence(kBoards[board].lengths.feature, 0);
        EXPECT_TRUE(device.getFeatureReport(fence).has_value()) << "the fencing fetch failed";
        auto all = rig_->log(board);
        return {all.begin() + static_cast<std::ptrdiff_t>(log_marks[board]), all.end()};
    }

    // Puts the plugged-in settings back after a test that wrote.
    void restoreSettings(int board) {
        auto opened = open(board);
        if (!opened.device) {
            return;
        }
        const Board& b = kBoards[board];
        const std::pair<std::uint8_t, std::uint8_t> writes[] = {{1, b.settings.hide_flag},
                                                                {8, b.settings.planes.low},
                                                                {9, b.settings.planes.high},
                                                                {10, b.settings.pulse_code}};
        for (const auto& [code, value] : writes) {
            EXPECT_TRUE(opened.device->sendFeatureReport(
                padded(b.lengths.feature, {0, config::kWriteCommand, code, value})));
        }
    }

    // Unplugs `board` and waits until the host side has let go of it.
    void unplugAndWait(int board) {
        ASSERT_TRUE(rig_->unplug(board));
        ASSERT_TRUE(events.waitUntil([&] { return !present(board); }))
            << "board " << board << " is still enumerated after its unplug";
    }

    void replugAndWait(int board) {
        ASSERT_TRUE(rig_->replug(board));
        ASSERT_TRUE(events.waitUntil([&] { return present(board); }))
            << "board " << board << " did not come back";
    }

    static inline std::optional<VmRig> rig_;
    const hid::DeviceMatch match{config::kVendorId, config::kProductId};
    DeviceEvents events;
    std::unique_ptr<hid::Platform> platform;
    std::size_t log_marks[kBoardCount] = {};
    bool dirty[kBoardCount] = {};
};

// --- discovery ---------------------------------------------------------------------------------

TEST_F(VmPlatform, EnumerationListsTheBoardsInBusOrderWithTheirVersions) {
    const auto found = boards();
    ASSERT_EQ(found.size(), static_cast<std::size_t>(kBoardCount));
    for (int i = 0; i < kBoardCount; ++i) {
        EXPECT_EQ(found[i].version, kBoards[i].version) << "board " << i;
    }
    EXPECT_NE(found[0].path, found[1].path);

    EXPECT_EQ(listedSerials(*platform, match), allSerials());
}

TEST_F(VmPlatform, BusOrderOutlivesTheNodeNumbering) {
    // After its replug board 0 holds the highest hidraw number; it still comes first.
    unplugAndWait(0);
    EXPECT_EQ(listedSerials(*platform, match),
              (Serials{kBoards[1].serial, kBoards[2].serial, kBoards[3].serial}));
    replugAndWait(0);
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
}

TEST_F(VmPlatform, EachBoardOpensBySerialWithItsStringsAndLengths) {
    for (int i = 0; i < kConfigurable; ++i) {
        SCOPED_TRACE("board " + std::to_string(i));
        auto opened = open(i);
        ASSERT_NE(opened.device, nullptr);
        EXPECT_EQ(opened.info.version, kBoards[i].version);
        EXPECT_EQ(opened.lengths, kBoards[i].lengths) << "from the descriptor the kernel holds";
        EXPECT_EQ(opened.device->serialNumber(), kBoards[i].serial);
        EXPECT_EQ(opened.device->manufacturer(), kBoards[i].manufacturer);
        EXPECT_EQ(opened.device->product(), kBoards[i].product);
        EXPECT_EQ(opened.device->reportLengths(), kBoards[i].lengths);
    }
}

// The identity comes whole from the USB device, not from the kernel's HID_UNIQ (cut at 63 bytes),
// and the same from the walk, from identify() without opening, and from an open handle.
TEST_F(VmPlatform, EveryBoardIsIdentifiedWholeWithAndWithoutOpening) {
    const auto found = boards();
    ASSERT_EQ(found.size(), static_cast<std::size_t>(kBoardCount));
    for (int i = 0; i < kBoardCount; ++i) {
        SCOPED_TRACE("board " + std::to_string(i));
        const Board& b = kBoards[i];
        EXPECT_EQ(found[i].version, b.version) << "bcdDevice";
        EXPECT_EQ(platform->identify(found[i]),
                  (hid::Identity{b.serial, b.manufacturer, b.product}));
    }
    const Board& long_board = kBoards[kLongBoard];
    ASSERT_EQ(long_board.serial.size(), 88u);
    auto opened = open(kLongBoard);
    ASSERT_NE(opened.device, nullptr);
    EXPECT_EQ(opened.info.version, 0x2107);
    EXPECT_EQ(opened.device->serialNumber(), long_board.serial);
    EXPECT_EQ(opened.device->manufacturer(), long_board.manufacturer);
    EXPECT_EQ(opened.device->product(), long_board.product);
    // The first 62 characters are HID_UNIQ's 63 bytes (U+03A9 takes two): no such board.
    EXPECT_FALSE(openBySerial(*platform, match, long_board.serial.substr(0, 62)).board);
    EXPECT_EQ(platform->identify(hid::unlistedEntry("/dev/hidraw-none")), std::nullopt);
}

// Puts the process in another locale for one test.
class LocaleGuard {
  public:
    explicit LocaleGuard(const char* locale) : saved_(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, locale);
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

  private:
    std::string saved_;
};

TEST_F(VmPlatform, StringsKeepTheirWholeTextWhateverTheProcessLocale) {
    // A front end that never sets its locale, or a user with LANG=C: a serial outside ASCII
    // must still be itself, or the board cannot be told apart and opened.
    const LocaleGuard plain_c("C");
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
    auto opened = openBySerial(*platform, match, kBoards[1].serial);
    ASSERT_TRUE(opened.board.has_value());
    EXPECT_EQ(opened.board->device->serialNumber(), kBoards[1].serial);
}

// Linux keeps no string the device could not give, so an absent string and an empty one both
// read as empty: the board is listed with an empty serial and opens by it.
TEST_F(VmPlatform, BoardWithoutStringsIsListedAndOpensByTheEmptySerial) {
    auto opened = open(kOddBoard);
    ASSERT_NE(opened.device, nullptr);
    EXPECT_EQ(opened.info.version, 0x0000);
    EXPECT_EQ(opened.lengths, (hid::ReportLengths{3, 0, 3}));
    EXPECT_EQ(opened.device->serialNumber(), u"");
    EXPECT_EQ(opened.device->manufacturer().value_or(u""), u"");
    EXPECT_EQ(opened.device->product().value_or(u""), u"");
}

TEST_F(VmPlatform, BoardTooShortToConfigureGetsNoTraffic) {
    auto opened = open(kOddBoard);
    ASSERT_NE(opened.device, nullptr);
    EXPECT_EQ(config::readSettings(*opened.device, 3), std::nullopt);
    EXPECT_FALSE(config::writePulseCode(*opened.device, 3, 5));
    EXPECT_TRUE(traffic(kOddBoard, *opened.device).empty());
}

TEST_F(VmPlatform, UnknownSerialOpensNothing) {
    EXPECT_FALSE(openBySerial(*platform, match, u"E2E-0002").board.has_value());
    // Equal low bytes are not equal text: U+03A9 is not U+00A9.
    std::u16string lookalike = kBoards[1].serial;
    ASSERT_EQ(lookalike.front(), u'\u03A9');
    lookalike.front() = u'\u00A9';
    EXPECT_FALSE(openBySerial(*platform, match, lookalike).board.has_value());
}

// --- feature reports ---------------------------------------------------------------------------

TEST_F(VmPlatform, ReadBackGivesThePluggedInSettingsOverFourExactReads) {
    for (int i = 0; i < kConfigurable; ++i) {
        SCOPED_TRACE("board " + std::to_string(i));
        auto opened = open(i);
        ASSERT_NE(opened.device, nullptr);
        const std::uint16_t length = kBoards[i].lengths.feature;

        EXPECT_EQ(config::readSettings(*opened.device, length), kBoards[i].settings);
        EXPECT_EQ(traffic(i, *opened.device),
                  (std::vector<LoggedReport>{feature(length, {0, 8}), feature(length, {0, 9}),
                                             feature(length, {0, 10}), feature(length, {0, 1})}));
    }
}

TEST_F(VmPlatform, EveryKindOfWriteArrivesByteForByteAndIsReadBack) {
    for (int i = 0; i < kConfigurable; ++i) {
        SCOPED_TRACE("board " + std::to_string(i));
        dirty[i] = true;
        auto opened = open(i);
        ASSERT_NE(opened.device, nullptr);
        hid::Device& device = *opened.device;
        const std::uint16_t length = kBoards[i].lengths.feature;
        const std::uint8_t hide = kBoards[i].settings.hide_flag == 0 ? 1 : 0;

        // Pairs 1..8 as 1:1, 1:2, 1:4, OFF, OFF, 1:4, 1:2, 1:1: planes 0xA5 and 0x66.
        EXPECT_TRUE(config::writeEncoderTypes(device, length, {1, 2, 3, 0, 0, 3, 2, 1}));
        EXPECT_TRUE(config::writePulseCode(device, length, 13));
        EXPECT_TRUE(config::writeHideFlag(device, length, hide));

        EXPECT_EQ(traffic(i, device), (std::vector<LoggedReport>{
                                          feature(length, {0, 0xEE, 8, 0xA5}),
                                          feature(length, {0, 0xEE, 9, 0x66}),
                                          feature(length, {0, 0xEE, 10, 13}),
                                          feature(length, {0, 0xEE, 1, hide}),
                                          feature(length, {0, 0xB0, 1, hide}),
                                      }));
        EXPECT_EQ(config::readSettings(device, length), (BoardSettings{{0xA5, 0x66}, 13, hide}));
    }
}

TEST_F(VmPlatform, RawFeatureReportsCrossTheWireUnchanged) {
    dirty[0] = true;
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    hid::Device& device = *opened.device;

    const Bytes odd = {0, 0xEE, 10, 0xC3, 0xFF, 0x80, 0x01, 0x7F, 0xFE};
    EXPECT_TRUE(device.sendFeatureReport(odd));
    EXPECT_TRUE(device.sendFeatureReport(padded(9, {0, 10})));

    Bytes reply(9, 0xAA);
    reply[0] = 0;
    EXPECT_EQ(device.getFeatureReport(reply), 9u);
    EXPECT_EQ(reply, padded(9, {0, 10, 0xC3})) << "the value is in byte 2, the report ID in 0";
    EXPECT_EQ(traffic(0, device),
              (std::vector<LoggedReport>{{"feature", odd}, feature(9, {0, 10})}));
}

TEST_F(VmPlatform, FetchIntoALargerBufferReturnsTheBoardsLength) {
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    Bytes reply(65, 0);
    EXPECT_EQ(opened.device->getFeatureReport(reply), 9u);
}

// The count is what the board gave (report ID included), and a reply without the value byte
// fails the read-back instead of reading as a setting.
TEST_F(VmPlatform, ShortFeatureReplyShowsItsLengthAndFailsTheReadBack) {
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    for (const std::size_t length : {3u, 2u}) {
        ASSERT_TRUE(rig_->control(0, "short-reply " + std::to_string(length)));
        Bytes reply = padded(9, {0, 10});
        EXPECT_EQ(opened.device->getFeatureReport(reply), length);
        EXPECT_EQ(reply[0], 0) << "byte 0 is the report ID";
    }
    EXPECT_EQ(config::readSettings(*opened.device, 9), std::nullopt);
    ASSERT_TRUE(rig_->control(0, "full-reply"));
    EXPECT_EQ(config::readSettings(*opened.device, 9), kBoards[0].settings);
}

TEST_F(VmPlatform, ReportShorterThanTheBoardsIsDeliveredAsSent) {
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    EXPECT_TRUE(opened.device->sendFeatureReport(Bytes{0, 8, 1}));
    EXPECT_EQ(traffic(0, *opened.device), (std::vector<LoggedReport>{{"feature", {0, 8, 1}}}));
}

// --- input reports -----------------------------------------------------------------------------

TEST_F(VmPlatform, InputReportsArriveOnTheirOwn) {
    for (int i = 0; i < kConfigurable; ++i) {
        SCOPED_TRACE("board " + std::to_string(i));
        auto opened = open(i);
        ASSERT_NE(opened.device, nullptr);
        Bytes report(kBoards[i].lengths.input, 0);
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(opened.device->readInputReport(report, 5000), ReadOutcome::Report);
        }
    }
}

TEST_F(VmPlatform, InputReportsUseTheSystemsNumbering) {
    // Board 1's report carries a counter after its buttons: byte 3 with the report ID in byte 0.
    auto opened = open(1);
    ASSERT_NE(opened.device, nullptr);
    Bytes first(9, 0xAA);
    Bytes second(9, 0xAA);
    ASSERT_EQ(opened.device->readInputReport(first, 5000), ReadOutcome::Report);
    ASSERT_EQ(opened.device->readInputReport(second, 5000), ReadOutcome::Report);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 3), (Bytes{0, 0, 0}));
    EXPECT_NE(first[3], second[3]) << "two reports, one counter value";
    EXPECT_EQ(Bytes(first.begin() + 4, first.end()), Bytes(5, 0));
}

// --- unplug and replug -------------------------------------------------------------------------

// The monitor behind devicesMayHaveChanged(): quiet while boards only talk, and each unplug and
// replug answered once, as soon as it has been announced.
TEST_F(VmPlatform, DeviceMonitorAnswersEachUnplugAndReplugOnceAndIsQuietOtherwise) {
    EXPECT_TRUE(platform->devicesMayHaveChanged()) << "the first answer";
    EXPECT_FALSE(platform->devicesMayHaveChanged()) << "nothing came or went";
    {
        auto opened = open(0);
        ASSERT_NE(opened.device, nullptr);
        EXPECT_TRUE(config::readSettings(*opened.device, 9).has_value());
    }
    EXPECT_FALSE(platform->devicesMayHaveChanged()) << "traffic and an open are no event";

    for (const bool plug : {false, true}) {
        const char* action = plug ? "add" : "remove";
        const int heard = events.hidraw(action);
        ASSERT_TRUE(plug ? rig_->replug(1) : rig_->unplug(1));
        ASSERT_TRUE(events.waitUntil([&] { return events.hidraw(action) > heard; })) << action;
        EXPECT_TRUE(platform->devicesMayHaveChanged()) << action;
        // The USB device's other announcements do not concern hidraw. Let them all arrive first.
        ASSERT_TRUE(events.waitUntil([&] { return present(1) == plug; }));
        EXPECT_FALSE(platform->devicesMayHaveChanged()) << "after " << action;
    }
}

TEST_F(VmPlatform, UnplugEndsAReadInProgressWithGone) {
    auto opened = open(1);
    ASSERT_NE(opened.device, nullptr);
    hid::Device& device = *opened.device;
    Bytes report(kBoards[1].lengths.input, 0);
    ASSERT_EQ(device.readInputReport(report, 5000), ReadOutcome::Report);

    // The reader keeps reading until something other than a report comes back, and gives up on
    // its own well before run-vm's limit, so the test cannot hang on it.
    auto reader = std::async(std::launch::async, [&device, &report] {
        const auto deadline = std::chrono::steady_clock::now() + kEventLimit;
        ReadOutcome outcome = ReadOutcome::Report;
        while (outcome == ReadOutcome::Report && std::chrono::steady_clock::now() < deadline) {
            outcome = device.readInputReport(report, 1000);
        }
        return outcome;
    });
    ASSERT_TRUE(rig_->unplug(1));
    EXPECT_EQ(reader.get(), ReadOutcome::Gone);
}

TEST_F(VmPlatform, UnpluggedBoardIsGoneForEveryCallAndFromDiscovery) {
    auto opened = open(1);
    ASSERT_NE(opened.device, nullptr);
    hid::Device& device = *opened.device;
    const hid::InterfaceInfo entry = opened.info;

    unplugAndWait(1);

    Bytes report(kBoards[1].lengths.input, 0);
    EXPECT_EQ(device.readInputReport(report, 1000), ReadOutcome::Gone);
    EXPECT_EQ(device.readInputReport(report, 0), ReadOutcome::Gone);
    Bytes buffer(kBoards[1].lengths.feature, 0);
    EXPECT_FALSE(device.sendFeatureReport(padded(65, {0, 8})));
    EXPECT_FALSE(device.getFeatureReport(buffer).has_value());

    const auto reopened = platform->open(entry);
    ASSERT_TRUE(std::holds_alternative<hid::OpenError>(reopened));
    EXPECT_EQ(std::get<hid::OpenError>(reopened).kind, hid::OpenError::Kind::Gone);

    ASSERT_EQ(boards().size(), static_cast<std::size_t>(kBoardCount - 1));
    EXPECT_EQ(listedSerials(*platform, match),
              (Serials{kBoards[0].serial, kBoards[2].serial, kBoards[3].serial}));
    EXPECT_FALSE(openBySerial(*platform, match, kBoards[1].serial).board.has_value());
    // The other board carries on.
    auto other = open(0);
    ASSERT_NE(other.device, nullptr);
    EXPECT_EQ(config::readSettings(*other.device, 9), kBoards[0].settings);
}

TEST_F(VmPlatform, ReplugBringsTheBoardBackWithItsSettingsWhileOldHandlesStayDead) {
    dirty[1] = true;
    auto before = open(1);
    ASSERT_NE(before.device, nullptr);
    ASSERT_TRUE(config::writePulseCode(*before.device, 65, 17));

    unplugAndWait(1);
    replugAndWait(1);

    Bytes report(kBoards[1].lengths.input, 0);
    EXPECT_EQ(before.device->readInputReport(report, 0), ReadOutcome::Gone)
        << "a handle from before the unplug woke up again";

    auto after = open(1);
    ASSERT_NE(after.device, nullptr);
    EXPECT_EQ(after.lengths, kBoards[1].lengths);
    EXPECT_EQ(after.device->serialNumber(), kBoards[1].serial);
    EXPECT_EQ(after.device->readInputReport(report, 5000), ReadOutcome::Report);
    BoardSettings expected = kBoards[1].settings;
    expected.pulse_code = 17;
    EXPECT_EQ(config::readSettings(*after.device, 65), expected) << "the board forgot a write";
}

TEST_F(VmPlatform, EveryBoardCanBeUnpluggedAtOnceAndComesBack) {
    for (int i = 0; i < kBoardCount; ++i) {
        unplugAndWait(i);
    }
    EXPECT_TRUE(boards().empty());
    EXPECT_TRUE(listedSerials(*platform, match).empty());

    for (int i = kBoardCount - 1; i >= 0; --i) {
        replugAndWait(i);
    }
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
}

TEST_F(VmPlatform, QuietBoardIsNotGone) {
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    hid::Device& device = *opened.device;
    ASSERT_TRUE(rig_->control(0, "silent"));
    // The board takes its commands before it answers a request: after this fetch it is silent.
    Bytes fence(9, 0);
    ASSERT_TRUE(device.getFeatureReport(fence).has_value());

    // What is left: hidraw's queue (64 reports at most) and the one report in flight.
    Bytes report(kBoards[0].lengths.input, 0);
    ReadOutcome outcome = ReadOutcome::Report;
    for (int n = 0; n < 66 && outcome == ReadOutcome::Report; ++n) {
        outcome = device.readInputReport(report, 300);
    }
    EXPECT_EQ(outcome, ReadOutcome::NothingYet);

    ASSERT_TRUE(rig_->control(0, "talkative"));
    EXPECT_EQ(device.readInputReport(report, 5000), ReadOutcome::Report);
}

// --- the board vanishing mid-exchange ------------------------------------------------------------

// The read-back is eight report requests (request, fetch, four times). Whichever of them the
// board leaves unanswered by vanishing, the read-back fails at once and yields nothing.
class VmUnplugMidReadBack : public VmPlatform, public ::testing::WithParamInterface<int> {};

TEST_P(VmUnplugMidReadBack, FailsWithoutAValueAndWithoutHanging) {
    const int nth = GetParam();
    dirty[0] = true;
    auto opened = open(0);
    ASSERT_NE(opened.device, nullptr);
    ASSERT_TRUE(rig_->control(0, "unplug-before " + std::to_string(nth)));

    EXPECT_EQ(config::readSettings(*opened.device, 9), std::nullopt);
    EXPECT_FALSE(opened.device->lastError().empty()) << "the system's words for the failure";

    ASSERT_TRUE(events.waitUntil([&] { return !present(0); }));
    Bytes report(kBoards[0].lengths.input, 0);
    EXPECT_EQ(opened.device->readInputReport(report, 1000), ReadOutcome::Gone);
    EXPECT_FALSE(opened.device->lastError().empty());
    // Everything before the lost request was logged before the board went.
    const auto all = rig_->log(0);
    const std::vector<LoggedReport> sent(all.begin() + static_cast<std::ptrdiff_t>(log_marks[0]),
                                         all.end());
    const std::uint8_t codes[] = {8, 9, 10, 1};
    std::vector<LoggedReport> expected;
    for (int i = 0; i < nth / 2; ++i) {
        expected.push_back(feature(9, {0, codes[i]}));
    }
    EXPECT_EQ(sent, expected);
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, VmUnplugMidReadBack, ::testing::Range(1, 9));

TEST_F(VmPlatform, WriteCutShortNeverReachesTheBoardAndIsNotTaken) {
    dirty[1] = true;
    auto opened = open(1);
    ASSERT_NE(opened.device, nullptr);
    // The low plane goes through; the board vanishes instead of taking the high plane.
    ASSERT_TRUE(rig_->control(1, "unplug-before 2"));

    EXPECT_FALSE(config::writeEncoderTypes(*opened.device, 65, {3, 3, 3, 3, 3, 3, 3, 3}));

    ASSERT_TRUE(events.waitUntil([&] { return !present(1); }));
    const auto all = rig_->log(1);
    EXPECT_EQ(std::vector<LoggedReport>(all.begin() + static_cast<std::ptrdiff_t>(log_marks[1]),
                                        all.end()),
              (std::vector<LoggedReport>{feature(65, {0, 0xEE, 8, 0xFF})}));
}

TEST_F(VmPlatform, BoardVanishingRightAfterAWriteTookIt) {
    dirty[1] = true;
    auto opened = open(1);
    ASSERT_NE(opened.device, nullptr);
    ASSERT_TRUE(rig_->control(1, "unplug-after 1"));

    EXPECT_TRUE(config::writePulseCode(*opened.device, 65, 3));
    ASSERT_TRUE(events.waitUntil([&] { return !present(1); }));
    EXPECT_FALSE(config::writePulseCode(*opened.device, 65, 4));

    replugAndWait(1);
    auto again = open(1);
    ASSERT_NE(again.device, nullptr);
    EXPECT_EQ(config::readSettings(*again.device, 65)->pulse_code, 3);
}

// --- what the walk passes over, and walks in a storm --------------------------------------------

// A HID device made through /dev/uhid: a hidraw node with no USB device above it, for as long as
// the object lives.
class UhidDevice {
  public:
    UhidDevice(std::uint16_t vendor, std::uint16_t product)
        : fd_(::open("/dev/uhid", O_RDWR | O_CLOEXEC)) {
        if (fd_ < 0) {
            return;
        }
        // One vendor-defined byte, enough for hid-generic to bind it and make the node.
        static constexpr std::uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                       0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                                       0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0xC0};
        uhid_event event{};
        event.type = UHID_CREATE2;
        std::strcpy(reinterpret_cast<char*>(event.u.create2.name), "rotorix-e2e uhid");
        std::strcpy(reinterpret_cast<char*>(event.u.create2.uniq), "UHID-0001");
        event.u.create2.rd_size = sizeof kDescriptor;
        event.u.create2.bus = 0x03;  // claims to be USB; only sysfs knows better
        event.u.create2.vendor = vendor;
        event.u.create2.product = product;
        std::memcpy(event.u.create2.rd_data, kDescriptor, sizeof kDescriptor);
        if (::write(fd_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
            ::close(std::exchange(fd_, -1));
        }
    }
    ~UhidDevice() {
        if (fd_ >= 0) {
            ::close(fd_);  // destroys the device
        }
    }
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    bool made() const { return fd_ >= 0; }

    // Its node, "/dev/hidrawN", once the kernel has made it.
    static std::optional<std::string> node() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
            const auto target = std::filesystem::canonical(entry.path(), error).string();
            if (!error && target.find("/uhid/") != std::string::npos) {
                return "/dev/" + entry.path().filename().string();
            }
        }
        return std::nullopt;
    }

  private:
    int fd_;
};

TEST_F(VmPlatform, HidrawNodeWithoutAUsbDeviceIsPassedOver) {
    if (::access("/dev/uhid", F_OK) != 0) {
        GTEST_SKIP() << "this guest kernel has no uhid: run-vm loads it when the kernel has it";
    }
    UhidDevice impostor(config::kVendorId, config::kProductId);  // a board's IDs, on no bus
    ASSERT_TRUE(impostor.made()) << std::strerror(errno);
    std::optional<std::string> node;
    ASSERT_TRUE(events.waitUntil([&] { return (node = UhidDevice::node()).has_value(); }));

    const hid::Enumeration walk = platform->enumerate();
    EXPECT_EQ(walk.failure, std::nullopt);
    for (const auto& info : walk.interfaces) {
        EXPECT_NE(info.path, *node);
    }
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
    EXPECT_EQ(platform->identify(hid::unlistedEntry(*node)), std::nullopt);
}

// Another platform walks, names and opens without pause while boards come and go: no walk fails,
// and whatever it lists is one of the boards with its true identity (or gone by the time it asks).
TEST_F(VmPlatform, WalksDuringUnplugsNeverFailAndListOnlyTrueBoards) {
    std::atomic<bool> done = false;
    auto walker = std::async(std::launch::async, [&] {
        const auto own = hid::makeLinuxPlatform();
        int walks = 0;
        while (!done) {
            const hid::Enumeration walk = own->enumerate();
            EXPECT_EQ(walk.failure, std::nullopt);
            for (const auto& info : walk.interfaces) {
                if (!match.matches(info)) {
                    continue;
                }
                if (const auto identity = own->identify(info)) {
                    EXPECT_EQ(std::ranges::count(allSerials(), identity->serial), 1)
                        << base::toUtf8(identity->serial) << " at " << info.path;
                }
                auto opened = own->open(info);
                if (auto* device = std::get_if<hid::DeviceHandle>(&opened)) {
                    (void)(*device)->reportLengths();
                }
            }
            ++walks;
        }
        return walks;
    });
    // However this thread leaves the test, the walker stops before the future waits for it.
    struct Stop {
        std::atomic<bool>& done;
        ~Stop() { done = true; }
    } const stop{done};
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kBoardCount; ++i) {
            ASSERT_TRUE(rig_->unplug(i));
        }
        ASSERT_TRUE(events.waitUntil([&] { return boards().empty(); }));
        for (int i = 0; i < kBoardCount; ++i) {
            ASSERT_TRUE(rig_->replug(i));
        }
        ASSERT_TRUE(events.waitUntil(
            [&] { return boards().size() == static_cast<std::size_t>(kBoardCount); }));
    }
    done = true;
    EXPECT_GT(walker.get(), 0);
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
}

}  // namespace
}  // namespace rotorix::e2e
