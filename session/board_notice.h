// Plain words for what keeps the window from working with a board: one attached that cannot be
// opened, an open one whose settings cannot be read or that does not answer, or a walk that failed.
#pragma once

#include <string>
#include <vector>

#include "hid/discovery.h"

namespace rotorix::session {

// Where a user installs the udev rule by hand, and the one line that does it: `rotorixctl
// udev-rule` prints the rule the packages install, and the trigger applies it to the boards
// already plugged in. Said wherever access is denied on Linux, so it can be typed as it stands.
inline constexpr const char* kUdevRulePath = "/etc/udev/rules.d/70-rotorix.rules";
inline constexpr const char* kUdevRuleCommand =
    "rotorixctl udev-rule | sudo tee /etc/udev/rules.d/70-rotorix.rules && sudo udevadm trigger";

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
