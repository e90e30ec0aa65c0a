# The table files: the lock and byte helpers they share, the data file and the BLOB file.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/table_file_owner.cpp
)
