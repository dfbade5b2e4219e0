// The sub-commands, one per file, behind run()'s dispatch table. Private to cli/.
#pragma once

#include "cli/cli.h"
#include "cli/common.h"
#include "hid/platform.h"

namespace rotorix::cli {

// What a sub-command gets: the boards, the parsed options, the streams. `pace` runs after each
// of watch's reports (the demo's clock); null elsewhere.
struct Invocation {
    hid::Platform& platform;
    const Options& options;
    Context& context;
    void (*pace)(int ms) = nullptr;
};

int listCommand(const Invocation& call);
int showCommand(const Invocation& call);
int setCommand(const Invocation& call);
int exportCommand(const Invocation& call);
int importCommand(const Invocation& call);
// watch sends nothing at all, not even the read requests of a session's read-back, so it finds
// and opens its board through discovery alone.
int watchCommand(const Invocation& call);

}  // namespace rotorix::cli
