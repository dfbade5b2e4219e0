# Tests of the hid/ layer. The Linux backend's device calls need hardware and are exercised by the
# VM rig.
rotorix_add_test(test_report_descriptor SOURCES test_report_descriptor.cpp LIBS hid)
# What counts a change of the device set as handled, on every backend.
rotorix_add_test(test_change_tracker SOURCES test_change_tracker.cpp LIBS hid)
# The Linux device monitor's draining, and how long the Linux platform believes a quiet monitor;
# the walk's decision from names in a class directory made by the test, and what an open node
# refuses before the kernel is asked.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    rotorix_add_test(test_udev_monitor SOURCES test_udev_monitor.cpp LIBS hid)
    rotorix_add_test(test_linux_hidraw SOURCES test_linux_hidraw.cpp LIBS hid)
endif()

# The Windows backend where no board is needed: error codes and their text, the UTF-8 paths, the
# decisions taken from paths and instance IDs, and every device call failing as a value on a
# handle that is not a HID interface.
if(WIN32)
    rotorix_add_test(test_windows_platform SOURCES test_windows_platform.cpp LIBS hid)
    # The device's requests, bounded and cancelled, on a pipe that stands in for the driver.
    rotorix_add_test(test_windows_device SOURCES test_windows_device.cpp LIBS hid)
endif()
