// which: the board in the user's hand, told by the first change of its buttons while every board
// is watched at once.
#include <algorithm>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include "base/words.h"
#include "cli/choice.h"
#include "cli/commands.h"
#include "config/protocol.h"
#include "hid/discovery.h"
#include "input/watch.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

using input::Clock;
using input::WatchEvent;

// A walk after a plug costs a few sysfs reads, so half a second between them is cheap and a
// board plugged in while waiting is watched before the user reaches for it.
constexpr std::chrono::milliseconds kRewalkInterval{500};
// The prompt waits for every board's first report, so that a press made after it is a change,
// not part of the start; a board that sends nothing that long does not hold it up.
constexpr std::chrono::seconds kBaselineWait{2};

bool sameBoard(const hid::BoardEntry& a, const hid::BoardEntry& b) {
    return a.info.path == b.info.path && a.info.instance == b.info.instance;
}

// A board of the current walk, as the watch numbers them.
struct Tracked {
    hid::BoardEntry entry;
    // Buttons 1..16 as the last report showed them; empty before the board's first report.
    std::optional<input::PairButtons> buttons;
    bool watched = false;
};

std::string openErrorText(const hid::OpenError& error) {
    switch (error.kind) {
        case hid::OpenError::Kind::AccessDenied:
            return "no access" + base::inParentheses(error.detail);
        case hid::OpenError::Kind::Busy:
            return "another program holds it" + base::inParentheses(error.detail);
        case hid::OpenError::Kind::Gone:
        case hid::OpenError::Kind::Other:
            break;
    }
    return "it could not be opened" + base::inParentheses(error.detail);
}

std::string unwatchedText(const input::Unwatched& why) {
    switch (why.kind) {
        case input::Unwatched::Kind::DescriptorUnreadable:
            return "its report descriptor cannot be read, so which bits are buttons is not known";
        case input::Unwatched::Kind::NoButtons:
            return "its report descriptor declares no buttons";
        case input::Unwatched::Kind::OpenFailed:
            break;
    }
    return openErrorText(why.open_error);
}

class Finder {
  public:
    explicit Finder(const Invocation& call) : call_(call) {}

    // Watches the boards of `present` (a whole walk), keeping what was seen of those already
    // watched. The watch is made anew rather than added to, so that one reader serves them all.
    void watch(const std::vector<hid::BoardEntry>& present) {
        if (watch_) {
            // What the old watch saw up to its end still counts, before its boards are reopened.
            watch_->stop();
            take(watch_->drain());
            if (found_) {
                return;
            }
        }
        std::vector<Tracked> next;
        for (const hid::BoardEntry& entry : present) {
            const auto before = std::find_if(tracked_.begin(), tracked_.end(), [&](const auto& t) {
                return sameBoard(t.entry, entry);
            });
            next.push_back({entry, before != tracked_.end() ? before->buttons : std::nullopt});
        }
        tracked_ = std::move(next);
        watch_ = std::make_unique<input::InputWatch>(call_.platform, entries());
        std::vector<hid::UnusableBoard> refused;
        for (std::size_t i = 0; i < tracked_.size(); ++i) {
            const auto& why = watch_->unwatched()[i];
            tracked_[i].watched = !why;
            const hid::BoardEntry& entry = tracked_[i].entry;
            // One that vanished before it could be opened was being unplugged: not worth a word.
            const bool gone = why && why->kind == input::Unwatched::Kind::OpenFailed &&
                              why->open_error.kind == hid::OpenError::Kind::Gone;
            if (why && !gone && !alreadySaid(entry)) {
                said_.push_back(entry);
                call_.stream(Notice{message(name(i) + ": not watched: " + unwatchedText(*why))});
                if (why->kind == input::Unwatched::Kind::OpenFailed) {
                    refused.push_back({entry.info.path, entry.identity.serial, why->open_error});
                }
            }
        }
        // What to do about it, once: for a refused access, the line that installs the rule.
        if (const std::string notice = session::unusableBoardNotice(refused); !notice.empty()) {
            call_.stream(Notice{message(notice)});
        }
    }

    std::size_t watchedCount() const {
        return static_cast<std::size_t>(std::count_if(tracked_.begin(), tracked_.end(),
                                                      [](const Tracked& t) { return t.watched; }));
    }

