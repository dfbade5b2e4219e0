// The find window without a toolkit, on the simulated platform: three boards (a fourth plugged in
// while it waits), one pressed, the session switched to exactly that one and no other board sent
// anything. Ticks are driven here; the only wait is for the watch's reader, bounded so that only a
// broken test runs into it.
#include <gtest/gtest.h>

#include <functional>

#include "base/unicode.h"
#include "fixtures.h"
#include "session/board_session.h"
#include "view/board_finder.h"

namespace rotorix::view {
namespace {

constexpr auto kBrokenBound = std::chrono::seconds(20);
using Outcome = BoardFinderView::Outcome;

struct FindCase {
    const char* what;
    int held = -1;             // a board whose button is down before watching begins
    int refused = -1;          // a board the finder (and the session) may not open
    bool plug_in = false;      // a fourth board is plugged in while the finder waits
    bool none_open = false;    // the session has listed the boards and opened none
    int pressed = 0;           // the board whose button then goes down
    bool cancel = false;       // the user cancels before the press
    const char16_t* watching;  // the status once every board has begun
    const char16_t* found;     // the selector's name afterwards; the session's open board
};

const FindCase kCases[] = {
    {"picks the pressed board", -1, -1, false, false, 0, false, u"Watching 3 boards.", u"RX-1"},
    {"a button held from the start does not count", 1, -1, false, false, 2, false,
     u"Watching 3 boards.", u"RX-3"},
    {"a board plugged in while waiting is watched", -1, -1, true, false, 3, false,
     u"Watching 4 boards.", u"RX-4"},
    {"... and so while the session walks on its own", -1, -1, true, true, 3, false,
     u"Watching 4 boards.", u"RX-4"},
    {"cancel leaves the selection, and a board not watched says why", -1, 1, false, false, 0, true,
     u"Watching 2 boards. The board RX-2 cannot be watched: it could not be opened (no access).",
     u"RX-3"},
};

// Ticks the session too, as the main window's timer goes on beside the dialog's.
bool tickUntil(BoardFinder& finder, session::BoardSession& session,
               const std::function<bool(const BoardFinderView&)>& done) {
    const auto limit = std::chrono::steady_clock::now() + kBrokenBound;
    while (!done(finder.shown())) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        finder.waitForInput(std::chrono::milliseconds(50));
        session.tick();
        finder.tick();
    }
    return true;
}

TEST(BoardFinderTest, FindsThePressedBoardAndTouchesNoOther) {
    for (const FindCase& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::SimPlatform platform;
        platform.setReportInterval(std::chrono::milliseconds(4));
        std::vector<sim::SimPlatform::BoardId> boards;
        for (const char16_t* serial : {u"RX-1", u"RX-2", u"RX-3"}) {
            boards.push_back(platform.addBoard(test::saneBoard(serial)));
        }
        if (c.refused >= 0) {
            platform.refuseOpen(boards[static_cast<std::size_t>(c.refused)],
                                hid::OpenError{hid::OpenError::Kind::AccessDenied, "no access"});
        }
        session::BoardSession session(platform);
        if (c.none_open) {
            session.list();
        } else {
            session.start();
            ASSERT_EQ(session.snapshot().selectedBoard()->identity.serial, u"RX-3");
        }
        if (c.held >= 0) {
            platform.setButtons(boards[static_cast<std::size_t>(c.held)], 0x0001);
        }

        BoardFinder finder(platform, session);
        EXPECT_EQ(finder.shown().prompt,
                  u"Press a button or turn an encoder on the board you want");
        if (c.plug_in) {
            ASSERT_TRUE(tickUntil(finder, session, [](const BoardFinderView& v) {
                return v.status == u"Watching 3 boards.";
            }));
            boards.push_back(platform.addBoard(test::saneBoard(u"RX-4")));
        }
        ASSERT_TRUE(tickUntil(finder, session, [&](const BoardFinderView& v) {
            return v.status == c.watching;
        })) << base::toUtf8(finder.shown().status);
        std::vector<int> sent;
        for (auto board : boards) {
            sent.push_back(platform.callCount(board, sim::Call::SendFeature));
        }
        const std::uint64_t generation = session.generation();

        if (c.cancel) {
            EXPECT_EQ(finder.cancel().show->outcome, Outcome::Cancelled);
        }
        platform.setButtons(boards[static_cast<std::size_t>(c.pressed)], 0x0004);
        if (c.cancel) {
            EXPECT_FALSE(finder.waitForInput(std::chrono::milliseconds(50)));
            EXPECT_FALSE(finder.tick().show);
            EXPECT_EQ(session.generation(), generation);
        } else {
            ASSERT_TRUE(tickUntil(finder, session, [](const BoardFinderView& v) {
                return v.outcome != Outcome::Waiting;
            }));
            EXPECT_EQ(finder.shown().outcome, Outcome::Found);
            EXPECT_EQ(finder.shown().found, c.found);
            EXPECT_EQ(finder.shown().status, u"Found the board " + std::u16string(c.found) +
                                                 u": the main window shows it.");
        }
        const session::Snapshot& shown = session.snapshot();
        ASSERT_TRUE(shown.board_open);
        EXPECT_EQ(shown.serials[static_cast<std::size_t>(shown.selected)], c.found);
        for (std::size_t b = 0; b < boards.size(); ++b) {
            if (static_cast<int>(b) != c.pressed || c.cancel) {
                EXPECT_EQ(platform.callCount(boards[b], sim::Call::SendFeature), sent[b])
                    << "board " << b;
            }
        }
    }
}

}  // namespace
}  // namespace rotorix::view
