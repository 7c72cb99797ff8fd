# Fuzz targets, two ways:
#  - vn_add_fuzz_replay() builds the target with the normal compiler and a replay
#    main, and ctest runs it once over the seed corpus;
#  - the test "fuzz.bounded" (tests/CMakeLists.txt) builds every target listed in
#    tests/fuzz/targets with clang's libFuzzer and the sanitizers and fuzzes each
#    for VARNELO_FUZZ_SECONDS. tests/fuzz/run-fuzz.sh does the same by hand.
include_guard(GLOBAL)

# vn_add_fuzz_replay(name SOURCES target.cpp LIBS lib1 lib2 CORPUS folder)
function(vn_add_fuzz_replay name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/FuzzReplayMain.cpp)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
endfunction()

