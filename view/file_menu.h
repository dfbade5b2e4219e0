// The File menu of both windows without a toolkit: what "Save the settings…" writes, and what a
// load does and says, board by board. A window asks the user for a file name with its own
// dialogs, reads or writes the file, and shows what these return; the boards are reached only
// through the session, on the window's thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profile/board_result.h"
#include "session/board_session.h"

namespace rotorix::view {

// What "Save the settings…" writes for the board shown: the profile (one line of JSON), or, when
// there is none to save, why not in words. `suggested_name` is a file name made from the board's
// serial ("RX-0117.json").
struct ProfileToSave {
    std::string text;  // UTF-8; empty when `problem` says why there is nothing to save
    std::u16string problem;
    std::u16string board;  // the board's name, as result lines give it
    std::u16string suggested_name;
};
ProfileToSave profileToSave(const session::Snapshot& shown);

// Which boards a load writes: the one shown, or every ready board of a fresh walk, each once.
enum class LoadTarget { ShownBoard, EveryBoard };

// What a load did, to show the user: one result per board, or why nothing was written.
struct LoadReport {
    // The file is not a profile (the reader's words), or there is no board to write to; nothing
    // was written to any board. Empty when boards were tried.
    std::u16string problem;
    std::vector<profile::BoardResult> boards;
    // Every board tried was written and reads back equal.
    bool all_written = false;
    // The whole report: `problem`, or one line per board (resultLine).
    std::u16string text;
};

// "RX-0117: written and read back equal", "RX-0342: not written: the board refused the pulse
// length (Broken pipe)", "C-3: skipped: firmware too old".
std::u16string resultLine(const profile::BoardResult& result);

// The report of a load that wrote to boards.
LoadReport reportOf(std::vector<profile::BoardResult> boards);
// The report of a load that wrote nothing: `problem` says why.
LoadReport refusedLoad(std::u16string problem);

}  // namespace rotorix::view
