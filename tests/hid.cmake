# Tests of the hid/ layer. The hidapi backend needs hardware and is exercised by the VM rig, not here.
rotorix_add_test(test_report_descriptor SOURCES test_report_descriptor.cpp LIBS hid)
