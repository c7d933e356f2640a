// A window's element tree, as the engine's backends build it, written as a pattern that matches the window as it
// stands: the start of a pattern for an author, who deletes what should not matter and adds the states to set.
#pragma once

#include <memory>
#include <string>

#include "uielement/element_type.h"
#include "uielement/ui_element.h"

namespace iae_tool {

// The text of a "text" clause (the inside of its quotes) whose regular expression matches name and nothing else.
// In a control's text an '&' is written \x26, since check reads a written '&' as a mnemonic left in by mistake.
std::string LiteralTextClause(const std::string& name, bool control);

// The header, the comment lines (each written after "// "), then one root read through access: each element with
// its name, and after it a comment with its state and path. Elements a pattern cannot name (a control holding
// elements) become "*" with a comment saying what they were. False when the root's type has no keyword: then
// skeleton holds a comment saying so.
bool WriteSkeleton(const std::shared_ptr<installation_assistant::UIElement>& root,
                   installation_assistant::UIAccessType access, const std::string& comment, std::string& skeleton);

// "MSAA" or "UIAutomation", as a pattern root's prefix writes it.
const char* AccessName(installation_assistant::UIAccessType access);

}  // namespace iae_tool
