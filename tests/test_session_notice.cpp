// A board that is attached but cannot be opened is named in plain words, with the system's own
// reason, until a board opens.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "session/board_notice.h"
#include "session/board_session.h"
#include "sim/sim_platform.h"

namespace {

using rotorix::hid::OpenError;
using rotorix::session::BoardSession;
using rotorix::sim::SimPlatform;

const OpenError kPermissionDenied{OpenError::Kind::AccessDenied, "Permission denied"};

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

TEST(BoardNotice, AccessDeniedNamesTheSystemsReasonAndTheFixUntilTheBoardOpens) {
    SimPlatform platform;
    const auto board = platform.addBoard(rotorix::test::saneBoard());
    platform.refuseOpen(board, kPermissionDenied);
    BoardSession session(platform);
    session.start();

    EXPECT_FALSE(session.snapshot().board_open);
    const std::string notice = session.snapshot().notice;
#ifdef _WIN32
    // Windows: nothing another program holds (that is a sharing refusal), and no replug.
    const char* remedy = "Something on this PC blocks it";
    EXPECT_FALSE(contains(notice, "another program")) << notice;
#else
    const char* remedy =
        "\nrotorixctl udev-rule | sudo tee /etc/udev/rules.d/70-rotorix.rules && sudo udevadm "
        "trigger";
#endif
    for (const char* part : {"access to it was denied", "(Permission denied)", remedy}) {
        EXPECT_TRUE(contains(notice, part)) << part << " not in: " << notice;
    }
    EXPECT_EQ(session.interval(), BoardSession::kStartIntervalMs);
    EXPECT_TRUE(platform.firmware(board).received().empty());

    session.tick();  // still refused: the notice stays, the watchdog keeps looking
    EXPECT_EQ(session.snapshot().notice, notice);

    // The rule was installed and the board plugged in again.
    platform.refuseOpen(board, std::nullopt);
    platform.unplug(board);
    platform.replug(board);
    session.tick();
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_TRUE(session.snapshot().settings.has_value());
    EXPECT_TRUE(session.snapshot().notice.empty());
}

TEST(BoardNotice, ForeignDevicesAndOpenableBoardsSayNothing) {
    SimPlatform platform;
    const auto foreign = platform.addForeign(0x046D, 0xC21D);
    platform.refuseOpen(foreign, kPermissionDenied);
    const auto sameVendor = platform.addForeign(rotorix::config::kVendorId, 0x0104);
    platform.refuseOpen(sameVendor, kPermissionDenied);
    BoardSession session(platform);
    session.start();
    EXPECT_TRUE(session.snapshot().notice.empty());

    // One board denied, another open: the open board is what the session is about.
    const auto denied = platform.addBoard(rotorix::test::saneBoard(u"A"));
    platform.refuseOpen(denied, kPermissionDenied);
    platform.addBoard(rotorix::test::saneBoard(u"B"));
    session.tick();
    EXPECT_TRUE(session.snapshot().board_open);
    EXPECT_TRUE(session.snapshot().notice.empty());
}

TEST(BoardNotice, OtherReasonsAreNamedWithoutBlamingPermissions) {
    using rotorix::hid::UnusableBoard;
    using rotorix::session::unusableBoardNotice;
    const UnusableBoard busy{"p", u"1", {OpenError::Kind::Busy, "Device or resource busy"}};
    const UnusableBoard vanished{"p", u"1", {OpenError::Kind::Gone, "No such device"}};
    const UnusableBoard denied{"p", u"1", kPermissionDenied};

    const std::string busyText = unusableBoardNotice({busy});
    EXPECT_TRUE(contains(busyText, "(Device or resource busy)"));
    EXPECT_FALSE(contains(busyText, "denied"));
    // A board caught mid-unplug is not worth a word.
    EXPECT_TRUE(unusableBoardNotice({vanished}).empty());
    // Access denied wins: it is the one the user can fix.
    EXPECT_TRUE(contains(unusableBoardNotice({busy, denied}), "denied"));
}

}  // namespace
