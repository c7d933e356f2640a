#include "pattern/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace installation_assistant {
namespace {

const std::string kHeader = "EngineVersion = 1.5.0.0 ";

struct Outcome {
  Option<ParsedPattern> parsed;
  std::vector<Diagnostic> diagnostics;

  std::size_t SyntaxErrors() const {
    std::size_t count = 0;
    for (const Diagnostic& d : diagnostics) count += d.kind == Diagnostic::Kind::Syntax ? 1 : 0;
    return count;
  }
};

Outcome Parse(const std::string& text) {
  CollectingDiagnosticSink sink;
  Outcome outcome;
  outcome.parsed = ParsePattern(text, sink);
  outcome.diagnostics = sink.Diagnostics();
  return outcome;
}

std::string Nested(int depth, const std::string& innermost = "") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "Pane{";
  text += innermost;
  for (int i = 0; i < depth; ++i) text += "}";
  return text;
}

// ---- Syntax decisions: short texts after a valid header, accepted or not. What is accepted is also
// ModelConstruction's: the cases here are what it does not build. ----

TEST(SyntaxDecisions, ShortTexts) {
  const std::pair<const char*, bool> cases[] = {
      {"Window{}Pane{}Table{}DataItem{}Tree{}Tab{}Custom{}Text{}", true},
      {"", false},                     // at least one root
      {"Window", false},               // a container's braces are required
      {"Window ( ) { }", false},       // ... its parentheses need the text clause
      {"Window (id=\"1\") { }", false},
      {"Window (text=\"a\") [1,2] { }", true},
      {"Window [1,2] (text=\"a\") { }", false},  // text clause before the point list
      {"Window [1,2] [3,4] { }", true},
      {"Window [1,2] [50%,50%] { }", false},  // one form per list
      {"Window [50%,50%] [1,2] { }", false},
      {"Window [1%,2] { }", false},
      {"Window [] { }", false},
      {"Button (text=\"OK\") { }", false},
      {"Button", false},  // a control's parentheses are required
      {"Button (id=\"1\" text=\"OK\")", true},
      {"Button (text=\"a\" id=\"b\")", false},
      {"Button (id=\"1\" id=\"2\")", false},
      {"Button (text=\"a\" text=\"b\")", false},
      {"Window { Button (text=\"a\") [1,2] }", false},  // point list before the parentheses
      {"Button () { block (7) }", true},
      {"Button () { on }", false},
      {"Window { Button () { push } { push } }", false},
      {"CheckBox () { push }", false},
      {"CheckBox () { off () }", false},
      {"CheckBox () { off (3 }", false},
      {"RadioButton () { off }", false},
      {"Button () { Button () }", false},  // controls have no children
      {"AnyLevel", false},
      {"AnyLevel (text=\"a\") { }", false},
      {"*", true},
      {"* { }", true},  // "{" cannot begin a root: the braces are trailing text
      {"MSAA: ?Window { }", false},  // a prefixed root cannot be optional
      {"UIAutomation Window { }", false},
      {"Window { MSAA: Button () }", false},  // prefixes only on roots
      {"Window { ?? Button () }", false},
      {"Window { Version }", false},  // a keyword no rule accepts
      {"Window { } }", true},         // trailing text that cannot begin a root is ignored
      {"Window { } ) ( garbage", true},
      {"Window { } ?", false},  // "?" begins a root, which then is incomplete
      {"Window { Button () } Pane { } UIAutomation: Tab { }", true},
  };
  for (const auto& [body, accepted] : cases) {
    const Outcome outcome = Parse(kHeader + body);
    EXPECT_EQ(static_cast<bool>(outcome.parsed), accepted) << body;
    EXPECT_EQ(outcome.SyntaxErrors() >= 1, !accepted) << body;
  }
}

