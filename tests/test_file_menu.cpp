// The File menu's loads on the simulated platform, through the view as both windows use it: each
// ready board written once, the others passed over with their reasons, and a file that is not a
// profile sending nothing at all.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "base/unicode.h"
#include "board_traffic.h"
#include "fixtures.h"
#include "profile/profile.h"
#include "view/view.h"

namespace rotorix::test {
namespace {

using view::LoadTarget;

const std::string kProfile = profile::formatProfile({{3, 3, 0, 1, 2, 0, 0, 1}, 40, true});

class FileMenu : public ::testing::Test {
  protected:
    BoardId add(sim::BoardSpec design) { return platform.addBoard(std::move(design)); }
    std::vector<Report> writesTo(BoardId id) const {
        return writesIn(platform.firmware(id).received());
    }

    sim::SimPlatform platform;
    session::BoardSession session{platform};
    view::Presenter presenter{session};
};

TEST_F(FileMenu, LoadOntoEveryBoardWritesEachReadyBoardOnceAndSaysWhyOthersWereSkipped) {
    const BoardId a = add(saneBoard(u"A-1"));
    sim::BoardSpec old = saneBoard(u"OLD");
    old.version = 0x0000;
    const BoardId too_old = add(old);
    sim::BoardSpec cut = saneBoard(u"SHORT");
    cut.lengths = {9, 0, 3};
    const BoardId too_short = add(cut);
    const BoardId denied = add(saneBoard(u"DENIED"));
    platform.refuseOpen(denied,
                        hid::OpenError{hid::OpenError::Kind::AccessDenied, "Permission denied"});
    const BoardId refusing = add(saneBoard(u"C-3"));
    const BoardId b = add(saneBoard(u"B-2"));
    presenter.load();
    // C-3 answers its read-back (four requests), then refuses the first write.
    platform.failCallAfter(refusing, Call::SendFeature, 4);

    const view::Loaded loaded = presenter.loadProfile(kProfile, LoadTarget::EveryBoard);
    EXPECT_EQ(base::toUtf8(loaded.report.text),
              "A-1: written and read back equal\n"
              "OLD: skipped: firmware too old\n"
              "SHORT: skipped: feature report too short\n"
              "DENIED: skipped: no access\n"
              "C-3: not written: the board refused the encoder types (Input/output error); it "
              "holds enc4 is off, not 1:1; it holds enc8 is off, not 1:1\n"
              "B-2: written and read back equal");
    EXPECT_FALSE(loaded.report.all_written);
    for (const BoardId id : {a, b}) {
        const std::vector<Report> writes = writesTo(id);
        ASSERT_FALSE(writes.empty());
        std::set<std::pair<int, int>> distinct;
        for (const Report& report : writes) {
            distinct.insert({static_cast<int>(decode(report).kind), decode(report).setting});
        }
        EXPECT_EQ(distinct.size(), writes.size()) << "a board was written more than once";
        EXPECT_EQ(boardSetting(platform, id, config::Setting::PulseLength), 10);
    }
    for (const BoardId id : {too_old, too_short, denied}) {
        EXPECT_TRUE(platform.firmware(id).received().empty());
    }
    // The window shows the board it showed before, holding the profile now.
    ASSERT_NE(session.snapshot().selectedBoard(), nullptr);
    EXPECT_EQ(session.snapshot().selectedBoard()->identity.serial, u"B-2");
    ASSERT_TRUE(loaded.update.show);
    EXPECT_EQ((*loaded.update.show)[view::Control::Enc1].selected, 3);
    EXPECT_TRUE(loaded.update.timer && loaded.update.timer->restart);
}

TEST_F(FileMenu, AFileThatIsNotAProfileIsRefusedWithTheReadersWordsAndWritesNothing) {
    const BoardId a = add(saneBoard(u"A-1"));
    const BoardId b = add(saneBoard(u"B-2"));
    presenter.load();
    const std::pair<std::string, std::string> cases[] = {
        {"", "not valid JSON"},
        {"\x89PNG\r\n", "not valid JSON"},
        {R"({"format": "rotorix-profile", "version": 2})", "missing key"},
        {kProfile.substr(0, kProfile.find(", \"hidden\"")) + "}", "missing key \"hidden\""},
        {std::string(profile::kMaxProfileBytes + 1, ' '), "a profile is at most"},
    };
    for (const LoadTarget target : {LoadTarget::ShownBoard, LoadTarget::EveryBoard}) {
        for (const auto& [text, words] : cases) {
            const view::Loaded loaded = presenter.loadProfile(text, target);
            const std::string problem = base::toUtf8(loaded.report.problem);
            EXPECT_NE(problem.find("not a settings profile, so nothing was written: "),
                      std::string::npos);
            EXPECT_NE(problem.find(words), std::string::npos) << problem;
            EXPECT_TRUE(loaded.report.boards.empty());
        }
    }
    EXPECT_TRUE(writesTo(a).empty());
    EXPECT_TRUE(writesTo(b).empty());
}

}  // namespace
}  // namespace rotorix::test
