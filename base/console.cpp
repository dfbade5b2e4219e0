// Systems whose argv and terminal already speak UTF-8 (see console_windows.cpp for Windows).
#include "base/console.h"

namespace rotorix::base {

std::vector<std::string> programArguments(int argc, char* argv[]) {
    return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
}

struct Utf8Console::Streams {};

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

}  // namespace rotorix::base
