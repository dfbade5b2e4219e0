# The main window on the simulated platform, one program per theme. QtTest supplies the real key
# and mouse events; the fixture makes the offscreen QApplication, so GoogleTest's main is enough.
find_package(Qt6 REQUIRED COMPONENTS Test)
foreach(theme layout render lifecycle input random menu)
    rotorix_add_test(test_frm_main_${theme}
        SOURCES test_frm_main_${theme}.cpp window_fixture.h board_traffic.h
        LIBS app sim demo_boards Qt6::Test
        LABEL window)
endforeach()
