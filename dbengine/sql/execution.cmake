# Planning and execution of SQL statements, the table statements and their tests.
target_sources(vxdbsql PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/sql_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sql_exec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sql_ddl.cpp
)

vx_add_gtest(dbengine_sql_exec_tests LABEL dbengine-sql
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_test_util.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_select_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_dml_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_app_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_process_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_idle_table_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_index_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/sql_exec_reuse_test.cpp
  LIBS vxdbsql)
