// test: the board's encoders as the computer sees them, step by step, with the pulse widths and
// what looks wrong.
#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "base/words.h"
#include "cli/choice.h"
#include "cli/commands.h"
#include "input/encoder_meter.h"
#include "input/watch.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using input::Clock;

// Why the watch could not read the board, in words.
std::string unwatchedText(const input::Unwatched& why, const hid::BoardEntry& entry) {
    switch (why.kind) {
        case input::Unwatched::Kind::DescriptorUnreadable:
            return "its report descriptor cannot be read, so which bits are buttons is not known";
        case input::Unwatched::Kind::NoButtons:
            return "its report descriptor declares no buttons; there is nothing to test";
        case input::Unwatched::Kind::OpenFailed:
            break;
    }
    const std::string notice =
        session::unusableBoardNotice({{entry.info.path, entry.identity.serial, why.open_error}});
    return notice.empty() ? "it could not be opened" : notice;
}

TestOutput totals(const input::EncoderMeter& meter) {
    TestOutput output;
    for (int pair = 1; pair <= static_cast<int>(config::kEncoderCount); ++pair) {
        if (meter.settings().types[static_cast<std::size_t>(pair - 1)] != 0) {
            output.pairs.push_back({pair, meter.pair(pair)});
        }
    }
    output.findings = meter.findings();
    return output;
}

// The board's settings are said once its first report is in, so that a step begun after they
// are shown is counted; a board that sends nothing that long has them said all the same.
constexpr std::chrono::seconds kFirstReportWait{2};

// One test, from the watch's first report to its end.
class EncoderTest {
  public:
    EncoderTest(const Invocation& call, input::InputWatch& watch, Testing testing,
                const config::BoardSettings& settings)
        : call_(call),
          watch_(watch),
          testing_(std::move(testing)),
          meter_(input::meterSettings(settings)),
          began_(Clock::now()) {}

    // Reads and measures until Ctrl-C, --seconds, --count or a lost board ends it. The system's
    // words when the board was lost.
    std::optional<std::string> run() {
        const Options& options = call_.options;
        std::optional<Clock::time_point> deadline;
        if (options.seconds) {
            deadline = began_ + std::chrono::seconds(*options.seconds);
        }
        // The bound only decides how soon Ctrl-C is noticed; none at all would spin.
        const std::chrono::milliseconds bound(std::max(call_.context.watch_wait_ms, 1));
        while (!stopped()) {
            const Clock::time_point now = Clock::now();
            if (!announced_ && now - began_ >= kFirstReportWait) {
                announce();
            }
            if (deadline && now >= *deadline) {
                break;
            }
            auto wait = bound;
            if (deadline) {
                wait =
                    std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(*deadline - now));
            }
            watch_.waitForEvents(wait);
            for (const input::WatchEvent& event : watch_.drain()) {
                if (event.kind == input::WatchEvent::Kind::Ended) {
                    return event.why;
                }
                if (take(event)) {
                    return std::nullopt;
                }
            }
            meter_.advance(Clock::now());
        }
        return std::nullopt;
    }

    // The totals, the board's settings said first if they are not yet.
    TestOutput end() {
        announce();
        meter_.advance(Clock::now());
        return totals(meter_);
    }

    bool stopped() const { return call_.context.stop != nullptr && *call_.context.stop != 0; }

  private:
    void announce() {
        if (!announced_) {
            announced_ = true;
            call_.stream(testing_);
        }
    }

    // True once --count steps are in.
    bool take(const input::WatchEvent& event) {
        const auto steps = meter_.feed(event.stamp, event.pair_buttons);
        announce();  // the first event is the watch's first report
        for (const input::Step& step : steps) {
            // One report can end steps of several pairs: each line has its own step's counts.
            auto& [positive, negative] = counts_[static_cast<std::size_t>(step.pair - 1)];
            ++(step.positive ? positive : negative);
            call_.stream(
                TestStep{step.pair, step.button, step.positive,
                         std::chrono::duration_cast<std::chrono::nanoseconds>(step.width()),
                         positive, negative});
            if (call_.options.count && ++steps_ >= *call_.options.count) {
                return true;
            }
        }
        return false;
    }

    const Invocation& call_;
    input::InputWatch& watch_;
    Testing testing_;
    input::EncoderMeter meter_;
    Clock::time_point began_;
    bool announced_ = false;
    long long steps_ = 0;
    std::array<std::pair<long long, long long>, config::kEncoderCount> counts_{};
};

}  // namespace

Result testCommand(const Invocation& call) {
    // The settings first, from the session's read-back: which pairs are encoders, and how long a
    // pulse is meant to be, decide what the meter counts and finds.
    session::BoardSession session(call.platform);
    const Choice chosen = openChosen(session, call.options.board);
    if (!chosen.board || chosen.status != kDone) {
        return failure(chosen.status, chosen.message);
    }
    const session::Snapshot& snapshot = session.snapshot();
    const NamedBoard board = namedBoard(snapshot.boards, *chosen.board);
    if (!snapshot.settings) {
        return failure(kBoardRefused, message(board.name + ": its settings could not be read"));
    }
    const config::BoardSettings settings = *snapshot.settings;
    const hid::BoardEntry* listed = session.entry(*chosen.board);
    if (listed == nullptr) {
        return failure(kNoBoard, message(board.name + ": it is no longer listed"));
    }
    const hid::BoardEntry entry = *listed;
    session.close();  // the watch reads on a handle of its own

    input::InputWatch watch(call.platform, std::span(&entry, 1));
    if (const auto& why = watch.unwatched().front()) {
        return failure(kNoBoard, message(board.name + ": " + unwatchedText(*why, entry)));
    }
    if (call.context.catch_stop_signals != nullptr) {
        call.context.catch_stop_signals();
    }
    EncoderTest test(
        call, watch,
        Testing{board, config::unpackEncoderTypes(settings.planes), settings.pulse_code}, settings);
    const std::optional<std::string> lost = test.run();
    watch.stop();
    Result result{kDone, {}, test.end(), {}};
    // Ctrl-C can end a wait in the system, which a read may report as a failure.
    if (lost && !test.stopped()) {
        result.status = kBoardRefused;
        result.closing.push_back(
            message(board.name + ": the board stopped answering" + base::inParentheses(*lost)));
    }
    if (const std::size_t dropped = watch.dropped(); dropped > 0) {
        result.closing.push_back(
            message(std::to_string(dropped) + " reports were left out: the counts are too low"));
    }
    return result;
}

}  // namespace rotorix::cli
