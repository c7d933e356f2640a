// What `iae pattern check` says about a pattern the engine accepts: likely mistakes, each with its place.
#pragma once

#include <string>
#include <vector>

#include "pattern/parser.h"

namespace iae_tool {

enum class Severity { Error, Warning, Note };

struct Problem {
  installation_assistant::SourcePosition position;
  Severity severity = Severity::Error;
  std::string message;
};

// Appends the problems of a parsed pattern; source is the parse's record of where each part was written.
void LintPattern(const installation_assistant::Pattern& pattern, const installation_assistant::PatternSource& source,
                 const std::string& text, std::vector<Problem>& problems);

}  // namespace iae_tool
