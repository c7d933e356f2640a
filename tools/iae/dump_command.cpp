#include <iostream>

#include "common/handles.h"
#include "file_text.h"
#include "page_commands.h"
#include "scenario_runner.h"
#include "skeleton.h"

namespace iae_tool {

using installation_assistant::UIAccessType;

int RunDump(const std::string& scenarioFile, const std::string& page, UIAccessType backend, std::ostream& out,
            std::ostream& err) {
  return WithPage(scenarioFile, page, err, [&](HWND window, const std::string& pageName) {
    std::string skeleton;
    try {
      installation_assistant::ComInitialization com(COINIT_MULTITHREADED);
      const std::shared_ptr<installation_assistant::UIElement> root =
          installation_assistant::CreateRootElement(backend, window);
      root->Refresh();
      const std::string comment =
          "page \"" + pageName + "\" of " + InputName(scenarioFile) + ", read through " +
          AccessName(backend) +
          "\ndelete what should not matter (or put * or AnyLevel { } in its place); add { off }, { on } or { push }";
      if (!WriteSkeleton(root, backend, comment, skeleton)) {
        err << skeleton;
        return kPageFailed;
      }
    } catch (const _com_error& error) {
      err << "error: the page's window cannot be read through " << AccessName(backend) << ": HRESULT 0x" << std::hex
          << static_cast<unsigned long>(error.Error()) << std::dec << "\n";
      return kPageFailed;
    }
    out << skeleton;
    return kPageOk;
  });
}

int WithPage(const std::string& scenarioFile, const std::string& page, std::ostream& err,
             const std::function<int(HWND, const std::string&)>& look) {
  Scenario scenario;
  try {
    scenario = LoadScenario(scenarioFile);
  } catch (const ScenarioError& error) {
    err << error.what() << "\n";
    return kPageUnusable;
  }
  const int result = WithScenarioPage(scenario, page, err, look);
  return result == kScenarioUnusable ? kPageUnusable : result;
}

}  // namespace iae_tool
