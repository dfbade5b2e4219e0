// The session's verdict on a board, in words: the state list and show print, and why a command
// will not configure it. Private to cli/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/discovery.h"
#include "profile/board_result.h"
#include "session/board_session.h"

namespace rotorix::cli {

using profile::firmwareText;
using profile::openFailure;
using profile::stateText;

// Whether listed board `board`, the one open, is ready to configure: kDone, or 1 (its settings
// could not be read) or 3 (it cannot be configured) with the message that says why (for a board
// that cannot be opened, the system's words and what to do).
struct Readiness {
    int status = 0;
    std::string message;  // the whole message; empty when the board is ready
};
Readiness readiness(const session::Snapshot& snapshot, std::size_t board);

// The hint for the boards the last walk could not open, said once; nothing when there are none.
std::vector<std::string> unusableNotice(const session::Snapshot& snapshot);

}  // namespace rotorix::cli
