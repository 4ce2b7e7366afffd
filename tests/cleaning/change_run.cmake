fw_add_gtest(change_run_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/change_run_test.cpp ${CMAKE_CURRENT_LIST_DIR}/run_safety_test.cpp
  LIBS fw_cleaning fw_data fw_paradox fw_test_support)
