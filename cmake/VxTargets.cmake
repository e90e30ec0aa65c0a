# Helpers shared by every subsystem's CMakeLists.txt.

# vx_add_gtest(NAME LABEL <label> SOURCES <files...> LIBS <targets...>)
# One test executable per call; every TEST in it becomes a CTest test carrying the label.
function(vx_add_gtest name)
  cmake_parse_arguments(A "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT VX_TESTS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/test_environment.cpp)
  # Only the environment file learns where the tests' font configuration is (no other file rebuilds).
  set_source_files_properties(${CMAKE_SOURCE_DIR}/cmake/test_environment.cpp TARGET_DIRECTORY ${name}
    PROPERTIES COMPILE_DEFINITIONS "VX_TEST_FONTS_CONF=\"${CMAKE_SOURCE_DIR}/cmake/test-fonts.conf\"")
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} PROPERTIES LABELS "${A_LABEL}" DISCOVERY_TIMEOUT 60)
endfunction()

# The largest input libFuzzer makes for a target. Its own default, 4 KB, never reaches the sizes of
# real statements, documents, pictures and archives, and the faults that only long inputs show.
# Targets not named here get the default; a call may give its own MAX_LEN. The document target
# lays out and paints at three widths and takes at most 20000 bytes itself.
set(VX_FUZZ_MAX_LEN_DEFAULT 65536)
set(VX_FUZZ_MAX_LEN
  sql_fuzz=131072 filter_fuzz=65536 htmlview_html_fuzz=131072 htmlview_document_fuzz=20000
  controls_xml_fuzz=131072 fuzz_core_text=65536 dbengine_storage_text_fuzz=16384
  fuzz_bmp=262144 htmlview_gif_fuzz=262144 fuzz_dxg=131072 fuzz_wave=262144 tutor_zlb_fuzz=262144
  dbengine_storage_data_fuzz=262144 dbengine_storage_index_fuzz=262144)

# vx_add_fuzzer(NAME LABEL <label> SOURCES <files...> LIBS <targets...> CORPUS <dir> [MAX_LEN <bytes>])
# The source defines LLVMFuzzerTestOneInput. With VX_FUZZ the target is a libFuzzer binary;
# otherwise it links a small replay driver. Either way a CTest test replays the seed corpus,
# so every build checks that the known inputs still pass.
function(vx_add_fuzzer name)
  cmake_parse_arguments(A "" "LABEL;CORPUS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT A_MAX_LEN)
    set(A_MAX_LEN ${VX_FUZZ_MAX_LEN_DEFAULT})
    foreach(entry IN LISTS VX_FUZZ_MAX_LEN)
      if(entry MATCHES "^${name}=([0-9]+)$")
        set(A_MAX_LEN ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
  if(NOT VX_TESTS AND NOT VX_FUZZ)
    return()
  endif()
  # A seed longer than max_len would be cut short when libFuzzer loads it.
  file(GLOB_RECURSE seeds LIST_DIRECTORIES false ${A_CORPUS}/*)
  foreach(seed IN LISTS seeds)
    file(SIZE ${seed} seed_size)
    if(seed_size GREATER A_MAX_LEN)
      message(FATAL_ERROR "${seed} (${seed_size} bytes) is longer than the ${A_MAX_LEN} bytes of ${name}")
    endif()
  endforeach()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  if(VX_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # The seeds are replayed whole: max_len is never below the largest of them.
    add_test(NAME fuzz-replay.${name} COMMAND ${name} -max_len=${A_MAX_LEN} -runs=0 ${A_CORPUS})
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
    add_test(NAME fuzz-replay.${name} COMMAND ${name} ${A_CORPUS})
  endif()
  set_tests_properties(fuzz-replay.${name} PROPERTIES LABELS "${A_LABEL};fuzz")
endfunction()
