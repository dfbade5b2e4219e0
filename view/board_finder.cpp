#include "view/board_finder.h"

#include <algorithm>
#include <span>
#include <utility>

#include "base/unicode.h"
#include "base/words.h"
#include "input/watch.h"

namespace rotorix::view {

namespace {

constexpr std::u16string_view kPrompt = u"Press a button or turn an encoder on the board you want";

std::u16string u16(const std::string& utf8) {
    return base::fromUtf8Lossy(utf8);
}

// An entry names one device instance only with its instance: a path alone may have been handed
// to a board plugged in after the walk that listed it.
bool sameBoard(const hid::BoardEntry& a, const hid::BoardEntry& b) {
    return a.info.path == b.info.path && a.info.instance == b.info.instance;
}

// As the selector names a board; a board without a serial number is still a board.
std::u16string boardName(const hid::BoardEntry& entry) {
    return entry.identity.serial.empty()
               ? u"The board without a serial number at " + u16(entry.info.path)
               : u"The board " + entry.identity.serial;
}

std::u16string whyUnwatched(const input::Unwatched& why) {
    switch (why.kind) {
        case input::Unwatched::Kind::OpenFailed:
            return u16("it could not be opened" + base::inParentheses(why.open_error.detail));
        case input::Unwatched::Kind::DescriptorUnreadable:
            return u"which of its inputs are buttons could not be read";
        case input::Unwatched::Kind::NoButtons:
            break;
    }
    return u"it declares no buttons";
}

}  // namespace

struct BoardFinder::Batch {
    std::unique_ptr<input::InputWatch> watch;
    std::vector<std::size_t> boards;  // into boards_, in the order the watch was given them
};

struct BoardFinder::Watched {
    enum class State { Watching, Unwatched, Ended };
    hid::BoardEntry entry;
    State state = State::Watching;
    std::u16string why;  // Unwatched: in words
    // Ended and no longer listed: a board at its path later is another one, to be watched.
    bool retired = false;
};

BoardFinder::BoardFinder(hid::Platform& platform, session::BoardSession& session,
                         hid::DeviceMatch match)
    : platform_(platform), session_(session), match_(match) {
    walk();
    publish(false);
}

BoardFinder::~BoardFinder() {
    stop();
}

void BoardFinder::stop() {
    for (const auto& batch : batches_) {
        batch->watch->stop();
    }
}

void BoardFinder::walk() {
    last_walk_ = std::chrono::steady_clock::now();
    hid::BoardListing listing = hid::listBoards(platform_, match_);
    walk_failure_ = std::move(listing.walk_failure);
    if (walk_failure_) {
        return;  // says nothing about what is attached
    }
    for (Watched& board : boards_) {
        if (board.state != Watched::State::Watching && !board.retired &&
            std::none_of(listing.boards.begin(), listing.boards.end(),
                         [&](const hid::BoardEntry& e) { return sameBoard(e, board.entry); })) {
            board.retired = true;
        }
    }
    std::vector<hid::BoardEntry> fresh;
    for (hid::BoardEntry& entry : listing.boards) {
        if (std::none_of(boards_.begin(), boards_.end(), [&](const Watched& board) {
                return !board.retired && sameBoard(board.entry, entry);
            })) {
            fresh.push_back(std::move(entry));
        }
    }
    if (!fresh.empty()) {
        watch(std::move(fresh));
    }
}

void BoardFinder::watch(std::vector<hid::BoardEntry> entries) {
    auto batch = std::make_unique<Batch>();
    batch->watch = std::make_unique<input::InputWatch>(platform_, std::span(entries));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Watched board{std::move(entries[i]), Watched::State::Watching, {}, false};
        if (const auto& why = batch->watch->unwatched()[i]) {
            board.state = Watched::State::Unwatched;
            board.why = whyUnwatched(*why);
        }
        batch->boards.push_back(boards_.size());
        boards_.push_back(std::move(board));
    }
    batches_.push_back(std::move(batch));
}

