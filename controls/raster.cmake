# The XML reader, vectors, leak report and log file, and the 32-bit raster family with the skinned
# controls drawn on it.
list(APPEND VXCONTROLS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/xmlreader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vectors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chckfree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/blend32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transform32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bitmaps32.cpp
)
list(APPEND VXCONTROLS_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/tests/xml_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/vectors_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/logfile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/blend_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/transform_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/bitmap32_test.cpp
)
