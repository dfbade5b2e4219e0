# The window's scenarios under Wine. `--demo` gives the window the two demo boards (app/
# demo_boards.cpp): RX-0117 (types 1:1 1:4 1:2 OFF..., 24 ms, listed) and RX-0342 (1:4 x4, 1:1 x2,
# OFF x2, 40 ms, hidden), listed in that order; the window opens the last one. Board numbers in
# the steps count from 1 in that order. Keys go through SendInput, so they take the path a real
# keystroke takes: the dialog loop for Tab, the list itself for the arrows, F4, Return and Escape.

# Loaded with no board: every control as the layout has it, the notice hidden, nothing to Tab to.
# Without --demo the window runs on the system's own HID platform, which under Wine on the host
# finds no board.
rotorix_window_test(no-board SCREENSHOT STEPS dump key:TAB focus sync:@SYNC@ close)
rotorix_window_test(no-board-demo DEMO --demo=none STEPS dump close)

# The demo boards, as the Linux screenshot shows them. The menu bar lies above the client area,
# which keeps the size and the controls their places of a window without one.
rotorix_window_test(demo SCREENSHOT DEMO --demo STEPS menubar dump sync:@SYNC@ close)

# Tab and Shift+Tab walk the lists and the check box in the order of the layout, wrapping round.
rotorix_window_test(tab-order DEMO --demo STEPS
    focus key:TAB focus key:TAB focus key:TAB focus key:TAB focus key:TAB focus key:TAB focus
    key:TAB focus key:TAB focus key:TAB focus key:TAB focus key:TAB focus key:TAB focus
    key:SHIFT+TAB focus key:SHIFT+TAB focus key:SHIFT+TAB focus close)

# The read-back, then the bytes of each write a keystroke makes, and the keystrokes that must make
# none: an arrow at the end of a list, a list opened and left with Escape.
rotorix_window_test(writes DEMO --demo STEPS
    traffic:2
    key:TAB key:TAB key:TAB key:TAB focus key:UP traffic:2 show:Enc3
    key:DOWN traffic:2 key:DOWN traffic:2 show:Enc3
    key:SHIFT+TAB key:SHIFT+TAB key:SHIFT+TAB focus
    key:F4 key:DOWN key:RETURN traffic:2 show:ModeCh1
    key:F4 key:DOWN key:ESCAPE traffic:2 show:ModeCh1
    key:F4 key:RETURN traffic:2
    key:SHIFT+TAB focus key:SPACE traffic:2 show:NoJoy key:SPACE traffic:2 show:NoJoy
    traffic:1 close)

# The board switch: a re-pick of the open board's serial reopens it; a pick of the other board
# closes this one, opens that one and shows its settings; the watchdog then runs at 250 ms.
rotorix_window_test(switch DEMO --demo STEPS
    traffic:1 traffic:2 timer
    key:SHIFT+TAB key:SHIFT+TAB focus key:F4 key:RETURN traffic:1 traffic:2 show:SerNo timer
    key:UP traffic:1 traffic:2 timer dump close)

# Unplugging: the open board goes, the other is opened in the same tick and the selector, now one
# board long, is disabled; with none left every control clears and the focus stays in the window;
# a board plugged in again is opened at the next tick and the keyboard works again.
rotorix_window_test(unplug DEMO --demo STEPS
    tick timer key:TAB key:TAB focus
    unplug:2 tick timer focus show:SerNo show:lblManuf show:Enc1 show:NoJoy
    unplug:1 tick timer focus dump
    replug:2 tick timer show:SerNo show:Enc1 key:TAB focus traffic:2 close)

# Per-monitor DPI: told that its DPI changed, the window scales its controls, fonts and client
# area, and back.
rotorix_window_test(dpi DEMO --demo STEPS dpi:144 dump dpi:192 dump dpi:96 dump close)

# A hide flag the board holds that is neither listed nor hidden shows the greyed box; a click
# makes it hidden. Boards that are attached but held by another program leave the window empty
# with a notice in plain words, the system's own quoted, over the identity rows.
rotorix_window_test(odd-boards SCREENSHOT DEMO --demo STEPS
    setting:2:1:2 key:SHIFT+TAB key:SHIFT+TAB key:F4 key:RETURN show:NoJoy
    key:TAB focus traffic:2 key:SPACE traffic:2 show:NoJoy
    busy:1 busy:2 unplug:2 tick replug:2 tick timer focus
    show:boardNotice show:SerNo show:lblManuf show:NoJoy sync:@SYNC@ close)

# The wheel over a list without the keyboard focus (a scroll passing over the window, which
# Windows sends to the control under the pointer) neither picks nor writes; over the list with
# the focus it picks and writes as before.
rotorix_window_test(wheel DEMO --demo STEPS
    traffic:2 wheel:Enc1 wheel:ModeCh1 wheel:SerNo traffic:1 traffic:2 show:Enc1 show:ModeCh1
    show:SerNo key:TAB focus wheel:ModeCh1 traffic:2 show:ModeCh1 close)

# A board that answers but refuses every read of its settings: reopened (by a re-pick here), it
# stays shown with a notice that is announced once, however many ticks follow, and never as a
# disconnection.
rotorix_window_test(unreadable DEMO --demo STEPS
    unreadable:2 said key:SHIFT+TAB key:SHIFT+TAB key:F4 key:RETURN said
    show:SerNo show:lblManuf show:boardNotice show:Enc1
    tick tick tick tick tick tick tick tick tick tick tick tick tick tick tick tick said
    show:boardNotice timer close)

# The encoder test window, opened from the menu item: it counts the steps the board turns, each
# way; the main window goes on beside it (a pick writes at once and restarts the counts with the
# new type, the watchdog runs). Esc closes it; Ctrl+T opens it again, and once open brings it to
# the front rather than open another.
rotorix_window_test(encoder-test DEMO --demo STEPS
    menu:test test test:wait turn:2:1:5:8 turn:2:2:-3:8 test:until:1:5:0 test:until:2:0:3
    test:row:1 test:row:2
    key:TAB key:TAB focus key:UP traffic:2 test:row:1 test:said tick timer
    testkey:ESCAPE test key:CTRL+T test key:CTRL+T test close)

# The File menu, with file names from the seam and the real message boxes: the shown board's
# settings saved under a name outside any ANSI code page, byte for byte; a changed setting put
# back by a load (Ctrl+O); the profile onto every board, each once; a file that is no profile, or
# none at all, writes nothing; Exit closes the window.
rotorix_window_test(files DEMO --demo STEPS
    traffic:2
    file:name:Prüfstand-é-Ω.json key:CTRL+S file:report file:bytes traffic:2
    key:TAB key:TAB key:TAB key:TAB key:UP traffic:2 show:Enc3
    key:CTRL+O file:report traffic:2 show:Enc3
    menu:every file:report traffic:1 traffic:2 show:SerNo
    file:name:not-a-profile.json file:junk menu:load file:report
    file:name:missing.json menu:every file:report traffic:1 traffic:2
    menu:exit)

# The find window (Ctrl+F, and its menu item): the main window waits, disabled, while it watches
# both boards; a button held from before it opened does not count, a press on the other board
# does, and the main window then shows that board. Esc leaves the selection as it was.
rotorix_window_test(find DEMO --demo STEPS
    buttons:2:1 key:CTRL+F find:wait find buttons:1:4 find:until find show:SerNo traffic:1
    menu:find findkey:ESCAPE find show:SerNo traffic:2 close)
