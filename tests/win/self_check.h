// What the window's test build adds: a plain-text dump of every control as the window system
// holds it, and a list of steps (keys, ticks, a DPI change, a command) run one after another
// through the window's own message loop. Wine's windows are invisible to accessibility tools, so
// the checks under Wine read the window this way.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "win/main_window.h"

namespace rotorix::win {

// One line for the window, then one per control in creation order:
//   window caption="..." client=297x385 dpi=96 timer=50 running=1 focus=NAME
//   NAME CLASS x,y wxh enabled=1 visible=1 font=Arial/-13/204 text="..." [check=0] [items=[...]
//   selected=N]
// Text is UTF-8 with `"` and `\` escaped and control characters as \n or \xNN.
std::string dumpWindow(const MainWindow& window);

// Steps the caller understands better (the demo's boards); returns false for a step it does not
// know. `out` collects what the step prints.
using ExtraStep = std::function<bool(std::string_view step, std::string& out)>;

// Runs `steps` in order and returns what they printed. Each step is followed by every message it
// caused, so the next one starts from a settled window. Steps:
//   dump | show:NAME | focus  print the dump, one control's line of it, or the name of the
//                             control that holds the focus
//   timer                     print the timer's interval and whether it runs
//   key:NAME[+NAME...]        one keystroke through SendInput: TAB, SHIFT+TAB, UP, DOWN, F4,
//                             RETURN, ESCAPE, SPACE
//   wheel:NAME                one notch of the mouse wheel over control NAME
//   said                      how many announcements the window made since the last time,
//                             and the last one's words
//   tick                      one watchdog tick, as the timer raises it
//   dpi:N                     the window is told that its DPI is now N
//   sync:PATH                 writes a line to the FIFO PATH.ready, then reads the FIFO PATH.go
//                             to its end: someone else looks at the settled window meanwhile
//   live:PATH                 makes the file PATH.ready, then handles the window's messages
//                             until the file PATH.done appears: someone else types on it or
//                             looks at it meanwhile (the watchdog stays still)
//   until:open:SERIAL         the watchdog runs as its timer would until the board selector
//   until:none                shows SERIAL, or no board (at most a minute)
//   menubar                   print the menu bar, and whether it lies above the client area
//   menu:save | menu:load     the command of the menu item File > Save the settings, Load
//   menu:every | menu:exit    settings, Load settings onto every board, Exit; Board > Test
//   menu:find | menu:test     the encoders; Board > Find a board by pressing a button
//   find                      print the find window: caption, prompt, status, Cancel
//   find:wait                 wait for the boards' first input, then tick it
//   find:until                tick it as its timer would until it found a board and closed
//   findkey:NAME[+NAME...]    as key:, with the find window in the foreground
//   file:name:NAME            the file dialogs give NAME in the temporary folder from now on,
//                             and the message box a File command shows is read and closed
//   file:report               print the last message box's caption and text, and the name
//                             the save dialog was offered
//   file:bytes | file:junk    print NAME's bytes, or make NAME a file that is no profile
//   test                      print the encoder test window: caption, status, rows, findings
//   test:row:N                print row N of it (1..8)
//   test:wait                 wait for its first input (the turns of the board count from
//                             there), then tick it
//   test:until:N:FIRST:SECOND tick it as its timer would until row N counts FIRST and SECOND
//                             steps (at most a minute), then once more
//   test:said                 the test window's last announcement
//   testkey:NAME[+NAME...]    as key:, with the test window in the foreground
//   close                     the user closes the window
// An unknown step ends the run with "error: unknown step ..." in the output.
std::string runSteps(MainWindow& window, const std::vector<std::string>& steps,
                     const ExtraStep& extra);

// The steps on the menu and the encoder test window (encoder_test_check.cpp).
std::string encoderTestStep(MainWindow& window, std::string_view step);
// The steps on the File menu (file_check.cpp) and the find window (finder_check.cpp).
std::string fileStep(MainWindow& window, std::string_view step);
std::string finderStep(MainWindow& window, std::string_view step);
std::string utf8(const std::wstring& text);
std::string quoted(const std::wstring& text);
std::wstring windowText(HWND hwnd);
bool sendKeys(std::string_view chord);

}  // namespace rotorix::win
