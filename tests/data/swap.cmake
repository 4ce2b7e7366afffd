# The states between the file operations of a write-back and of a restore, and their order.
fw_add_gtest(swap_states_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/swap_states_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paradox/keys_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paradox/keys_pxlib.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paradox/keys_tree_check.cpp
  LIBS fw_data fw_test_support Qt6::Core SQLite::SQLite3)
