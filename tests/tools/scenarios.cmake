# Every example scenario checks its own expectations: `iae sim run` exits 0 only when the run
# ended as the file says it should.
file(GLOB IAE_EXAMPLE_SCENARIOS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/scenarios/*.yaml)
foreach(scenario ${IAE_EXAMPLE_SCENARIOS})
  get_filename_component(name ${scenario} NAME_WE)
  add_test(NAME scenario.example.${name} COMMAND iae sim run --quiet ${scenario})
  set_tests_properties(scenario.example.${name} PROPERTIES TIMEOUT 60)
endforeach()

# The patterns the scenarios use must stay free of syntax errors and warnings.
file(GLOB IAE_EXAMPLE_PATTERNS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/patterns/*.pattern)
# A statistics pattern has no actions on purpose; check warns about that. offer_page and setup_wizard show every
# part of the language for describe, an uncheck followed by a click and the id attribute among them.
list(FILTER IAE_EXAMPLE_PATTERNS EXCLUDE REGEX "(survey_checkboxes|offer_page|setup_wizard)\\.pattern$")
add_test(NAME scenario.example_patterns_check COMMAND iae pattern check --werror ${IAE_EXAMPLE_PATTERNS})

# The unit tests, prefixed so that `ctest -R scenario` selects them with the examples.
add_executable(scenario_test
  ${CMAKE_CURRENT_LIST_DIR}/scenario_parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_runner_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snapshot_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_commands_test.cpp)
target_link_libraries(scenario_test PRIVATE iae_scenario iae_snapshot iae_page_tools PkgConfig::CAIRO GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
target_include_directories(scenario_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_precompile_headers(scenario_test REUSE_FROM iae_gtest_pch)
target_compile_definitions(scenario_test PRIVATE IAE_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
                                                 IAE_BINARY="$<TARGET_FILE:iae>")
add_dependencies(scenario_test iae)
gtest_discover_tests(scenario_test TEST_PREFIX "scenario." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

# Two patterns acting on one page once depended on which won a race: played 50 times in a row.
add_test(NAME scenario.two_patterns_one_page_50_runs
         COMMAND sh -c "for run in $(seq 50); do \"$0\" sim run --quiet \"$1\" || exit 1; done"
                 $<TARGET_FILE:iae> ${PROJECT_SOURCE_DIR}/examples/scenarios/two_patterns_one_page.yaml)
set_tests_properties(scenario.two_patterns_one_page_50_runs PROPERTIES TIMEOUT 120)
