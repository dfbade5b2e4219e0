# The native Windows window (win/). Its layout and the rules of what it shows hold no Windows
# header, so they are checked in every build, under the sanitizers too.
rotorix_add_test(test_win_view
    SOURCES test_win_view.cpp ${PROJECT_SOURCE_DIR}/win/layout.cpp ${PROJECT_SOURCE_DIR}/win/view_state.cpp
    LIBS session config hid)
