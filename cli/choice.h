// Choosing the board a command works on, and opening it. Private to cli/.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "profile/board_result.h"
#include "session/board_session.h"

namespace rotorix::cli {

// The board chosen, by index into the listed boards, or the message that says why none was (or
// why the one chosen is not ready) and the exit status.
struct Choice {
    std::optional<std::size_t> board;
    int status = kDone;
    std::string message;  // the whole line; empty when all is well
};

// `typed` is --board as typed (UTF-8), matched as the session matches names; without it, the one
// board listed is chosen. `walk_failure`: the system's words when the listing failed.
Choice choose(const std::vector<session::ListedBoard>& boards,
              const std::optional<std::string>& typed,
              const std::optional<std::string>& walk_failure);

// The opening step of every command on one board: lists the boards, opens the one `typed` names
// by its entry in that listing, reads it back and checks the session's verdict. `board` is empty
// when none was chosen; `status` is kDone only when the chosen board is ready to configure.
Choice openChosen(session::BoardSession& session, const std::optional<std::string>& typed);

using profile::boardName;
using profile::serialIsUnique;

// A listing walk that failed, in the system's words: not the same as no board attached.
std::string walkFailureText(const std::string& words);

}  // namespace rotorix::cli
