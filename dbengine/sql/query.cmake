# The query component: an SQL statement's result as a dataset, over the dataset components and
# the statement executor. Only builds with the dataset components.
if(NOT TARGET vxdbcomponents)
  return()
endif()

add_library(vxdbquery STATIC
  ${CMAKE_CURRENT_LIST_DIR}/query_bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vxdb_query.cpp
)
target_link_libraries(vxdbquery PUBLIC vxdbcomponents vxdbsql)

vx_add_gtest(dbengine_sql_query_tests LABEL dbengine-sql
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/query_component_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/query_app_test.cpp
  LIBS vxdbquery $<TARGET_NAME_IF_EXISTS:vxdbschema>)
if(TARGET dbengine_sql_query_tests)
  target_compile_definitions(dbengine_sql_query_tests PRIVATE $<$<TARGET_EXISTS:vxdbschema>:VX_HAVE_SCHEMA=1>)
endif()
