// A long random run on two or three boards: writes, picks, ticks, unplugs, replugs and injected
// platform failures, with the session's promises checked after every step.
//
// The seed is fixed so a failure replays, and every failure names it; ROTORIX_RANDOM_SEED
// overrides it to explore.
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "session_fixture.h"

namespace rotorix::test {
namespace {

constexpr std::uint8_t kLow = 8, kHigh = 9, kPulse = 10, kHide = 1;

std::u16string serialOf(int board) {
    return u"RX-" + std::u16string(1, static_cast<char16_t>(u'A' + board));
}

struct Run {
    std::uint32_t seed;
    int boards;
    int steps;
};
std::ostream& operator<<(std::ostream& out, const Run& r) {
    return out << r.boards << " boards, " << r.steps << " steps, seed " << r.seed;
}

class RandomRun : public ::testing::TestWithParam<Run> {
  protected:
    using Settings = sim::FirmwareModel::Settings;

    void SetUp() override {
        seed_ = GetParam().seed;
        if (const char* override_seed = std::getenv("ROTORIX_RANDOM_SEED")) {
            seed_ = static_cast<std::uint32_t>(std::strtoul(override_seed, nullptr, 0));
        }
        rng_.seed(seed_);
        for (int i = 0; i < GetParam().boards; ++i) {
            sim::BoardSpec design = saneBoard(serialOf(i));
            design.lengths.feature = pick<std::uint16_t>({4, 9, 65});
            design.settings[kLow] = static_cast<std::uint8_t>(uniform(0, 255));
            design.settings[kHigh] = static_cast<std::uint8_t>(uniform(0, 255));
            // Mostly values in their coding, sometimes not (pulse 0 or 26, hide flag 2).
            design.settings[kPulse] = pick<std::uint8_t>({1, 6, 25, 0, 26, 13});
            design.settings[kHide] = pick<std::uint8_t>({0, 1, 0, 1, 2});
            ids_.push_back(platform_.addBoard(design));
            lengths_.push_back(design.lengths.feature);
            checked_.push_back(0);
        }
        session_ = std::make_unique<BoardSession>(platform_);
        session_->start();
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    template <typename T>
    T pick(std::initializer_list<T> values) {
        return *(values.begin() + uniform(0, static_cast<int>(values.size()) - 1));
    }
    BoardId anyBoard() { return ids_[static_cast<std::size_t>(uniform(0, GetParam().boards - 1))]; }

    // The board the session holds open, or -1.
    int openBoard() const {
        for (BoardId id : ids_) {
            if (platform_.openHandles(id) > 0) {
                return id;
            }
        }
        return -1;
    }

    // ---- Steps ----

    // A write's outcome against what the open board holds afterwards.
    void checkOutcome(WriteOutcome outcome, const std::map<std::uint8_t, std::uint8_t>& wanted) {
        picked_ = wanted;
        const int open = openBoard();
        if (outcome == WriteOutcome::Taken) {
            ASSERT_GE(open, 0) << "taken by no board";
            for (const auto& [setting, value] : wanted) {
                EXPECT_EQ(platform_.firmware(open).setting(setting), value)
                    << "a taken write did not reach setting " << int{setting};
            }
        }
    }

    void writeTypes(std::ostream& log) {
        Types types{};
        if (const auto& held = session_->snapshot().settings) {
            types = config::unpackEncoderTypes(held->planes);
        }
        const auto n = static_cast<std::size_t>(uniform(0, 7));
        types[n] = static_cast<std::uint8_t>(uniform(0, 3));
        log << "write Enc" << n + 1 << " := " << int{types[n]};
        unsigned low = 0, high = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            low |= (types[i] & 1u) << i;
            high |= ((types[i] >> 1) & 1u) << i;
        }
        const WriteOutcome outcome = session_->writeEncoderTypes(types);
        log << " -> " << ::testing::PrintToString(outcome);
        checkOutcome(outcome, {{kLow, static_cast<std::uint8_t>(low)},
                               {kHigh, static_cast<std::uint8_t>(high)}});
    }

    void writePulse(std::ostream& log) {
        const auto code = static_cast<std::uint8_t>(uniform(0, 26));
        const WriteOutcome outcome = session_->writePulseCode(code);
        log << "write pulse " << int{code} << " -> " << ::testing::PrintToString(outcome);
        if (code < 1 || code > 25) {
            EXPECT_EQ(outcome, WriteOutcome::NotSent) << "a code without an item was sent";
        }
        checkOutcome(outcome, {{kPulse, code}});
    }

