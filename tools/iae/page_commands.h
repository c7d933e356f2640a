// The pattern author's commands that look at a scenario's page: `iae dump`.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "platform/win32.h"
#include "uielement/element_type.h"

namespace iae_tool {

// Exit codes of dump: 0 done, 1 the page cannot be read, 2 a mistake in the scenario or an unknown page.
inline constexpr int kPageOk = 0;
inline constexpr int kPageFailed = 1;
inline constexpr int kPageUnusable = 2;

// Prints the skeleton of the page (empty: the first visible one) read through the backend.
// SCENARIO "-" reads standard input.
int RunDump(const std::string& scenarioFile, const std::string& page, installation_assistant::UIAccessType backend,
            std::ostream& out, std::ostream& err);

// Loads the scenario and shows the page for look; a scenario or page it cannot use is told on err (kPageUnusable).
int WithPage(const std::string& scenarioFile, const std::string& page, std::ostream& err,
             const std::function<int(HWND, const std::string& page)>& look);

}  // namespace iae_tool
