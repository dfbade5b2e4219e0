// The process's arguments and console output as UTF-8 text, on every system.
#pragma once

#include <string>
#include <vector>

namespace rotorix::base {

// The program's arguments, its own name left out, in UTF-8. On Windows main()'s argv is in the
// ANSI code page, which silently turns what it cannot hold into look-alikes (a serial "Ωmega"
// arrives as "Omega"), so the wide command line is read instead.
std::vector<std::string> programArguments(int argc, char* argv[]);

// While it lives, the console shows the program's UTF-8 output as text: a Windows console reads
// bytes in its own code page unless told otherwise; the old one is put back afterwards. Nothing
// happens elsewhere, or when the output is not a console.
class Utf8Console {
  public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    unsigned previous_ = 0;  // the code page to put back; 0: none was changed
};

}  // namespace rotorix::base