TEST(SyntaxDecisions, SyntaxErrorsSayWhatWasExpectedAndWhere) {
  const std::pair<const char*, const char*> cases[] = {
      {"EngineVersion = 1.5.0 Window { }", "1:23: expected '.', found 'Window'"},
      {"EngineVersion = 1.5.0.0\nButton (text=\"a\" id=\"b\")", "2:18: expected ')', found 'id'"},
      {"EngineVersion = 1.5.0.0\nRadioButton () {\n off }", "3:2: expected 'on', found 'off'"},
      {"EngineVersion = 1.5.0.0", "1:24: expected a root element, found <EOF>"},
      {"Window { }", "1:1: expected 'EngineVersion', found 'Window'"},
      {"EngineVersion = 1.5.0.0 MSAA: ?Window { }", "1:31: expected an element, found '?'"},
      {"EngineVersion = 1.5.0.0 Window [1,2] [50%,50%] { }", "1:41: expected ',', found '%'"},
      {"EngineVersion = 1.5.0.0 Window (text=1) { }", "1:38: expected StringLiteral, found '1'"},
      {"EngineVersion = 1.5.0.0 CheckBox () { off (on) }", "1:44: expected Decimal, found 'on'"},
  };
  for (const auto& [text, error] : cases) {
    const Outcome outcome = Parse(text);
    EXPECT_FALSE(outcome.parsed) << text;
    ASSERT_FALSE(outcome.diagnostics.empty()) << text;
    const Diagnostic& first = outcome.diagnostics.front();
    EXPECT_EQ(first.kind, Diagnostic::Kind::Syntax) << text;
    EXPECT_EQ(std::to_string(first.line) + ":" + std::to_string(first.column) + ": " + first.message, error);
  }
}

TEST(SyntaxDecisions, RecoveryReachesLaterErrorsAndTerminates) {
  // Two separate mistakes far apart are both reported; garbage of every kind ends.
  const Outcome outcome = Parse(kHeader + "Window { CheckBox () { push } }\nPane { Button (text=\"a\") { on } }");
  EXPECT_FALSE(outcome.parsed);
  EXPECT_EQ(outcome.SyntaxErrors(), 2u);
  for (const char* garbage : {"{{{{{", "(((((", "?????", "Window Window Window", "Button Button (", "[[[[",
                              "MSAA MSAA MSAA", "Window [1,2 [3, { ? * AnyLevel"}) {
    const Outcome bad = Parse(kHeader + garbage);
    EXPECT_FALSE(bad.parsed) << garbage;
  }
}

// ---- Entry points: versions, header parse, exceptions, lexer errors. ----

// A header alone is a header but no pattern: SyntaxErrorsSayWhatWasExpectedAndWhere. What the header
// parse ignores after the clause: pattern_command_test.cpp (the header-only describe). Other than four parts raises
// (the message: Tool.DescribeExitCodesAndStreams).
TEST(EntryPoints, VersionStrings) {
  const std::pair<const char*, std::optional<PatternVersion>> cases[] = {
      {"\"1.5.0.0\"", PatternVersion{1, 5, 0, 0}},
      {"\"1.5.0.0.\"", PatternVersion{1, 5, 0, 0}},  // a trailing dot adds no part
      {"\"1..5.0\"", PatternVersion{1, 0, 5, 0}},    // adjacent dots give an empty part, which is 0
      {"\" -3.+4. 7x.y\"", PatternVersion{-3, 4, 7, 0}},
      {"\"99999999999.-99999999999.0.0\"", PatternVersion{2147483647, -2147483647 - 1, 0, 0}},
      {"1.5.0.0", PatternVersion{1, 5, 0, 0}},
      {"4294967296.2147483648.2147483647.0", PatternVersion{2147483647, 2147483647, 2147483647, 0}},
      {"\"1.5.0\"", std::nullopt},     {"\"\"", std::nullopt},          {"\".\"", std::nullopt},
      {"\"1.5.0.0.0\"", std::nullopt}, {"\"1.5.0.0..\"", std::nullopt}, {"\"1\"", std::nullopt},
  };
  for (const auto& [version, expected] : cases) {
    const std::string text = std::string("EngineVersion = ") + version + " Window { }";
    CollectingDiagnosticSink sink;
    if (!expected) {
      EXPECT_ANY_THROW(ParsePatternHeader(text, sink)) << version;
      EXPECT_ANY_THROW(ParsePattern(text, sink)) << version;
      continue;
    }
    const Option<PatternVersion> header = ParsePatternHeader(text, sink);
    const Option<ParsedPattern> full = ParsePattern(text, sink);
    ASSERT_TRUE(header && full) << version;
    EXPECT_EQ(header.Get(), *expected) << version;
    EXPECT_EQ(full.Get().engineVersion, *expected) << version;
  }
}

