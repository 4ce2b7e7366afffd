# The work database, the copy into it and the write-back.
fw_add_gtest(data_layer_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/workdb/work_database_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_copy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/write_back_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/write_back_faults_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/prefetched_changes_test.cpp
  LIBS fw_data fw_test_support Qt6::Core SQLite::SQLite3)
