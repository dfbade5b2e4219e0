# The window as people without a mouse, with a screen reader, or without access rights meet it.
find_package(Qt6 REQUIRED COMPONENTS Test)
rotorix_add_test(test_accessibility SOURCES test_accessibility.cpp qt_main.cpp LIBS app sim Qt6::Test)
