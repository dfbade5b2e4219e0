# The command line on the simulated platform.
find_package(nlohmann_json REQUIRED)
rotorix_add_test(test_cli SOURCES test_cli.cpp test_cli_watch.cpp test_cli_json.cpp cli_fixture.h
                 LIBS cli sim nlohmann_json::nlohmann_json)
target_compile_definitions(test_cli PRIVATE
    ROTORIX_UDEV_RULE_FILE="${PROJECT_SOURCE_DIR}/packaging/linux/70-rotorix.rules")
