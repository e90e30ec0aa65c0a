# The skinned controls (buttons, check box and image drawn from archive pictures, the bitmap and
# region buttons) and the GUI half of the 32-bit raster family (exchange of TBitmap32 pictures
# with the platform's bitmaps, the image control with its layers, the bitmap list).
list(APPEND VXCONTROLS_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/bitmaps32_gui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ezrgnbtn.cpp
)
list(APPEND VXCONTROLS_GUI_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/tests/bitmap32_gui_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/image32_test.cpp
)

# The controls that read their pictures from resource archives need the archive reader of the
# application base; a build without the tutor folder leaves them out.
if(EXISTS ${CMAKE_SOURCE_DIR}/tutor/CMakeLists.txt AND (NOT vx_selected OR "tutor" IN_LIST vx_selected))
  list(APPEND VXCONTROLS_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/skinpaint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skincontrol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vxbutton.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vxcheckbox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vximage.cpp
  )
  list(APPEND VXCONTROLS_GUI_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/tests/skinned_button_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/skinned_checkbox_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/skinned_rgnbtn_test.cpp
    ${CMAKE_SOURCE_DIR}/tutor/tests/test_archive.cpp
  )
  list(APPEND VXCONTROLS_GUI_LIBS vxtutorbase)
endif()
