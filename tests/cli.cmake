# The command line on the simulated platform.
find_package(nlohmann_json REQUIRED)
rotorix_add_test(test_cli SOURCES test_cli.cpp test_cli_watch.cpp test_cli_json.cpp cli_fixture.h
                 LIBS cli sim nlohmann_json::nlohmann_json)
