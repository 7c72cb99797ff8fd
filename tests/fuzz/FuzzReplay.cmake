# Fuzz targets, two ways:
#  - every ordinary build: vn_add_fuzz_replay() builds the target with the normal compiler
#    and a replay main, and ctest runs it once over the seed corpus;
#  - VARNELO_FUZZ=ON: the "fuzzers" target builds every target listed in tests/fuzz/targets
#    with clang's libFuzzer and the sanitizers (build/fuzz/), and the test "fuzz_run"
#    fuzzes each for VARNELO_FUZZ_SECONDS. tests/fuzz/run-fuzz.sh does the same by hand.
include_guard(GLOBAL)

option(VARNELO_FUZZ "Build the libFuzzer targets with clang and run them briefly under ctest" OFF)
set(VARNELO_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the fuzz_run test")

# vn_add_fuzz_replay(name SOURCES target.cpp LIBS lib1 lib2 CORPUS folder)
function(vn_add_fuzz_replay name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/FuzzReplayMain.cpp)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
endfunction()

if(VARNELO_FUZZ)
  set(_vn_fuzz_script ${PROJECT_SOURCE_DIR}/tests/fuzz/run-fuzz.sh)
  add_custom_target(fuzzers ALL
    COMMAND ${_vn_fuzz_script} --build-only --out ${CMAKE_BINARY_DIR}/fuzz
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Building the libFuzzer targets with clang"
    USES_TERMINAL)
  add_test(NAME fuzz_run
    COMMAND ${_vn_fuzz_script} --out ${CMAKE_BINARY_DIR}/fuzz ${VARNELO_FUZZ_SECONDS}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()
