// What the sub-commands share: choosing and opening a board, the one verdict on it in words, the
// output model of a board and its printers. Private to cli/.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/settings_text.h"
#include "session/board_session.h"

namespace rotorix::cli {

// Before every message.
inline constexpr const char* kProgram = "rotorixctl: ";

struct Options {
    bool demo = false;
    bool json = false;
    std::optional<std::string> board;  // --board, as typed (UTF-8)
    bool all = false;
    std::string output;  // export -o; empty: stdout
    std::string file;    // import FILE; "-": stdin
    std::optional<long long> count;
    std::vector<std::string> assignments;
};

// ---- Choosing and opening a board ----

// The board chosen, by index into the listed boards, or a message and the exit status.
struct Choice {
    std::optional<std::size_t> board;
    int status = kDone;
    std::string message;
};
// `match` is what the session made of --board (as typed, UTF-8); without --board, the one board
// listed is chosen. `walk_failure`: the system's words when the listing failed.
Choice choose(const std::vector<session::ListedBoard>& boards,
              const std::optional<session::NameMatch>& match,
              const std::optional<std::string>& typed,
              const std::optional<std::string>& walk_failure);

// The opening step of every command on one board: opens the board the options name, reads it
// back and checks the session's verdict. `board` is empty when none was chosen; `status` is
// kDone only when the chosen board is ready to configure. What is wrong is said on err.
Choice openChosen(session::BoardSession& session, const Options& options, Context& context);

// How a board is called in messages and result lines: its serial, with its path beside a serial
// that other listed boards share (or that is empty).
std::string boardName(const std::vector<session::ListedBoard>& boards, std::size_t board);
bool serialIsUnique(const std::vector<session::ListedBoard>& boards, std::size_t board);

// A listing walk that failed, in the system's words: not the same as no board attached.
std::string walkFailureText(const std::string& words);

// ---- The verdict on a board, in words ----

// "ready", "firmware too old", "feature report too short", "no access", "busy", ...: the
// session's verdict on listed board `board`, opened or not.
std::string stateText(const session::Snapshot& snapshot, std::size_t board);

// Zero when listed board `board` is ready to configure; otherwise says why on err (for a board
// that cannot be opened, the system's words and what to do) and returns 1 (its settings could
// not be read) or 3 (it cannot be configured).
int requireReady(const session::Snapshot& snapshot, std::size_t board, std::ostream& err);

// The hint for the boards the last walk could not open, once, on err; nothing when there are
// none.
void printUnusableNotice(const session::Snapshot& snapshot, std::ostream& err);

// Writes what `only` names (everything when it is null) and reads the board back, as one session
// operation. Returns what went wrong, in plain words: refused or unsent writes, and every named
// setting the board does not hold afterwards; empty only when the read-back confirmed it all.
std::vector<std::string> writeAndCheck(session::BoardSession& session, const Settings& wanted,
                                       const Changes* only);

// ---- Output ----

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
BoardView viewOf(const session::Snapshot& snapshot, std::size_t board);

// Its identity and state as JSON: serial, path, manufacturer, product, firmware, state.
nlohmann::ordered_json identityJson(const BoardView& view);
nlohmann::ordered_json settingsJson(const config::BoardSettings& raw);
// Text from the system (paths, its error words) may not be UTF-8; it is replaced, not thrown on.
std::string jsonText(const nlohmann::ordered_json& document);

// "-" for what a board did not say.
std::string orDash(const std::optional<std::string>& text);
// Columns padded to their widest cell; a line carries no trailing blanks.
void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

}  // namespace rotorix::cli
