# The extended controls (spin edit, slider, speed button, font and colour pickers, file-name edit)
# with the pictures and routines they share.
list(APPEND VXCONTROLS_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/glyphs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ctlutils.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spinedit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/slider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/speedbutton.cpp
  ${CMAKE_CURRENT_LIST_DIR}/combos.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fileedit.cpp
)
list(APPEND VXCONTROLS_GUI_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_ctlutils_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_spinedit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_slider_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_speedbutton_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_combos_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/ext_fileedit_test.cpp
)
