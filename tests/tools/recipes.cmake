fw_add_gtest(recipe_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/recipe_cli_test.cpp LIBS Qt6::Core)
target_compile_definitions(recipe_cli_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>"
  FW_SAMPLES_DIR="${CMAKE_BINARY_DIR}/Samples")
add_dependencies(recipe_cli_tests fieldwright-cli samples)
