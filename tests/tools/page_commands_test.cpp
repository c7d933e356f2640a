// iae dump and iae pattern explain on the example scenarios' pages.
#include "page_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/handles.h"
#include "common/text.h"
#include "pattern/matcher.h"
#include "pattern/parser.h"
#include "pattern/text_condition.h"
#include "pattern_command.h"
#include "scenario.h"
#include "skeleton.h"
#include "tools/temp_dir.h"
#include "watch/pattern_processor.h"

namespace iae_tool {
namespace {

using installation_assistant::UIAccessType;

const std::string kScenarios = std::string(IAE_EXAMPLES_DIR) + "/scenarios/";

struct Output {
  int code = -1;
  std::string out;
  std::string err;
};

Output Dump(const std::string& scenario, const std::string& page, UIAccessType backend) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunDump(scenario, page, backend, out, err);
  return {code, out.str(), err.str()};
}

// What check says of a pattern text beyond "no actions": a skeleton has none on purpose.
std::string CheckComplaints(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream out;
  const int code = RunPatternCheck({"-"}, in, out);
  std::string complaints = code == 0 ? "" : "exit " + std::to_string(code) + "\n";
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    if (line.find("pattern has no actions") == std::string::npos) complaints += line + "\n";
  }
  return complaints;
}

// The engine's matcher for the pattern, on the page read anew through each root's backend.
bool MatchesPage(const std::string& scenario, const std::string& page, const std::string& patternText) {
  const auto parsed = installation_assistant::ParsePattern(patternText);
  if (!parsed) return false;
  const auto& pattern = *parsed.Get().pattern;
  return WithPage(scenario, page, std::cerr, [&](HWND window, const std::string&) {
           installation_assistant::ComInitialization com(COINIT_MULTITHREADED);
           for (const auto& root : pattern.GetRoots()) {
             auto tree = installation_assistant::CreateRootElement(root.accessType, window);
             installation_assistant::MatchedList matched;
             if (!installation_assistant::MakeMatcherFor(pattern)->Match(root.element, tree, matched)) return 1;
           }
           return 0;
         }) == 0;
}

// The key property: whatever the page, its skeleton is a clean pattern that matches the page it came from.
TEST(Dump, EveryPagesSkeletonIsCleanAndMatchesItsPage) {
  int dumped = 0;
  for (const auto& file : std::filesystem::directory_iterator(kScenarios)) {
    if (file.path().extension() != ".yaml") continue;
    const Scenario scenario = LoadScenario(file.path().string());
    for (const ScenarioPage& page : scenario.installer.pages) {
      for (const UIAccessType backend : {UIAccessType::MSAA, UIAccessType::UIAutomation}) {
        const std::string what = file.path().filename().string() + " page " + page.name + " " + AccessName(backend);
        const Output dump = Dump(file.path().string(), page.name, backend);
        ASSERT_EQ(dump.code, kPageOk) << what << "\n" << dump.err;
        EXPECT_EQ(CheckComplaints(dump.out), "") << what << "\n" << dump.out;
        EXPECT_TRUE(MatchesPage(file.path().string(), page.name, dump.out)) << what << "\n" << dump.out;
        ++dumped;
      }
    }
  }
  EXPECT_GE(dumped, 40);
}

// Names with the characters that mean something to a regular expression or to a string literal: each text matches
// its name and not the name with one character more or less.
TEST(Dump, TextClausesMatchTheirNamesLiterally) {
  const char* names[] = {
      "Setup (x64) 1.2+",  "a.b*c?d", "[x]{2}|^$", "C:\\Program Files\\App", "Say \"yes\"",
      "Tools & more (1.0)", "tab\there", "Caf\xc3\xa9 \xe2\x82\xac",   "",
  };
  for (const char* name : names) {
    for (const bool control : {true, false}) {
      const std::string text = control ? std::string("CheckBox (text=\"") + LiteralTextClause(name, true) + "\")"
                                       : std::string("Pane (text=\"") + LiteralTextClause(name, false) + "\") { }";
      const std::string pattern = "EngineVersion = 1.5.0.0\nWindow { " + text + " }\n";
      EXPECT_EQ(CheckComplaints(pattern), "") << pattern;
      const auto parsed = installation_assistant::ParsePattern(pattern);
      ASSERT_TRUE(parsed) << pattern;
      const auto node = parsed.Get().pattern->GetRoots()[0].element->GetChildren()[0];
      if (!node->GetText()) {
        EXPECT_FALSE(control) << "a control keeps its empty text";
        continue;
      }
      const std::wstring expression = installation_assistant::Utf8ToWide(node->GetText().Get());
      const auto matches = [&](const std::string& candidate) {
        return installation_assistant::MatchWholeText(expression, installation_assistant::Utf8ToWide(candidate)) ==
               installation_assistant::TextMatch::Matched;
      };
      EXPECT_TRUE(matches(name)) << text;
      EXPECT_FALSE(matches(std::string(name) + "x")) << text;
      if (*name != '\0') {
        EXPECT_FALSE(matches(std::string(name).substr(1))) << text;
      }
    }
  }
}

