#include "pattern_command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "common/text.h"
#include "file_text.h"
#include "pattern_lints.h"
#include "pattern/diagnostics.h"
#include "pattern/lexer.h"
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

// What a node asks of the window, in a few plain words.
std::string Meaning(const PatternElement& node) {
  using installation_assistant::ElementType;
  std::string words = node.IsOptional() ? "optional (the match goes on without it): " : "";
  switch (node.GetType()) {
    case ElementType::Any: return words + "'*' stands for any elements at this place, none included";
    case ElementType::AnyLevel: return words + "AnyLevel: its children are looked for at this level or any below";
    case ElementType::Button: words += "a button"; break;
    case ElementType::CheckBox: words += "a check box"; break;
    case ElementType::RadioButton: words += "a radio button"; break;
    case ElementType::DataItem: words += "a data item"; break;
    case ElementType::Custom: words += "a custom element"; break;
    case ElementType::Text: words += "a text element"; break;
    default: {
      std::string name = ElementTypeName(node.GetType());
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      words += "a " + name;
      break;
    }
  }
  if (node.GetText()) {
    words += node.GetText().Get().empty() ? " with an empty name"
                                          : " named /" + installation_assistant::EscapeForMessage(node.GetText().Get()) + "/";
  }
  if (node.GetId()) words += " (its id is not compared)";
  if (!node.GetChildren().empty()) words += " holding the elements below, in their order";
  for (const auto& action : node.GetActions()) {
    const std::string& name = action->GetName();
    if (name == "off") words += " that is checked; the engine unchecks it";
    if (name == "on") {
      words += node.GetType() == ElementType::RadioButton ? " that is not selected; the engine selects it"
                                                          : " that is unchecked; the engine checks it";
    }
    if (name == "push") words += "; the engine pushes it";
    if (name == "block") words += "; the engine puts a message box on it";
    if (const auto& point = action->GetClickPoint()) {
      const auto& at = point.Get();
      words += "; the engine clicks it at " + std::to_string(at.x) + (at.isAbsolute ? "," : "%,") +
               std::to_string(at.y) + (at.isAbsolute ? " px" : "%");
    }
  }
  return words;
}