    void writeHide(std::ostream& log) {
        const auto value = static_cast<std::uint8_t>(uniform(0, 1));
        const WriteOutcome outcome = session_->writeHideFlag(value);
        log << "write hide " << int{value} << " -> " << ::testing::PrintToString(outcome);
        checkOutcome(outcome, {{kHide, value}});
    }

    void selectBoard(std::ostream& log) {
        const auto count = static_cast<int>(session_->snapshot().serials.size());
        const int index = uniform(-1, count);
        log << "select " << index << " of " << count;
        session_->select(index);
    }

    void injectFailure(std::ostream& log) {
        static constexpr Call kCalls[] = {Call::Enumerate,    Call::Open,       Call::SerialNumber,
                                          Call::Manufacturer, Call::Product,    Call::ReportLengths,
                                          Call::SendFeature,  Call::GetFeature, Call::ReadInput};
        const Call call = kCalls[uniform(0, 8)];
        if (uniform(0, 1) == 0 || call == Call::Enumerate) {
            log << "fail next call " << static_cast<int>(call);
            platform_.failCall(call, 1);
        } else {
            const BoardId id = anyBoard();
            log << "fail next call " << static_cast<int>(call) << " on board " << id;
            platform_.failCall(id, call, 1);
        }
    }

    void restart(std::ostream& log) {
        log << "close and start a new session";
        session_->close();
        EXPECT_EQ(platform_.openHandles(), 0) << "closing left a handle open";
        EXPECT_EQ(session_->writePulseCode(1), WriteOutcome::NotSent);
        session_ = std::make_unique<BoardSession>(platform_);
        session_->start();
    }

    void step(std::ostream& log) {
        const int roll = uniform(0, 99);
        if (roll < 27) {
            log << "tick";
            const int open = openBoard();
            const bool plugged = open >= 0 && platform_.plugged(open);
            const bool pending = session_->switchPending();
            const session::TickResult result = session_->tick();
            EXPECT_EQ(result.interval_ms, session_->interval());
            if (result.lost) {
                EXPECT_GE(open, 0) << "lost a board that was not open";
            }
            if (open >= 0 && !plugged && !pending) {
                EXPECT_TRUE(result.lost) << "an unplugged board was not reported lost";
            }
        } else if (roll < 42) {
            writeTypes(log);
        } else if (roll < 50) {
            writePulse(log);
        } else if (roll < 57) {
            writeHide(log);
        } else if (roll < 64) {
            selectBoard(log);
        } else if (roll < 69) {
            const BoardId id = anyBoard();
            log << "unplug board " << id;
            platform_.unplug(id);
        } else if (roll < 77) {
            const BoardId id = anyBoard();
            log << "replug board " << id;
            platform_.replug(id);
        } else if (roll < 86) {
            injectFailure(log);
        } else if (roll < 90) {
            log << "reload -> " << session_->reload();
        } else if (roll < 95) {
            const BoardId id = anyBoard();
            const bool silent = uniform(0, 1) == 1;
            log << (silent ? "silence" : "wake") << " board " << id;
            platform_.setSilent(id, silent);
        } else if (roll < 96) {
            restart(log);
        } else {
            log << "tick";
            session_->tick();
        }
    }

    // ---- Invariants ----

    // Every report a board received in this step is a read request, or a write of what the board
    // held before the step, or of what this step wrote to the board that was open.
    void checkTraffic(const std::vector<Settings>& before, int openBefore) {
        for (std::size_t b = 0; b < ids_.size(); ++b) {
            const auto& log = platform_.firmware(ids_[b]).received();
            for (std::size_t i = checked_[b]; i < log.size(); ++i) {
                const Report& report = log[i];
                SCOPED_TRACE("board " + std::to_string(ids_[b]) + " report " + hex(report));
                EXPECT_EQ(report.size(), lengths_[b]) << "not as long as the feature report";
                const Decoded d = decode(report);
                if (d.kind == Decoded::Kind::ReadRequest) {
                    continue;
                }
                ASSERT_TRUE(d.kind == Decoded::Kind::SettingWrite ||
                            d.kind == Decoded::Kind::CommandB0)
                    << "a report the board does not know";
                if (d.kind == Decoded::Kind::CommandB0) {
                    EXPECT_EQ(d.setting, kHide) << "0xB0 must follow the hide-flag write";
                }
                ++writes_;
                const bool asHeld = before[b][d.setting] == d.value;
                const auto it = picked_.find(d.setting);
                const bool asPicked = static_cast<int>(ids_[b]) == openBefore &&
                                      it != picked_.end() && it->second == d.value;
                EXPECT_TRUE(asHeld || asPicked)
                    << "setting " << int{d.setting} << " := " << int{d.value}
                    << " was neither written in this step nor read from this board";
            }
            checked_[b] = log.size();
        }
    }

