# The viewer controls (the HTML viewer and the frames viewer) and their printing.
if(TARGET vxhtml)
  add_library(vxhtmlviewer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/htmlview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vwprint.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/framview.cpp)
    target_sources(vxhtmlviewer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/framview.cpp)
  endif()
  target_link_libraries(vxhtmlviewer PUBLIC vxhtml)
  find_package(JPEG REQUIRED)
  set(VXHTML_VIEWER_TESTS)
  foreach(f viewer_load_test.cpp viewer_print_test.cpp frames_test.cpp)
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/tests/${f})
      list(APPEND VXHTML_VIEWER_TESTS ${CMAKE_CURRENT_LIST_DIR}/tests/${f})
    endif()
  endforeach()
  if(VXHTML_VIEWER_TESTS)
    vx_add_gtest(htmlview_viewer_tests LABEL htmlview SOURCES ${VXHTML_VIEWER_TESTS} LIBS vxhtmlviewer JPEG::JPEG)
    if(TARGET htmlview_viewer_tests)
      target_compile_definitions(htmlview_viewer_tests PRIVATE VX_HTMLVIEW_TEST_DIR="${CMAKE_CURRENT_LIST_DIR}/tests")
    endif()
  endif()
endif()

# The timing targets of the viewer controls, run by hand (never a test).
if(VX_BENCH AND TARGET vxhtmlviewer)
  add_executable(htmlview_viewer_targets ${CMAKE_CURRENT_LIST_DIR}/bench/viewer_targets.cpp)
  target_link_libraries(htmlview_viewer_targets PRIVATE vxhtmlviewer JPEG::JPEG)
endif()
