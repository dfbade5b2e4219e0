// A board's part in putting settings on boards, and the session's verdict on it in words: what
// the command line prints and the windows show, from one set of rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/discovery.h"
#include "profile/settings_text.h"
#include "session/board_session.h"

namespace rotorix::profile {

// How a board is called in messages and result lines: its serial, with its path beside a serial
// that other listed boards share (or that is empty). Control characters a board may put in its
// serial are replaced, so a name is safe on a terminal and in a message box.
std::string boardName(const std::vector<session::ListedBoard>& boards, std::size_t board);
bool serialIsUnique(const std::vector<session::ListedBoard>& boards, std::size_t board);

// A board as result lines name it (`name`, see boardName) and as JSON records it.
struct NamedBoard {
    std::string name;
    std::u16string serial;
    std::string path;
};
NamedBoard namedBoard(const std::vector<session::ListedBoard>& boards, std::size_t board);

enum class Outcome {
    Written,     // the board took it all, and its read-back holds it
    NotWritten,  // it was meant to be written, and is not (or not wholly)
    Skipped,     // a board that cannot be configured, passed over
};
// "written", "not written", "skipped": as result lines and JSON say it.
inline const char* outcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Written:
            return "written";
        case Outcome::Skipped:
            return "skipped";
        case Outcome::NotWritten:
            break;
    }
    return "not written";
}

// One board's part in a write of settings.
struct BoardResult {
    NamedBoard board;
    Outcome outcome = Outcome::NotWritten;
    std::optional<Settings> settings;   // what was sent to it; empty when nothing was
    bool read_back_equal = false;       // its read-back holds every setting sent
    std::vector<std::string> problems;  // why it is not written or was skipped, in words
};
// Listed board `board`, sent nothing for its state (stateText).
BoardResult untouched(const session::Snapshot& snapshot, std::size_t board, Outcome outcome);

// What keeps listed board `board` from being opened, if anything: the walk's probe, or the open
// that followed it.
std::optional<hid::UnusableBoard> openFailure(const session::Snapshot& snapshot, std::size_t board);

// "1.4", "0.0": a firmware version as lists and messages print it.
std::string firmwareText(std::uint16_t version);

// "ready", "firmware too old", "feature report too short", "no access", "busy", ...: the
// session's verdict on listed board `board`, opened or not.
std::string stateText(const session::Snapshot& snapshot, std::size_t board);

}  // namespace rotorix::profile
