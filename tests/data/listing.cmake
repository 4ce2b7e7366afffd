fw_add_gtest(table_listing_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/table_listing_test.cpp ${CMAKE_CURRENT_LIST_DIR}/copy_db_test.cpp
  LIBS fw_data fw_files)
