# Tests of the hid/ layer. The hidapi backend needs hardware and is exercised by the VM rig, not here.
rotorix_add_test(test_report_descriptor SOURCES test_report_descriptor.cpp LIBS hid)
# The Linux device monitor's draining, and the hidapi platform's first answer about the device set.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    rotorix_add_test(test_udev_monitor SOURCES test_udev_monitor.cpp LIBS hid)
endif()