BoardFinderUpdate BoardFinder::tick() {
    if (outcome_ != BoardFinderView::Outcome::Waiting) {
        return {};
    }
    // Every event is taken, from every watch, so that "first" is by the time each report came,
    // not by the order the watches are drained in.
    std::optional<std::size_t> first;
    input::Clock::time_point first_stamp;
    for (const auto& batch : batches_) {
        for (const input::WatchEvent& event : batch->watch->drain()) {
            if (event.board >= batch->boards.size()) {
                continue;
            }
            const std::size_t board = batch->boards[event.board];
            if (event.kind == input::WatchEvent::Kind::Ended) {
                boards_[board].state = Watched::State::Ended;
            } else if (event.kind == input::WatchEvent::Kind::Changes &&
                       (!first || event.stamp < first_stamp)) {
                first = board;
                first_stamp = event.stamp;
            }
        }
    }
    if (first) {
        stop();
        select(boards_[*first].entry);
        return publish(true);
    }
    if (std::chrono::steady_clock::now() - last_walk_ >= kWalkEvery) {
        walk();
    }
    return publish(true);
}

// The session's own entry for the board, so that the switch opens exactly it. The session lists
// afresh only when its last walk does not have the board (plugged in while the finder waited).
void BoardFinder::select(const hid::BoardEntry& entry) {
    outcome_ = BoardFinderView::Outcome::Found;
    const auto pickIndex = [&]() -> std::optional<int> {
        const session::Snapshot& snapshot = session_.snapshot();
        for (std::size_t i = 0; i < snapshot.listed.size(); ++i) {
            const hid::BoardEntry* listed = session_.entry(snapshot.listed[i]);
            if (listed != nullptr && sameBoard(*listed, entry)) {
                return static_cast<int>(i);
            }
        }
        return std::nullopt;
    };
    std::optional<int> index = pickIndex();
    if (!index) {
        session_.list();
        index = pickIndex();
    }
    if (index && session_.select(*index)) {
        found_ = session_.snapshot().serials[static_cast<std::size_t>(*index)];
        found_status_ =
            u"Found " + boardName(entry) + u" (" + found_ + u"): the main window shows it.";
        return;
    }
    found_ = entry.identity.serial;
    found_status_ = u"Found " + boardName(entry) + u", but the main window cannot open it now.";
}

BoardFinderUpdate BoardFinder::cancel() {
    if (outcome_ == BoardFinderView::Outcome::Waiting) {
        stop();
        outcome_ = BoardFinderView::Outcome::Cancelled;
    }
    return publish(true);
}

bool BoardFinder::waitForInput(std::chrono::milliseconds limit) {
    if (outcome_ != BoardFinderView::Outcome::Waiting) {
        return false;
    }
    // One watch is waited on, the rest only looked at: a board plugged in later has a watch of
    // its own, and all of them are drained on every tick.
    for (const auto& batch : batches_) {
        if (batch->watch->reading()) {
            return batch->watch->waitForEvents(limit);
        }
    }
    return false;
}

std::u16string BoardFinder::statusNow() const {
    if (outcome_ == BoardFinderView::Outcome::Found) {
        return found_status_;
    }
    if (outcome_ == BoardFinderView::Outcome::Cancelled) {
        return u"Cancelled: the main window shows the board it showed before.";
    }
    const auto watching = std::count_if(boards_.begin(), boards_.end(), [](const Watched& board) {
        return board.state == Watched::State::Watching;
    });
    std::u16string status;
    if (watching > 0) {
        status = watching == 1 ? std::u16string(u"Watching 1 board.")
                               : u"Watching " + u16(std::to_string(watching)) + u" boards.";
    } else if (walk_failure_) {
        status = u16("The attached boards could not be listed" +
                     base::inParentheses(*walk_failure_) + ".");
    } else if (std::all_of(boards_.begin(), boards_.end(),
                           [](const Watched& board) { return board.retired; })) {
        status = u"No board is attached: plug one in, and it is watched as soon as it is found.";
    } else {
        status = u"No board can be watched.";
    }
    for (const Watched& board : boards_) {
        if (board.state == Watched::State::Unwatched && !board.retired) {
            status += u" " + boardName(board.entry) + u" cannot be watched: " + board.why + u".";
        }
    }
    return status;
}

BoardFinderUpdate BoardFinder::publish(bool announce_status) {
    BoardFinderView now;
    now.title = u"Find a board";
    now.prompt = kPrompt;
    now.status = statusNow();
    now.outcome = outcome_;
    now.found = found_;
    BoardFinderUpdate update;
    if (announce_status && now.status != shown_.status) {
        update.announce.push_back(now.status);
    }
    if (now != shown_) {
        update.show = shown_ = std::move(now);
    }
    return update;
}

}  // namespace rotorix::view
