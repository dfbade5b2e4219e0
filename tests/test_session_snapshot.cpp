// What the snapshot says beyond the board's settings: the system's own words for the last failed
// exchange, and a generation that moves exactly when there is something new to show.
#include <functional>

#include "session_fixture.h"

namespace rotorix::test {
namespace {

struct Failure {
    const char* name;
    std::function<void(SimPlatform&, BoardId)> arrange;  // before the action
    std::function<void(BoardSession&)> act;
    const char* words;
};
std::ostream& operator<<(std::ostream& out, const Failure& f) {
    return out << f.name;
}

const Failure kFailures[] = {
    {"ReadBackFetchFails", [](SimPlatform& p, BoardId b) { p.failCall(b, Call::GetFeature, 1); },
     [](BoardSession& s) { s.reload(); }, "Input/output error"},
    {"BoardVanishesMidReadBack",
     [](SimPlatform& p, BoardId b) { p.unplugAfter(b, Call::GetFeature, 1); },
     [](BoardSession& s) { s.reload(); }, "No such device"},
    {"WriteRefused", [](SimPlatform& p, BoardId b) { p.failCall(b, Call::SendFeature, 1); },
     [](BoardSession& s) { s.writePulseCode(1); }, "Input/output error"},
    {"WriteToAVanishedBoard", [](SimPlatform& p, BoardId b) { p.unplug(b); },
     [](BoardSession& s) { s.writeHideFlag(1); }, "No such device"},
    // The words stay while the board cannot be opened again (a reopen that works clears them).
    {"LivenessReadFails",
     [](SimPlatform& p, BoardId b) {
         p.failCall(b, Call::ReadInput, 1);
         p.failCall(b, Call::Open, -1);
     },
     [](BoardSession& s) { s.tick(); }, "Input/output error"},
    {"BoardLost", [](SimPlatform& p, BoardId b) { p.unplug(b); }, [](BoardSession& s) { s.tick(); },
     "No such device"},
};

class LastError : public SessionTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(LastError, CarriesTheSystemsWordsUntilTheNextReadBack) {
    const BoardId board = addBoard();
    start();
    ASSERT_TRUE(shown().last_error.empty());
    GetParam().arrange(platform, board);
    GetParam().act(session);
    EXPECT_EQ(shown().last_error, GetParam().words);

    platform.clearFailures();
    platform.setMonitorFailed(true);  // the board never left: have the watchdog walk anyway
    platform.replug(board);
    tick(2);
    EXPECT_TRUE(session.reload());
    EXPECT_TRUE(shown().last_error.empty());
}

INSTANTIATE_TEST_SUITE_P(Snapshot, LastError, ::testing::ValuesIn(kFailures),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(SessionTest, GenerationGrowsOnlyWhenTheSnapshotChanges) {
    const BoardId board = addBoard();
    std::uint64_t seen = session.generation();
    // Each step, and whether the snapshot it leaves differs from the one before.
    const auto expectStep = [&](const char* step, bool changes, const Snapshot& before) {
        EXPECT_EQ(session.snapshot() != before, changes) << step;
        EXPECT_EQ(session.generation(), changes ? seen + 1 : seen) << step;
        seen = session.generation();
    };
    Snapshot before = shown();
    start();
    expectStep("start", true, before);

    before = shown();
    tick(3);  // quiet connected ticks: the interval moves to 500, the snapshot does not
    expectStep("connected ticks", false, before);

    before = shown();
    session.writePulseCode(7);
    expectStep("a taken write", true, before);
    before = shown();
    session.writePulseCode(7);
    expectStep("the same write again", false, before);
    before = shown();
    session.reload();
    expectStep("a reload that reads what is shown", false, before);

    before = shown();
    session.writeEncoderTypes(Types{});
    session.writeEncoderTypes({1, 3, 2, 0, 0, 0, 0, 0});
    EXPECT_EQ(session.generation(), seen + 2) << "every changed snapshot counts once";
    seen = session.generation();

    before = shown();
    platform.unplug(board);
    tick();
    expectStep("loss", true, before);
    before = shown();
    tick(3);
    expectStep("searching ticks", false, before);
    before = shown();
    session.writeHideFlag(1);
    expectStep("a write that is not sent", false, before);
}

}  // namespace
}  // namespace rotorix::test
