fw_add_gtest(run_process_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/run_processes_test.cpp LIBS fw_paradox Qt6::Core)
target_compile_definitions(run_process_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(run_process_tests fieldwright-cli)
