#include "pattern_command.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "common/text.h"
#include "file_text.h"
#include "pattern/diagnostics.h"
#include "pattern/parser.h"
#include "pattern/pattern_model.h"
#include "pattern/token.h"

namespace iae_tool {
namespace {

using installation_assistant::CollectingDiagnosticSink;
using installation_assistant::Diagnostic;
using installation_assistant::ElementSource;
using installation_assistant::ElementTypeName;
using installation_assistant::ParsedPattern;
using installation_assistant::PatternElement;
using installation_assistant::PatternSource;
using installation_assistant::PatternVersion;
using installation_assistant::SourcePosition;
using installation_assistant::UIAccessType;

std::string ReadWhole(const std::string& file, std::istream& in, std::string& text) {
  return ReadInputText(file, in, text);
}

std::string DisplayName(const std::string& file) { return InputName(file); }

void PrintDiagnostics(const std::string& file, const CollectingDiagnosticSink& sink, std::ostream& err) {
  for (const Diagnostic& diagnostic : sink.Diagnostics()) err << DisplayName(file) << ":" << diagnostic.ToString() << "\n";
}

std::string DescribeActions(const PatternElement& node) {
  const auto actions = node.GetActions();
  if (actions.empty()) return "-";
  std::string list;
  for (const auto& action : actions) {
    if (!list.empty()) list += ",";
    list += action->GetName() + ":" + std::to_string(action->GetIndex());
    if (const auto& point = action->GetClickPoint()) {
      list += ":" + std::to_string(point.Get().x) + ":" + std::to_string(point.Get().y) +
              (point.Get().isAbsolute ? ":abs" : ":pct");
    }
  }
  return list;
}

void PrintNodes(const PatternElement& node, int depth, const UIAccessType* access, std::ostream& out) {
  out << "node " << depth << " " << ElementTypeName(node.GetType());
  if (access) out << (*access == UIAccessType::UIAutomation ? " access=UIAutomation" : " access=MSAA");
  out << " optional=" << (node.IsOptional() ? 1 : 0);
  out << " id=" << QuoteField(node.GetId() ? &node.GetId().Get() : nullptr);
  out << " text=" << QuoteField(node.GetText() ? &node.GetText().Get() : nullptr);
  out << " checkers=" << node.GetCheckerCount() << " actions=" << DescribeActions(node) << "\n";
  for (const auto& child : node.GetChildren()) PrintNodes(*child, depth + 1, nullptr, out);
}

void PrintDescription(const ParsedPattern& parsed, std::ostream& out) {
  const auto& pattern = *parsed.pattern;
  out << "version " << parsed.engineVersion.ToString() << "\n";
  out << "generic " << (pattern.IsGeneric() ? 1 : 0) << "\n";
  out << "actions " << (pattern.HasActions() ? 1 : 0) << "\n";
  out << "block " << (pattern.ContainsBlockAction() ? 1 : 0) << "\n";
  out << "pixelclick " << (pattern.ContainsPixelClick() ? 1 : 0) << "\n";
  out << "describe " << pattern.Describe() << "\n";
  for (const auto& root : pattern.GetRoots()) PrintNodes(*root.element, 0, &root.accessType, out);
}

struct Problem {
  SourcePosition position;
  bool error = true;
  std::string message;
};

// Walks the model in the order the parser recorded the element positions.
class Checker {
 public:
  Checker(const PatternSource& source, std::vector<Problem>& problems) : source_(source), problems_(problems) {}

  void CheckElement(const PatternElement& node, UIAccessType access) {
    const std::size_t index = next_++;
    if (node.GetText()) {
      const std::string& text = node.GetText().Get();
      try {
        boost::wregex expression(installation_assistant::Utf8ToWide(text), boost::regex_constants::ECMAScript);
      } catch (const std::exception& error) {
        problems_.push_back(Problem{Where(index, &ElementSource::text), false,
                                    "text \"" + installation_assistant::EscapeForMessage(text) +
                                        "\" is not a valid regular expression for the matcher: " + error.what()});
      }
    }
    if (access == UIAccessType::UIAutomation) {
      for (const auto& action : node.GetActions()) {
        if (action->GetName() == "push") {
          problems_.push_back(Problem{Where(index, &ElementSource::state), false,
                                      "'push' under a UIAutomation root: that backend cannot push buttons; use an "
                                      "MSAA root"});
        }
      }
    }
    for (const auto& child : node.GetChildren()) CheckElement(*child, access);
  }

 private:
  SourcePosition Where(std::size_t index, installation_assistant::Option<SourcePosition> ElementSource::*part) const {
    if (index >= source_.elements.size()) return SourcePosition{};
    const ElementSource& element = source_.elements[index];
    const auto& position = element.*part;
    return position ? position.Get() : element.keyword;
  }

