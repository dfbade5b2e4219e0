# Settings in words and the profile reader, under random input too; loading onto boards is
# checked through the command line (cli.cmake) and the windows' File menu (view.cmake).
rotorix_add_test(test_profile SOURCES test_profile.cpp LIBS profile)
