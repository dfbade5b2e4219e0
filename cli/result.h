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
#include "profile/board_result.h"
#include "profile/load.h"
#include "profile/profile.h"
#include "profile/settings_text.h"
#include "session/board_session.h"

namespace rotorix::cli {

// Settings in words, profiles and the checked write, shared with the windows.
using profile::assignmentText;
using profile::Changes;
using profile::decoded;
using profile::encoderTypeText;
using profile::formatProfile;
using profile::fromBoard;
using profile::kMaxProfileBytes;
using profile::parseAssignments;
using profile::parseProfile;
using profile::settingLines;
using profile::Settings;
using profile::writeChecked;

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

using profile::BoardResult;
using profile::NamedBoard;
using profile::namedBoard;
using profile::Outcome;
using profile::outcomeText;
using profile::untouched;

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
struct RuleOutput {
    std::string text;  // the udev rule file, as installed
};
using Output = std::variant<std::monostate, ListOutput, ShowOutput, SetOutput, ImportOutput,
                            ExportOutput, RuleOutput>;

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
