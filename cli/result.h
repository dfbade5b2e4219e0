// What the commands find, as plain values: each command returns one Result, and the one printer
// (output.h) shows it as text or as JSON. Private to cli/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli.h"
#include "cli/settings_text.h"
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
using Output =
    std::variant<std::monostate, ListOutput, ShowOutput, SetOutput, ImportOutput, ExportOutput>;

struct Result {
    int status = kDone;
    std::vector<std::string> messages;  // standard error, before the output
    Output output;                      // nothing when the command ended before it had any
    std::vector<std::string> closing;   // standard error, after the output
};
// A command that ends with one message and no output.
Result failure(int status, std::string message);

// What watch reports as it happens: the board and buttons it watches, then each change.
struct Watching {
    std::string board;
    std::string buttons;  // "buttons 1 to 16"
};
struct ButtonChange {
    std::uint16_t button = 0;
    bool pressed = false;
};
using WatchEvent = std::variant<Watching, ButtonChange>;

}  // namespace rotorix::cli
