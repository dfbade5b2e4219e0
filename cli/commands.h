// The sub-commands, behind run(). Private to cli/.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "session/board_session.h"

namespace rotorix::cli {

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

// Every sub-command but watch works on a session the caller has started.
int listBoards(session::BoardSession& session, const Options& options, Context& context);
int showBoard(session::BoardSession& session, const Options& options, Context& context);
int exportProfile(session::BoardSession& session, const Options& options, Context& context);
int setSettings(session::BoardSession& session, const Options& options, Context& context);
int importProfile(session::BoardSession& session, const Options& options, Context& context);
// watch sends nothing at all, not even the read requests of a session's read-back, so it finds
// and opens its board through discovery alone. `pace` runs after each report (the demo's clock).
int watchButtons(hid::Platform& platform, const Options& options, Context& context,
                 void (*pace)(int ms));

// ---- shared by the sub-commands ----

extern const char* const kProgram;  // "rotorixctl: ", before every message

// The board the options choose, by index into the listed boards, or a message and the exit
// status.
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

// Opens the board the options name and reads it back, or says on err why there is none to open
// and returns the exit status: the session's choice, rendered.
Choice openChosen(session::BoardSession& session, const Options& options, Context& context);

// How a board is called in messages and result lines: its serial, with its path beside a serial
// that other listed boards share (or that is empty).
std::string boardName(const std::vector<session::ListedBoard>& boards, std::size_t board);
bool serialIsUnique(const std::vector<session::ListedBoard>& boards, std::size_t board);

// "ready", "firmware too old", "feature report too short", "no access", "busy", ...: the
// session's verdict on listed board `board`, opened or not.
std::string stateText(const session::Snapshot& snapshot, std::size_t board);

// Zero when listed board `board` is ready to configure; otherwise says why on err (for a board
// that cannot be opened, the system's words and what to do) and returns 1 (its settings could
// not be read) or 3 (it cannot be configured).
int requireReady(const session::Snapshot& snapshot, std::size_t board, std::ostream& err);

// A listing walk that failed, in the system's words: not the same as no board attached.
std::string walkFailureText(const std::string& words);

// The hint for the boards the last walk could not open, once, on err; nothing when there are
// none.
void printUnusableNotice(const session::Snapshot& snapshot, std::ostream& err);

}  // namespace rotorix::cli
