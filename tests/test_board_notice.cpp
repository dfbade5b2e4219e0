// A board that is attached but cannot be opened is named in plain words, with the system's own
// reason, until a board opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "app/board_notice.h"
#include "app/frm_main.h"
#include "fixtures.h"
#include "sim/sim_platform.h"

namespace {

using rotorix::hid::OpenError;
using rotorix::sim::SimPlatform;

const OpenError kPermissionDenied{OpenError::Kind::AccessDenied, "Permission denied"};

TEST(BoardNotice, AccessDeniedNamesTheSystemsReasonAndTheFix) {
    SimPlatform platform;
    const auto board = platform.addBoard(rotorix::test::saneBoard());
    platform.refuseOpen(board, kPermissionDenied);
    frmMain window(platform);
    window.Form_Load();

    EXPECT_FALSE(window.deviceFound());
    const QString notice = window.boardNotice();
    EXPECT_TRUE(notice.contains("access to it was denied")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("(Permission denied)")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("70-rotorix.rules")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("plug it in again")) << notice.toStdString();
}

TEST(BoardNotice, ClearsAsSoonAsTheBoardOpensAndNothingElseChanges) {
    SimPlatform platform;
    const auto board = platform.addBoard(rotorix::test::saneBoard());
    platform.refuseOpen(board, kPermissionDenied);
    frmMain window(platform);
    window.Form_Load();
    ASSERT_FALSE(window.boardNotice().isEmpty());
    EXPECT_EQ(window.timer().interval(), frmMain::kStartIntervalMs);
    EXPECT_TRUE(platform.firmware(board).received().empty());

    window.Timer_Timer();  // still refused: the notice stays, the watchdog keeps looking
    EXPECT_FALSE(window.boardNotice().isEmpty());

    platform.refuseOpen(board,
                        std::nullopt);  // e.g. the rule was installed and the board re-plugged
    window.Timer_Timer();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.settingsLoaded());
    EXPECT_TRUE(window.boardNotice().isEmpty());
}

TEST(BoardNotice, ForeignDevicesAndOpenableBoardsSayNothing) {
    SimPlatform platform;
    const auto foreign = platform.addForeign(0x046D, 0xC21D);
    platform.refuseOpen(foreign, kPermissionDenied);
    const auto sameVendor = platform.addForeign(rotorix::config::kVendorId, 0x0104);
    platform.refuseOpen(sameVendor, kPermissionDenied);
    frmMain window(platform);
    window.Form_Load();
    EXPECT_TRUE(window.boardNotice().isEmpty());

    // One board denied, another open: the open board is what the window is about.
    const auto denied = platform.addBoard(rotorix::test::saneBoard(u"A"));
    platform.refuseOpen(denied, kPermissionDenied);
    platform.addBoard(rotorix::test::saneBoard(u"B"));
    window.Timer_Timer();
    EXPECT_TRUE(window.deviceFound());
    EXPECT_TRUE(window.boardNotice().isEmpty());
}

TEST(BoardNotice, OtherReasonsAreNamedWithoutBlamingPermissions) {
    using rotorix::hid::UnusableBoard;
    const UnusableBoard busy{
        "p", UnusableBoard::Reason::OpenFailed, {OpenError::Kind::Busy, "Device or resource busy"}};
    const UnusableBoard noSerial{"p", UnusableBoard::Reason::NoSerialNumber, {}};
    const UnusableBoard vanished{
        "p", UnusableBoard::Reason::OpenFailed, {OpenError::Kind::Gone, "No such device"}};
    const UnusableBoard denied{"p", UnusableBoard::Reason::OpenFailed, kPermissionDenied};

    const QString busyText = rotorix::app::unusableBoardNotice({busy});
    EXPECT_TRUE(busyText.contains("(Device or resource busy)"));
    EXPECT_FALSE(busyText.contains("denied"));
    EXPECT_TRUE(rotorix::app::unusableBoardNotice({noSerial}).contains("serial number"));
    // A board caught mid-unplug is not worth a word.
    EXPECT_TRUE(rotorix::app::unusableBoardNotice({vanished}).isEmpty());
    // Access denied wins: it is the one the user can fix.
    EXPECT_TRUE(rotorix::app::unusableBoardNotice({busy, denied}).contains("denied"));
}

}  // namespace
