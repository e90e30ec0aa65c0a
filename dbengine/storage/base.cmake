# Lower half of the storage engine: errors, heap and lists, common routines, keys, collation,
# record bitmaps, the file layer and its byte-range locks.
list(APPEND VXDB_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/engine_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_heap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_keys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_decimal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/collation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/collation_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/locale_formats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/os_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_layer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/records_bitmap.cpp
)
# The date validators need the core's date conversions.
if(EXISTS ${CMAKE_SOURCE_DIR}/platform/core/datetime.cpp)
  list(APPEND VXDB_STORAGE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_validators.cpp)
endif()

vx_add_gtest(dbengine_storage_base_tests LABEL dbengine-storage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/engine_errors_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/engine_heap_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/file_layer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/keys_decimal_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/collation_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/records_bitmap_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/engine_common_test.cpp
  LIBS vxdbstorage)

vx_add_fuzzer(dbengine_storage_text_fuzz LABEL dbengine-storage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/text_routines_fuzz.cpp
  LIBS vxdbstorage
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/corpus_text)
