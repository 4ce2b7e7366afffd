fw_add_gtest(cli_usage_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_usage_test.cpp LIBS fw_test_support fw_paradox Qt6::Core)
target_compile_definitions(cli_usage_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(cli_usage_tests fieldwright-cli)
