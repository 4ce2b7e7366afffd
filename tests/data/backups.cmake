# Backups of replaced tables and restoring one of them.
fw_add_gtest(backups_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/backups_test.cpp LIBS fw_data fw_test_support Qt6::Core)
