// Runs a scenario on simwin against the engine linked into this program. scenario_run.h says which file does what.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "platform/win32.h"
#include "scenario.h"

namespace iae_tool {

struct ScenarioRunOptions {
  bool json = false;   // host calls as JSON lines on `out`; the story goes to `err`
  bool quiet = false;  // the outcome only
  bool stats = false;  // what the engine asked of the installer's accessibility, after the final state
  std::string traceFile;
  // A PNG of each installer window when it is shown, after each batch of the engine's actions, and at the end.
  std::string snapshotDir;
  // How long Run may take to return once the installer has exited before the program gives up on it.
  int runReturnGraceMilliseconds = 10000;
};

// Exit codes of `iae sim run`.
inline constexpr int kScenarioAsExpected = 0;
inline constexpr int kScenarioFailed = 1;
inline constexpr int kScenarioUnusable = 2;

int RunScenario(const Scenario& scenario, const ScenarioRunOptions& options, std::ostream& out, std::ostream& err);
// Loads the file first; a mistake in it is printed to err and gives kScenarioUnusable.
int RunScenarioFile(const std::string& path, const ScenarioRunOptions& options, std::ostream& out,
                    std::ostream& err);

// Brings up the scenario's installer without the engine, shows the page (empty: the first visible one) and returns
// what look returns for its window and the page's name; then the installer ends. A page that cannot be shown is told on err.
int WithScenarioPage(const Scenario& scenario, const std::string& page, std::ostream& err,
                     const std::function<int(HWND, const std::string& page)>& look);

}  // namespace iae_tool
