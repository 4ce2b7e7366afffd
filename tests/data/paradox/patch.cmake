# Texts back into values and the write-back that patches values in place, checked against
# pxlib and, where the folder exists, against tables the engine itself wrote (the
# environment variable FW_REALWORLD_DIR names another folder).
fw_add_gtest(paradox_patch_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/reader_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/value_from_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table_patch_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/realworld_test.cpp
  LIBS fw_paradox fw_test_support Qt6::Core)
target_compile_definitions(paradox_patch_tests PRIVATE
  FW_REALWORLD_DIR="${PROJECT_SOURCE_DIR}/../shared/realworld")
