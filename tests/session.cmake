# The board logic without a window: no QApplication, no Qt at all.
rotorix_add_test(test_session_notice SOURCES test_session_notice.cpp LIBS session sim)
rotorix_add_test(test_session_search SOURCES test_session_search.cpp LIBS session sim)
