// Settings put on boards through the session, each write checked by its read-back: the one
// routine behind `rotorixctl set` and `import` and the windows' File menu.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "profile/board_result.h"
#include "profile/settings_text.h"
#include "session/board_session.h"

namespace rotorix::profile {

// Writes what `only` names of `wanted` (everything when it is null) to the open board, listed
// board `board`, and reads it back, as one session operation. Written only when the read-back
// confirmed it all; otherwise the problems say, in plain words, which writes were refused or
// not sent and every named setting the board does not hold afterwards.
BoardResult writeChecked(session::BoardSession& session, std::size_t board, const Settings& wanted,
                         const Changes* only);

// All of `wanted` onto the board the session has open: written and checked when it is ready;
// otherwise sent nothing, and the result says why (not written: its settings could not be read;
// skipped: it cannot be configured). Empty when no listed board is selected.
std::optional<BoardResult> loadOntoOpen(session::BoardSession& session, const Settings& wanted);

struct EveryBoard {
    std::vector<BoardResult> boards;  // one per listed board, in the walk's order
    int ready = 0;                    // boards that were meant to be written
};
// All of `wanted` onto every listed board of one walk, each exactly once (session::visitEach, so
// the session is closed afterwards). A board that cannot be configured is skipped with its
// reason; one that refuses does not stop the others.
EveryBoard loadOntoEvery(session::BoardSession& session, const Settings& wanted);

}  // namespace rotorix::profile
