# The change run when the disk under the work database fails, through a fault-injecting VFS.
fw_add_gtest(work_db_fault_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/work_db_faults_test.cpp
  LIBS fw_cleaning fw_data fw_paradox fw_test_support SQLite::SQLite3)
