# The fuzz targets' kept corpora, replayed in the normal build (any compiler, each sanitizer build) by a plain
# main() instead of libFuzzer: one CTest test per target. The fuzzing itself is tests/fuzz/CMakeLists.txt.
set(IAE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

function(iae_add_fuzz_replay name)
  cmake_parse_arguments(ARG "" "" "LIBS;DEFINITIONS" ${ARGN})
  add_executable(${name}_replay ${IAE_FUZZ_DIR}/replay_main.cpp ${IAE_FUZZ_DIR}/${name}_fuzz.cpp)
  target_include_directories(${name}_replay PRIVATE ${IAE_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name}_replay PRIVATE ${ARG_DEFINITIONS})
  target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS})
  add_test(NAME fuzz_replay.${name} COMMAND ${name}_replay ${IAE_FUZZ_DIR}/corpus/${name})
  set_tests_properties(fuzz_replay.${name} PROPERTIES TIMEOUT 60)
endfunction()

iae_add_fuzz_replay(pattern LIBS iae_engine)
iae_add_fuzz_replay(host_records LIBS iae_engine)
iae_add_fuzz_replay(matcher LIBS iae_engine)
iae_add_fuzz_replay(scenario LIBS iae_scenario
                    DEFINITIONS IAE_FUZZ_SCENARIO_DIR="${PROJECT_SOURCE_DIR}/examples/scenarios")
