# The window without a toolkit (view/): the control table, the view of a snapshot, and what picks
# and ticks do, for both windows, in every build (under the sanitizers too).
rotorix_add_test(test_view SOURCES test_view.cpp fixtures.h LIBS view sim base)
# The encoder test window's model over the input watch, on the simulated platform.
rotorix_add_test(test_encoder_test SOURCES test_encoder_test.cpp fixtures.h LIBS view sim base)
# The File menu's loads over the session, as both windows make them.
rotorix_add_test(test_file_menu SOURCES test_file_menu.cpp fixtures.h board_traffic.h
                 LIBS view sim base)
# The find window's model: every board watched at once, the pressed one switched to.
rotorix_add_test(test_board_finder SOURCES test_board_finder.cpp fixtures.h LIBS view sim base)
