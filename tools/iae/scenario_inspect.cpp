// One page of the installer brought up without the engine, for `iae dump` and `iae pattern explain`: the pages are
// made as a run makes them, so the author sees the trees the engine would see.
#include "scenario_run.h"

namespace iae_tool::detail {

int ScenarioRun::Inspect(const std::string& page, std::ostream& err, const std::function<int(HWND, const std::string&)>& look) {
  const std::vector<ScenarioPage>& entries = scenario_.installer.pages;
  std::size_t index = entries.size();
  for (std::size_t i = 0; i < entries.size() && index == entries.size(); ++i) {
    if (page.empty() ? entries[i].visible : entries[i].name == page) index = i;
  }
  if (index == entries.size()) {
    std::string names;
    for (const ScenarioPage& entry : entries) names += (names.empty() ? "" : ", ") + entry.name;
    err << scenario_.file << ": error: "
        << (page.empty() ? "no page is visible at the start; name one with --page"
                         : "no page is named '" + page + "'")
        << " (pages: " << names << ")\n";
    return kScenarioUnusable;
  }
  installer_ = std::make_unique<simwin::Process>(scenario_.installer.image);
  for (std::size_t i = 0; i < entries.size(); ++i) CreatePage(i, entries[i].visible);
  const HWND window = PageWindow(index);
  int result = kScenarioFailed;
  if (window == nullptr) {
    err << scenario_.file << ": error: the installer could not create page '" << entries[index].name << "'\n";
  } else {
    installer_->Invoke([window] { ShowWindow(window, SW_SHOW); });
    result = look(window, entries[index].name);
  }
  installer_->Exit(0);
  installer_.reset();
  return result;
}

}  // namespace iae_tool::detail

namespace iae_tool {

int WithScenarioPage(const Scenario& scenario, const std::string& page, std::ostream& err,
                     const std::function<int(HWND, const std::string&)>& look) {
  ScenarioRunOptions options;
  options.quiet = true;
  detail::ScenarioRun run(scenario, options, err, err);
  return run.Inspect(page, err, look);
}

}  // namespace iae_tool
