# The bomber's content, built from source: the bombs and explosions (picture collections), the
# panel and buttons (bomber/interface.zlb) and the towns (bomber/towns/*.zlb), all drawn as SVG
# by bombergen from towns.txt and rendered like the rest of the interface. Every town is checked
# as the game reads it. Included by the content folder's CMakeLists.txt.
if(NOT TARGET vxgames OR NOT TARGET dxg-write)
  message(STATUS "content: the bomber's pictures need the games and dxg-write; skipped")
  return()
endif()
set(vx_bomber_src ${CMAKE_CURRENT_LIST_DIR})
add_executable(bombergen ${vx_bomber_src}/bombergen.cpp)
add_executable(bomber-town-check ${vx_bomber_src}/towncheck.cpp)
target_link_libraries(bomber-town-check PRIVATE vxgames)
# The settings archive comes from here unless a content manifest packs it already.
if(EXISTS ${VX_CONTENT_DIR}/archives/bomber.txt)
  set(vx_bomber_main OFF)
  message(STATUS "content: bomber/bomber.zlb is packed by archives/bomber.txt, without the bomber's picture collections")
else()
  set(vx_bomber_main ON)
endif()
set(vx_bomber_work ${VX_CONTENT_OUT}/bomber)
file(GLOB vx_bomber_inputs CONFIGURE_DEPENDS ${vx_bomber_src}/*)
add_custom_command(OUTPUT ${vx_bomber_work}.stamp
  COMMAND ${CMAKE_COMMAND} -DGEN=$<TARGET_FILE:bombergen> -DSVG2BMP=$<TARGET_FILE:svg2bmp>
          -DDXG=$<TARGET_FILE:dxg-write> -DPACK=$<TARGET_FILE:zlb-pack> -DTEXT=$<TARGET_FILE:cp1250-text>
          -DCHECK=$<TARGET_FILE:bomber-town-check> -DSRC=${vx_bomber_src} -DCONTENT=${VX_CONTENT_DIR}
          -DWORK=${vx_bomber_work} -DDIST=${VX_DIST_DIR} -DWITH_MAIN=${vx_bomber_main}
          -P ${vx_bomber_src}/build_bomber.cmake
  DEPENDS bombergen svg2bmp dxg-write zlb-pack cp1250-text bomber-town-check ${vx_bomber_inputs}
          ${VX_CONTENT_DIR}/games/bomber/config.ini ${VX_CONTENT_DIR}/games/bomber/levels.ini
  COMMENT "Bomber pictures, towns and archives" VERBATIM)
list(APPEND vx_content_outputs ${vx_bomber_work}.stamp)
