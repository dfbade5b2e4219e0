// What every part of the command line shares: the options as parsed, and how its messages
// begin. Private to cli/.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rotorix::cli {

// Before every message.
inline constexpr const char* kProgram = "rotorixctl: ";

// The walk found no board at all.
inline constexpr const char* kNoBoardAttached = "no Rotorix board is attached";

// A message as the program says it, on one line of standard error.
inline std::string message(const std::string& words) {
    return kProgram + words;
}

struct Options {
    bool demo = false;
    bool json = false;
    std::optional<std::string> board;  // --board, as typed (UTF-8)
    bool all = false;
    std::string output;                // export -o; empty: stdout
    std::string file;                  // import FILE; "-": stdin
    std::optional<long long> count;    // watch: changes; test: steps
    std::optional<long long> seconds;  // test
    double timeout = 30;               // which, in seconds
    std::vector<std::string> assignments;
};

}  // namespace rotorix::cli
