# The board logic without a window: no QApplication, no Qt at all. demo_boards is plain C++ too.
foreach(theme notice search watchdog readback writes switching snapshot random unanswered)
    rotorix_add_test(test_session_${theme}
        SOURCES test_session_${theme}.cpp session_fixture.h board_traffic.h
        LIBS session sim demo_boards)
endforeach()
# The retry timing alone: no platform, no session.
rotorix_add_test(test_retry_timing SOURCES test_retry_timing.cpp LIBS session)
