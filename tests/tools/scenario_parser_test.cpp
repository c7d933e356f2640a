#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scenario.h"
#include "tools/temp_dir.h"

namespace iae_tool {
namespace {

constexpr char kFile[] = "dir/t.yaml";

std::string ErrorOf(const std::string& text, const std::string& path = kFile) {
  try {
    ParseScenario(text, path);
  } catch (const ScenarioError& error) {
    return error.what();
  }
  return "(no error)";
}

// Enough of a scenario to be valid; the cases below change one thing in it.
const std::string kPage =
    "installer:\n"                                                          // 1
    "  pages:\n"                                                            // 2
    "    - name: options\n"                                                 // 3
    "      controls:\n"                                                     // 4
    "        - {id: 101, name: toolbar, style: autocheckbox, state: checked}\n"  // 5
    "        - {id: 102, name: express, style: autoradiobutton | group}\n"      // 6
    "        - {id: 105, name: next, style: defpushbutton, on_push: exit}\n";   // 7
const std::string kHost =
    "host:\n"                                                               // 8
    "  patterns:\n"                                                         // 9
    "    - {id: 1, text: \"EngineVersion = 1.5.0.0 Window { }\"}\n";        // 10

// A scenario whose one page has these controls ("- " starts the first), line 5 onwards.
std::string Controls(const std::string& controls) {
  return "installer:\n  pages:\n    - name: options\n      controls:\n        - " + controls + "\n" + kHost;
}

struct ErrorCase {
  const char* what;
  std::string text;
  std::string error;
};

TEST(ScenarioParser, MistakesAreNamedWithFileLineAndColumn) {
  const ErrorCase cases[] = {
      {"control without id", Controls("{name: toolbar, style: autocheckbox}"), "dir/t.yaml:5:11: control needs an id"},
      {"misspelt key", Controls("id: 101\n          stat: checked"),
       "dir/t.yaml:6:11: unknown key 'stat' in control (did you mean 'state'?)"},
      {"unknown key far from any known one", kPage + kHost + "colour: blue\n",
       "dir/t.yaml:11:1: unknown key 'colour' in the scenario (known: description, timeout, installer, host, user, "
       "expect)"},
      {"bad initial state", Controls("{id: 101, style: autocheckbox, state: on}"),
       "dir/t.yaml:5:49: unknown state 'on' (one of unchecked, checked, indeterminate)"},
      {"bad state in a wait", kPage + kHost + "user:\n  - wait_for: {control: options/toolbar, state: unchekced}\n",
       "dir/t.yaml:12:49: unknown state 'unchekced' (one of checked, unchecked, indeterminate, enabled, disabled, "
       "visible, hidden)"},
      {"state of a push button", Controls("{id: 105, text: Next, state: checked}"),
       "dir/t.yaml:5:40: state applies to check boxes and radio buttons only"},
      {"expected check state of a push button", kPage + kHost + "expect:\n  controls:\n    options/next: unchecked\n",
       "dir/t.yaml:13:19: expect: 'options/next' is not a check box"},
      {"unchecking a radio button", kPage + kHost + "user:\n  - uncheck: options/express\n",
       "dir/t.yaml:12:14: uncheck: 'options/express' is a radio button: check another one of its group instead"},
      {"pattern without id", kPage + "host:\n  patterns:\n    - {text: x}\n", "dir/t.yaml:10:7: pattern needs an id"},
      {"pattern with file and text", kPage + "host:\n  patterns:\n    - {id: 1, text: x, file: y.pattern}\n",
       "dir/t.yaml:10:7: pattern needs either a file or a text"},
      {"missing pattern file", kPage + "host:\n  patterns:\n    - {id: 1, file: nope.pattern}\n",
       "dir/t.yaml:10:21: cannot read pattern file 'dir/nope.pattern': no such file"},
      {"pattern file that is a directory", kPage + "host:\n  patterns:\n    - {id: 1, file: /tmp}\n",
       "dir/t.yaml:10:21: cannot read pattern file '/tmp': it is a directory"},
      {"unknown page", kPage + kHost + "user:\n  - click: optoins/next\n",
       "dir/t.yaml:12:12: unknown page 'optoins' in 'optoins/next'"},
      {"unknown control", kPage + kHost + "user:\n  - click: options/nxt\n",
       "dir/t.yaml:12:12: page 'options' has no control or accessible element 'nxt'"},
      {"reference without page", kPage + kHost + "user:\n  - click: next\n",
       "dir/t.yaml:12:12: a control is named PAGE/CONTROL (a name or an id), not 'next'"},
      {"two actions in a step", kPage + kHost + "user:\n  - {click: options/next, wait: 5}\n",
       "dir/t.yaml:12:5: a step has exactly one action (note, wait, wait_for, click, ...)"},
      {"closing a control", kPage + kHost + "user:\n  - close: options/next\n",
       "dir/t.yaml:12:12: close takes a page; a control is hidden with hide"},
      {"wait_for with control and page", kPage + kHost + "user:\n  - wait_for: {page: options, control: options/next}\n",
       "dir/t.yaml:12:15: wait_for needs either a control or a page"},
      {"number that is not one", Controls("{id: abc}"), "dir/t.yaml:5:16: id must be a whole number, not 'abc'"},
      {"number out of range", Controls("{id: 70000}"), "dir/t.yaml:5:16: id must be between 0 and 65535, not 70000"},
      {"short rect",
       "installer:\n  pages:\n    - name: options\n      rect: [1, 2, 3]\n" + kHost,
       "dir/t.yaml:4:13: rect must be [left, top, right, bottom]"},
      {"key given twice", Controls("{id: 1, text: a, id: 2}"), "dir/t.yaml:5:28: key 'id' appears twice in control"},
      {"two controls with one id", Controls("{id: 1}\n        - {id: 1}"),
       "dir/t.yaml:6:16: page 'options' already has a control with id 1"},
      {"push behaviour showing an unknown page", Controls("{id: 1, on_push: {show: finsh}}"),
       "dir/t.yaml:5:35: unknown page 'finsh'"},
      {"accessible elements sharing a key",
       "installer:\n  pages:\n    - name: drawn\n      accessible:\n        children:\n          - {name: Offer}\n"
       "          - {name: Offer, role: checkbutton}\n" +
           kHost,
       "dir/t.yaml:7:13: two accessible elements of one page share the key 'Offer' (give one a key of its own)"},
      {"negative exit code expected", kPage + kHost + "expect:\n  exit_code: -1\n",
       "dir/t.yaml:12:14: exit_code must be between 0 and 4294967295, not -1"},
      {"a tree element replacing its page",
       "installer:\n  pages:\n    - name: drawn\n      accessible: {name: Go, on_default_action: {show: drawn, current: "
       "replace}}\n" + kHost,
       "dir/t.yaml:4:72: current: replace is for buttons: an element of a tree has no controls to give way"},
      {"a page replacing itself", Controls("{id: 1, on_push: {show: options, current: replace}}"),
       "dir/t.yaml:5:28: page 'options' cannot replace itself"},
      {"replacing a page with a tree",
       Controls("{id: 1, on_push: {show: drawn, current: replace}}\n    - name: drawn\n      accessible: {name: Go}"),
       "dir/t.yaml:5:28: current: replace needs pages without accessible or automation trees ('options', 'drawn')"},
      {"unknown factory", kPage + "host:\n  factory: CreateEngine3\n  patterns: []\n",
       "dir/t.yaml:9:12: unknown factory 'CreateEngine3' (CreateEngine or CreateEngine2)"},
      {"missing host", kPage, "dir/t.yaml:1:1: the scenario needs a host"},
      {"empty file", "", "dir/t.yaml: the file holds no scenario"},
      {"YAML syntax", "installer: [\n", "dir/t.yaml:2:1: end of sequence flow not found"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(ErrorOf(c.text), c.error) << c.what;
  }
  // Unknown names are followed by the names the parser knows (its own tables, not restated here).
  const std::pair<std::string, std::string> unknownNames[] = {
      {Controls("{id: 1, style: checkbx}"), "dir/t.yaml:5:26: unknown style 'checkbx' (a number or one of "},
      {"installer:\n  pages:\n    - name: drawn\n      accessible: {role: checkbox}\n" + kHost,
       "dir/t.yaml:4:26: unknown role 'checkbox' (one of "},
  };
  for (const auto& [text, start] : unknownNames) EXPECT_EQ(ErrorOf(text).rfind(start, 0), 0u) << ErrorOf(text);
}

// The examples and the runner's tests play the common keys; these are the forms, defaults and expectations that
// a misreading would leave unnoticed there.
TEST(ScenarioParser, ReadsFormsAndDefaultsTheExamplesLeaveOut) {
  TempDir dir;
  dir.Write("patterns/offer.pattern", "EngineVersion = 1.5.0.0 Window { }");
  dir.Write("icon.ico", std::string("\0\0\1\0", 4));
  const std::filesystem::path file = dir.Write("s.yaml", R"(installer:
  pages:
    - name: type
      title: "Setup – Ünïcode"
      controls:
        - {id: 201, name: express, style: [autoradiobutton, 0x100000], visible: false}
        - {id: 203, class: Static, text: Hello}
        - {id: 205, on_push: {exit: 3}}
        - {id: 206, on_push: close}
    - name: drawn
      accessible:
        children:
          - {role: 0x2B, name: Next}
host:
  threshold: warning
  notifications:
    title: Title
    icons: [{id: 4, value: 9, file: icon.ico}]
  patterns:
    - {id: 1, file: patterns/offer.pattern}
    - {id: 2, text: inline text, when: 250}
user:
  - wait_for: {control: type/express, state: checked}
  - check: type/201
  - click: drawn/Next
  - show: drawn
  - exit: 5
expect:
  pages: {drawn: visible}
  results: {1: 0, 2: none}
  report_items:
    - {code: 4, element_type: 5, user_action: checked, control_path_contains: CheckBox, count: 1}
  block_pattern_added: 1
)");
  const Scenario s = LoadScenario(file.string());
  const ScenarioPage& type = s.installer.pages[0];
  EXPECT_EQ(type.title, L"Setup \u2013 \u00DCn\u00EFcode");
  EXPECT_EQ(type.controls[0].style, static_cast<DWORD>(BS_AUTORADIOBUTTON | 0x100000));
  EXPECT_FALSE(type.controls[0].visible);
  EXPECT_EQ(type.controls[1].className, L"Static");
  EXPECT_EQ(type.controls[1].style, 0u) << "a static control gets no button style";
  EXPECT_EQ(type.controls[2].onPush->exitCode, 3u);
  EXPECT_EQ(type.controls[3].onPush->kind, PushBehaviour::Kind::ClosePage);
  const ScenarioAccNode& next = s.installer.pages[1].accessible->children.at(0);
  EXPECT_EQ(next.role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(next.key, L"Next") << "the key defaults to the name";

  EXPECT_EQ(s.host.threshold, 3u);
  EXPECT_EQ(s.host.notificationData->cancelButton, "Cancel");
  EXPECT_EQ(s.host.notificationData->icons.at(0).data, (std::vector<unsigned char>{0, 0, 1, 0}));
  EXPECT_EQ(s.host.patterns[0].text, "EngineVersion = 1.5.0.0 Window { }") << "read relative to the scenario";
  EXPECT_FALSE(s.host.patterns[0].afterMilliseconds);
  EXPECT_EQ(s.host.patterns[1].afterMilliseconds, std::optional<int>(250));

  EXPECT_EQ(s.user[0].milliseconds, 5000) << "default time-out";
  EXPECT_EQ(s.user[1].element.control, std::optional<std::size_t>(0)) << "a control by its id";
  EXPECT_EQ(s.user[2].element.nodeKey, L"Next");
  EXPECT_EQ(s.user[3].page, 1u);
  EXPECT_EQ(s.user[4].exitCode, 5u);

  EXPECT_EQ(s.expect.pages.at(0).state, PageState::Visible);
  EXPECT_EQ(s.expect.results.at(1), std::optional<int>(0));
  EXPECT_EQ(s.expect.results.at(2), std::nullopt);
  const ReportCountExpectation& count = s.expect.reportCounts.at(0);
  EXPECT_EQ(count.code, std::optional<int>(4));
  EXPECT_EQ(count.count, 1);
  EXPECT_EQ(count.elementType, std::optional<int>(5));
  EXPECT_EQ(count.userAction, std::optional<std::string>("checked"));
  EXPECT_EQ(count.controlPathContains, std::optional<std::string>("CheckBox"));
  EXPECT_EQ(s.expect.blockPatternAdded, std::optional<int>(1));
}

// A page that serves its own UI Automation tree: its elements with their patterns, referred to by key as accessible
// elements are, and check states asked only of the elements that have them.
TEST(ScenarioParser, ReadsAUiAutomationTree) {
  const std::string page =
      "installer:\n"
      "  pages:\n"
      "    - name: drawn\n"
      "      automation:\n"
      "        name: Canvas\n"
      "        children:\n"
      "          - {type: checkbox, name: Offer, automation_id: offer, toggle: indeterminate, three_state: true,\n"
      "             location: [1, 2, 3, 4]}\n"
      "          - {key: typical, type: radiobutton, name: Typical, selected: true}\n"
      "          - {type: 50000, name: Next, on_invoke: exit, enabled: false}\n"
      "          - {name: Banner, offscreen: true}\n" +
      kHost;  // lines 12 to 14
  const Scenario s = ParseScenario(page + "user:\n  - uncheck: drawn/offer\n  - click: drawn/Next\n", kFile);
  ASSERT_TRUE(s.installer.pages[0].automation);
  const ScenarioUiaNode& root = *s.installer.pages[0].automation;
  EXPECT_EQ(root.key, L"Canvas");
  EXPECT_EQ(root.controlType, 0) << "none given: the window's";
  ASSERT_EQ(root.children.size(), 4u);
  const ScenarioUiaNode& offer = root.children[0];
  EXPECT_EQ(offer.key, L"offer") << "the automation id before the name";
  EXPECT_EQ(offer.toggle, ToggleState_Indeterminate);
  EXPECT_TRUE(offer.threeState);
  const ScenarioUiaNode& next = root.children[2];
  EXPECT_EQ(next.controlType, UIA_ButtonControlTypeId);
  EXPECT_TRUE(next.invoke) << "on_invoke makes it invokable";
  EXPECT_FALSE(next.enabled);
  EXPECT_TRUE(root.children[3].offscreen);
  EXPECT_EQ(ControlTypeName(root.children[3].controlType), "custom");
  EXPECT_TRUE(s.user[0].element.automation);
  EXPECT_EQ(s.user[0].element.nodeKey, L"offer");

  const auto withElement = [&](const std::string& element) {
    return "installer:\n  pages:\n    - name: drawn\n      automation:\n        children:\n          - " + element +
           "\n" + kHost;
  };
  const ErrorCase cases[] = {
      {"a two-state toggle left indeterminate", withElement("{name: A, toggle: indeterminate}"),
       "dir/t.yaml:6:31: only a three_state element can be indeterminate"},
      {"three_state without toggle", withElement("{name: A, three_state: true}"),
       "dir/t.yaml:6:36: three_state goes with toggle"},
      {"toggle and selection", withElement("{name: A, toggle: on, selected: false}"),
       "dir/t.yaml:6:45: an element is a toggle or a selection item, not both"},
      {"a key the accessible tree has too",
       "installer:\n  pages:\n    - name: drawn\n      accessible: {name: A}\n      automation: {name: A}\n" + kHost,
       "dir/t.yaml:5:19: two accessible elements of one page share the key 'A' (give one a key of its own)"},
      {"unchecking a selection item", page + "user:\n  - uncheck: drawn/typical\n",
       "dir/t.yaml:16:14: uncheck: 'drawn/typical' is a radio button: check another one of its group instead"},
      {"a check state of an element without a pattern", page + "expect:\n  controls: {drawn/Banner: checked}\n",
       "dir/t.yaml:16:28: expect: 'drawn/Banner' is not a check box or radio button"},
  };
  for (const ErrorCase& c : cases) EXPECT_EQ(ErrorOf(c.text), c.error) << c.what;
  const std::string unknownType = ErrorOf(withElement("{type: checkbx}"));
  EXPECT_EQ(unknownType.rfind("dir/t.yaml:6:20: unknown control type 'checkbx' (one of button, calendar, ", 0), 0u)
      << unknownType;
}

TEST(ScenarioParser, NamesOfStatesAndRolesReadBack) {
  EXPECT_EQ(StateFlagsText(STATE_SYSTEM_NORMAL), "normal");
  EXPECT_EQ(StateFlagsText(STATE_SYSTEM_CHECKED | STATE_SYSTEM_UNAVAILABLE), "unavailable checked");
  EXPECT_EQ(StateFlagsText(STATE_SYSTEM_MIXED), "mixed") << "one name for a flag with two";
  EXPECT_EQ(StateFlagsText(STATE_SYSTEM_CHECKED | 0x80000), "checked 0x80000");
  EXPECT_EQ(RoleName(ROLE_SYSTEM_CHECKBUTTON), "checkbutton");
  EXPECT_EQ(RoleName(0x7000), "28672");
}

TEST(ScenarioParser, ExampleScenariosLoad) {
  std::size_t loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(IAE_EXAMPLES_DIR) + "/scenarios")) {
    if (entry.path().extension() != ".yaml") continue;
    const Scenario scenario = LoadScenario(entry.path().string());
    EXPECT_TRUE(scenario.hasExpectations) << entry.path() << ": every example states what it should end with";
    EXPECT_FALSE(scenario.user.empty()) << entry.path();
    ++loaded;
  }
  EXPECT_GE(loaded, 8u);
}

}  // namespace
}  // namespace iae_tool
