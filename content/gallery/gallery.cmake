# The gallery game's content, built from source: gallery/gallery.xml, the frame, title bar and
# buttons (gallery/interface.zlb) and the picture themes (gallery/themes/*.zlb), all drawn as SVG
# by gallerygen and rendered like the rest of the interface, then checked as the game reads them.
# Included by the content folder's CMakeLists.txt.
if(NOT TARGET vxgames)
  message(STATUS "content: the gallery's check needs the games; skipped")
  return()
endif()
set(vx_gallery_src ${CMAKE_CURRENT_LIST_DIR})
add_executable(gallerygen ${vx_gallery_src}/gallerygen.cpp)
add_executable(gallery-check ${vx_gallery_src}/gallerycheck.cpp)
target_link_libraries(gallery-check PRIVATE vxgames)
set(vx_gallery_work ${VX_CONTENT_OUT}/gallery)
add_custom_command(OUTPUT ${vx_gallery_work}.stamp
  COMMAND ${CMAKE_COMMAND} -DGEN=$<TARGET_FILE:gallerygen> -DSVG2BMP=$<TARGET_FILE:svg2bmp>
          -DPACK=$<TARGET_FILE:zlb-pack> -DTEXT=$<TARGET_FILE:cp1250-text> -DCHECK=$<TARGET_FILE:gallery-check>
          -DSRC=${vx_gallery_src} -DWORK=${vx_gallery_work} -DDIST=${VX_DIST_DIR}
          -P ${vx_gallery_src}/build_gallery.cmake
  DEPENDS gallerygen svg2bmp zlb-pack cp1250-text gallery-check ${vx_gallery_src}/gallerygen.cpp
          ${vx_gallery_src}/gallery.xml ${vx_gallery_src}/build_gallery.cmake
  COMMENT "Gallery pictures, themes and archives" VERBATIM)
list(APPEND vx_content_outputs ${vx_gallery_work}.stamp)
