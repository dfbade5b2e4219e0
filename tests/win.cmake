# The native Windows window (win/); its layout and the rules of what it shows are view/'s, checked
# by test_view (view.cmake).
# rotorix-config-check.exe, the window's test build: the window that ships, on real or virtual
# boards, run through a list of steps that print what its controls hold (tests/win/self_check.h).
# The demo's pair of boards is the one every front end's demo shares.
if(WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/win/CMakeLists.txt)
    set(manifest_rc ${PROJECT_SOURCE_DIR}/win/manifest.rc)
    set_source_files_properties(${manifest_rc} PROPERTIES
        OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/win/rotorix-config.manifest
        INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/win)
    add_executable(rotorix-config-check WIN32 win/check_main.cpp win/self_check.h
                                              win/self_check.cpp win/encoder_test_check.cpp
                                              win/file_check.cpp win/finder_check.cpp
                                              ${manifest_rc})
    target_link_libraries(rotorix-config-check PRIVATE win_window demo_boards sim hid config
                                                       rotorix_warnings)
    target_link_options(rotorix-config-check PRIVATE -static)
    rotorix_version_record(rotorix-config-check)
endif()

# The window itself, under Wine on a virtual X display (tests/win/wine-window): the test build
# rotorix-config-check prints what its controls hold after a list of steps, and that is compared
# with tests/win/expected/<name>.txt. Screenshots go to win-screenshots/ in the build tree.
if(WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/win/CMakeLists.txt)
    find_program(ROTORIX_XVFB_RUN xvfb-run)
    find_program(ROTORIX_WINE wine)
    find_program(ROTORIX_IMPORT import)
    if(ROTORIX_XVFB_RUN AND ROTORIX_WINE AND ROTORIX_IMPORT)
        # rotorix_window_test(<name> [SCREENSHOT] [DEMO <--demo...>] STEPS <steps...>)
        function(rotorix_window_test name)
            cmake_parse_arguments(ARG "SCREENSHOT" "DEMO" "STEPS" ${ARGN})
            set(actual ${PROJECT_BINARY_DIR}/win-check/${name}.txt)
            set(shot)
            if(ARG_SCREENSHOT)
                set(shot --screenshot ${PROJECT_BINARY_DIR}/win-screenshots/${name}.png)
            endif()
            add_test(NAME win.${name}
                     COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win/wine-window
                             ${PROJECT_BINARY_DIR}/wineprefix-window
                             ${CMAKE_CURRENT_SOURCE_DIR}/win/expected/${name}.txt
                             ${actual} ${shot} -- $<TARGET_FILE:rotorix-config-check>
                             ${ARG_DEMO} --self-check ${actual} ${ARG_STEPS})
            # One desktop per prefix: the window tests take turns.
            set_tests_properties(win.${name} PROPERTIES LABELS "wine;window" TIMEOUT 300
                                 RESOURCE_LOCK rotorix-wine-window)
        endfunction()
        include(${CMAKE_CURRENT_SOURCE_DIR}/win/window_tests.cmake)
    else()
        message(WARNING "xvfb-run, wine or import (ImageMagick) missing: the window's Wine tests are skipped")
    endif()
endif()

# The zip for Windows users (win/CMakeLists.txt).
if(WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/win/CMakeLists.txt)
    add_test(NAME win.zip
             COMMAND ${CMAKE_COMMAND} -DZIP=${PROJECT_BINARY_DIR}/rotorix-config-${PROJECT_VERSION}-windows-x64.zip
                     "-DPROGRAMS=$<IF:$<TARGET_EXISTS:rotorixctl>,rotorix-config$<SEMICOLON>rotorixctl,rotorix-config>"
                     -DVERSION=${PROJECT_VERSION} -DOBJDUMP=${CMAKE_OBJDUMP}
                     -DWORK=${PROJECT_BINARY_DIR}/win-check/zip
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/win/check-zip.cmake)
    set_tests_properties(win.zip PROPERTIES LABELS "wine;packaging")
endif()

# The Windows programs inside the VM rig, under Wine, on emulated USB boards (e2e/README.md). The
# rig's board program and the suites' drivers run on Linux: they come from the normal build that
# ROTORIX_E2E_HOST_BUILD names (scripts/test passes build-normal). The Wine prefix the guest
# starts from is made here, before the VM boots (run-vm --wine). The two suites take turns: each
# keeps one emulated CPU busy, and under the load of both Wine's start in the guest can outlast
# its own time limits.
set(ROTORIX_E2E_HOST_BUILD "" CACHE PATH "A normal (Linux) build whose e2e programs drive the Wine-in-VM suites")
if(WIN32 AND ROTORIX_E2E_HOST_BUILD)
    set(host ${ROTORIX_E2E_HOST_BUILD})
    include(${CMAKE_CURRENT_SOURCE_DIR}/e2e_boards.cmake)
    set(rig ${PROJECT_SOURCE_DIR}/e2e/vm/run-vm --wine ${PROJECT_BINARY_DIR}/wineprefix-vm
            --gadget ${host}/e2e/rotorix-usb-board --memory 1024)
    if(EXISTS ${PROJECT_SOURCE_DIR}/cli/CMakeLists.txt)
        # The command-line suite of the Linux build, on rotorixctl.exe. Wine starts afresh for
        # each of its many runs, on an emulated CPU that shares the machine with the other tests:
        # it has taken from 430 s to 640 s, so its bound leaves room for a slower machine. Each
        # run has its own bound within the suite, so a hang is still caught early.
        add_test(NAME wine-vm.cli
                 COMMAND ${rig} --timeout 1500 ${ROTORIX_CLI_VM_BOARDS}
                         --env "ROTORIX_CLI=rotorix-wine $<TARGET_FILE:rotorixctl>"
                         -- ${host}/tests/e2e_cli_vm_test)
        set_tests_properties(wine-vm.cli PROPERTIES LABELS "wine;e2e" TIMEOUT 1530
                             RESOURCE_LOCK rotorix-wine-vm)
    endif()
    if(EXISTS ${PROJECT_SOURCE_DIR}/win/CMakeLists.txt)
        # The window on two boards, driven by keystrokes from outside (tests/win/wine-window-vm).
        # Its dumps, the boards' logs and window.png stay in wine-vm-window/.
        add_test(NAME wine-vm.window
                 COMMAND ${rig} --xvfb --timeout 900 --results ${PROJECT_BINARY_DIR}/wine-vm-window
                     ${ROTORIX_VM_BOARD_PAIR}
                     -- ${CMAKE_CURRENT_SOURCE_DIR}/win/wine-window-vm
                        $<TARGET_FILE:rotorix-config-check> ${CMAKE_CURRENT_SOURCE_DIR}/win/expected)
        set_tests_properties(wine-vm.window PROPERTIES LABELS "wine;e2e;window" TIMEOUT 930
                             RESOURCE_LOCK rotorix-wine-vm)
    endif()
elseif(WIN32)
    message(STATUS "ROTORIX_E2E_HOST_BUILD not set: the Wine suites on emulated boards are skipped")
endif()
