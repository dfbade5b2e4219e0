// The console on Windows: the program's UTF-8 reaches a console as UTF-16, whatever its code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdlib>
#include <ostream>
#include <string>

#include "base/console.h"

namespace rotorix::base {
namespace {

TEST(WindowsConsole, ACharacterCutBetweenTwoWritesWaitsForItsEnd) {
    const struct {
        const char* text;
        std::size_t whole;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"a\xCE", 1},                 // the lead byte of a two-byte character
        {"a\xCE\xA9", 3},             // and its end
        {"a\xE2\x9C", 1},             // two bytes of three
        {"\xF0\x9F\x98", 0},          // three bytes of four
        {"\xF0\x9F\x98\x80", 4},      // all four
        {"a\x80\x80\x80\x80", 5},     // no lead at all: broken, written as it is
        {"\xE2\x9C\x93\xE2\x9C", 3},  // one whole, one cut
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wholeUtf8(c.text), c.whole) << c.text;
    }
}

TEST(WindowsConsole, TextReachesTheConsoleAsUtf16AndTheCodePageStays) {
    if (GetConsoleOutputCP() == 0 && !AllocConsole()) {
        // Wine gives a program a console only on a terminal; one run of this test has one.
        ASSERT_EQ(std::getenv("ROTORIX_CONSOLE_EXPECTED"), nullptr) << "no console";
        GTEST_SKIP() << "no console to write to";
    }
    const UINT code_page = GetConsoleOutputCP();
    const HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                    CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    {
        const auto buffer = consoleBuffer(screen);
        std::ostream out(buffer.get());
        // "Ωmega ✓ Ä", with Ω and ✓ cut between writes.
        out << "\xCE";
        out << "\xA9mega \xE2\x9C";
        out << "\x93 \xC3\x84" << std::flush;
    }
    std::array<wchar_t, 9> shown{};
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()),
                                            COORD{0, 0}, &read));
    EXPECT_EQ(std::wstring(shown.data(), read), L"\x03A9mega \x2713 \x00C4");
    EXPECT_EQ(GetConsoleOutputCP(), code_page);
    CloseHandle(screen);
}

}  // namespace
}  // namespace rotorix::base
