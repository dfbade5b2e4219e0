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
        EXPECT_EQ(platform.callCount(Call::Open), 0) << "the listing walk opened something";
        return listing;
    }

    static Serials serials(const BoardListing& listing) {
        Serials out;
        for (const auto& board : listing.boards) {
            out.push_back(board.identity.serial);
        }
        return out;
    }

    OpenedBoard opened(const BoardEntry& entry) {
        auto outcome = openBoard(platform, entry);
        EXPECT_TRUE(std::holds_alternative<OpenedBoard>(outcome));
        return std::move(std::get<OpenedBoard>(outcome));
    }

    sim::SimPlatform platform;
    const DeviceMatch match{config::kVendorId, config::kProductId};
};

// One walk, nothing opened: equal and empty serials, several interfaces of one device, foreign
// devices and whole UTF-16 text, each listed as the interface it is.
TEST_F(Discovery, ListsEveryMatchingInterfaceByPathWithoutOpeningAny) {
    const auto first = platform.addBoard(test::saneBoard(u"TWIN"));
    platform.addForeign(config::kVendorId, 0x0104);
    platform.addForeign(0x1234, config::kProductId);
    const auto second = platform.addBoard(test::saneBoard(u"TWIN"));
    platform.addBoard(test::saneBoard(u""));
    auto design = test::saneBoard(u"A\u0100B");  // a unit whose low byte is zero
    design.interfaces = 2;
    const auto multi = platform.addBoard(design);

    const BoardListing listing = list();
    EXPECT_FALSE(listing.walk_failure);
    EXPECT_EQ(serials(listing), (Serials{u"TWIN", u"TWIN", u"", u"A\u0100B", u"A\u0100B"}));
    ASSERT_EQ(listing.boards.size(), 5u);
    EXPECT_EQ(
        listing.boards[0].info,
        (InterfaceInfo{platform.path(first), config::kVendorId, config::kProductId, 0x0104, {}}));
    EXPECT_EQ(listing.boards[1].info.path, platform.path(second));
    EXPECT_EQ(listing.boards[4].info.path, platform.path(multi, 1));
    EXPECT_EQ(listing.boards[0].identity, (Identity{u"TWIN", u"Rotorix", u"Rotary Encoder Board"}));
    EXPECT_EQ(platform.callCount(Call::Identify), 5) << "foreign devices are never asked";
}

TEST_F(Discovery, OpensExactlyTheEntryGivenWithItsReportLengths) {
    platform.addBoard(test::saneBoard(u"TWIN"));
    const auto second = platform.addBoard(test::saneBoard(u"TWIN"));
    platform.setReportLengths(second, {65, 0, 3});
    const BoardListing listing = list();

    OpenedBoard board = opened(listing.boards[1]);
    EXPECT_EQ(board.info.path, platform.path(second));
    EXPECT_EQ(board.lengths, (ReportLengths{65, 0, 3}));
    EXPECT_TRUE(board.lengths_known);
    EXPECT_EQ(platform.openHandles(second), 1);
    EXPECT_EQ(platform.openHandles(), 1);
    board.device.reset();
    EXPECT_EQ(platform.openHandles(), 0);

    platform.failCall(second, Call::ReportLengths);
    const OpenedBoard unknown = opened(listing.boards[1]);
    EXPECT_FALSE(unknown.lengths_known);
    EXPECT_EQ(unknown.lengths, ReportLengths{});
}

TEST_F(Discovery, RefusedOpenAndVanishedBoardAreValuesNotCrashes) {
    const auto refused = platform.addBoard(test::saneBoard(u"0001"));
    const auto gone = platform.addBoard(test::saneBoard(u"0002"));
    const OpenError denied{OpenError::Kind::AccessDenied, "Permission denied"};
    platform.refuseOpen(refused, denied);
    const BoardListing listing = list();
    ASSERT_EQ(listing.boards.size(), 2u) << "a board without access is still listed";

    auto outcome = openBoard(platform, listing.boards[0]);
    ASSERT_TRUE(std::holds_alternative<OpenError>(outcome));
    EXPECT_EQ(std::get<OpenError>(outcome), denied);

    platform.unplug(gone);
    outcome = openBoard(platform, listing.boards[1]);
    ASSERT_TRUE(std::holds_alternative<OpenError>(outcome));
    EXPECT_EQ(std::get<OpenError>(outcome).kind, OpenError::Kind::Gone);
    EXPECT_EQ(platform.openHandles(), 0);
}

TEST_F(Discovery, BoardThatCannotBeIdentifiedIsLeftOut) {
    platform.addBoard(test::saneBoard(u"0001"));
    const auto failing = platform.addBoard(test::saneBoard(u"0002"));
    platform.failCall(failing, Call::Identify);
    EXPECT_EQ(serials(list()), Serials{u"0001"});
}

TEST_F(Discovery, FailedWalkIsAFailureNotAnEmptyList) {
    platform.addBoard(test::saneBoard());
    platform.failCall(Call::Enumerate);

    const BoardListing failed = list();
    EXPECT_EQ(failed.walk_failure, "Too many open files");
    EXPECT_TRUE(failed.boards.empty());
    EXPECT_EQ(serials(list()), Serials{u"0001"});
}

}  // namespace
}  // namespace rotorix::hid
