// The process's arguments and console output as UTF-8 text, on every system.
#pragma once

#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace rotorix::base {

// The program's arguments, its own name left out, in UTF-8. On Windows main()'s argv is in the
// ANSI code page, which silently turns what it cannot hold into look-alikes (a serial "Ωmega"
// arrives as "Omega"), so the wide command line is read instead.
std::vector<std::string> programArguments(int argc, char* argv[]);

// While it lives, std::cout and std::cerr show the program's UTF-8 output as text. On Windows a
// stream that goes to a console is written as UTF-16 with WriteConsoleW, so every character shows
// whatever the console's code page (which is left alone); one that goes to a file or a pipe gets
// the UTF-8 bytes as they are. Nothing changes elsewhere.
class Utf8Console {
  public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    struct Streams;
    std::unique_ptr<Streams> streams_;  // the streams that were given a console's buffer
};

#ifdef _WIN32
// The length of `text`'s longest prefix that ends between two whole UTF-8 sequences: what is left
// is the start of a character whose remaining bytes have not been written yet.
std::size_t wholeUtf8(std::string_view text);

// A stream buffer that shows UTF-8 text on the console `console` (a console output handle)
// through WriteConsoleW, at each line's end and when flushed.
std::unique_ptr<std::streambuf> consoleBuffer(void* console);
#endif

}  // namespace rotorix::base
