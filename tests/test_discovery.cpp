#include <gtest/gtest.h>

#include "fixtures.h"
#include "hid/discovery.h"

namespace rotorix::hid {
namespace {

using sim::Call;
using Serials = std::vector<std::u16string>;

class Discovery : public ::testing::Test {
  protected:
    BoardListing list() {
        BoardListing listing = listBoards(platform, match);
        EXPECT_EQ(platform.openHandles(), 0) << "the listing walk left a handle open";
        return listing;
    }

    OpenOutcome open(const std::u16string& serial) { return openBoard(platform, match, serial); }

    // The board the outcome holds is the interface at `path`, and it is the only open handle.
    void expectOpened(const OpenOutcome& outcome, const std::string& path) {
        ASSERT_TRUE(outcome.board.has_value());
        ASSERT_NE(outcome.board->device, nullptr);
        EXPECT_EQ(outcome.board->info.path, path);
        EXPECT_EQ(platform.openHandles(), 1);
    }

    sim::SimPlatform platform;
    const DeviceMatch match{config::kVendorId, config::kProductId};
};

TEST_F(Discovery, NoBoardListsNothingAndOpensNothing) {
    EXPECT_TRUE(list().serials.empty());

    const auto outcome = open(u"");
    EXPECT_FALSE(outcome.board.has_value());
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Discovery, OneBoardIsListedOpenedAndClosedWhenDropped) {
    const auto board = platform.addBoard(test::saneBoard());

    EXPECT_EQ(list().serials, Serials{u"0001"});

    auto outcome = open(u"0001");
    expectOpened(outcome, platform.path(board));
    EXPECT_EQ(outcome.board->info,
              (InterfaceInfo{platform.path(board), config::kVendorId, config::kProductId, 0x0104}));
    EXPECT_EQ(outcome.board->lengths, (ReportLengths{9, 0, 9}));
    EXPECT_TRUE(outcome.unusable.empty());

    outcome.board.reset();
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Discovery, BoardsAreListedInEnumerationOrderAndOpenedBySerial) {
    const auto a = platform.addBoard(test::saneBoard(u"A1"));
    const auto b = platform.addBoard(test::saneBoard(u"B2"));

    EXPECT_EQ(list().serials, (Serials{u"A1", u"B2"}));
    expectOpened(open(u"B2"), platform.path(b));
    expectOpened(open(u"A1"), platform.path(a));
    EXPECT_FALSE(open(u"C3").board.has_value());
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Discovery, EqualSerialsAreListedTwiceAndTheFirstIsOpened) {
    const auto first = platform.addBoard(test::saneBoard());
    const auto second = platform.addBoard(test::saneBoard());

    EXPECT_EQ(list().serials, (Serials{u"0001", u"0001"}));
    const auto outcome = open(u"0001");
    expectOpened(outcome, platform.path(first));
    EXPECT_EQ(platform.openHandles(second), 0);
}

TEST_F(Discovery, EachInterfaceOfABoardIsListedAndTheFirstIsOpened) {
    auto design = test::saneBoard();
    design.interfaces = 2;
    const auto board = platform.addBoard(design);

    EXPECT_EQ(list().serials, (Serials{u"0001", u"0001"}));
    expectOpened(open(u"0001"), platform.path(board, 0));
}

TEST_F(Discovery, OtherDevicesAreNeverOpened) {
    const auto other_product = platform.addForeign(config::kVendorId, 0x0104);
    const auto other_vendor = platform.addForeign(0x1234, config::kProductId);
    const auto board = platform.addBoard(test::saneBoard());

    EXPECT_EQ(list().serials, Serials{u"0001"});
    expectOpened(open(u"0001"), platform.path(board));
    EXPECT_FALSE(open(u"F-0").board.has_value());

    EXPECT_EQ(platform.callCount(other_product, Call::Open), 0);
    EXPECT_EQ(platform.callCount(other_vendor, Call::Open), 0);
}

TEST_F(Discovery, InterfaceThatRefusesToOpenIsReportedNotListed) {
    const auto refused = platform.addBoard(test::saneBoard(u"0001"));
    const auto good = platform.addBoard(test::saneBoard(u"0002"));
    const OpenError denied{OpenError::Kind::AccessDenied, "Permission denied"};
    platform.refuseOpen(refused, denied);
    const std::vector<UnusableBoard> expected{
        {platform.path(refused), UnusableBoard::Reason::OpenFailed, denied}};

    const auto listing = list();
    EXPECT_EQ(listing.serials, Serials{u"0002"});
    EXPECT_EQ(listing.unusable, expected);

    const auto outcome = open(u"0002");
    expectOpened(outcome, platform.path(good));
    EXPECT_EQ(outcome.unusable, expected);
    EXPECT_FALSE(open(u"0001").board.has_value());
}

TEST_F(Discovery, BoardWithoutSerialIsReportedNotListed) {
    const auto failing = platform.addBoard(test::saneBoard(u"0001"));
    auto design = test::saneBoard();
    design.serial.reset();
    const auto missing = platform.addBoard(design);
    platform.failCall(failing, Call::SerialNumber, -1);

    const auto listing = list();
    EXPECT_TRUE(listing.serials.empty());
    EXPECT_EQ(listing.unusable,
              (std::vector<UnusableBoard>{
                  {platform.path(failing), UnusableBoard::Reason::NoSerialNumber, {}},
                  {platform.path(missing), UnusableBoard::Reason::NoSerialNumber, {}}}));
    EXPECT_FALSE(open(u"0001").board.has_value());
    EXPECT_FALSE(open(u"").board.has_value());
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Discovery, SerialsAreWholeUtf16Text) {
    platform.addBoard(test::saneBoard(u"\u00e9A"));
    platform.addBoard(test::saneBoard(u"A\u0100B"));  // a unit whose low byte is zero
    const auto high = platform.addBoard(test::saneBoard(u"A\u0141"));
    const auto low = platform.addBoard(test::saneBoard(u"A\u0041"));

    EXPECT_EQ(list().serials, (Serials{u"\u00e9A", u"A\u0100B", u"A\u0141", u"AA"}));
    expectOpened(open(u"A\u0141"), platform.path(high));
    expectOpened(open(u"AA"), platform.path(low));
    EXPECT_FALSE(open(u"A").board.has_value());
}

TEST_F(Discovery, EmptySerialMatchesOnlyEmptyText) {
    platform.addBoard(test::saneBoard(u"0001"));
    const auto empty = platform.addBoard(test::saneBoard(u""));

    EXPECT_EQ(list().serials, (Serials{u"0001", u""}));
    expectOpened(open(u""), platform.path(empty));
}

TEST_F(Discovery, OpenedBoardCarriesItsReportLengths) {
    const auto board = platform.addBoard(test::saneBoard());
    platform.setReportLengths(board, {65, 0, 3});
    EXPECT_EQ(open(u"0001").board->lengths, (ReportLengths{65, 0, 3}));

    platform.failCall(board, Call::ReportLengths);
    const auto unreadable = open(u"0001");
    expectOpened(unreadable, platform.path(board));
    EXPECT_EQ(unreadable.board->lengths, ReportLengths{});
}

TEST_F(Discovery, FailedEnumerationFindsNothing) {
    platform.addBoard(test::saneBoard());
    platform.failCall(Call::Enumerate, 2);

    EXPECT_TRUE(list().serials.empty());
    EXPECT_FALSE(open(u"0001").board.has_value());
    EXPECT_EQ(platform.callCount(Call::Open), 0);
}

TEST_F(Discovery, BoardThatVanishesDuringTheWalkIsNotKeptOpen) {
    const auto board = platform.addBoard(test::saneBoard());
    platform.unplugAfter(board, Call::SerialNumber, 1);

    auto outcome = open(u"0001");

    // Its handle is dead, so the lengths read as unknown and nothing can be configured.
    expectOpened(outcome, platform.path(board));
    EXPECT_EQ(outcome.board->lengths, ReportLengths{});
    outcome.board.reset();
    EXPECT_EQ(platform.openHandles(), 0);
    EXPECT_TRUE(list().serials.empty());
}

}  // namespace
}  // namespace rotorix::hid