TEST(Dump, SmallPageExactly) {
  const TempDir dir;
  const std::filesystem::path file = dir.Write("small.yaml", R"yaml(installer:
  pages:
    - name: hidden
      visible: false
      controls: [{id: 1, text: Never shown}]
    - name: offer
      title: "Setup (2.0)"
      controls:
        - {id: 10, class: Static, text: "Price: $5"}
        - {id: 11, style: autocheckbox, state: checked, text: "Tools && more"}
        - {id: 12, style: autoradiobutton, text: "Express"}
        - {id: 13, text: "&Next >", enabled: false}
host: {patterns: [{id: 1, text: "EngineVersion = 1.5.0.0 Window { }"}]}
)yaml");
  const Output msaa = Dump(file.string(), "", UIAccessType::MSAA);
  EXPECT_EQ(msaa.code, kPageOk) << msaa.err;
  EXPECT_EQ(msaa.out, "EngineVersion = 1.5.0.0\n"
                      "// page \"offer\" of " + file.string() + ", read through MSAA\n"
                      "// delete what should not matter (or put * or AnyLevel { } in its place); add { off }, { on } "
                      "or { push }\n"
                      "MSAA: Window (text=\"Setup \\\\(2\\\\.0\\\\)\") {  // Window\n"
                      "    Pane (text=\"Setup \\\\(2\\\\.0\\\\)\") {  // Window\\Pane(0)\n"
                      "        Text (text=\"Price: \\\\$5\") { }  // Window\\Pane(0)\\Text(0)\n"
                      "        CheckBox (text=\"Tools \\\\x26 more\")  // checked; Window\\Pane(0)\\CheckBox(1)\n"
                      "        RadioButton (text=\"Express\")  // not selected; Window\\Pane(0)\\RadioButton(2)\n"
                      "        Button (text=\"Next >\")  // disabled; Window\\Pane(0)\\Button(3)\n"
                      "    }\n"
                      "}\n");
  const Output unknown = Dump(file.string(), "nowhere", UIAccessType::MSAA);
  EXPECT_EQ(unknown.code, kPageUnusable);
  EXPECT_NE(unknown.err.find("no page is named 'nowhere' (pages: hidden, offer)"), std::string::npos) << unknown.err;
}

// Each pattern against the wizard's options page; the error names the failing node's place and the reason's word.
TEST(Explain, SaysWhichNodeFailedAndWhy) {
  const std::string wizard = kScenarios + "wizard.yaml";
  const struct Case {
    const char* pattern;
    const char* page;
    int code;
    const char* told;  // the error line's start after the file name, or a note's for a match
  } cases[] = {
      {"Window (text=\"Setup\") { * }", "options", kPageFailed, ":2:14: error: name: Window \"Setup - Sample App\""},
      {"Window {\n Pane {\n  Text { }\n  RadioButton (text=\"Install.*\")\n  * } }", "options", kPageFailed,
       ":5:3: error: type: CheckBox \"Install the Sample toolbar (recommended)\" at Window\\Pane(0)\\CheckBox(1) is not "
       "a RadioButton"},
      {"Window { Pane { * CheckBox (text=\"Launch.*\") *\n } }", "options", kPageFailed, ":2:34: error: name: "},
      {"Window { Pane { Text { } CheckBox () {on} * } }", "options", kPageFailed,
       ":2:26: error: state: CheckBox \"Install the Sample toolbar (recommended)\" at Window\\Pane(0)\\CheckBox(1) is "
       "checked, and '{ on }' matches only an unchecked box"},
      {"Window { Pane { Text { } CheckBox () } }", "options", kPageFailed,
       ":2:10: error: left over: CheckBox \"Make Sample Search my home page\""},
      // Nearer misses come first: a name that does not match is told rather than the button missing after "*".
      {"Window { Pane { * Button (text=\"Finish\") } }", "type", kPageFailed, ":2:32: error: name: Button \"Next >\""},
      {"Window { Pane { Text { } CheckBox () Button () Button () } }", "finish", kPageFailed,
       ":2:48: error: missing: no live element is left for this Button among the children of Pane"},
      {"Window { Pane { * CheckBox (text=\"Launch.*\") {off} * } }", "finish", kPageOk,
       ":2:47: note: action 1: off on Window\\Pane(0)\\CheckBox(1) (index 65535)"},
  };
  for (const Case& c : cases) {
    std::istringstream in(std::string("EngineVersion = 1.5.0.0\n") + c.pattern);
    std::ostringstream out;
    std::ostringstream err;
    ExplainOptions options;
    options.page = c.page;
    EXPECT_EQ(RunExplain("-", wizard, options, in, out, err), c.code) << c.pattern << "\n" << out.str() << err.str();
    EXPECT_NE(out.str().find(std::string("<stdin>") + c.told), std::string::npos)
        << c.pattern << "\n" << out.str() << err.str();
  }
}

}  // namespace
}  // namespace iae_tool
