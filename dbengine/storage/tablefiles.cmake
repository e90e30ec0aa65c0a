# The table files: the lock and byte helpers they share, the clean block copies the data and index
# files keep, the data file, the BLOB file and the file set of an open table over them and the
# index file.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/table_file_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lookup_budget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_block_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/blob_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_files.cpp
)

vx_add_gtest(dbengine_storage_tablefile_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/file_block_cache_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/blob_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/table_files_test.cpp
  LIBS vxdbstorage)

vx_add_fuzzer(dbengine_storage_data_fuzz LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/data_file_fuzz.cpp
  LIBS vxdbstorage
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/data_corpus)
