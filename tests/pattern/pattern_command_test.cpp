#include "pattern_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/temp_dir.h"

namespace iae_tool {
namespace {

const std::string kExamples = IAE_PATTERN_EXAMPLES;

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

// describe of the file, or with "-" of the text on standard input.
ToolRun Describe(const std::string& text, bool headerOnly = false, const std::string& file = "-") {
  std::istringstream in(text);
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunPatternDescribe(file, headerOnly, in, out, err);
  return {code, out.str(), err.str()};
}

// check of the text on standard input: its report is all on out.
ToolRun Check(const std::string& text, bool warningsAreErrors = false) {
  std::istringstream in(text);
  std::ostringstream out;
  const int code = RunPatternCheck({"-"}, in, out, warningsAreErrors);
  return {code, out.str(), ""};
}

TEST(Tool, DescribeTheExample) {
  const ToolRun example = Describe("", false, kExamples + "/setup_wizard.pattern");
  EXPECT_EQ(example.code, 0);
  EXPECT_EQ(example.err, "");
  EXPECT_EQ(example.out,
            "version 1.5.0.0\n"
            "generic 1\n"
            "actions 1\n"
            "block 0\n"
            "pixelclick 1\n"
            "describe 1MSAA{Window{CheckBox(text=\"Install the toolbar\")AnyLevel{RadioButton()}Button(text=\"Next "
            ">\")}}UIAutomation{Window{Pane{*{}}}}\n"
            "node 0 Window access=MSAA optional=0 id=- text=\"Setup\" checkers=0 actions=-\n"
            "  means: a window named /Setup/ holding the elements below, in their order\n"
            "node 1 CheckBox optional=1 id=- text=\"Install the toolbar\" checkers=1 actions=off:65535\n"
            "    means: optional (the match goes on without it): a check box named /Install the toolbar/ that is "
            "checked; the engine unchecks it\n"
            "node 1 AnyLevel optional=0 id=- text=- checkers=0 actions=-\n"
            "    means: AnyLevel: its children are looked for at this level or any below\n"
            "node 2 RadioButton optional=0 id=\"1002\" text=- checkers=1 actions=on:1\n"
            "      means: a radio button (its id is not compared) that is not selected; the engine selects it\n"
            "node 1 Button optional=0 id=\"12324\" text=\"Next >\" checkers=0 actions=push:2\n"
            "    means: a button named /Next >/ (its id is not compared); the engine pushes it\n"
            "node 0 Window access=UIAutomation optional=0 id=- text=\"Setup\" checkers=0 "
            "actions=pixelClick:2147483647:50:90:pct\n"
            "  means: a window named /Setup/ holding the elements below, in their order; the engine clicks it at "
            "50%,90%\n"
            "node 1 Pane optional=0 id=- text=- checkers=0 actions=-\n"
            "    means: a pane holding the elements below, in their order\n"
            "node 2 * optional=0 id=- text=- checkers=0 actions=-\n"
            "      means: '*' stands for any elements at this place, none included\n");

  const ToolRun offer = Describe("EngineVersion = 1.5.0.0 Window { CheckBox (text=\"\") { on } Button [3,4] () { block } }");
  EXPECT_THAT(offer.out, testing::HasSubstr("means: a check box with an empty name that is unchecked; the engine "
                                            "checks it\n"));
  EXPECT_THAT(offer.out, testing::HasSubstr("means: a button; the engine puts a message box on it; the engine clicks "
                                            "it at 3,4 px\n"));
}

TEST(Tool, DescribeExitCodesAndStreams) {
  struct Case {
    const char* text;
    bool headerOnly;
    int code;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {"EngineVersion = 1.6.2.3 }}} ((( MSAA ?", true, 0, "version 1.6.2.3\n", ""},  // the rest is not read
      {"EngineVersion = \"1.5.0.0.\"", true, 0, "version 1.5.0.0\n", ""},
      {"Window { }", true, 2, "", "<stdin>:1:1: error: expected 'EngineVersion', found 'Window'\n"},
      {"Window { }", false, 2, "", "<stdin>:1:1: error: expected 'EngineVersion', found 'Window'\n"},
      {"EngineVersion = \"1.5\" Window { }", true, 3, "",
       "<stdin>:1:17: error: Unable to parse engine version: expected four numbers joined by '.'\n"},
      {"EngineVersion = \"1.5\" Window { }", false, 3, "",
       "<stdin>:1:17: error: Unable to parse engine version: expected four numbers joined by '.'\n"},
      {"EngineVersion = 1.5.0.0", false, 1, "", "<stdin>:1:24: error: expected a root element, found <EOF>\n"},
      {"EngineVersion = 1.5.0.0 Button () { }", false, 1, "",
       "<stdin>:1:37: error: expected 'push' or 'block', found '}'\n"},
      // Diagnostics go to standard error only, a lexer error's beside the description.
      {"EngineVersion = 1.5.0.0\nWindows { }", false, 0,
       "version 1.5.0.0\ngeneric 0\nactions 0\nblock 0\npixelclick 0\ndescribe 0MSAA{Window{}}\n"
       "node 0 Window access=MSAA optional=0 id=- text=- checkers=0 actions=-\n  means: a window\n",
       "<stdin>:2:7: error: unexpected character 's'\n"},
      {"EngineVersion = 1.5.0.0\nWindow ) ) { }", false, 1, "", "<stdin>:2:8: error: expected '{', found ')'\n"},
      // Versions are not checked for support here.
      {"EngineVersion = 9.9.0.0 Window { }", false, 0, nullptr, ""},
  };
  for (const Case& c : cases) {
    const ToolRun run = Describe(c.text, c.headerOnly);
    EXPECT_EQ(run.code, c.code) << c.text;
    if (c.out) {
      EXPECT_EQ(run.out, c.out) << c.text;
    }
    EXPECT_EQ(run.err, c.err) << c.text;
  }
}

// A quote left open or a stray character makes the parser stumble on every line after it: one error is shown, and
// one note, in check as in describe.
TEST(Tool, OneErrorAndAtMostOneNotePerPattern) {
  struct Case {
    std::string text;
    const char* expected;
  };
  const Case cases[] = {
      {"EngineVersion = 1.5.0.0\nWindow (text=\"Setup) {\n  CheckBox (text=\"a\") { off }\n  Button (text=\"b\") { push }\n}\n",
       "<stdin>:3:19: error: unexpected character 'a'\n"
       "<stdin>:2:14: note: this string runs over the end of its line: is its closing '\"' missing?\n"},
      {"EngineVersion = 1.5.0.0\nWindow { $ Pane { $ } $ Button (text=x) { push } }",
       "<stdin>:2:10: error: unexpected character '$'\n<stdin>:2:10: note: 4 more error(s) after this one, likely "
       "caused by it\n"},
      {"EngineVersion = 1.5.0.0\nWindow { Button (text=\"b\") { push }", "<stdin>:2:36: error: expected '}', found <EOF>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(c.text).err, c.expected) << c.text;
    const ToolRun check = Check(c.text);
    EXPECT_EQ(check.code, 1) << c.text;
    EXPECT_EQ(check.out, c.expected) << c.text;
  }
}

TEST(Tool, FieldsAreQuotedAndEscaped) {
  const std::string a = "plain";
  const std::string b = "q\"b\\s";
  const std::string c = std::string("tab\tnl\n\x7f\xc3\xa9", 10);
  const std::string empty;
  EXPECT_EQ(QuoteField(nullptr), "-");
  EXPECT_EQ(QuoteField(&a), "\"plain\"");
  EXPECT_EQ(QuoteField(&b), "\"q\\\"b\\\\s\"");
  EXPECT_EQ(QuoteField(&c), "\"tab\\x09nl\\x0a\\x7f\\xc3\\xa9\"");
  EXPECT_EQ(QuoteField(&empty), "\"\"");

  // Clicks in pixels come after the desired state.
  const ToolRun run = Describe("EngineVersion = 1.5.0.0 Window { Button [10,10] (id=\"\" text=\"\\\"x\\\\\") { block } }");
  EXPECT_EQ(run.code, 0);
  EXPECT_THAT(run.out, testing::HasSubstr("node 1 Button optional=0 id=\"\" text=\"\\\"x\\\\\" checkers=0 "
                                          "actions=block:65535,pixelClick:2147483647:10:10:abs\n"));
}

TEST(Tool, TheFileIsReadAsTheHostWouldPassIt) {
  // The host hands a C string, so the text ends at a NUL byte.
  const TempDir dir;
  const std::string text("EngineVersion = 1.5.0.0 Window { }\0 Button (", 44);
  const ToolRun run = Describe("", false, dir.Write("nul", text).string());
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Describe("", false, "/nonexistent/pattern").code, kDescribeUnreadable);
}

// ---- check ----

TEST(Tool, CheckReportsErrorsAndWarningsWithPositions) {
  struct Case {
    const char* text;
    const char* expected;  // the problem lines without the file name
  };
  const Case cases[] = {
      {"EngineVersion = \"1.5\"\nWindow { }",
       ":1:17: error: Unable to parse engine version: expected four numbers joined by '.'\n"},
      {"EngineVersion = 1.5.0.0\nWindow { Button (text=\"(\") { push } }",
       ":2:23: warning: text \"(\" is not a valid regular expression for the matcher: "},
      {"EngineVersion = 1.6.0.0\nWindow { Button () { push } }",
       ":1:17: warning: version 1.6.0.0 is above the supported 1.5: the engine rejects the pattern\n"},
      {"EngineVersion = 1.5.0.0\n  Window { Button () }",
       ":2:3: warning: pattern has no actions: the engine rejects it unless the host adds it as silent\n"},
      {"EngineVersion = 1.5.0.0\nUIAutomation: Window { Pane { Button () { push (1) } } }",
       ":2:43: warning: 'push' under a UIAutomation root: that backend cannot push buttons; use an MSAA root\n"},
      {"EngineVersion = 1.5.0.0\nWindows { Button () { push } }", ":2:7: error: unexpected character 's'\n"},
      {"EngineVersion = 1.5.0.0\nWindow { * ?CheckBox (text=\"a\") { off } }",
       ":2:13: warning: optional element right after '*': the search lets '?' match nothing first, so this element "
       "never takes part; drop the '?' or the '*'\n"},
      {"EngineVersion = 1.5.0.0\nWindow { CheckBox (text=\"Runtime (x64)\") { off } }",
       ":2:25: warning: text \"Runtime (x64)\" does not match its own characters: ( ) + ? . are regular expression operators; "
       "write \\\\( \\\\) \\\\+ \\\\? \\\\. in the pattern to mean the characters\n"},
      {"EngineVersion = 1.5.0.0\nWindow { Button (text=\"&Next\") { push } }",
       ":2:23: warning: text \"&Next\" has an '&': accessible names leave out the mnemonic's '&' (\"&Next\" is read "
       "as \"Next\"); drop it\n"},
      {"EngineVersion = 1.5.0.0\nWindow { Button (id=\"7\") { push } }",
       ":2:10: warning: id=\"7\" is never compared: the element matches whatever its id; match on text\n"},
      {"EngineVersion = 1.5.0.0\nWindow { CheckBox [3,3] () { off } }",
       ":2:30: warning: 'off' and a click on the same element: the click comes after the uncheck and checks it again; "
       "keep one\n"},
      {"EngineVersion = 1.5.0.0\nWindow { CheckBox (text=\"(a+)+b\") { off } }",
       ":2:25: warning: text \"(a+)+b\" makes the matcher give up (its complexity limit) on names such as "
       "\"aaaaaaaa...\": they never match; avoid nested repetitions such as (a+)+\n"},
      {"EngineVersion = 1.5.0.0\nWindow { Button () { push } } }\nWindow { Button () { push } }",
       ":2:31: error: the pattern ends before '}': the engine ignores it and everything after it; is a '}' above one "
       "too many?\n"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Check(c.text);
    const bool error = std::string(c.expected).find(": error: ") != std::string::npos;
    EXPECT_EQ(run.code, error ? 1 : 0) << c.text;  // warnings alone pass...
    EXPECT_EQ(Check(c.text, true).code, 1) << c.text;  // ...unless --werror
    EXPECT_THAT(run.out, testing::StartsWith(std::string("<stdin>") + c.expected)) << c.text;
    EXPECT_THAT(run.out, testing::Not(testing::HasSubstr(": ok"))) << c.text;
  }
}

// What the lints look for, written as the author meant it.
TEST(Tool, LintsLeaveIntendedTextAlone) {
  const char* const texts[] = {
      "EngineVersion = 1.5.0.0\nWindow { ?CheckBox (text=\"a\") { off } * Button (text=\"Next >\") { push } }",
      "EngineVersion = 1.5.0.0\nWindow { CheckBox (text=\"Runtime \\\\(x64\\\\)\") { off } }",
      "EngineVersion = 1.5.0.0\nWindow { CheckBox (text=\"Install the toolbar.*\") { off } CheckBox (text=\"v1.0\") { off } }",
      "EngineVersion = 1.5.0.0\nWindow (text=\"Tom & Jerry\") { CheckBox [3,3] () { on } }",
  };
  for (const char* text : texts) {
    const ToolRun run = Check(text, true);
    EXPECT_EQ(run.code, 0) << text;
    EXPECT_EQ(run.out, "<stdin>: ok\n") << text;
  }
}

// Only good files: exit code 0, the ctest scenario.example_patterns_check.
TEST(Tool, CheckGoesOnAfterABadFileAndSortsProblems) {
  const TempDir dir;
  const std::string bad =
      dir.Write("bad", "EngineVersion = 1.7.0.0\nWindow (text=\"[\") { Button (text=\"a\" id=\"b\") }");
  // A directory made the stream throw (the tool aborted); a device never ended.
  std::istringstream in;
  std::ostringstream out;
  const std::vector<std::string> files{bad, "/nonexistent/pattern", "/tmp", "/dev/zero",
                                       kExamples + "/demo_offer.pattern"};
  EXPECT_EQ(RunPatternCheck(files, in, out), 1);
  EXPECT_THAT(out.str(), testing::MatchesRegex(bad + ":1:17: warning: version 1\\.7\\.0\\.0[^\n]*\n" + bad +
                                              ":2:38: error: expected '\\)'[^\n]*\n"
                                              "/nonexistent/pattern: error: cannot read the file: no such file\n"
                                              "/tmp: error: cannot read the file: it is a directory\n"
                                              "/dev/zero: error: cannot read the file: not a regular file\n" +
                                              kExamples + "/demo_offer\\.pattern: ok\n"));
}

}  // namespace
}  // namespace iae_tool
