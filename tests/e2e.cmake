# The virtual-board rig and the suites that run inside its VM (label "e2e").
include(${CMAKE_CURRENT_SOURCE_DIR}/e2e_boards.cmake)
if(NOT TARGET rotorix-usb-board)
    add_subdirectory(${PROJECT_SOURCE_DIR}/e2e ${PROJECT_BINARY_DIR}/e2e)
endif()

# On the host: the board function's descriptors and request handling.
rotorix_add_test(test_e2e_gadget SOURCES test_e2e_gadget.cpp LIBS e2e_gadget hid)

# The VM suites boot qemu with software emulation: minutes, not seconds, and nothing a sanitizer
# build would add to. They exist in the normal build only.
if(NOT ROTORIX_SANITIZE)
    set(ROTORIX_RUN_VM ${PROJECT_SOURCE_DIR}/e2e/vm/run-vm)

    # Platform and discovery through hidraw and usbhid against four emulated boards (the last
    # with strings longer than the kernel's HID_UNIQ keeps), beside uhid devices, and the input
    # watch on a board that turns its encoders.
    add_executable(e2e_platform_vm_test e2e/test_platform_vm.cpp e2e/test_platform_foreign_vm.cpp
                                        e2e/test_input_vm.cpp e2e/platform_vm_fixture.h
                                        e2e/vm_rig.cpp)
    target_include_directories(e2e_platform_vm_test PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(e2e_platform_vm_test PRIVATE input hid config base GTest::gtest
                                                       GTest::gtest_main rotorix_warnings)
    add_test(NAME e2e.platform
        COMMAND ${ROTORIX_RUN_VM} --gadget $<TARGET_FILE:rotorix-usb-board> --timeout 300
            ${ROTORIX_PLATFORM_VM_BOARDS} -- $<TARGET_FILE:e2e_platform_vm_test>)
    set_tests_properties(e2e.platform PROPERTIES LABELS e2e TIMEOUT 330)
endif()

# The window on the Linux backend inside the VM: scripted start-up, read-back, writes, watchdog,
# switching and keyboard tests, then boards vanishing at random points of read-backs and writes.
# Board 0 (firmware 0.0) is pulled out while the suite runs and put back by the one test that
# needs it.
if(NOT ROTORIX_SANITIZE AND ROTORIX_BUILD_APP)
    find_package(Qt6 REQUIRED COMPONENTS Test)
    add_executable(e2e_window_vm_test e2e/test_window_vm.cpp e2e/vm_rig.cpp window_fixture.h
                                      board_traffic.h)
    target_include_directories(e2e_window_vm_test PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(e2e_window_vm_test PRIVATE app sim hid config Qt6::Test GTest::gtest
                                                     GTest::gtest_main rotorix_warnings)
    add_test(NAME e2e.window
        COMMAND ${ROTORIX_RUN_VM} --gadget $<TARGET_FILE:rotorix-usb-board> --timeout 420
            ${ROTORIX_WINDOW_VM_BOARDS}
            -- $<TARGET_FILE:e2e_window_vm_test>)
    set_tests_properties(e2e.window PROPERTIES LABELS e2e TIMEOUT 450)
endif()

# The real rotorixctl on the Linux backend inside the VM: list, show, set, export from one board
# and import onto the other, a bad profile, a board that vanishes mid-import, watch, and which. The
# Windows build runs the same suite on rotorixctl.exe under Wine (tests/win.cmake).
if(NOT ROTORIX_SANITIZE AND EXISTS ${PROJECT_SOURCE_DIR}/cli/CMakeLists.txt)
    find_package(nlohmann_json REQUIRED)
    add_executable(e2e_cli_vm_test e2e/test_cli_vm.cpp e2e/vm_rig.cpp)
    target_include_directories(e2e_cli_vm_test PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(e2e_cli_vm_test PRIVATE ROTORIXCTL="$<TARGET_FILE:rotorixctl>")
    target_link_libraries(e2e_cli_vm_test PRIVATE nlohmann_json::nlohmann_json GTest::gtest
                                                  GTest::gtest_main rotorix_warnings)
    add_dependencies(e2e_cli_vm_test rotorixctl)
    add_test(NAME e2e.cli
        COMMAND ${ROTORIX_RUN_VM} --gadget $<TARGET_FILE:rotorix-usb-board> --timeout 300
            ${ROTORIX_CLI_VM_BOARDS} -- $<TARGET_FILE:e2e_cli_vm_test>)
    set_tests_properties(e2e.cli PROPERTIES LABELS e2e TIMEOUT 330)
endif()

# The hot-plug storm (e2e/vm/storm-hotplug): the window, driven by e2e_storm_window, with the real
# rotorix-config and a rotorixctl watch beside it, while boards and foreign devices come and go.
# The sanitizer build runs it, on the board program of the normal build that
# ROTORIX_E2E_HOST_BUILD names (scripts/test passes build-normal): a sanitized board would only
# slow the exchanges the storm means to cut. Two guest CPUs halve the storm's time; the bounds are
# three times the usual, as CI's other tests share the machine and a spurious hang helps nobody.
if(ROTORIX_BUILD_APP AND EXISTS ${PROJECT_SOURCE_DIR}/cli/CMakeLists.txt)
    add_executable(e2e_storm_window e2e/storm_window.cpp)
    target_link_libraries(e2e_storm_window PRIVATE app hid rotorix_warnings)
    set(ROTORIX_E2E_HOST_BUILD "" CACHE PATH "A normal (Linux) build whose e2e programs drive the Wine-in-VM suites")
    if(ROTORIX_SANITIZE AND ROTORIX_E2E_HOST_BUILD)
        add_test(NAME e2e.storm
            COMMAND ${PROJECT_SOURCE_DIR}/e2e/vm/storm-hotplug --events 100 --timeout 840
                --smp 2 --bound-scale 3
                --gadget ${ROTORIX_E2E_HOST_BUILD}/e2e/rotorix-usb-board
                --window-driver $<TARGET_FILE:e2e_storm_window>
                --program $<TARGET_FILE:rotorix-config> --cli $<TARGET_FILE:rotorixctl>)
        set_tests_properties(e2e.storm PROPERTIES LABELS e2e TIMEOUT 870)
    elseif(ROTORIX_SANITIZE)
        message(STATUS "ROTORIX_E2E_HOST_BUILD not set: the hot-plug storm (e2e.storm) is skipped")
    endif()
endif()
