# words.txt: our common words first, then a selection of the Debian Polish dictionary (package
# wpolish), in CP1250 with CR LF. Defines the target vx_words and the variable VX_WORDS_TXT (the
# built file), which the archive rules pack as words.txt.
include_guard(GLOBAL)

set(VX_POLISH_DICT /usr/share/dict/polish CACHE FILEPATH "Polish word list the word exercises draw on")
if(NOT EXISTS ${VX_POLISH_DICT})
  message(WARNING "${VX_POLISH_DICT} is missing: install the package wpolish (scripts/install-deps.sh); "
                  "words.txt cannot be built without it")
endif()

if(NOT TARGET vx-wordlist)
  if(NOT TARGET vxcore)
    message(FATAL_ERROR "the word list needs the folders platform/core and tools in the build")
  endif()
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/wordlist ${CMAKE_BINARY_DIR}/tools/wordlist)
endif()

set(VX_WORDS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VX_WORDS_TXT ${CMAKE_BINARY_DIR}/content/words/words.txt)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/content/words)

add_custom_command(
  OUTPUT ${VX_WORDS_TXT}
  COMMAND vx-wordlist --common ${VX_WORDS_DIR}/common.txt --dict ${VX_POLISH_DICT}
          --exclude ${VX_WORDS_DIR}/excluded.txt --out ${VX_WORDS_TXT} --min 20000
  DEPENDS vx-wordlist ${VX_WORDS_DIR}/common.txt ${VX_WORDS_DIR}/excluded.txt ${VX_POLISH_DICT}
  COMMENT "Building words.txt from the common words and the Polish dictionary"
  VERBATIM)
add_custom_target(vx_words ALL DEPENDS ${VX_WORDS_TXT})
