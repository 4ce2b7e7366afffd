fw_add_gtest(merge_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/merge_cli_test.cpp LIBS fw_test_support fw_paradox)
target_compile_definitions(merge_cli_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(merge_cli_tests fieldwright-cli)