  const PatternSource& source_;
  std::vector<Problem>& problems_;
  std::size_t next_ = 0;
};

std::vector<Problem> CheckText(const std::string& text) {
  std::vector<Problem> problems;
  CollectingDiagnosticSink sink;
  PatternSource source;
  installation_assistant::Option<ParsedPattern> parsed;
  try {
    parsed = installation_assistant::ParsePattern(text, sink, &source);
  } catch (const std::exception& error) {
    for (const Diagnostic& diagnostic : sink.Diagnostics()) {
      problems.push_back(Problem{SourcePosition{diagnostic.line, diagnostic.column}, true, diagnostic.message});
    }
    problems.push_back(Problem{source.version.GetOr(SourcePosition{}), true,
                               std::string(error.what()) + ": expected four numbers joined by '.'"});
    return problems;
  }
  for (const Diagnostic& diagnostic : sink.Diagnostics()) {
    problems.push_back(Problem{SourcePosition{diagnostic.line, diagnostic.column}, true, diagnostic.message});
  }

  installation_assistant::NullDiagnosticSink quiet;
  const auto version = installation_assistant::ParsePatternHeader(text, quiet);
  if (version && !installation_assistant::IsSupportedPatternVersion(version.Get())) {
    problems.push_back(Problem{source.version.GetOr(SourcePosition{}), false,
                               "version " + version.Get().ToString() + " is above the supported " +
                                   std::to_string(installation_assistant::kSupportedPatternMajor) + "." +
                                   std::to_string(installation_assistant::kSupportedPatternMinor) +
                                   ": the engine rejects the pattern"});
  }
  if (parsed) {
    const auto& pattern = *parsed.Get().pattern;
    if (!pattern.HasActions()) {
      const SourcePosition first = source.elements.empty() ? SourcePosition{} : source.elements.front().keyword;
      problems.push_back(Problem{first, false,
                                 "pattern has no actions: the engine rejects it unless the host adds it as silent"});
    }
    Checker checker(source, problems);
    for (const auto& root : pattern.GetRoots()) checker.CheckElement(*root.element, root.accessType);
  }
  std::stable_sort(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) {
    if (a.position.line != b.position.line) return a.position.line < b.position.line;
    return a.position.column < b.position.column;
  });
  return problems;
}

}  // namespace

std::string QuoteField(const std::string* value) {
  if (!value) return "-";
  std::string result = "\"";
  for (const char c : *value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      result += '\\';
      result += c;
    } else if (byte < 0x20 || byte > 0x7E) {
      char buffer[5];
      std::snprintf(buffer, sizeof(buffer), "\\x%02x", byte);
      result += buffer;
    } else {
      result += c;
    }
  }
  return result + "\"";
}

int RunPatternDescribe(const std::string& file, bool headerOnly, std::istream& in, std::ostream& out,
                       std::ostream& err) {
  std::string text;
  if (const std::string why = ReadWhole(file, in, text); !why.empty()) {
    err << DisplayName(file) << ": cannot read the file: " << why << "\n";
    return kDescribeUnreadable;
  }

  CollectingDiagnosticSink headerDiagnostics;
  installation_assistant::Option<PatternVersion> version;
  try {
    version = installation_assistant::ParsePatternHeader(text, headerDiagnostics);
  } catch (const std::exception& error) {
    PrintDiagnostics(file, headerDiagnostics, err);
    err << error.what() << "\n";
    return kDescribeVersionException;
  }
  if (!version) {
    PrintDiagnostics(file, headerDiagnostics, err);
    err << "header: syntax error\n";
    return kDescribeHeaderSyntaxError;
  }
  if (headerOnly) {
    PrintDiagnostics(file, headerDiagnostics, err);
    out << "version " << version.Get().ToString() << "\n";
    return kDescribeOk;
  }

  // The full parse lexes the same text again, so its diagnostics include the header's.
  CollectingDiagnosticSink diagnostics;
  installation_assistant::Option<ParsedPattern> parsed;
  try {
    parsed = installation_assistant::ParsePattern(text, diagnostics);
  } catch (const std::exception& error) {
    PrintDiagnostics(file, diagnostics, err);
    err << error.what() << "\n";
    return kDescribeVersionException;
  }
  PrintDiagnostics(file, diagnostics, err);
  if (!parsed) {
    err << "pattern: syntax error\n";
    return kDescribePatternSyntaxError;
  }
  PrintDescription(parsed.Get(), out);
  return kDescribeOk;
}

int RunPatternCheck(const std::vector<std::string>& files, std::istream& in, std::ostream& out,
                    bool warningsAreErrors) {
  bool allOk = true;
  for (const std::string& file : files) {
    std::string text;
    if (const std::string why = ReadWhole(file, in, text); !why.empty()) {
      out << DisplayName(file) << ": error: cannot read the file: " << why << "\n";
      allOk = false;
      continue;
    }
    const std::vector<Problem> problems = CheckText(text);
    if (problems.empty()) {
      out << DisplayName(file) << ": ok\n";
      continue;
    }
    for (const Problem& problem : problems) {
      if (problem.error || warningsAreErrors) allOk = false;
      out << DisplayName(file) << ":" << problem.position.line << ":" << problem.position.column << ": "
          << (problem.error ? "error: " : "warning: ") << problem.message << "\n";
    }
  }
  return allOk ? 0 : 1;
}

}  // namespace iae_tool
