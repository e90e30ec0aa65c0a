# Builds the gallery's files (run with cmake -P by gallery.cmake):
#   -DGEN=gallerygen -DSVG2BMP=svg2bmp -DPACK=zlb-pack -DTEXT=cp1250-text -DCHECK=gallery-check
#   -DSRC=<this folder> -DWORK=<build folder> -DDIST=<installation folder>
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${GEN} ${WORK} COMMAND_ERROR_IS_FATAL ANY)
file(MAKE_DIRECTORY ${WORK}/bmp ${DIST}/gallery/themes)
execute_process(COMMAND ${TEXT} ${SRC}/gallery.xml ${DIST}/gallery/gallery.xml COMMAND_ERROR_IS_FATAL ANY)

# The frame is opaque but for its green window; the bar and the buttons are skinned pictures
# (what they leave uncovered becomes the transparent green).
execute_process(COMMAND ${SVG2BMP} ${WORK}/svg/obrazytlo.svg ${WORK}/bmp/obrazytlo.bmp COMMAND_ERROR_IS_FATAL ANY)
set(interface ${WORK}/bmp/obrazytlo.bmp)
file(GLOB skins ${WORK}/skin/*.svg)
foreach(svg IN LISTS skins)
  get_filename_component(name ${svg} NAME_WE)
  execute_process(COMMAND ${SVG2BMP} --skin --matte "#163b6b" ${svg} ${WORK}/bmp/${name}.bmp COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND interface ${WORK}/bmp/${name}.bmp)
endforeach()
execute_process(COMMAND ${PACK} ${DIST}/gallery/interface.zlb ${interface} COMMAND_ERROR_IS_FATAL ANY)

file(GLOB themes LIST_DIRECTORIES true ${WORK}/themes/*)
file(GLOB old ${DIST}/gallery/themes/*.zlb)
if(old)
  file(REMOVE ${old})
endif()
foreach(dir IN LISTS themes)
  get_filename_component(id ${dir} NAME)
  execute_process(COMMAND ${TEXT} ${dir}/titles.txt ${dir}/titles.cp1250 COMMAND_ERROR_IS_FATAL ANY)
  file(RENAME ${dir}/titles.cp1250 ${dir}/titles.txt)
  set(members ${dir}/titles.txt)
  file(GLOB svgs ${dir}/*.svg)
  foreach(svg IN LISTS svgs)
    get_filename_component(name ${svg} NAME_WE)
    execute_process(COMMAND ${SVG2BMP} ${svg} ${dir}/${name}.bmp COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND members ${dir}/${name}.bmp)
  endforeach()
  execute_process(COMMAND ${PACK} ${DIST}/gallery/themes/${id}.zlb ${members} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# Content the game would trip over fails the build here.
execute_process(COMMAND ${CHECK} ${DIST} COMMAND_ERROR_IS_FATAL ANY)
file(TOUCH ${WORK}.stamp)
