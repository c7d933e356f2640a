#include "pattern_lints.h"

#include <boost/regex.hpp>
#include <set>

#include "common/text.h"
#include "pattern/lexer.h"
#include "pattern/text_condition.h"

namespace iae_tool {
namespace {

using installation_assistant::ElementSource;
using installation_assistant::ElementType;
using installation_assistant::EscapeForMessage;
using installation_assistant::Option;
using installation_assistant::PatternElement;
using installation_assistant::PatternSource;
using installation_assistant::SourcePosition;
using installation_assistant::TextMatch;
using installation_assistant::UIAccessType;
using installation_assistant::Utf8ToWide;

bool IsControl(ElementType type) {
  return type == ElementType::Button || type == ElementType::CheckBox || type == ElementType::RadioButton;
}

std::string Quoted(const std::string& text) { return "\"" + EscapeForMessage(text) + "\""; }

// Names on which a runaway expression makes the matcher give up: runs of each of its characters, ending in one that
// breaks the match, as nested repetitions like (a+)+ need to blow up.
std::vector<std::wstring> ProbeNames(const std::wstring& expression) {
  std::vector<std::wstring> probes{expression};
  std::set<wchar_t> seen;
  for (const wchar_t c : expression) {
    if (!iswalnum(c) || !seen.insert(c).second || seen.size() > 16) continue;
    probes.push_back(std::wstring(64, c) + L"\u00a7");
  }
  probes.push_back(std::wstring(4096, L'a'));
  return probes;
}

// Walks the model in the order the parser recorded the element positions.
class Linter {
 public:
  Linter(const PatternSource& source, std::vector<Problem>& problems) : source_(source), problems_(problems) {}

  void Element(const PatternElement& node, UIAccessType access) {
    const std::size_t index = next_++;
    if (node.GetText()) Text(node, index);
    if (node.GetId()) {
      Warn(Where(index, nullptr), "id=" + Quoted(node.GetId().Get()) +
                                      " is never compared: the element matches whatever its id; match on text");
    }
    bool off = false;
    bool click = false;
    for (const auto& action : node.GetActions()) {
      off = off || action->GetName() == "off";
      click = click || action->GetClickPoint();
      if (access == UIAccessType::UIAutomation && action->GetName() == "push") {
        Warn(Where(index, &ElementSource::state),
             "'push' under a UIAutomation root: that backend cannot push buttons; use an MSAA root");
      }
    }
    if (off && click) {
      Warn(Where(index, &ElementSource::state),
           "'off' and a click on the same element: the click comes after the uncheck and checks it again; keep one");
    }
    const auto children = node.GetChildren();
    for (std::size_t i = 0; i < children.size(); ++i) {
      const bool afterStar = i > 0 && children[i - 1]->GetType() == ElementType::Any;
      const std::size_t childIndex = next_;
      if (afterStar && children[i]->IsOptional()) {
        Warn(Where(childIndex, nullptr),
             "optional element right after '*': the search lets '?' match nothing first, so this element never "
             "takes part; drop the '?' or the '*'");
      }
      Element(*children[i], access);
    }
  }

 private:
  void Text(const PatternElement& node, std::size_t index) {
    const std::string& text = node.GetText().Get();
    const SourcePosition at = Where(index, &ElementSource::text);
    const std::wstring expression = Utf8ToWide(text);
    std::string invalid;
    if (!installation_assistant::IsValidTextCondition(expression, &invalid)) {
      Warn(at, "text " + Quoted(text) + " is not a valid regular expression for the matcher: " + invalid);
      return;
    }
    for (const std::wstring& probe : ProbeNames(expression)) {
      if (installation_assistant::MatchWholeText(expression, probe) == TextMatch::GaveUp) {
        Warn(at, "text " + Quoted(text) + " makes the matcher give up (its complexity limit) on names such as \"" +
                     EscapeForMessage(installation_assistant::WideToUtf8(probe.substr(0, 8))) +
                     "...\": they never match; avoid nested repetitions such as (a+)+");
        return;
      }
    }
    // Read as the author likely meant it: every character for itself, an escaped one too.
    std::wstring literal;
    for (std::size_t i = 0; i < expression.size(); ++i) {
      if (expression[i] == L'\\' && i + 1 < expression.size()) ++i;
      literal += expression[i];
    }
    if (text.find_first_of("()+?.") != std::string::npos &&
        installation_assistant::MatchWholeText(expression, literal) != TextMatch::Matched) {
      Warn(at, "text " + Quoted(text) + " does not match its own characters: ( ) + ? . are regular expression operators; write "
                   "\\\\( \\\\) \\\\+ \\\\? \\\\. in the pattern to mean the characters");
    }
    if (IsControl(node.GetType()) && text.find('&') != std::string::npos) {
      Warn(at, "text " + Quoted(text) + " has an '&': accessible names leave out the mnemonic's '&' (\"&Next\" is "
                   "read as \"Next\"); drop it");
    }
  }

  void Warn(SourcePosition at, std::string message) {
    problems_.push_back(Problem{at, Severity::Warning, std::move(message)});
  }

  SourcePosition Where(std::size_t index, Option<SourcePosition> ElementSource::*part) const {
    if (index >= source_.elements.size()) return SourcePosition{};
    const ElementSource& element = source_.elements[index];
    if (part == nullptr || !(element.*part)) return element.keyword;
    return (element.*part).Get();
  }

  const PatternSource& source_;
  std::vector<Problem>& problems_;
  std::size_t next_ = 0;
};

}  // namespace

void LintPattern(const installation_assistant::Pattern& pattern, const PatternSource& source, const std::string& text,
                 std::vector<Problem>& problems) {
  if (source.unread) {
    const SourcePosition at = source.unread.Get();
    installation_assistant::NullDiagnosticSink quiet;
    std::string what = "this text";
    for (const auto& token : installation_assistant::Tokenize(text, quiet)) {
      if (token.line == at.line && token.column == at.column) what = installation_assistant::DescribeToken(token);
    }
    problems.push_back(Problem{at, Severity::Error,
                               "the pattern ends before " + what +
                                   ": the engine ignores it and everything after it; is a '}' above one too many?"});
  }
  if (!pattern.HasActions()) {
    const SourcePosition first = source.elements.empty() ? SourcePosition{} : source.elements.front().keyword;
    problems.push_back(Problem{first, Severity::Warning,
                               "pattern has no actions: the engine rejects it unless the host adds it as silent"});
  }
  Linter linter(source, problems);
  for (const auto& root : pattern.GetRoots()) linter.Element(*root.element, root.accessType);
}

}  // namespace iae_tool
