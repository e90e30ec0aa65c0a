# The table files: the lock and byte helpers they share, the data file and the BLOB file.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/table_file_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/blob_file.cpp
)

vx_add_gtest(dbengine_storage_tablefile_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/data_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/blob_file_test.cpp
  LIBS vxdbstorage)
