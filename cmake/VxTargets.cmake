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

# vx_add_fuzzer(NAME LABEL <label> SOURCES <files...> LIBS <targets...> CORPUS <dir>)
# The source defines LLVMFuzzerTestOneInput. With VX_FUZZ the target is a libFuzzer binary;
# otherwise it links a small replay driver. Either way a CTest test replays the seed corpus,
# so every build checks that the known inputs still pass.
function(vx_add_fuzzer name)
  cmake_parse_arguments(A "" "LABEL;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT VX_TESTS AND NOT VX_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  if(VX_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz-replay.${name} COMMAND ${name} -runs=0 ${A_CORPUS})
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
    add_test(NAME fuzz-replay.${name} COMMAND ${name} ${A_CORPUS})
  endif()
  set_tests_properties(fuzz-replay.${name} PROPERTIES LABELS "${A_LABEL};fuzz")
endfunction()
