# The content check (CTest label "content"): runs on the built installation.
if(NOT TARGET vxtutorcore OR NOT TARGET vxgui)
  return()
endif()
vx_add_gtest(content_check LABEL content SOURCES ${VX_CONTENT_DIR}/installcheck/content_check.cpp
  LIBS vxtutorcore vxgui)
if(TARGET content_check)
  target_compile_definitions(content_check PRIVATE VX_DIST_DIR="${VX_DIST_DIR}")
  # The check reads what the content build makes: build it first.
  add_dependencies(content_check vx_content)
  if(TARGET dist-data)
    add_dependencies(content_check dist-data)
  endif()
endif()