void PrintNodes(const PatternElement& node, int depth, const UIAccessType* access, std::ostream& out) {
  out << "node " << depth << " " << ElementTypeName(node.GetType());
  if (access) out << (*access == UIAccessType::UIAutomation ? " access=UIAutomation" : " access=MSAA");
  out << " optional=" << (node.IsOptional() ? 1 : 0);
  out << " id=" << QuoteField(node.GetId() ? &node.GetId().Get() : nullptr);
  out << " text=" << QuoteField(node.GetText() ? &node.GetText().Get() : nullptr);
  out << " checkers=" << node.GetCheckerCount() << " actions=" << DescribeActions(node) << "\n";
  out << std::string(2 * depth + 2, ' ') << "means: " << Meaning(node) << "\n";
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

bool Before(const Problem& a, const Problem& b) {
  if (a.position.line != b.position.line) return a.position.line < b.position.line;
  return a.position.column < b.position.column;
}

// "FILE:LINE:COLUMN: error: text", as compilers write it.
void Print(const std::string& file, const Problem& problem, std::ostream& out) {
  static const char* const kSeverity[] = {"error", "warning", "note"};
  out << DisplayName(file) << ":" << problem.position.line << ":" << problem.position.column << ": "
      << kSeverity[static_cast<int>(problem.severity)] << ": " << problem.message << "\n";
}

// The parser goes on after an error and one slip, a quote left open most of all, makes a message on every line
// after it: the first error is the one worth reading, with a note on what likely caused it or how many followed.
std::vector<Problem> FirstError(const std::vector<Diagnostic>& diagnostics, std::string_view text) {
  std::vector<Problem> errors;
  for (const Diagnostic& diagnostic : diagnostics) {
    errors.push_back(Problem{SourcePosition{diagnostic.line, diagnostic.column}, Severity::Error, diagnostic.message});
  }
  if (errors.empty()) return errors;
  std::stable_sort(errors.begin(), errors.end(), Before);
  std::vector<Problem> shown{errors.front()};
  installation_assistant::NullDiagnosticSink quiet;
  for (const installation_assistant::Token& token : installation_assistant::Tokenize(text, quiet)) {
    const Problem start{SourcePosition{token.line, token.column}, Severity::Note, ""};
    if (!Before(start, shown.front())) break;
    if (token.type == installation_assistant::TokenType::StringLiteral &&
        token.text.find('\n') != std::string_view::npos) {
      shown.push_back(Problem{start.position, Severity::Note,
                              "this string runs over the end of its line: is its closing '\"' missing?"});
      return shown;
    }
  }
  if (errors.size() > 1) {
    shown.push_back(Problem{errors.front().position, Severity::Note,
                            std::to_string(errors.size() - 1) + " more error(s) after this one, likely caused by it"});
  }
  return shown;
}

// The full parse, as the engine does it; problems gets the first error with its note. The version's place is kept
// when the version string is refused, which the parser raises.
installation_assistant::Option<ParsedPattern> Parse(const std::string& text, PatternSource& source,
                                                     std::vector<Problem>& problems) {
  CollectingDiagnosticSink sink;
  installation_assistant::Option<ParsedPattern> parsed;
  std::vector<Diagnostic> diagnostics;
  try {
    parsed = installation_assistant::ParsePattern(text, sink, &source);
    diagnostics = sink.Diagnostics();
  } catch (const std::exception& error) {
    diagnostics = sink.Diagnostics();
    const SourcePosition at = source.version.GetOr(SourcePosition{});
    diagnostics.push_back(Diagnostic{Diagnostic::Kind::Syntax, at.line, at.column,
                                     std::string(error.what()) + ": expected four numbers joined by '.'"});
  }
  for (Problem& problem : FirstError(diagnostics, text)) problems.push_back(std::move(problem));
  return parsed;
}

std::vector<Problem> CheckText(const std::string& text) {
  std::vector<Problem> parseProblems;  // an error and its note, kept together
  PatternSource source;
  const installation_assistant::Option<ParsedPattern> parsed = Parse(text, source, parseProblems);

  std::vector<Problem> problems;
  installation_assistant::NullDiagnosticSink quiet;
  installation_assistant::Option<PatternVersion> version;
  try {
    version = installation_assistant::ParsePatternHeader(text, quiet);
  } catch (const std::exception&) {
  }
  if (version && !installation_assistant::IsSupportedPatternVersion(version.Get())) {
    problems.push_back(Problem{source.version.GetOr(SourcePosition{}), Severity::Warning,
                               "version " + version.Get().ToString() + " is above the supported " +
                                   std::to_string(installation_assistant::kSupportedPatternMajor) + "." +
                                   std::to_string(installation_assistant::kSupportedPatternMinor) +
                                   ": the engine rejects the pattern"});
  }
  if (parsed && parseProblems.empty()) {
    LintPattern(*parsed.Get().pattern, source, text, problems);
  }
  std::stable_sort(problems.begin(), problems.end(), Before);
  if (!parseProblems.empty()) {
    problems.insert(std::upper_bound(problems.begin(), problems.end(), parseProblems.front(), Before),
                    parseProblems.begin(), parseProblems.end());
  }
  return problems;
}

}  // namespace

installation_assistant::Option<ParsedPattern> ParsePatternText(const std::string& text, PatternSource& source,
                                                               std::vector<Problem>& problems) {
  return Parse(text, source, problems);
}

void PrintProblem(const std::string& file, const Problem& problem, std::ostream& out) { Print(file, problem, out); }

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
    err << DisplayName(file) << ": error: cannot read the file: " << why << "\n";
    return kDescribeUnreadable;
  }

  // The header first, as the engine reads it before the rest.
  CollectingDiagnosticSink headerDiagnostics;
  installation_assistant::Option<PatternVersion> version;
  bool versionRefused = false;
  try {
    version = installation_assistant::ParsePatternHeader(text, headerDiagnostics);
  } catch (const std::exception&) {
    versionRefused = true;
  }
  if (!version || headerOnly) {
    std::vector<Problem> problems;
    if (versionRefused) {
      PatternSource source;
      Parse(text, source, problems);  // for the version string's place and the message
    } else {
      problems = FirstError(headerDiagnostics.Diagnostics(), text);
    }
    for (const Problem& problem : problems) Print(file, problem, err);
    if (versionRefused) return kDescribeVersionException;
    if (!version) return kDescribeHeaderSyntaxError;
    out << "version " << version.Get().ToString() << "\n";
    return kDescribeOk;
  }

  std::vector<Problem> problems;
  PatternSource source;
  const installation_assistant::Option<ParsedPattern> parsed = Parse(text, source, problems);
  for (const Problem& problem : problems) Print(file, problem, err);
  if (!parsed) return kDescribePatternSyntaxError;
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
      if (problem.severity == Severity::Error || (warningsAreErrors && problem.severity == Severity::Warning)) {
        allOk = false;
      }
      Print(file, problem, out);
    }
  }
  return allOk ? 0 : 1;
}

}  // namespace iae_tool
