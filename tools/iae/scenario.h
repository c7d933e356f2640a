// A scenario: a simulated installer, the user in front of it, the host that runs the engine
// for it, and what the run must end with. Loaded from YAML (docs/scenarios.md).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace iae_tool {

// A mistake in a scenario file; what() is "file:line:column: what is wrong".
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SourcePlace {
  int line = 0;  // 1-based; 0: unknown
  int column = 0;
};

// What the installer does when one of its buttons is pushed (BN_CLICKED) or a custom
// element's default action runs.
struct PushBehaviour {
  enum class Kind { ShowPage, ClosePage, Exit };
  // What becomes of the page the button is on; Replace: the page shown takes over its window (a one-window wizard).
  enum class Leave { Destroy, Hide, Keep, Replace };
  Kind kind = Kind::ShowPage;
  std::size_t page = 0;  // ShowPage: the page shown
  Leave leave = Leave::Destroy;
  DWORD exitCode = 0;
};

struct ScenarioControl {
  std::string name;  // optional, for references; the id also serves
  std::wstring className = L"Button";
  // The window class a UI toolkit derives from className (empty: className itself).
  std::wstring toolkitClass;
  DWORD style = BS_PUSHBUTTON;
  std::wstring text;
  int id = 0;
  RECT rect{0, 0, 80, 24};
  UINT check = BST_UNCHECKED;
  bool enabled = true;
  bool visible = true;
  std::optional<PushBehaviour> onPush;
};

// An element of a custom-drawn page's accessible tree.
struct ScenarioAccNode {
  std::wstring key;  // the name unless given
  LONG role = ROLE_SYSTEM_CLIENT;
  std::wstring name;
  std::optional<std::wstring> value;
  std::optional<std::wstring> description;
  LONG state = STATE_SYSTEM_NORMAL;
  std::optional<std::wstring> defaultAction;
  RECT location{};
  bool simple = false;
  bool toggleOnDefaultAction = false;
  std::optional<PushBehaviour> onPush;  // runs on the default action
  std::vector<ScenarioAccNode> children;
};

// An element of the UI Automation tree a custom-drawn page serves natively; the root stands for the page's window.
struct ScenarioUiaNode {
  std::wstring key;               // the automation id, else the name, unless given
  CONTROLTYPEID controlType = 0;  // 0: none given
  std::wstring name;
  std::wstring automationId;
  RECT location{};
  bool enabled = true;
  bool offscreen = false;
  std::optional<ToggleState> toggle;  // has the Toggle pattern
  bool threeState = false;
  std::optional<bool> selected;  // has the SelectionItem pattern
  bool invoke = false;           // has the Invoke pattern
  std::optional<PushBehaviour> onInvoke;
  std::vector<ScenarioUiaNode> children;
};

struct ScenarioPage {
  std::string name;
  std::wstring title = L"Setup";
  RECT rect{100, 100, 500, 400};
  bool visible = true;
  std::vector<ScenarioControl> controls;
  std::optional<ScenarioAccNode> accessible;
  std::optional<ScenarioUiaNode> automation;
  SourcePlace place;
};

struct ScenarioInstaller {
  std::wstring image = L"setup.exe";
  std::vector<ScenarioPage> pages;
  // The component that puts message boxes on buttons serves its pipe this long after the
  // start; none when empty.
  std::optional<int> componentStartAfter;
};

// A control of a page, or an element of its custom or UI Automation tree (by key).
struct ElementRef {
  std::size_t page = 0;
  std::optional<std::size_t> control;  // index into ScenarioPage::controls
  std::wstring nodeKey;                // when not a control
  bool automation = false;             // nodeKey names an element of the page's UI Automation tree
  std::string text;                    // as written, for messages
};

enum class ElementState { Checked, Unchecked, Indeterminate, Enabled, Disabled, Visible, Hidden };
enum class PageState { Visible, Hidden, Closed };

const char* ElementStateName(ElementState state);
const char* PageStateName(PageState state);
// Names as the scenario file writes them: "checkbutton", "checked unavailable".
std::string RoleName(LONG role);
std::string ControlTypeName(CONTROLTYPEID type);
// The element of a UI Automation tree with that key; null if none.
const ScenarioUiaNode* FindUiaNode(const ScenarioUiaNode& root, const std::wstring& key);
std::string StateFlagsText(LONG state);

struct UserStep {
  enum class Kind {
    Note, Wait, WaitForElement, WaitForPage, Click, Check, Uncheck, Enable, Disable, Show, Hide, Close, Exit,
    Answer, ShowElement, HideElement
  };
  Kind kind = Kind::Wait;
  int milliseconds = 0;  // Wait; time-out of the waits for
  ElementRef element;
  std::size_t page = 0;
  ElementState elementState = ElementState::Checked;
  PageState pageState = PageState::Visible;
  DWORD exitCode = 0;
  std::string note;  // Note: what the user says
  SourcePlace place;
};

struct ScenarioPattern {
  int id = 0;
  std::string source;  // the file as written, or "inline"
  std::string text;
  bool silent = false;
  std::optional<int> afterMilliseconds;  // added that long after Run started; before Run when empty
};

struct ScenarioIcon {
  int id = 0;
  int value = 0;
  std::vector<unsigned char> data;
};

struct ScenarioNotification {
  bool flag = false;
  std::string title;
  std::string description;
  std::string okButton = "OK";
  std::string cancelButton = "Cancel";
  std::vector<ScenarioIcon> icons;
};

struct HostSetup {
  bool notifications = false;  // CreateEngine (true) or CreateEngine2
  unsigned int threshold = 2;
  std::optional<ScenarioNotification> notificationData;
  std::vector<ScenarioPattern> patterns;
};

// A ReportItem count: how many reports have every given field.
struct ReportCountExpectation {
  std::optional<int> code;
  std::optional<int> patternId;
  std::optional<int> genericPattern;
  std::optional<int> elementType;
  std::optional<std::string> userAction;
  std::optional<std::string> desiredState;
  std::optional<std::string> controlPathContains;
  int count = 0;
  SourcePlace place;
};

struct Expectations {
  struct Element {
    ElementRef ref;
    ElementState state;
    SourcePlace place;
  };
  struct Page {
    std::size_t page;
    PageState state;
    SourcePlace place;
  };
  struct Processed {
    std::size_t page;
    int count;
    SourcePlace place;
  };
  std::vector<Element> elements;
  std::vector<Page> pages;
  std::map<int, std::optional<int>> results;  // nullopt: no report for the pattern at the end of the run
  std::vector<ReportCountExpectation> reportCounts;
  std::optional<std::optional<int>> processedTotal;  // inner nullopt: no ReportProcessedTotal call at all
  std::vector<Processed> processed;
  std::optional<int> blockPatternAdded;
  std::vector<std::pair<Element, int>> messageBoxes;  // a button and how many requests it got
  struct ExitCode {
    DWORD code;
    SourcePlace place;
  };
  std::optional<ExitCode> exitCode;  // the installer process's
};

struct Scenario {
  std::string file;
  std::string description;
  int timeoutMilliseconds = 30000;
  ScenarioInstaller installer;
  HostSetup host;
  std::vector<UserStep> user;
  Expectations expect;
  bool hasExpectations = false;
};

// Throws ScenarioError for any mistake, or when the file cannot be read.
Scenario LoadScenario(const std::string& path);
// The same from text; path names the file in messages and anchors relative pattern files.
Scenario ParseScenario(const std::string& text, const std::string& path);

}  // namespace iae_tool
