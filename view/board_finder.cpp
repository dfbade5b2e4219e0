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

// "board RX-2", after "the": by its serial as the selector names it; a board without one is
// still a board.
std::u16string boardName(const hid::BoardEntry& entry) {
    return entry.identity.serial.empty()
               ? u"board without a serial number at " + u16(entry.info.path)
               : u"board " + entry.identity.serial;
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
    // Starting: no report yet. What its buttons show in the first one is where watching begins,
    // so a press before it would not count: the user is told only once every board has begun.
    enum class State { Starting, Watching, Unwatched, Ended };
    hid::BoardEntry entry;
    State state = State::Starting;
    std::u16string why;  // Unwatched: in words
    // Ended or never watched, and no longer listed: a board at its path later is another one, to
    // be watched.
    bool retired = false;
};

BoardFinder::BoardFinder(hid::Platform& platform, session::BoardSession& session,
                         hid::DeviceMatch match)
    : platform_(platform), session_(session), match_(match) {
    walk();
    session_boards_ = session_.snapshot().boards;
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
    take(hid::listBoards(platform_, match_));
}

// A listing of the session's own is the newest walk: it lists again on every notice of the
// system's while it has no board open, and when it loses one. While it has one open it asks for
// no notice (a loss makes it walk whatever the answer), so the finder asks, and walks.
void BoardFinder::followPlugIns() {
    const session::Snapshot& snapshot = session_.snapshot();
    if (snapshot.boards != session_boards_) {
        session_boards_ = snapshot.boards;
        hid::BoardListing listing{{}, snapshot.walk_failure};
        for (std::size_t i = 0; i < snapshot.boards.size(); ++i) {
            if (const hid::BoardEntry* entry = session_.entry(i)) {
                listing.boards.push_back(*entry);
            }
        }
        take(std::move(listing));
    } else if (snapshot.board_open &&
               std::chrono::steady_clock::now() - last_walk_ >= kWalkAtMostEvery &&
               platform_.devicesMayHaveChanged()) {
        walk();
    }
}

void BoardFinder::take(hid::BoardListing listing) {
    walk_failure_ = std::move(listing.walk_failure);
    if (walk_failure_) {
        return;  // says nothing about what is attached
    }
    for (Watched& board : boards_) {
        if (board.state != Watched::State::Watching && board.state != Watched::State::Starting &&
            !board.retired &&
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
        Watched board{std::move(entries[i]), Watched::State::Starting, {}, false};
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
            } else if (event.kind == input::WatchEvent::Kind::Baseline) {
                boards_[board].state = Watched::State::Watching;
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
    followPlugIns();
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
        found_status_ = u"Found the " + boardName(entry) + u": the main window shows it.";
        return;
    }
    found_ = entry.identity.serial;
    found_status_ = u"Found the " + boardName(entry) + u", but the main window cannot open it now.";
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
    // The others are only looked at, and the first that reads is waited on: a board plugged in
    // later has a watch of its own, and every watch is drained on every tick.
    input::InputWatch* reading = nullptr;
    for (const auto& batch : batches_) {
        if (batch->watch->waitForEvents(std::chrono::milliseconds(0))) {
            return true;
        }
        if (reading == nullptr && batch->watch->reading()) {
            reading = batch->watch.get();
        }
    }
    return reading != nullptr && reading->waitForEvents(limit);
}

std::u16string BoardFinder::statusNow() const {
    if (outcome_ == BoardFinderView::Outcome::Found) {
        return found_status_;
    }
    if (outcome_ == BoardFinderView::Outcome::Cancelled) {
        return u"Cancelled: the main window shows the board it showed before.";
    }
    const auto count = [&](Watched::State state) {
        return std::count_if(boards_.begin(), boards_.end(),
                             [&](const Watched& board) { return board.state == state; });
    };
    const auto watching = count(Watched::State::Watching);
    const auto starting = count(Watched::State::Starting);
    const auto boards = [](long long n) {
        return u16(std::to_string(n)) + (n == 1 ? u" board" : u" boards");
    };
    std::u16string status;
    if (starting > 0 && watching == 0) {
        status = u"Starting to watch " + boards(starting) + u"…";
    } else if (starting > 0) {
        status = u"Watching " + boards(watching) + u"; " + u16(std::to_string(starting)) +
                 u" more not yet: a press there is not seen until it has reported.";
    } else if (watching > 0) {
        status = u"Watching " + boards(watching) + u".";
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
            status +=
                u" The " + boardName(board.entry) + u" cannot be watched: " + board.why + u".";
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
