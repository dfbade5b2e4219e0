#include "input/watch.h"

#include <algorithm>
#include <utility>
#include <variant>

namespace rotorix::input {

namespace {

// After a report, a handle is read again without waiting, up to this many times, so that reports
// queued while the reader waited on another board are taken (and stamped) before it waits again.
constexpr int kMaxBurst = 16;

}  // namespace

struct InputWatch::Watched {
    std::size_t board = 0;
    hid::DeviceHandle device;  // null once the board has ended
    ButtonReader reader;
    std::vector<std::uint8_t> report;
    bool baseline_sent = false;
};

// The one place the watch opens a board, so that a change in how a listed board is opened is
// made here alone.
InputWatch::InputWatch(hid::Platform& platform, std::span<const hid::BoardEntry> boards) {
    for (std::size_t i = 0; i < boards.size(); ++i) {
        auto opened = hid::openBoard(platform, boards[i]);
        if (auto* error = std::get_if<hid::OpenError>(&opened)) {
            unwatched_.push_back(Unwatched{Unwatched::Kind::OpenFailed, *error});
            continue;
        }
        auto& board = std::get<hid::OpenedBoard>(opened);
        const auto buttons = board.device->inputButtons();
        if (!buttons || buttons->empty()) {
            unwatched_.push_back(Unwatched{
                buttons ? Unwatched::Kind::NoButtons : Unwatched::Kind::DescriptorUnreadable, {}});
            continue;
        }
        unwatched_.emplace_back();
        ButtonReader reader(*buttons, board.lengths.input, ButtonReader::Start::FirstReport);
        const std::size_t room = reader.reportRoom();
        watched_.push_back(std::make_unique<Watched>(Watched{
            i, std::move(board.device), std::move(reader), std::vector<std::uint8_t>(room)}));
    }
    if (!watched_.empty()) {
        reading_ = true;
        reader_ = std::thread([this] { run(); });
    }
}

InputWatch::~InputWatch() {
    stop();
}

void InputWatch::stop() {
    stopping_ = true;
    if (reader_.joinable()) {
        reader_.join();
    }
    watched_.clear();
    const std::scoped_lock lock(mutex_);
    reading_ = false;
    arrived_.notify_all();
}

std::vector<WatchEvent> InputWatch::drain() {
    const std::scoped_lock lock(mutex_);
    std::vector<WatchEvent> events(std::make_move_iterator(queue_.begin()),
                                   std::make_move_iterator(queue_.end()));
    queue_.clear();
    return events;
}

bool InputWatch::waitForEvents(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, limit, [this] { return !queue_.empty() || !reading_; });
    return !queue_.empty();
}

bool InputWatch::reading() const {
    const std::scoped_lock lock(mutex_);
    return reading_;
}

std::size_t InputWatch::dropped() const {
    const std::scoped_lock lock(mutex_);
    return dropped_;
}

void InputWatch::push(WatchEvent event) {
    const std::scoped_lock lock(mutex_);
    if (queue_.size() >= kMaxQueued) {
        ++dropped_;
        return;
    }
    queue_.push_back(std::move(event));
    arrived_.notify_all();
}

// Round-robin over the boards, each read waiting a share of the bound, so that one round waits
// about one bound in the system however many boards there are.
void InputWatch::run() {
    while (!stopping_) {
        const auto live = std::count_if(watched_.begin(), watched_.end(),
                                        [](const auto& w) { return w->device != nullptr; });
        if (live == 0) {
            break;
        }
        const int wait_ms = std::max(1, static_cast<int>(kReadBound.count() / live));
        for (auto& watched : watched_) {
            if (stopping_) {
                break;
            }
            if (watched->device == nullptr) {
                continue;
            }
            int burst = 0;
            bool more = readOnce(*watched, wait_ms);
            while (more && ++burst < kMaxBurst && !stopping_) {
                more = readOnce(*watched, 0);
            }
        }
    }
    const std::scoped_lock lock(mutex_);
    reading_ = false;
    arrived_.notify_all();
}

// One read of one board. True when a report came.
bool InputWatch::readOnce(Watched& watched, int wait_ms) {
    std::fill(watched.report.begin(), watched.report.end(), std::uint8_t{0});
    const hid::ReadOutcome outcome = watched.device->readInputReport(watched.report, wait_ms);
    const Clock::time_point stamp = Clock::now();
    if (outcome == hid::ReadOutcome::NothingYet) {
        return false;
    }
    if (outcome == hid::ReadOutcome::Gone) {
        WatchEvent ended{
            WatchEvent::Kind::Ended,    watched.board, stamp, {}, watched.reader.pairButtons(),
            watched.device->lastError()};
        watched.device.reset();
        push(std::move(ended));
        return false;
    }
    std::vector<ButtonChange> changes = watched.reader.take(watched.report);
    if (!watched.baseline_sent) {
        watched.baseline_sent = true;
        push({WatchEvent::Kind::Baseline,
              watched.board,
              stamp,
              {},
              watched.reader.pairButtons(),
              {}});
    } else if (!changes.empty()) {
        push({WatchEvent::Kind::Changes,
              watched.board,
              stamp,
              std::move(changes),
              watched.reader.pairButtons(),
              {}});
    }
    return true;
}

}  // namespace rotorix::input
