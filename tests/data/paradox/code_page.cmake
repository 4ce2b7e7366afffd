fw_add_gtest(code_page_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/code_page_test.cpp LIBS fw_paradox)
