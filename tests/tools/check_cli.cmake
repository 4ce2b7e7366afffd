fw_add_gtest(check_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_cli_test.cpp LIBS fw_test_support fw_paradox Qt6::Core)
target_compile_definitions(check_cli_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(check_cli_tests fieldwright-cli)
