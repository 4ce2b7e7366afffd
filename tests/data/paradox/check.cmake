# The health check of tables and the salvage reader: tables damaged on purpose, the engine's
# own tables where they are at hand, and the block size of new tables.
fw_add_gtest(paradox_check_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/keys_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_pxlib.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_tree_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_check_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_check_protected_test.cpp
  LIBS fw_paradox fw_test_support Qt6::Core)
if(EXISTS ${PROJECT_SOURCE_DIR}/../shared/realworld)
  get_filename_component(FW_REALWORLD_DEFAULT ${PROJECT_SOURCE_DIR}/../shared/realworld ABSOLUTE)
  target_compile_definitions(paradox_check_tests PRIVATE FW_REALWORLD_DIR="${FW_REALWORLD_DEFAULT}")
endif()
target_compile_definitions(paradox_check_tests PRIVATE
  FW_FUZZ_REGRESSIONS="${CMAKE_CURRENT_LIST_DIR}/fuzz_regressions")
