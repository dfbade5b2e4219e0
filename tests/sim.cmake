# The virtual board, and the discovery and settings exchanges that are tested against it.
rotorix_add_test(test_protocol SOURCES test_protocol.cpp LIBS config)
rotorix_add_test(test_firmware_model SOURCES test_firmware_model.cpp LIBS sim)
rotorix_add_test(test_sim_platform SOURCES test_sim_platform.cpp LIBS sim config)
rotorix_add_test(test_discovery SOURCES test_discovery.cpp LIBS sim hid config)
rotorix_add_test(test_settings_io SOURCES test_settings_io.cpp LIBS sim config)
