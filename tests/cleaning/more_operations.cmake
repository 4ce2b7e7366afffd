# The operations after the 27, merges and limited runs: pure texts, and whole runs on tables of
# our own in several code pages, keyed ones among them.
fw_add_gtest(more_operations_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unicode_operations_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/merge_and_limit_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/data/paradox/keys_support.cpp
    ${PROJECT_SOURCE_DIR}/tests/data/paradox/keys_tree_check.cpp
  LIBS fw_cleaning fw_data fw_paradox fw_test_support)