TEST(EntryPoints, LexerErrorsAloneDoNotFailTheParse) {
  for (const char* text : {"EngineVersion = 1.5.0.0 Windows { }", "EngineVersion = 1.5.0.0 Window\v{ }",
                           "EngineVersion = 1.5.0.0 Window { } \"open", "EngineVersion = 1.5.0.0 Window { } # \xff"}) {
    const Outcome outcome = Parse(text);
    EXPECT_TRUE(outcome.parsed) << text;
    EXPECT_FALSE(outcome.diagnostics.empty()) << text;
    EXPECT_EQ(outcome.SyntaxErrors(), 0u) << text;
  }
  // Lexer errors after the clause are still reported by the header parse.
  CollectingDiagnosticSink sink;
  EXPECT_TRUE(ParsePatternHeader("EngineVersion = 1.5.0.0 ###", sink));
  EXPECT_EQ(sink.Diagnostics().size(), 3u);
}

// One extraneous token is dropped and reported once.
TEST(EntryPoints, DefaultSinkWritesToStandardOutput) {
  testing::internal::CaptureStdout();
  const Option<ParsedPattern> parsed = ParsePattern("EngineVersion = 1.5.0.0\n  Window ) { }");
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(parsed);
  EXPECT_EQ(output, "2:10: expected '{', found ')'\n");
}

// ---- Nesting depth cap. ----

// The cap holds without overflow for a hundred thousand levels, closed or not; the sibling after a too-deep subtree
// and the next root are still parsed, so a later mistake is reported as well.
TEST(NestingDepth, DeepestAcceptedLevelAndWhatComesAfterTheRefusedSubtree) {
  EXPECT_TRUE(Parse(kHeader + Nested(kMaxNestingDepth - 1, "Button () { push }")).parsed);
  const Outcome overCap = Parse(kHeader + Nested(kMaxNestingDepth, "Button () { push }"));
  EXPECT_FALSE(overCap.parsed);
  ASSERT_EQ(overCap.diagnostics.size(), 1u);
  EXPECT_THAT(overCap.diagnostics[0].message, testing::HasSubstr("nested deeper than 256 levels"));
  EXPECT_EQ(Parse(kHeader + Nested(100000)).SyntaxErrors(), 1u);
  for (const std::string& text : {Nested(100000), Nested(100000).substr(0, 100000 * 5), std::string(200000, '{')}) {
    EXPECT_FALSE(Parse(kHeader + text).parsed);
  }
  const Outcome later = Parse(kHeader + "Window {" + Nested(300) + "Button (text=\"a\" id=\"b\") } Pane { }");
  EXPECT_FALSE(later.parsed);
  ASSERT_EQ(later.SyntaxErrors(), 2u);
  EXPECT_THAT(later.diagnostics[1].message, testing::HasSubstr("expected ')'"));
}

// ---- Model construction. ----

