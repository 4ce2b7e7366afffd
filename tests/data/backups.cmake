# Backups of replaced tables and restoring one of them.
fw_add_gtest(backups_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/backups_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/digest_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paradox/keys_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paradox/keys_tree_check.cpp
  LIBS fw_data fw_paradox fw_test_support Qt6::Core)
