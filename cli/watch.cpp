// watch: the buttons of a board's input reports as they change.
#include <algorithm>

#include "base/words.h"
#include "cli/choice.h"
#include "cli/commands.h"
#include "config/protocol.h"
#include "hid/discovery.h"
#include "input/buttons.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

// The board watched, open, with the buttons its report descriptor declares.
struct Watched {
    hid::OpenedBoard board;
    std::vector<hid::InputButton> buttons;
    std::string name;
};

std::string buttonRange(const std::vector<hid::InputButton>& buttons) {
    std::vector<std::uint16_t> numbers;
    for (const auto& button : buttons) {
        numbers.push_back(button.number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    const bool contiguous = numbers.back() - numbers.front() + 1u == numbers.size();
    if (numbers.size() == 1) {
        return "button " + std::to_string(numbers.front());
    }
    if (contiguous) {
        return "buttons " + std::to_string(numbers.front()) + " to " +
               std::to_string(numbers.back());
    }
    return std::to_string(numbers.size()) + " buttons";
}

// The board --board names (or the one attached), chosen by the session's rules over a walk of
// discovery's own, which opens nothing but the board chosen.
std::variant<Watched, Result> openWatched(hid::Platform& platform,
                                          const std::optional<std::string>& typed) {
    const hid::BoardListing listing =
        hid::listBoards(platform, {config::kVendorId, config::kProductId});
    std::vector<session::ListedBoard> boards;
    for (const hid::BoardEntry& entry : listing.boards) {
        boards.push_back({entry.info.path, entry.identity, entry.info.version, std::nullopt});
    }
    const Choice choice = choose(boards, typed, listing.walk_failure);
    if (!choice.board) {
        return failure(choice.status, choice.message);
    }
    const hid::BoardEntry& entry = listing.boards[*choice.board];
    const std::string name = boardName(boards, *choice.board);
    const std::string named = name + ": ";
    auto opened = hid::openBoard(platform, entry);
    if (const auto* error = std::get_if<hid::OpenError>(&opened)) {
        const std::string notice =
            session::unusableBoardNotice({{entry.info.path, entry.identity.serial, *error}});
        return failure(kNoBoard,
                       message(named + (notice.empty() ? "it could not be opened" : notice)));
    }
    Watched watched{std::move(std::get<hid::OpenedBoard>(opened)), {}, name};
    const auto buttons = watched.board.device->inputButtons();
    if (!buttons) {
        return failure(kNoBoard, message(named + "its report descriptor cannot be read, so which "
                                                 "bits are buttons is not known"));
    }
    if (buttons->empty()) {
        return failure(kNoBoard, message(named + "its report descriptor declares no buttons; "
                                                 "there is nothing to watch"));
    }
    watched.buttons = *buttons;
    return watched;
}

}  // namespace

Result watchCommand(const Invocation& call) {
    auto opened = openWatched(call.platform, call.options.board);
    if (auto* ended = std::get_if<Result>(&opened)) {
        return std::move(*ended);
    }
    Watched& watched = std::get<Watched>(opened);
    Context& context = call.context;
    hid::Device& device = *watched.board.device;
    call.stream(Watching{watched.name, buttonRange(watched.buttons)});
    if (context.catch_stop_signals != nullptr) {
        context.catch_stop_signals();
    }
    const auto stopped = [&] { return context.stop != nullptr && *context.stop != 0; };
    // Every button starts released, so one held down when watching begins is reported too.
    input::ButtonReader reader(watched.buttons, watched.board.lengths.input,
                               input::ButtonReader::Start::Released);
    std::vector<std::uint8_t> report(reader.reportRoom());
    long long changes = 0;
    while (!stopped()) {
        std::fill(report.begin(), report.end(), std::uint8_t{0});
        const hid::ReadOutcome outcome = device.readInputReport(report, context.watch_wait_ms);
        // Ctrl-C can end the wait itself, which the read reports as a failure.
        if (stopped()) {
            break;
        }
        if (outcome == hid::ReadOutcome::Gone) {
            return failure(kBoardRefused, message(watched.name + ": the board stopped answering" +
                                                  base::inParentheses(device.lastError())));
        }
        if (outcome == hid::ReadOutcome::Report) {
            for (const input::ButtonChange& change : reader.take(report)) {
                call.stream(ButtonChange{change.number, change.pressed});
                if (call.options.count && ++changes >= *call.options.count) {
                    return {};
                }
            }
        }
        if (call.pace != nullptr) {
            call.pace(context.demo_pace_ms);
        }
    }
    return {};
}

}  // namespace rotorix::cli
