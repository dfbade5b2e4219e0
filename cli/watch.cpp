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

constexpr const char* kProgram = "rotorixctl: ";

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

int watchButtons(hid::Platform& platform, const Options& options, Context& context,
                 void (*pace)(int ms)) {
    const hid::DeviceMatch match{config::kVendorId, config::kProductId};
    const hid::BoardListing listing = hid::listBoards(platform, match);
    std::vector<std::u16string> serials;
    for (const hid::BoardEntry& entry : listing.boards) {
        serials.push_back(entry.identity.serial);
    }
    const Choice choice = choose(serials, options.board, {});
    if (!choice.index) {
        context.err << kProgram << choice.message << '\n';
        return choice.status;
    }
    const std::u16string& serial = serials[*choice.index];
    const std::string shown = printable(serial);
    auto opened = hid::openBoard(platform, listing.boards[*choice.index]);
    if (const auto* error = std::get_if<hid::OpenError>(&opened)) {
        const std::string notice = session::unusableBoardNotice(
            {{listing.boards[*choice.index].info.path, serial, *error}});
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
        if (pace != nullptr) {
            pace(context.demo_pace_ms);
        }
    }
    return kDone;
}

}  // namespace rotorix::cli
