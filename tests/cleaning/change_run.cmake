# The change run from the window's side: its statements, outcomes and safety, on tables of
# our own, of pxlib and, where the folder exists, of the Paradox engine itself (the
# environment variable FW_REALWORLD_DIR names another folder).
fw_add_gtest(change_run_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/change_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_safety_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/realworld_run_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/data/paradox/keys_support.cpp
    ${PROJECT_SOURCE_DIR}/tests/data/paradox/keys_tree_check.cpp
  LIBS fw_cleaning fw_data fw_paradox fw_test_support)
target_compile_definitions(change_run_tests PRIVATE FW_REALWORLD_DIR="${PROJECT_SOURCE_DIR}/../shared/realworld")
