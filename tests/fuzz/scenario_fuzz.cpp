// Fuzzes the scenario loader of the iae tool with the text of a scenario file; nothing is run. Relative file names
// (patterns, icons) resolve against examples/scenarios, as for the examples, so that the seeds parse in full.
//
// Checks: any text gives a scenario or a ScenarioError (never another exception: the tool prints that one as the
// file's mistake), whose message names the file first; a scenario holds its bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scenario.h"

#ifndef IAE_FUZZ_SCENARIO_DIR
#error IAE_FUZZ_SCENARIO_DIR names the folder that relative file names resolve against
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = std::string(IAE_FUZZ_SCENARIO_DIR) + "/fuzz.yaml";
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const iae_tool::Scenario scenario = iae_tool::ParseScenario(text, path);
    if (scenario.file != path) std::abort();
    if (scenario.timeoutMilliseconds < 100 || scenario.timeoutMilliseconds > 600000) std::abort();
    if (scenario.installer.pages.empty()) std::abort();
  } catch (const iae_tool::ScenarioError& error) {
    const std::string message = error.what();
    if (message.rfind(path + ":", 0) != 0 || message.size() <= path.size() + 2) std::abort();
  }
  return 0;
}
