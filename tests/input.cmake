# The input layer: the encoder meter on its own, and the input watch's reader thread on the
# simulated platform.
rotorix_add_test(test_encoder_meter SOURCES test_encoder_meter.cpp LIBS input)
rotorix_add_test(test_input_watch SOURCES test_input_watch.cpp LIBS input sim)
