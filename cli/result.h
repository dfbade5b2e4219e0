// What the commands find, as plain values: each command returns one Result, and the one printer
// (output.h) shows it as text or as JSON. Private to cli/.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli.h"
#include "cli/settings_text.h"
#include "input/encoder_meter.h"
#include "session/board_session.h"

namespace rotorix::cli {

// A board as list and show print it: what the open board reported, or for one that could not be
// opened what the listing read without opening it.
struct BoardView {
    std::u16string serial;
    std::string path;
    bool path_needed = false;  // its serial does not tell it apart
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> firmware;
    std::string state;
    std::optional<std::string> reason;  // the system's words for why it is not ready
};
BoardView boardView(const session::Snapshot& snapshot, std::size_t board);

// A board as result lines name it (`name`, see boardName) and as JSON records it.
struct NamedBoard {
    std::string name;
    std::u16string serial;
    std::string path;
};
NamedBoard namedBoard(const std::vector<session::ListedBoard>& boards, std::size_t board);

enum class Outcome {
    Written,     // the board took it all, and its read-back holds it
    NotWritten,  // it was meant to be written, and is not (or not wholly)
    Skipped,     // import --all passed over a board that cannot be configured
};
// "written", "not written", "skipped": as result lines and JSON say it.
inline const char* outcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Written:
            return "written";
        case Outcome::Skipped:
            return "skipped";
        case Outcome::NotWritten:
            break;
    }
    return "not written";
}

// One board's part in set or import.
struct BoardResult {
    NamedBoard board;
    Outcome outcome = Outcome::NotWritten;
    std::optional<Settings> settings;   // what was sent to it; empty when nothing was
    bool read_back_equal = false;       // its read-back holds every setting sent
    std::vector<std::string> problems;  // why it is not written or was skipped, in words
};
// Listed board `board`, sent nothing for its state (stateText).
BoardResult untouched(const session::Snapshot& snapshot, std::size_t board, Outcome outcome);

struct ListOutput {
    std::vector<BoardView> boards;
};
struct ShowOutput {
    BoardView board;
    std::optional<config::BoardSettings> settings;  // present once read
};
struct SetOutput {
    BoardResult board;
    Changes named;  // the keys the command named
};
struct ImportOutput {
    std::vector<BoardResult> boards;
};
struct ExportOutput {
    NamedBoard board;
    Settings settings;
    std::string file;  // where the profile was written; empty: it is printed
};
// What test found when it ended: each pair set to an encoder, and what looked wrong.
struct PairTotals {
    int pair = 0;  // 1..8
    input::PairSummary summary;
};
struct TestOutput {
    std::vector<PairTotals> pairs;
    std::vector<input::Finding> findings;
};
using Output = std::variant<std::monostate, ListOutput, ShowOutput, SetOutput, ImportOutput,
                            ExportOutput, TestOutput>;

struct Result {
    int status = kDone;
    std::vector<std::string> messages;  // standard error, before the output
    Output output;                      // nothing when the command ended before it had any
    std::vector<std::string> closing;   // standard error, after the output
};
// A command that ends with one message and no output.
Result failure(int status, std::string message);

// What watch reports as it happens: the board and buttons it watches, then each change. Test's
// events (below) go the same way.
struct Watching {
    std::string board;
    std::string buttons;  // "buttons 1 to 16"
};
struct ButtonChange {
    std::uint16_t button = 0;
    bool pressed = false;
};
// What test reports as it happens: the board and the settings it read, then each step.
struct Testing {
    NamedBoard board;
    config::EncoderTypes types{};
    std::uint8_t pulse_code = 0;  // as the board holds it: 1..25 is 4..100 ms
};
struct TestStep {
    int pair = 0;  // 1..8
    std::uint16_t button = 0;
    bool positive = true;  // the pair's first button pulsed
    std::chrono::nanoseconds width{};
    long long positive_steps = 0;  // the pair's counts so far, this step included
    long long negative_steps = 0;
};
using WatchEvent = std::variant<Watching, ButtonChange, Testing, TestStep>;

}  // namespace rotorix::cli
