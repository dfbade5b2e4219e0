// watch: the buttons of a board's input reports as they change.
#include <algorithm>
#include <ostream>

#include "cli/commands.h"
#include "cli/text.h"
#include "config/protocol.h"
#include "hid/discovery.h"
#include "session/board_notice.h"

namespace rotorix::cli {

namespace {

// Room for any report the buttons can lie in, and at least what the descriptor says.
std::size_t reportRoom(const std::vector<hid::InputButton>& buttons, std::uint16_t input_length) {
    std::size_t room = std::max<std::size_t>(input_length, 2);
    for (const hid::InputButton& button : buttons) {
        room = std::max<std::size_t>(room, button.bit / 8 + 1);
    }
    return room;
}

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

}  // namespace

int watchCommand(const Invocation& call) {
    hid::Platform& platform = call.platform;
    const Options& options = call.options;
    Context& context = call.context;
    // The session's choosing rules over a walk of discovery's own, which opens nothing but the
    // board chosen.
    const hid::DeviceMatch match{config::kVendorId, config::kProductId};
    const hid::BoardListing listing = hid::listBoards(platform, match);
    std::vector<session::ListedBoard> boards;
    for (const hid::BoardEntry& entry : listing.boards) {
        boards.push_back({entry.info.path, entry.identity, entry.info.version, std::nullopt});
    }
    std::optional<session::NameMatch> named;
    if (options.board) {
        const auto wanted = fromUtf8(*options.board);
        named = wanted ? session::matchName(boards, *wanted) : session::NameMatch{};
    }
    const Choice choice = choose(boards, named, options.board, listing.walk_failure);
    if (!choice.board) {
        context.err << kProgram << choice.message << '\n';
        return choice.status;
    }
    const hid::BoardEntry& entry = listing.boards[*choice.board];
    const std::string shown = boardName(boards, *choice.board);
    auto opened = hid::openBoard(platform, entry);
    if (const auto* error = std::get_if<hid::OpenError>(&opened)) {
        const std::string notice =
            session::unusableBoardNotice({{entry.info.path, entry.identity.serial, *error}});
        context.err << kProgram << shown << ": "
                    << (notice.empty() ? std::string("it could not be opened") : notice) << '\n';
        return kNoBoard;
    }
    hid::Device& device = *std::get<hid::OpenedBoard>(opened).device;
    const auto buttons = device.inputButtons();
    if (!buttons) {
        context.err << kProgram << shown
                    << ": its report descriptor cannot be read, so which bits are buttons is not "
                       "known\n";
        return kNoBoard;
    }
    if (buttons->empty()) {
        context.err << kProgram << shown
                    << ": its report descriptor declares no buttons; there is nothing to watch\n";
        return kNoBoard;
    }
    context.err << kProgram << "watching " << shown << " (" << buttonRange(*buttons)
                << "); Ctrl-C ends\n";

    if (context.catch_stop_signals != nullptr) {
        context.catch_stop_signals();
    }
    const auto stopped = [&] { return context.stop != nullptr && *context.stop != 0; };
    std::vector<std::uint8_t> report(
        reportRoom(*buttons, std::get<hid::OpenedBoard>(opened).lengths.input));
    // Every button starts released, so one held down when watching begins is reported too.
    std::vector<bool> pressed(buttons->size(), false);
    long long changes = 0;
    while (!stopped()) {
        std::fill(report.begin(), report.end(), std::uint8_t{0});
        const hid::ReadOutcome outcome = device.readInputReport(report, context.watch_wait_ms);
        // Ctrl-C can end the wait itself, which the read reports as a failure.
        if (stopped()) {
            break;
        }
        if (outcome == hid::ReadOutcome::Gone) {
            const std::string why = device.lastError();
            context.err << kProgram << shown << ": the board stopped answering"
                        << (why.empty() ? std::string() : " (" + why + ")") << '\n';
            return kBoardRefused;
        }
        if (outcome == hid::ReadOutcome::Report) {
            for (std::size_t i = 0; i < buttons->size(); ++i) {
                const hid::InputButton& button = (*buttons)[i];
                if (button.report_id != report[0]) {
                    continue;  // another report of a numbered device
                }
                const bool down = ((report[button.bit / 8] >> (button.bit % 8)) & 1u) != 0;
                if (down == pressed[i]) {
                    continue;
                }
                pressed[i] = down;
                context.out << "button " << button.number << (down ? " pressed" : " released")
                            << std::endl;  // a line at once, also into a pipe
                if (options.count && ++changes >= *options.count) {
                    return kDone;
                }
            }
        }
        if (call.pace != nullptr) {
            call.pace(context.demo_pace_ms);
        }
    }
    return kDone;
}

}  // namespace rotorix::cli
