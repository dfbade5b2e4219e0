// A short random run of the window with real key and mouse input on two boards. The session's own
// walk (test_session_random) checks the board logic; this one checks what only the window can get
// wrong: enabled controls show what the board holds, and only a user's input writes, never the
// window showing a board.
//
// The seed is fixed so a failure replays, and every failure names it; ROTORIX_RANDOM_SEED
// overrides it to explore.
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "window_fixture.h"

namespace rotorix::test {
namespace {

constexpr std::uint8_t kLow = 8, kHigh = 9, kPulse = 10, kHide = 1;

class RandomWindow : public WindowTest {
  protected:
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    BoardId anyBoard() { return ids_[static_cast<std::size_t>(uniform(0, 1))]; }

    int openBoard() const {
        for (BoardId id : ids_) {
            if (platform.openHandles(id) > 0) {
                return id;
            }
        }
        return -1;
    }

    // One step; true when it was a user's input on a setting control.
    bool step(std::ostream& log) {
        const int roll = uniform(0, 99);
        if (roll < 30) {
            log << "tick";
            tick();
        } else if (roll < 55) {
            const int n = uniform(0, 8);
            QComboBox* list = n == 0 ? pulse() : enc(n);
            const bool down = uniform(0, 1) == 1;
            log << "key " << (down ? "Down" : "Up") << " on " << list->objectName().toStdString();
            press(list, down ? Qt::Key_Down : Qt::Key_Up);
            return true;
        } else if (roll < 65) {
            log << "click NoJoy";
            click(noJoy());
            return true;
        } else if (roll < 72) {
            const int index = uniform(0, std::max(0, serNo()->count() - 1));
            log << "pick SerNo item " << index;
            if (serNo()->isEnabled()) {
                serNo()->setCurrentIndex(index);
                emit serNo()->activated(index);
            }
        } else if (roll < 80) {
            const BoardId id = anyBoard();
            log << "unplug board " << id;
            platform.unplug(id);
        } else if (roll < 90) {
            const BoardId id = anyBoard();
            log << "replug board " << id;
            platform.replug(id);
        } else {
            static constexpr Call kCalls[] = {Call::SendFeature, Call::GetFeature, Call::ReadInput};
            const Call call = kCalls[uniform(0, 2)];
            log << "fail next call " << static_cast<int>(call);
            platform.failCall(call, 1);
        }
        return false;
    }

    void checkTraffic(bool userInput, int openBefore) {
        for (std::size_t b = 0; b < ids_.size(); ++b) {
            const auto& log = received(ids_[b]);
            for (std::size_t i = checked_[b]; i < log.size(); ++i) {
                const Decoded d = decode(log[i]);
                if (d.kind == Decoded::Kind::ReadRequest) {
                    continue;
                }
                ++writes_;
                EXPECT_TRUE(userInput && static_cast<int>(ids_[b]) == openBefore)
                    << "board " << ids_[b] << " got " << hex(log[i]) << " without a user's input";
                if (d.setting == kHide) {
                    EXPECT_LE(d.value, 1) << "the greyed state was written back";
                }
            }
            checked_[b] = log.size();
        }
    }

    void checkControls() {
        if (!(window().deviceFound() && window().settingsLoaded())) {
            for (QWidget* widget : settingControls()) {
                EXPECT_FALSE(widget->isEnabled())
                    << widget->objectName().toStdString() << " is enabled with nothing loaded";
            }
            return;
        }
        ++loadedSteps_;
        EXPECT_TRUE(settingControlsEnabled());
        const int open = openBoard();
        ASSERT_GE(open, 0);
        const auto& held = platform.firmware(open).settings();
        for (int n = 1; n <= 8; ++n) {
            const int type = ((held[kLow] >> (n - 1)) & 1) + 2 * ((held[kHigh] >> (n - 1)) & 1);
            EXPECT_EQ(enc(n)->currentIndex(), type) << "Enc" << n << " does not show the board";
        }
        const int code = held[kPulse];
        EXPECT_EQ(pulse()->currentIndex(), code >= 1 && code <= 25 ? code - 1 : -1);
        const Qt::CheckState hide = held[kHide] == 0   ? Qt::Unchecked
                                    : held[kHide] == 1 ? Qt::Checked
                                                       : Qt::PartiallyChecked;
        EXPECT_EQ(noJoy()->checkState(), hide) << "NoJoy does not show the board";
        EXPECT_EQ(serNo()->currentText(),
                  open == ids_[0] ? QStringLiteral("RX-A") : QStringLiteral("RX-B"));
    }

    std::uint32_t seed_ = 0x5EED0003u;
    std::mt19937 rng_;
    std::vector<BoardId> ids_;
    std::vector<std::size_t> checked_{0, 0};
    int writes_ = 0;
    int loadedSteps_ = 0;
};

TEST_F(RandomWindow, EnabledControlsShowTheBoardAndOnlyUserInputWrites) {
    if (const char* override_seed = std::getenv("ROTORIX_RANDOM_SEED")) {
        seed_ = static_cast<std::uint32_t>(std::strtoul(override_seed, nullptr, 0));
    }
    rng_.seed(seed_);
    SCOPED_TRACE("seed " + std::to_string(seed_) + " (ROTORIX_RANDOM_SEED replays it)");
    for (const char16_t* serial : {u"RX-A", u"RX-B"}) {
        sim::BoardSpec design = saneBoard(serial);
        design.settings[kLow] = static_cast<std::uint8_t>(uniform(0, 255));
        design.settings[kHigh] = static_cast<std::uint8_t>(uniform(0, 255));
        design.settings[kPulse] = static_cast<std::uint8_t>(uniform(0, 26));
        design.settings[kHide] = static_cast<std::uint8_t>(uniform(0, 2));
        ids_.push_back(addBoard(design));
    }
    load();
    constexpr int kSteps = 600;
    std::string recent;
    for (int s = 0; s < kSteps && !HasFailure(); ++s) {
        const int openBefore = openBoard();
        std::ostringstream what;
        const bool userInput = step(what);
        recent = recent.substr(recent.size() > 400 ? recent.find('\n', recent.size() - 400) : 0) +
                 "\n    " + what.str();
        SCOPED_TRACE("step " + std::to_string(s) + "; recent steps:" + recent);
        checkTraffic(userInput, openBefore);
        checkControls();
    }
    // A run that never reached a loaded window or never wrote proves nothing.
    EXPECT_GT(loadedSteps_, kSteps / 4);
    EXPECT_GT(writes_, kSteps / 20);
}

}  // namespace
}  // namespace rotorix::test
