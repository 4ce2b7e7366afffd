# The work database (data/workdb/): SQLite, below the procedures that use it.
file(GLOB FW_WORKDB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/workdb/*.cpp)
add_library(fw_workdb STATIC ${FW_WORKDB_SOURCES})
target_include_directories(fw_workdb PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(fw_workdb PUBLIC fw_paradox fw_core Qt6::Core SQLite::SQLite3)
fw_strict_logic(fw_workdb)

# Copy in, write-back, backups, table listing, folder copy: every .cpp of data/ itself.
file(GLOB FW_DATA_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
add_library(fw_data STATIC ${FW_DATA_SOURCES})
target_include_directories(fw_data PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(fw_data PUBLIC fw_workdb fw_paradox fw_files fw_core Qt6::Core SQLite::SQLite3)
# The digests of backups (sha256.cpp): libcrypto's SHA-256 uses the processor's SHA instructions.
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
target_link_libraries(fw_data PRIVATE OpenSSL::Crypto)
fw_strict_logic(fw_data)

# The empty work database that the program finds beside itself and never creates: a file
# of 0 bytes is an empty SQLite database. Whatever links fw_data depends on it.
set(FW_WORK_DATABASE ${CMAKE_BINARY_DIR}/dbTemp.mdb)
add_custom_command(OUTPUT ${FW_WORK_DATABASE}
  COMMAND ${CMAKE_COMMAND} -E touch ${FW_WORK_DATABASE}
  COMMENT "Empty work database dbTemp.mdb")
add_custom_target(fw_work_database DEPENDS ${FW_WORK_DATABASE})
add_dependencies(fw_data fw_work_database)
