// Plain words for what keeps the window from working with a board: one attached that cannot be
// opened, an open one whose settings cannot be read or that does not answer, or a walk that failed.
#pragma once

#include <string>
#include <vector>

#include "hid/discovery.h"

namespace rotorix::session {

// The message (UTF-8, lines separated by '\n') for the matching interfaces the last walk passed
// over, or an empty string when there is nothing to say. Access denied comes first: it is the
// usual case on Linux and the one the user can fix. The system's own words are quoted, never
// guessed.
std::string unusableBoardNotice(const std::vector<hid::UnusableBoard>& unusable);

// An open board that answers, but whose settings could not be read; `words` are the system's.
std::string unreadableBoardNotice(const std::string& words);

// An open board that left an exchange unanswered: nothing more is sent to it until it is plugged
// in again or picked again, which is what the user is asked to do.
std::string notAnsweringNotice();

// A walk over the attached devices that failed: not "no board", and it is tried again.
std::string failedWalkNotice(const std::string& words);

}  // namespace rotorix::session
