# Connections, work database, listing, copy and write-back: every .cpp of data/ itself.
file(GLOB FW_DATA_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
list(FILTER FW_DATA_SOURCES INCLUDE REGEX "\\.cpp$")
if(FW_DATA_SOURCES)
  add_library(fw_data STATIC ${FW_DATA_SOURCES})
  target_link_libraries(fw_data PUBLIC fw_paradox fw_files fw_core Qt6::Core SQLite::SQLite3)
  fw_strict_logic(fw_data)
else()
  add_library(fw_data INTERFACE)
  target_link_libraries(fw_data INTERFACE fw_paradox fw_core)
endif()
target_include_directories(fw_data INTERFACE ${PROJECT_SOURCE_DIR})

# The empty work database that the program finds beside itself and never creates: a file
# of 0 bytes is an empty SQLite database. Whatever links fw_data depends on it.
set(FW_WORK_DATABASE ${CMAKE_BINARY_DIR}/dbTemp.mdb)
add_custom_command(OUTPUT ${FW_WORK_DATABASE}
  COMMAND ${CMAKE_COMMAND} -E touch ${FW_WORK_DATABASE}
  COMMENT "Empty work database dbTemp.mdb")
add_custom_target(fw_work_database DEPENDS ${FW_WORK_DATABASE})
add_dependencies(fw_data fw_work_database)
