# What a table's header says beyond its fields: password protection (tables read and changed,
# checked against pxlib and, where the folder exists, tables the engine itself protected;
# FW_REALWORLD_DIR names another folder) and the code page of its language driver.
fw_add_gtest(paradox_header_facts_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/encryption_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/language_driver_test.cpp
  LIBS fw_paradox fw_test_support Qt6::Core)
target_compile_definitions(paradox_header_facts_tests PRIVATE
  FW_REALWORLD_DIR="${PROJECT_SOURCE_DIR}/../shared/realworld")
