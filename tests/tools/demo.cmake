# The README's main job: the demo must run, uncheck both offers of the options page and report it.
add_test(NAME demo.main_job COMMAND iae demo)
set_tests_properties(demo.main_job PROPERTIES TIMEOUT 60
  PASS_REGULAR_EXPRESSION "SetEngineVersion version=\"1\\.5\\.0\\.3\"\n  ReportProcessedItems window=0x[0-9a-f]+ count=2\n  ReportItem patternId=1 resultCode=0 genericPattern=1 ")
