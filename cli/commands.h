// The sub-commands, one per file, behind run()'s dispatch table. Private to cli/.
#pragma once

#include <functional>

#include "cli/cli.h"
#include "cli/common.h"
#include "cli/result.h"
#include "hid/platform.h"

namespace rotorix::cli {

// What a sub-command gets: the boards, the parsed options, and the context for what it reads
// (standard input, the stop flag, the waits of watch and test); it never writes to the context's
// streams. `pace` runs after each of watch's reports (the demo's clock); null elsewhere. `stream`
// prints one of the events of watch or test as it happens.
struct Invocation {
    hid::Platform& platform;
    const Options& options;
    Context& context;
    void (*pace)(int ms) = nullptr;
    std::function<void(const WatchEvent&)> stream;
};

// Each returns what it found, for the printer; none prints.
Result listCommand(const Invocation& call);
Result showCommand(const Invocation& call);
Result setCommand(const Invocation& call);
Result exportCommand(const Invocation& call);
Result importCommand(const Invocation& call);
// watch sends nothing at all, not even the read requests of a session's read-back, so it finds
// and opens its board through discovery alone. Its changes go to `stream` as they come; the
// result holds only how it ended.
Result watchCommand(const Invocation& call);
// test reads the board's settings as show does, then watches its buttons on a handle of its own
// and measures each encoder step. The settings and each step go to `stream` as they come; the
// result holds the totals and the findings.
Result testCommand(const Invocation& call);
// which watches every board's input at once and names the one whose buttons change first after
// watching began (a button held from the start counts only once it changes); boards plugged in
// meanwhile are watched too. Like watch it sends nothing. Its prompt and the boards it cannot
// watch go to `stream`; no change before --timeout ends it with kNoChange.
Result whichCommand(const Invocation& call);
// Prints the udev rule the packages install; touches no board.
Result udevRuleCommand(const Invocation& call);

}  // namespace rotorix::cli