// A node as [?]Type#id'text', its checker count when not 0, its actions as name:index with
// the click point, then {children}. That only clicks have a point is pattern_fuzz.cpp's to check.
void Summarise(const PatternElement& node, std::string& out) {
  out += (node.IsOptional() ? "?" : "") + ElementTypeName(node.GetType());
  if (node.GetId()) out += "#" + node.GetId().Get();
  if (node.GetText()) out += "'" + node.GetText().Get() + "'";
  if (node.GetCheckerCount() != 0) out += " c" + std::to_string(node.GetCheckerCount());
  for (const auto& action : node.GetActions()) {
    out += " " + action->GetName() + ":" + std::to_string(action->GetIndex());
    if (!action->GetClickPoint()) continue;
    const ClickPoint& point = action->GetClickPoint().Get();
    out += "@" + std::to_string(point.x) + "," + std::to_string(point.y) + (point.isAbsolute ? "" : "%");
  }
  const auto children = node.GetChildren();
  for (std::size_t i = 0; i < children.size(); ++i) Summarise(*children[i], out += i == 0 ? "{" : " ");
  if (!children.empty()) out += "}";
}

// Roots as access:node, joined by " | ".
std::string Model(const std::string& body) {
  const Outcome outcome = Parse(kHeader + body);
  if (!outcome.parsed) return "(not parsed)";
  std::string out;
  for (const PatternRoot& root : outcome.parsed.Get().pattern->GetRoots()) {
    out += out.empty() ? "" : " | ";
    out += root.accessType == UIAccessType::MSAA ? "MSAA:" : "UIAutomation:";
    Summarise(*root.element, out);
  }
  return out;
}

TEST(ModelConstruction, NodesTextsStatesAndClicks) {
  const std::pair<const char*, const char*> cases[] = {
      {"Window { }", "MSAA:Window"},
      {"UIAutomation: Window (text=\"Setup\") { }", "UIAutomation:Window'Setup'"},
      {"Window { AnyLevel { } * Button () CheckBox () RadioButton () Tab { } Text { } Tree { } Custom { } "
       "DataItem { } Pane { } Table { } }",
       "MSAA:Window{AnyLevel * Button CheckBox RadioButton Tab Text Tree Custom DataItem Pane Table}"},
      // An empty text is no condition on a container, an empty one on a control; an escaped
      // backslash before the closing quote stays.
      {"Window (text=\"\") { Pane (text=\"p\") { } Button (text=\"\") Button () Button (id=\"7\") "
       "Button (text=\"a\\\\\") Button (text=\"q\\\"\\\\q\") Button (text=\"caf\xc3\xa9\") }",
       "MSAA:Window{Pane'p' Button'' Button Button#7 Button'a\\' Button'q\"\\q' Button'caf\xc3\xa9'}"},
      // Desired states: indexes (65535 when none is written), and checkers of check boxes and radio buttons.
      {"CheckBox () { off (3) }", "MSAA:CheckBox c1 off:3"},
      {"CheckBox () { off }", "MSAA:CheckBox c1 off:65535"},
      {"CheckBox () { on (0) }", "MSAA:CheckBox c1 on:0"},
      {"RadioButton () { on (1) }", "MSAA:RadioButton c1 on:1"},
      {"Button () { push (2) }", "MSAA:Button push:2"},
      {"Button () { block }", "MSAA:Button block:65535"},
      {"Button () { push (99999999999) }", "MSAA:Button push:2147483647"},
      {"CheckBox (text=\"x\")", "MSAA:CheckBox'x'"},
      // Clicks come after the desired state, in list order.
      {"CheckBox [1,2] [30,40] (text=\"x\") { on (4) }",
       "MSAA:CheckBox'x' c1 on:4 pixelClick:2147483647@1,2 pixelClick:2147483647@30,40"},
      {"Window [50%,90%] [0%,100%] { }", "MSAA:Window pixelClick:2147483647@50,90% pixelClick:2147483647@0,100%"},
      // Roots without a prefix are MSAA ones.
      {"?Window { ?Pane { } AnyLevel { * ?Button () } } MSAA: Pane { } UIAutomation: * Tab { }",
       "MSAA:?Window{?Pane AnyLevel{* ?Button}} | MSAA:Pane | UIAutomation:* | MSAA:Tab"},
  };
  for (const auto& [body, model] : cases) EXPECT_EQ(Model(body), model) << body;
}

}  // namespace
}  // namespace installation_assistant
