# Builds the bomber's archives (run with cmake -P by bomber.cmake):
#   -DGEN=bombergen -DSVG2BMP=svg2bmp -DDXG=dxg-write -DPACK=zlb-pack -DTEXT=cp1250-text
#   -DCHECK=bomber-town-check -DSRC=<this folder> -DCONTENT=<content folder> -DWORK=<build folder>
#   -DDIST=<installation folder> -DWITH_MAIN=ON|OFF (also bomber/bomber.zlb with the settings)
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${GEN} ${SRC}/towns.txt ${WORK} COMMAND_ERROR_IS_FATAL ANY)
file(GLOB svgs ${WORK}/svg/*.svg)
foreach(svg IN LISTS svgs)
  get_filename_component(name ${svg} NAME_WE)
  # Black is the games' transparent colour: half-covered edges are blended over it.
  execute_process(COMMAND ${SVG2BMP} --matte "#000000" ${svg} ${WORK}/bmp/${name}.bmp COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB skins ${WORK}/skin/*.svg)
set(interface ${WORK}/bmp/panel.bmp)
foreach(svg IN LISTS skins)
  get_filename_component(name ${svg} NAME_WE)
  execute_process(COMMAND ${SVG2BMP} --skin --matte "#2a64a3" ${svg} ${WORK}/bmp/${name}.bmp COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND interface ${WORK}/bmp/${name}.bmp)
endforeach()
file(MAKE_DIRECTORY ${DIST}/bomber/towns)
execute_process(COMMAND ${PACK} ${DIST}/bomber/interface.zlb ${interface} COMMAND_ERROR_IS_FATAL ANY)

set(collections)
foreach(dxg BOMBS BOMBEXPLOSION MIDEXPLOSION BIGEXPLOSION)
  execute_process(COMMAND ${DXG} ${WORK}/bmp/${dxg}.txt ${WORK}/${dxg}.DXG COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND collections ${WORK}/${dxg}.DXG)
endforeach()
if(WITH_MAIN)
  execute_process(COMMAND ${TEXT} ${CONTENT}/games/bomber/config.ini ${WORK}/config.ini COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${TEXT} ${CONTENT}/games/bomber/levels.ini ${WORK}/levels.ini COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${PACK} ${DIST}/bomber/bomber.zlb ${WORK}/config.ini ${WORK}/levels.ini ${collections}
                  COMMAND_ERROR_IS_FATAL ANY)
else()
  # The settings archive is packed by the content manifests; the collections wait beside it.
  file(COPY ${collections} DESTINATION ${WORK}/collections)
endif()

file(GLOB towns LIST_DIRECTORIES true ${WORK}/towns/*)
foreach(dir IN LISTS towns)
  get_filename_component(id ${dir} NAME)
  file(COPY_FILE ${WORK}/bmp/${id}_background.bmp ${dir}/background.bmp)
  file(GLOB parts ${WORK}/bmp/${id}_*_*.bmp)
  execute_process(COMMAND ${PACK} ${DIST}/bomber/towns/${id}.zlb ${dir}/info.txt ${dir}/town.ini ${dir}/background.bmp
                          ${parts} COMMAND_ERROR_IS_FATAL ANY)
  # A town that would stop the program's start or could not be played fails the build here.
  execute_process(COMMAND ${CHECK} ${DIST}/bomber/towns/${id}.zlb COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(TOUCH ${WORK}.stamp)
