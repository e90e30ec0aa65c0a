# The index file of a table: its B+-tree pages and the file with its header, index descriptors,
# per-index page caches and free chains.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/index_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/index_file.cpp
)

vx_add_gtest(dbengine_storage_index_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/index_page_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/index_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/index_tree_test.cpp
  LIBS vxdbstorage)

vx_add_fuzzer(dbengine_storage_index_fuzz LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/index_file_fuzz.cpp
  LIBS vxdbstorage
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/index_corpus)
