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
#include "input/encoder_meter.h"
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
// What test found when it ended: each pair set to an encoder, and what looked wrong.
struct PairTotals {
    int pair = 0;  // 1..8
    input::PairSummary summary;
};
struct TestOutput {
    std::vector<PairTotals> pairs;
    std::vector<input::Finding> findings;
};
struct RuleOutput {
    std::string text;  // the udev rule file, as installed
};
// The board whose buttons changed first, and the change that told it.
struct WhichOutput {
    NamedBoard board;
    bool serial_unique = true;  // false: only its path tells it apart
    std::uint16_t button = 0;
    bool pressed = false;
};
using Output = std::variant<std::monostate, ListOutput, ShowOutput, SetOutput, ImportOutput,
                            ExportOutput, TestOutput, RuleOutput, WhichOutput>;

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
// A line for standard error while a command waits (which's prompt, a board it cannot watch).
struct Notice {
    std::string line;  // the whole message
};
using WatchEvent = std::variant<Watching, ButtonChange, Testing, TestStep, Notice>;

}  // namespace rotorix::cli
