// The pattern author's commands that look at a scenario's page: `iae dump` and `iae pattern explain`.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/win32.h"
#include "uielement/element_type.h"

namespace iae_tool {

// Exit codes of dump and explain: 0 done (explain: every root tried matched), 1 failed (explain: a root did not
// match, or the pattern has a syntax error), 2 a mistake in the scenario or an unknown page, 3 the pattern cannot
// be read.
inline constexpr int kPageOk = 0;
inline constexpr int kPageFailed = 1;
inline constexpr int kPageUnusable = 2;
inline constexpr int kPagePatternUnreadable = 3;

// Prints the skeleton of the page (empty: the first visible one) read through the backend.
// SCENARIO "-" reads standard input.
int RunDump(const std::string& scenarioFile, const std::string& page, installation_assistant::UIAccessType backend,
            std::ostream& out, std::ostream& err);

struct ExplainOptions {
  std::string page;  // empty: the first visible one
  std::optional<installation_assistant::UIAccessType> backend;  // only the roots read through it
  std::optional<int> root;                                       // only this root, from 1
};

// Matches the pattern's roots in order against the page with the engine's matchers and says, for the first root
// that fails, which node failed against which element and why; for the roots that match, the pairs and actions.
int RunExplain(const std::string& patternFile, const std::string& scenarioFile, const ExplainOptions& options,
               std::istream& in, std::ostream& out, std::ostream& err);

// Loads the scenario and shows the page for look; a scenario or page it cannot use is told on err (kPageUnusable).
int WithPage(const std::string& scenarioFile, const std::string& page, std::ostream& err,
             const std::function<int(HWND, const std::string& page)>& look);

}  // namespace iae_tool