    void checkSession() {
        const BoardSession& s = *session_;
        const Snapshot& shown = s.snapshot();
        EXPECT_LE(platform_.openHandles(), 1);
        EXPECT_EQ(s.snapshot().board_open, platform_.openHandles() == 1)
            << "the session's idea of an open board differs from the handles it holds";
        EXPECT_EQ(shown.board_open, s.snapshot().board_open);
        const int interval = s.interval();
        EXPECT_TRUE(interval == 50 || interval == 250 || interval == 500) << interval;
        EXPECT_EQ(shown.settings.has_value(), s.snapshot().settings.has_value())
            << "settings shown without the write gate open, or the other way round";
        if (shown.selected >= 0) {
            EXPECT_LT(static_cast<std::size_t>(shown.selected), shown.serials.size());
        }
        if (!shown.board_open) {
            EXPECT_EQ(shown.firmware, Firmware::None);
            EXPECT_FALSE(shown.manufacturer);
        }
        if (!(s.snapshot().board_open && s.snapshot().settings.has_value())) {
            return;
        }
        ++loadedSteps_;
        const int open = openBoard();
        ASSERT_GE(open, 0);
        const Settings& held = platform_.firmware(open).settings();
        EXPECT_EQ(*shown.settings,
                  (config::BoardSettings{{held[kLow], held[kHigh]}, held[kPulse], held[kHide]}))
            << "the snapshot does not hold what the board holds";
        EXPECT_EQ(shown.firmware, Firmware::Ready);
        ASSERT_GE(shown.selected, 0);
        EXPECT_EQ(shown.serials[static_cast<std::size_t>(shown.selected)], serialOf(open));
    }

    SimPlatform platform_;
    std::unique_ptr<BoardSession> session_;  // declared after the platform: destroyed first
    std::uint32_t seed_ = 0;
    std::mt19937 rng_;
    std::vector<BoardId> ids_;
    std::vector<std::size_t> lengths_;
    std::vector<std::size_t> checked_;
    std::map<std::uint8_t, std::uint8_t> picked_;  // what this step wrote, by setting code
    int writes_ = 0;
    int loadedSteps_ = 0;
};

TEST_P(RandomRun, EveryStepKeepsTheSessionsPromises) {
    std::deque<std::string> recent;
    for (int s = 0; s < GetParam().steps; ++s) {
        std::vector<Settings> before;
        for (BoardId id : ids_) {
            before.push_back(platform_.firmware(id).settings());
        }
        const int openBefore = openBoard();
        picked_.clear();

        std::ostringstream what;
        // The seed is in every failure's message, so any failure replays.
        SCOPED_TRACE("seed " + std::to_string(seed_) + " (ROTORIX_RANDOM_SEED replays it)");
        step(what);
        recent.push_back(what.str());
        if (recent.size() > 12) {
            recent.pop_front();
        }
        std::ostringstream trace;
        trace << "step " << s << ": " << what.str() << "\n  recent steps:";
        for (const std::string& r : recent) {
            trace << "\n    " << r;
        }
        SCOPED_TRACE(trace.str());
        checkTraffic(before, openBefore);
        checkSession();
        if (HasFailure()) {
            break;
        }
    }
    SCOPED_TRACE("seed " + std::to_string(seed_));
    RecordProperty("seed", std::to_string(seed_));
    RecordProperty("loaded_steps", loadedSteps_);
    RecordProperty("writes", writes_);
    session_->close();
    EXPECT_EQ(platform_.openHandles(), 0);
    // A run that never reached a loaded session or never wrote proves nothing.
    EXPECT_GT(loadedSteps_, GetParam().steps / 4);
    EXPECT_GT(writes_, GetParam().steps / 20);
}

INSTANTIATE_TEST_SUITE_P(Random, RandomRun,
                         ::testing::Values(Run{0x5EED0001u, 2, 3000}, Run{0x5EED0002u, 3, 3000}),
                         [](const auto& row) {
                             return std::to_string(row.param.boards) + "Boards";
                         });

}  // namespace
}  // namespace rotorix::test
