# The Paradox table reader: files built byte by byte, damaged files, pxlib-written tables,
# and the inputs the fuzzer once found troublesome.
fw_add_gtest(paradox_reader_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/reader_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reader_format_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reader_corruption_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reader_pxlib_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reader_value_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reader_fuzz_regression_test.cpp
  LIBS fw_paradox fw_test_support Qt6::Core)
target_compile_definitions(paradox_reader_tests PRIVATE
  FW_FUZZ_REGRESSIONS="${CMAKE_CURRENT_LIST_DIR}/fuzz_regressions")
