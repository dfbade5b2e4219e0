// The one printer: every command's result, as text (tables and result lines) or as JSON. Nothing
// else in the command line writes to the streams. Private to cli/.
#pragma once

#include "cli/cli.h"
#include "cli/result.h"

namespace rotorix::cli {

// Messages on standard error, the output on standard output; with `json`, the output as one
// JSON document. A result without output prints only its messages.
void print(const Result& result, bool json, Context& context);

// One of watch's events, at once (also into a pipe): a change as a line of text, or with `json`
// as one JSON object on one line.
void print(const WatchEvent& event, bool json, Context& context);

}  // namespace rotorix::cli
