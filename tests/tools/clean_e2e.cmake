fw_add_gtest(clean_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/clean_cli_test.cpp LIBS fw_test_support fw_paradox)
target_compile_definitions(clean_cli_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(clean_cli_tests fieldwright-cli)
