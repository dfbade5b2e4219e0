// A write checked by its read-back, on top of the session's operation. Private to cli/.
#pragma once

#include <cstddef>

#include "cli/result.h"
#include "cli/settings_text.h"
#include "session/board_session.h"

namespace rotorix::cli {

// Writes what `only` names of `wanted` (everything when it is null) to the open board, listed
// board `board`, and reads it back, as one session operation. Written only when the read-back
// confirmed it all; otherwise the problems say, in plain words, which writes were refused or
// not sent and every named setting the board does not hold afterwards.
BoardResult writeChecked(session::BoardSession& session, std::size_t board, const Settings& wanted,
                         const Changes* only);

}  // namespace rotorix::cli
