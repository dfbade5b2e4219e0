// The platform, discovery and settings exchanges on the Linux backend, against boards that the
// VM's own USB host side enumerates: libudev, hidraw, usbhid and the USB control path all take
// part. Runs only inside run-vm (ctest -L e2e); tests/e2e_boards.cmake describes the boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <fstream>
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
#include "platform_vm_fixture.h"
#include "vm_rig.h"

namespace rotorix::e2e {
namespace {

// --- discovery ---------------------------------------------------------------------------------

TEST_F(VmPlatform, EnumerationListsTheBoardsInBusOrderWithTheirVersions) {
    const auto found = boards();
    ASSERT_EQ(found.size(), static_cast<std::size_t>(kBoardCount));
    for (int i = 0; i < kBoardCount; ++i) {
        EXPECT_EQ(found[i].version, kBoards[i].version) << "board " << i;
    }
    EXPECT_NE(found[0].path, found[1].path);
    EXPECT_EQ(platform->enumerateMatching(match).interfaces, found)
        << "the walk that decides from names first lists the same";

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

// An open while the board is being unplugged can fail with EIO (usbhid cannot wake an interface
// whose device the hub has let go) before the node goes: that board is gone, not unusable. The
// board may suspend whenever it is closed, as laptops have it, so that each open wakes it.
TEST_F(VmPlatform, OpeningABoardAsItIsUnpluggedFindsItGone) {
    const hid::InterfaceInfo entry = boards().at(1);
    const std::string power = "/sys/class/hidraw/" + entry.path.substr(5) + "/device/../../power/";
    ASSERT_TRUE(std::ofstream(power + "autosuspend_delay_ms") << "0");
    ASSERT_TRUE(std::ofstream(power + "control") << "auto");
    std::atomic<bool> done = false;
    std::promise<void> first_open;
    std::future<void> opened_once = first_open.get_future();
    auto opener = std::async(std::launch::async, [&] {
        const auto own = hid::makeLinuxPlatform();
        std::vector<std::string> unusable;
        int opened = 0;
        while (!done) {
            const hid::OpenResult result = own->open(entry);
            if (const auto* error = std::get_if<hid::OpenError>(&result)) {
                if (error->kind != hid::OpenError::Kind::Gone) {
                    unusable.push_back(error->detail);
                }
            } else if (++opened == 1) {
                first_open.set_value();
            }
        }
        return unusable;
    });
    struct Stop {
        std::atomic<bool>& done;
        ~Stop() { done = true; }
    } const stop{done};
    ASSERT_EQ(opened_once.wait_for(kEventLimit), std::future_status::ready);
    unplugAndWait(1);
    done = true;
    EXPECT_EQ(opener.get(), std::vector<std::string>{});
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

// --- walks in a storm ---------------------------------------------------------------------------

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
