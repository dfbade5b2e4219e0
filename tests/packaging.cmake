# What packaging/ ships: the udev rule, and the icon files generated from the XPM sources.
rotorix_add_test(test_udev_rule SOURCES test_udev_rule.cpp LABEL packaging)
target_compile_definitions(test_udev_rule PRIVATE
    ROTORIX_UDEV_RULE_FILE="${PROJECT_SOURCE_DIR}/packaging/linux/70-rotorix.rules")

# The PNGs and the .ico are committed; this fails when someone edits an XPM and forgets to
# regenerate them, or edits a generated file by hand.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
    add_test(NAME packaging.icons_match_their_sources
             COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/icons/make-icons --check)
    set_tests_properties(packaging.icons_match_their_sources PROPERTIES LABELS "unit;packaging")
else()
    message(WARNING "python3 not found: the check that the icons match their XPM sources is skipped")
endif()
