# The README's main job: the default scenario must run and meet its own expectations.
add_test(NAME demo.main_job
         COMMAND iae sim run ${PROJECT_SOURCE_DIR}/examples/scenarios/wizard.yaml)
set_tests_properties(demo.main_job PROPERTIES TIMEOUT 60)
