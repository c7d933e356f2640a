# The README's main job: the demo must run, recognise the options page and report it.
add_test(NAME demo.main_job COMMAND iae demo)
set_tests_properties(demo.main_job PROPERTIES TIMEOUT 60
  PASS_REGULAR_EXPRESSION "SetEngineVersion version=\"1\\.5\\.0\\.3\"\n  ReportItem patternId=1 resultCode=0 genericPattern=1 ")
