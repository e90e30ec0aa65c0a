# Keyboard layouts: kbd-gen writes the pictures (SVG) and the key files from one geometry
# description; svg2bmp renders the pictures. vx_add_keyboard(GEOMETRY OUT_VAR) gives the four
# members NAME.bmp, NAME_fingers.bmp, NAME_keys.txt, NAME_chars.txt (NAME = the geometry's name).
function(vx_add_keyboard geometry out_var)
  if(NOT TARGET kbd-gen)
    message(FATAL_ERROR "content: the keyboard generator kbd-gen is not part of this build")
  endif()
  get_filename_component(name ${geometry} NAME_WE)
  set(dir ${VX_CONTENT_OUT}/keyboards)
  set(gen ${dir}/${name}.svg ${dir}/${name}_fingers.svg ${dir}/${name}_keys.txt ${dir}/${name}_chars.txt)
  add_custom_command(OUTPUT ${gen}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND kbd-gen ${geometry} ${VX_THEME_FILE} ${dir} ${name}
    DEPENDS kbd-gen ${geometry} ${VX_THEME_FILE}
    COMMENT "Keyboard layout ${name}" VERBATIM)
  set(out)
  foreach(pic ${name} ${name}_fingers)
    add_custom_command(OUTPUT ${dir}/${pic}.bmp
      COMMAND svg2bmp --matte ${keyboard_back} ${dir}/${pic}.svg ${dir}/${pic}.bmp
      DEPENDS svg2bmp ${dir}/${pic}.svg VERBATIM)
    list(APPEND out ${dir}/${pic}.bmp)
  endforeach()
  list(APPEND out ${dir}/${name}_keys.txt ${dir}/${name}_chars.txt)
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()
