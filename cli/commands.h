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

// The board the options name, selected in the session and read back. Empty optional (after a
// message on err) when there is none to choose; `status` then holds the exit status.
std::optional<std::u16string> chooseBoard(session::BoardSession& session, const Options& options,
                                          Context& context, int& status);

// Which of the listed serials the options choose; a message and an exit status otherwise.
struct Choice {
    std::optional<std::size_t> index;
    int status = kDone;
    std::string message;
};
Choice choose(const std::vector<std::u16string>& serials, const std::optional<std::string>& board,
              const std::string& unusable_notice);

// "ready", "firmware too old", "feature report too short", "cannot be opened", ...
std::string stateText(const session::Snapshot& snapshot);

// Zero when the selected board's settings were read; otherwise says why on err and returns 1
// (the exchange failed) or 3 (the board cannot be configured).
int requireSettings(const session::Snapshot& snapshot, const std::string& serial,
                    std::ostream& err);

}  // namespace rotorix::cli
