# The Paradox writer, checked against pxlib as an independent reader.
fw_add_gtest(writer_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/writer_values_test.cpp ${CMAKE_CURRENT_LIST_DIR}/writer_replace_test.cpp
  LIBS fw_paradox fw_test_support)
