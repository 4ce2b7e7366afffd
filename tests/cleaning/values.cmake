# Values of a field and their variants: keys, distances and clusters, and the values and
# clusters commands on a table with variants planted in it.
fw_add_gtest(values_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/values/cluster_keys_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/values/clusters_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/values/planted_variants_test.cpp
  LIBS fw_cleaning fw_data fw_paradox Qt6::Core)
target_compile_definitions(values_tests PRIVATE FW_CLI_PATH="$<TARGET_FILE:fieldwright-cli>")
add_dependencies(values_tests fieldwright-cli)
