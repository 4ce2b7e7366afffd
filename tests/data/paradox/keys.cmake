# Keyed tables: key order, the .PX and secondary indexes rebuilt after a change, checked against
# the engine's own tables (when they are at hand), pxlib and a tree check of the tests' own.
fw_add_gtest(paradox_keys_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/keys_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_pxlib.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_tree_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_realworld_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_pxlib_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_rewrite_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_scale_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keys_protected_test.cpp ${CMAKE_CURRENT_LIST_DIR}/key_order_test.cpp
  LIBS fw_paradox fw_test_support Qt6::Core)
if(EXISTS ${PROJECT_SOURCE_DIR}/../shared/realworld)
  get_filename_component(FW_REALWORLD_DEFAULT ${PROJECT_SOURCE_DIR}/../shared/realworld ABSOLUTE)
  target_compile_definitions(paradox_keys_tests PRIVATE FW_REALWORLD_DIR="${FW_REALWORLD_DEFAULT}")
endif()
