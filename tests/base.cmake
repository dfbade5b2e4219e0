# Tests of base/. UTF-8 <-> UTF-16 is checked where it is used (test_windows_platform, the cli).
# The Windows console: what waits for the rest of a character, and what reaches a console.
if(WIN32)
    rotorix_add_test(test_console_windows SOURCES test_console_windows.cpp LIBS base)
    # Under ctest the program's output is a pipe, so Wine gives it no console. On a pseudo
    # terminal (script, from util-linux) it gets one, and the console test must not skip.
    find_program(ROTORIX_SCRIPT script)
    if(ROTORIX_SCRIPT AND CMAKE_CROSSCOMPILING_EMULATOR)
        string(JOIN " " run ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_console_windows>
               --gtest_filter=WindowsConsole.TextReaches*)
        add_test(NAME test_console_windows_on_a_terminal COMMAND ${ROTORIX_SCRIPT} -qec "${run}" /dev/null)
        set_tests_properties(test_console_windows_on_a_terminal PROPERTIES LABELS unit
                             ENVIRONMENT ROTORIX_CONSOLE_EXPECTED=1)
    endif()
endif()