    // Waits for the first change, a plugged board, the stop signal or the deadline.
    void run(Clock::time_point deadline) {
        const Clock::time_point began = Clock::now();
        Clock::time_point walked = began;
        // The bound only decides how soon Ctrl-C and a plugged board are noticed.
        const std::chrono::milliseconds bound(std::clamp(call_.context.watch_wait_ms, 1, 200));
        while (!found_ && !stopped()) {
            Clock::time_point now = Clock::now();
            if (!prompted_ && (baselinesIn() || now - began >= kBaselineWait)) {
                prompt(deadline - began);
            }
            if (now >= deadline) {
                return;
            }
            if (now - walked >= kRewalkInterval) {
                walked = now;
                rewalk();
                continue;
            }
            const auto wait =
                std::min(bound, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
            // Once every watched board has gone, the watch no longer waits: only a board
            // plugged in again can answer, so the wait is spent here instead of spinning.
            if (!watch_->waitForEvents(wait) && !watch_->reading()) {
                std::this_thread::sleep_for(wait);
            }
            take(watch_->drain());
        }
    }

    void stop() {
        if (watch_) {
            watch_->stop();
            take(watch_->drain());
        }
    }

    bool stopped() const { return call_.context.stop != nullptr && *call_.context.stop != 0; }

    // The board whose buttons changed first, once one has.
    std::optional<WhichOutput> found() const { return found_; }

  private:
    std::vector<hid::BoardEntry> entries() const {
        std::vector<hid::BoardEntry> all;
        for (const Tracked& t : tracked_) {
            all.push_back(t.entry);
        }
        return all;
    }

    std::vector<session::ListedBoard> listed() const {
        std::vector<session::ListedBoard> boards;
        for (const Tracked& t : tracked_) {
            boards.push_back({t.entry.info.path, t.entry.identity, t.entry.info.version, {}});
        }
        return boards;
    }

    // Named among the boards of the current walk: the path is given where the serial is shared.
    std::string name(std::size_t board) const { return boardName(listed(), board); }

    bool alreadySaid(const hid::BoardEntry& entry) const {
        return std::any_of(said_.begin(), said_.end(),
                           [&](const auto& said) { return sameBoard(said, entry); });
    }

    bool baselinesIn() const {
        return std::all_of(tracked_.begin(), tracked_.end(),
                           [](const Tracked& t) { return !t.watched || t.buttons; });
    }

    void prompt(Clock::duration left) {
        prompted_ = true;
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
        const std::size_t count = watchedCount();
        call_.stream(
            Notice{message("press a button or turn an encoder on the board you want (watching " +
                           std::to_string(count) + (count == 1 ? " board" : " boards") + " for " +
                           std::to_string(seconds) + " s)")});
    }

    // A board plugged in since the last walk gets watched; one that left has ended in the
    // watch already. A walk that fails is tried again at the next turn.
    void rewalk() {
        if (!call_.platform.devicesMayHaveChanged()) {
            return;
        }
        const hid::BoardListing listing =
            hid::listBoards(call_.platform, {config::kVendorId, config::kProductId});
        if (listing.walk_failure) {
            return;
        }
        const bool added = std::any_of(
            listing.boards.begin(), listing.boards.end(), [&](const hid::BoardEntry& entry) {
                return std::none_of(tracked_.begin(), tracked_.end(),
                                    [&](const Tracked& t) { return sameBoard(t.entry, entry); });
            });
        if (added) {
            watch(listing.boards);
        }
    }

    void take(const std::vector<WatchEvent>& events) {
        for (const WatchEvent& event : events) {
            if (found_) {
                return;
            }
            Tracked& board = tracked_[event.board];
            switch (event.kind) {
                case WatchEvent::Kind::Baseline:
                    // A board watched anew after a walk: a change while it was not watched
                    // shows as a start that differs from what was last seen.
                    if (board.buttons && *board.buttons != event.pair_buttons) {
                        choose(event.board, changedButton(*board.buttons, event.pair_buttons));
                    }
                    board.buttons = event.pair_buttons;
                    break;
                case WatchEvent::Kind::Changes:
                    choose(event.board, event.changes.front());
                    break;
                case WatchEvent::Kind::Ended:
                    break;
            }
        }
    }

    static input::ButtonChange changedButton(input::PairButtons before, input::PairButtons now) {
        const unsigned differ = static_cast<unsigned>(before ^ now);
        std::uint16_t bit = 0;
        while (((differ >> bit) & 1u) == 0) {
            ++bit;
        }
        return {static_cast<std::uint16_t>(bit + 1), ((now >> bit) & 1u) != 0};
    }

    void choose(std::size_t board, const input::ButtonChange& change) {
        const auto boards = listed();
        found_ = WhichOutput{namedBoard(boards, board), serialIsUnique(boards, board),
                             change.number, change.pressed};
    }

    const Invocation& call_;
    std::vector<Tracked> tracked_;
    std::vector<hid::BoardEntry> said_;  // boards whose reason for not being watched was told
    std::unique_ptr<input::InputWatch> watch_;
    std::optional<WhichOutput> found_;
    bool prompted_ = false;
};

}  // namespace

Result whichCommand(const Invocation& call) {
    const hid::BoardListing listing =
        hid::listBoards(call.platform, {config::kVendorId, config::kProductId});
    if (listing.walk_failure) {
        return failure(kNoBoard, message(walkFailureText(*listing.walk_failure)));
    }
    if (listing.boards.empty()) {
        return failure(kNoBoard, message(kNoBoardAttached));
    }
    const Clock::time_point deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(call.options.timeout));
    Finder finder(call);
    finder.watch(listing.boards);
    if (finder.watchedCount() == 0) {
        return failure(kNoBoard, message("no attached board can be watched"));
    }
    if (call.context.catch_stop_signals != nullptr) {
        call.context.catch_stop_signals();
    }
    finder.run(deadline);
    finder.stop();
    if (const auto found = finder.found()) {
        return {kDone, {}, *found, {}};
    }
    if (finder.stopped()) {
        return failure(kNoChange, message("stopped before a button changed on any board"));
    }
    std::ostringstream seconds;
    seconds << call.options.timeout;
    return failure(kNoChange, message("no button changed on any board in " + seconds.str() + " s"));
}

}  // namespace rotorix::cli
