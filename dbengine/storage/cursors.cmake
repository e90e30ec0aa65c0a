# Middle of the storage engine: sessions and directories, open tables with their lock protocol and
# transactions, field definitions and values, and cursors.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/data_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/journal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_fields.cpp
)
# The cursor, over the table file set.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor_nav.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor_blobs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor_filters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_cursor_sort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cursor_filters.cpp
)
vx_add_gtest(dbengine_storage_data_cursor_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_open_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_records_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_fields_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_scale_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_range_scan_test.cpp
  LIBS vxdbstorage)

vx_add_gtest(dbengine_storage_cursor_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/cursor_test_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/cursor_session_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_table_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/cursor_fields_test.cpp
  LIBS vxdbstorage)

vx_add_gtest(dbengine_storage_cursor_filter_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_filter_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_filter_sort_test.cpp
  LIBS vxdbstorage)

# Restructuring a table.
list(APPEND VXDB_STORAGE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_cursor_restructure.cpp)
vx_add_gtest(dbengine_storage_restructure_tests LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/data_cursor_restructure_test.cpp
  LIBS vxdbstorage)

# Commits interrupted at every write and sync, power cuts and a full disk.
vx_add_gtest(dbengine_storage_commit_crash_tests LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/commit_crash_test.cpp
  LIBS vxdbstorage)

# Savers killed at random moments, alone and in pairs (a bounded count; VX_CRASH_TRIALS for more).
vx_add_gtest(dbengine_storage_kill_loop_tests LABEL dbengine-crash
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/commit_kill_loop_test.cpp
  LIBS vxdbstorage)

# Damage found on reading and by the table checks.
vx_add_gtest(dbengine_storage_damage_tests LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/damage_test.cpp
  LIBS vxdbstorage)

# The directory journal as a log kept across commits: power cuts after its sync, a writer killed
# while others work, checkpoints interrupted at every step, torn frames, its bound under 8 processes.
vx_add_gtest(dbengine_storage_journal_log_tests LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/journal_log_test.cpp
  LIBS vxdbstorage)
