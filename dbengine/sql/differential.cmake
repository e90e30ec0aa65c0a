# The commit interval tests of the row loops, and the differential test against SQLite (linked
# into that one test program only).
vx_add_gtest(dbengine_sql_interval_tests LABEL dbengine-sql
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_test_util.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_interval_test.cpp
  LIBS vxdbsql)

find_package(SQLite3 QUIET)
if(SQLite3_FOUND)
  vx_add_gtest(dbengine_sql_differential_tests LABEL dbengine-sql
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_test_util.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/sql_differential_test.cpp
    LIBS vxdbsql SQLite::SQLite3)
else()
  message(STATUS "SQLite not found: no SQL differential test")
endif()
