// A scenario run: three parties on simwin. The installer (a simwin::Process whose UI thread
// owns the pages), the user (a thread of its own that follows the steps), and the host (this
// thread, which creates the engine and stays in IEngine::Run until the installer exits).
// A director thread ends the installer when the user or a button asks for it, or when the
// run takes too long, after taking the final state of every page.
#include "scenario_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/text.h"
#include "common/trace.h"
#include "host_calls.h"
#include "installation_assistant/engine.h"
#include "platform/sim/simwin.h"
#include "platform/win32.h"
#include "recording_host.h"

namespace iae_tool {
namespace {

using Clock = std::chrono::steady_clock;
using installation_assistant::WideToUtf8;
using installation_assistant::engine::IEngine;
using installation_assistant::engine::IService;
using installation_assistant::engine::ITraceWriter;
using installation_assistant::engine::NotificationData;
using installation_assistant::engine::NotificationIcon;
using installation_assistant::engine::ServiceReport;
using simwin::HostCall;

std::string Quote(const std::wstring& text) { return "\"" + WideToUtf8(text) + "\""; }

std::string Hex(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

int WindowNumber(HWND hwnd) { return static_cast<int>(reinterpret_cast<intptr_t>(hwnd)); }

bool IsCheckable(const ScenarioControl& control) {
  const DWORD type = control.style & BS_TYPEMASK;
  return control.className == L"Button" && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON &&
         type != BS_GROUPBOX && type <= BS_AUTORADIOBUTTON;
}

bool IsRadio(const ScenarioControl& control) {
  const DWORD type = control.style & BS_TYPEMASK;
  return control.className == L"Button" && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

const char* CheckText(UINT check) {
  return check == BST_CHECKED ? "checked" : check == BST_INDETERMINATE ? "indeterminate" : "unchecked";
}

// Whether a UI Automation element is in the state: a toggle's or a selection item's check state, enabled, visible
// (not off screen).
bool AutomationHolds(const simwin::UiaElementState& s, ElementState state) {
  switch (state) {
    case ElementState::Checked: return s.toggle == ToggleState_On || s.selected == true;
    case ElementState::Unchecked: return s.toggle == ToggleState_Off || s.selected == false;
    case ElementState::Indeterminate: return s.toggle == ToggleState_Indeterminate;
    case ElementState::Enabled: return s.enabled;
    case ElementState::Disabled: return !s.enabled;
    case ElementState::Visible: return !s.offscreen;
    case ElementState::Hidden: return s.offscreen;
  }
  return false;
}

template <typename Node, typename Describe>
void PrintTree(std::ostream& text, const Node& node, int depth, const Describe& describe) {
  text << std::string(static_cast<std::size_t>(4 + 2 * depth), ' ') << describe(node) << "\n";
  for (const Node& child : node.children) PrintTree(text, child, depth + 1, describe);
}

std::string AutomationStateText(const simwin::UiaElementState& s) {
  std::string text;
  if (s.toggle) {
    text = *s.toggle == ToggleState_On ? "checked, " : *s.toggle == ToggleState_Off ? "unchecked, " : "indeterminate, ";
  }
  if (s.selected) text = *s.selected ? "selected, " : "not selected, ";
  text += s.enabled ? "enabled" : "disabled";
  text += s.offscreen ? ", off screen" : ", on screen";
  return text;
}

// Stamps and serialises every line; host calls go out as text or JSON.
class Story {
 public:
  Story(std::ostream& text, std::ostream* json, bool quiet) : text_(text), json_(json), quiet_(quiet) {}

  long long Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  }
  std::string Stamp() const {
    char text[32];
    std::snprintf(text, sizeof(text), "[%6lld ms] ", Ms());
    return text;
  }

  void Line(const std::string& who, const std::string& what) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << Stamp() << who << ": " << what << "\n" << std::flush;
  }
  void Plain(const std::string& text) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << text << std::flush;
  }
  void Always(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << text << std::flush;
  }
  void Call(const HostCall& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (json_ != nullptr) {
      nlohmann::ordered_json object = HostCallJson(call);
      object["ms"] = Ms();
      *json_ << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n" << std::flush;
    } else if (!quiet_) {
      text_ << Stamp() << "engine -> host: " << HostCallText(call) << "\n" << std::flush;
    }
  }

 private:
  std::ostream& text_;
  std::ostream* json_;
  bool quiet_;
  Clock::time_point start_ = Clock::now();
  std::mutex mutex_;
};

// The host's IService and ITraceWriter: records each call and tells the story as it comes.
class ScenarioHost final : public IService, public ITraceWriter {
 public:
  ScenarioHost(Story& story, std::ostream* traceFile) : story_(story), traceFile_(traceFile) {}

  void SetEngineVersion(const char* version) override {
    Relay([&] { calls_.SetEngineVersion(version); });
  }
  void ReportItem(const ServiceReport* report) override {
    Relay([&] { calls_.ReportItem(report); });
  }
  void ReportProcessedTotal(int count) override {
    Relay([&] { calls_.ReportProcessedTotal(count); });
  }
  void ReportProcessedItems(int window, int count) override {
    Relay([&] { calls_.ReportProcessedItems(window, count); });
  }
  void BlockPatternAdded() override {
    Relay([&] { calls_.BlockPatternAdded(); });
  }

  void Write(const wchar_t* text, int level) override {
    traces_.Write(text, level);
    if (traceFile_ == nullptr) return;
    std::lock_guard<std::mutex> lock(traceMutex_);
    *traceFile_ << story_.Stamp() << level << " " << WideToUtf8(text ? text : L"") << "\n";
  }
  void Flush() override {
    traces_.Flush();
    if (traceFile_ == nullptr) return;
    std::lock_guard<std::mutex> lock(traceMutex_);
    traceFile_->flush();
  }
  void Release() override { traces_.Release(); }

  const simwin::RecordingHost& Calls() const { return calls_; }
  const simwin::RecordingHost& Traces() const { return traces_; }

 private:
  // One call at a time, so the call just recorded is the last one.
  template <typename Record>
  void Relay(Record record) {
    std::lock_guard<std::mutex> lock(relayMutex_);
    record();
    story_.Call(calls_.AllCalls().back());
  }

  Story& story_;
  std::ostream* traceFile_;
  std::mutex relayMutex_;
  std::mutex traceMutex_;
  simwin::RecordingHost calls_;   // service calls
  simwin::RecordingHost traces_;  // trace writer calls
};

struct ElementSnapshot {
  bool exists = false;
  UINT check = BST_UNCHECKED;
  bool enabled = false;
  bool visible = false;
  LONG accState = 0;  // custom elements
};

struct PageSnapshot {
  PageState state = PageState::Closed;
  std::vector<ElementSnapshot> controls;
  std::map<std::wstring, LONG> nodes;
  std::map<std::wstring, simwin::UiaElementState> automation;
};

class ScenarioRun {
 public:
  ScenarioRun(const Scenario& scenario, const ScenarioRunOptions& options, std::ostream& out, std::ostream& err)
      : scenario_(scenario),
        options_(options),
        narrative_(options.json ? err : out),
        story_(narrative_, options.json ? &out : nullptr, options.quiet),
        pages_(scenario.installer.pages.size()) {}

  int Execute();

 private:
  struct PageRuntime {
    HWND hwnd = nullptr;
    std::vector<HWND> controls;
    std::vector<HWND> windows;  // every window the page has had
  };

  // Installer side.
  void CreatePage(std::size_t index, bool show);
  simwin::AccNode BuildNode(const ScenarioAccNode& entry, std::size_t page);
  simwin::UiaNode BuildUiaNode(const ScenarioUiaNode& entry, std::size_t page);
  std::function<void()> PushAction(std::size_t page, const std::wstring& key, const std::optional<PushBehaviour>& push);
  void Pushed(std::size_t page, const std::string& what, const PushBehaviour& push);
  void Perform(std::size_t page, const PushBehaviour& push);
  HWND PageWindow(std::size_t page);
  HWND ControlWindow(const ElementRef& ref);
  std::string PageName(std::size_t page) const { return "\"" + scenario_.installer.pages[page].name + "\""; }

  // User side.
  void User();
  bool Step(const UserStep& step);
  bool Sleep(int milliseconds);
  bool ClickAsUser(const ElementRef& ref);
  std::optional<bool> Holds(const ElementRef& ref, ElementState state);
  PageState PageStateNow(std::size_t page);
  std::string DescribeNow(const ElementRef& ref);

  // Director.
  void RequestExit(DWORD code, const std::string& reason);
  void Fail(const std::string& what);
  bool ExitRequested();
  void Director();
  std::vector<PageSnapshot> Snapshot();

  // After the run.
  void PrintFinalState();
  void CheckExpectations();

  const Scenario& scenario_;
  const ScenarioRunOptions& options_;
  std::ostream& narrative_;
  Story story_;
  std::unique_ptr<simwin::Process> installer_;

  std::mutex pagesMutex_;
  std::vector<PageRuntime> pages_;

  std::mutex exitMutex_;
  std::condition_variable exitChanged_;
  bool exitRequested_ = false;
  DWORD exitCode_ = 0;
  bool runReturned_ = false;
  Clock::time_point runStart_;

  std::mutex failuresMutex_;
  std::vector<std::string> failures_;

  std::vector<PageSnapshot> final_;
  std::size_t callsAtExit_ = 0;
  std::unique_ptr<ScenarioHost> host_;
};

// ---------------------------------------------------------------------------------------------------------------------
// The installer

void ScenarioRun::CreatePage(std::size_t index, bool show) {
  const ScenarioPage& entry = scenario_.installer.pages[index];
  simwin::DialogLayout layout;
  layout.title = entry.title;
  layout.rect = entry.rect;
  layout.visible = false;  // shown once its accessible tree is in place
  for (const ScenarioControl& control : entry.controls) {
    simwin::ControlLayout c;
    c.className = control.className;
    c.style = control.style;
    c.text = control.text;
    c.id = control.id;
    c.rect = control.rect;
    c.check = control.check;
    c.enabled = control.enabled;
    c.visible = control.visible;
    layout.controls.push_back(std::move(c));
  }
  layout.onCommand = [this, index](WORD id, WORD code, HWND) {
    if (code != BN_CLICKED) return;
    const ScenarioPage& page = scenario_.installer.pages[index];
    for (const ScenarioControl& control : page.controls) {
      if (control.id != id || !control.onPush) continue;
      Pushed(index, page.name + "/" + (control.name.empty() ? std::to_string(control.id) : control.name) + " " +
                        Quote(control.text),
             *control.onPush);
    }
  };
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(*installer_, layout);
  if (dialog.hwnd == nullptr) {
    Fail("the installer could not create page " + PageName(index));
    return;
  }
  if (entry.accessible) simwin::AttachAccessibleTree(*installer_, dialog.hwnd, BuildNode(*entry.accessible, index));
  if (entry.automation) simwin::AttachAutomationTree(*installer_, dialog.hwnd, BuildUiaNode(*entry.automation, index));
  {
    std::lock_guard<std::mutex> lock(pagesMutex_);
    PageRuntime& page = pages_[index];
    page.hwnd = dialog.hwnd;
    page.controls = dialog.controls;
    page.windows.push_back(dialog.hwnd);
  }
  story_.Line("installer", std::string(show ? "shows" : "creates hidden") + " page " + PageName(index) + " " +
                               Quote(entry.title) + " (window " + Hex(dialog.hwnd) + ", " +
                               std::to_string(entry.controls.size()) + " controls" +
                               (entry.accessible ? ", custom accessible tree" : "") +
                               (entry.automation ? ", UI Automation provider" : "") + ")");
  if (show) installer_->Invoke([hwnd = dialog.hwnd] { ShowWindow(hwnd, SW_SHOW); });
}

simwin::AccNode ScenarioRun::BuildNode(const ScenarioAccNode& entry, std::size_t page) {
  simwin::AccNode node;
  node.key = entry.key;
  node.role = entry.role;
  node.name = entry.name;
  node.value = entry.value;
  node.description = entry.description;
  node.state = entry.state;
  node.defaultAction = entry.defaultAction;
  node.location = entry.location;
  node.simple = entry.simple;
  node.toggleOnDefaultAction = entry.toggleOnDefaultAction;
  node.onDefaultAction = PushAction(page, entry.key, entry.onPush);
  for (const ScenarioAccNode& child : entry.children) node.children.push_back(BuildNode(child, page));
  return node;
}

simwin::UiaNode ScenarioRun::BuildUiaNode(const ScenarioUiaNode& entry, std::size_t page) {
  simwin::UiaNode node{.key = entry.key,
                       .controlType = entry.controlType,
                       .name = entry.name,
                       .automationId = entry.automationId,
                       .bounds = entry.location,
                       .enabled = entry.enabled,
                       .offscreen = entry.offscreen,
                       .toggle = entry.toggle,
                       .threeState = entry.threeState,
                       .selected = entry.selected,
                       .invoke = entry.invoke,
                       .onInvoke = PushAction(page, entry.key, entry.onInvoke)};
  for (const ScenarioUiaNode& child : entry.children) node.children.push_back(BuildUiaNode(child, page));
  return node;
}

// What an element's action makes the installer do (nothing if it has no push behaviour).
std::function<void()> ScenarioRun::PushAction(std::size_t page, const std::wstring& key,
                                              const std::optional<PushBehaviour>& push) {
  if (!push) return {};
  const std::string what = scenario_.installer.pages[page].name + "/" + WideToUtf8(key);
  return [this, page, what, behaviour = *push] { Pushed(page, what, behaviour); };
}

// On the UI thread, inside the button's notification: the page changes once it has returned,
// as a wizard that posts itself the page switch does.
void ScenarioRun::Pushed(std::size_t page, const std::string& what, const PushBehaviour& push) {
  switch (push.kind) {
    case PushBehaviour::Kind::ShowPage:
      story_.Line("installer", what + " pushed: page " + PageName(push.page) + " comes next");
      break;
    case PushBehaviour::Kind::ClosePage:
      story_.Line("installer", what + " pushed: page " + PageName(page) + " closes");
      break;
    case PushBehaviour::Kind::Exit:
      story_.Line("installer", what + " pushed: the installer finishes");
      RequestExit(push.exitCode, "");
      return;
  }
  installer_->Post([this, page, push] { Perform(page, push); });
}

void ScenarioRun::Perform(std::size_t page, const PushBehaviour& push) {
  const HWND current = PageWindow(page);
  if (push.kind == PushBehaviour::Kind::ClosePage ||
      (push.kind == PushBehaviour::Kind::ShowPage && push.leave == PushBehaviour::Leave::Destroy)) {
    if (current != nullptr) DestroyWindow(current);
  } else if (push.kind == PushBehaviour::Kind::ShowPage && push.leave == PushBehaviour::Leave::Hide) {
    if (current != nullptr) ShowWindow(current, SW_HIDE);
  }
  if (push.kind != PushBehaviour::Kind::ShowPage) return;
  const HWND next = PageWindow(push.page);
  if (next != nullptr) {
    ShowWindow(next, SW_SHOW);
    story_.Line("installer", "shows page " + PageName(push.page));
  } else {
    CreatePage(push.page, true);
  }
}

HWND ScenarioRun::PageWindow(std::size_t page) {
  std::lock_guard<std::mutex> lock(pagesMutex_);
  const HWND hwnd = pages_[page].hwnd;
  return hwnd != nullptr && IsWindow(hwnd) ? hwnd : nullptr;
}

HWND ScenarioRun::ControlWindow(const ElementRef& ref) {
  std::lock_guard<std::mutex> lock(pagesMutex_);
  const PageRuntime& page = pages_[ref.page];
  if (page.hwnd == nullptr || !IsWindow(page.hwnd) || !ref.control) return nullptr;
  return page.controls[*ref.control];
}

// ---------------------------------------------------------------------------------------------------------------------
// The user

PageState ScenarioRun::PageStateNow(std::size_t page) {
  const HWND hwnd = PageWindow(page);
  if (hwnd == nullptr) return PageState::Closed;
  return IsWindowVisible(hwnd) ? PageState::Visible : PageState::Hidden;
}

std::optional<bool> ScenarioRun::Holds(const ElementRef& ref, ElementState state) {
  if (ref.control) {
    const HWND hwnd = ControlWindow(ref);
    if (hwnd == nullptr) return std::nullopt;
    switch (state) {
      case ElementState::Checked: return simwin::CheckState(hwnd) == BST_CHECKED;
      case ElementState::Unchecked: return simwin::CheckState(hwnd) == BST_UNCHECKED;
      case ElementState::Indeterminate: return simwin::CheckState(hwnd) == BST_INDETERMINATE;
      case ElementState::Enabled: return IsWindowEnabled(hwnd) != FALSE;
      case ElementState::Disabled: return IsWindowEnabled(hwnd) == FALSE;
      case ElementState::Visible: return IsWindowVisible(hwnd) != FALSE;
      case ElementState::Hidden: return IsWindowVisible(hwnd) == FALSE;
    }
    return std::nullopt;
  }
  const HWND page = PageWindow(ref.page);
  if (page == nullptr) return std::nullopt;
  if (ref.automation) {
    const std::optional<simwin::UiaElementState> now = simwin::AutomationElementState(page, ref.nodeKey);
    if (!now) return std::nullopt;
    return AutomationHolds(*now, state);
  }
  const std::optional<LONG> flags = simwin::AccessibleState(page, ref.nodeKey);
  if (!flags) return std::nullopt;
  switch (state) {
    case ElementState::Checked: return (*flags & STATE_SYSTEM_CHECKED) != 0;
    case ElementState::Unchecked: return (*flags & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED)) == 0;
    case ElementState::Indeterminate: return (*flags & STATE_SYSTEM_MIXED) != 0;
    case ElementState::Enabled: return (*flags & STATE_SYSTEM_UNAVAILABLE) == 0;
    case ElementState::Disabled: return (*flags & STATE_SYSTEM_UNAVAILABLE) != 0;
    case ElementState::Visible: return (*flags & STATE_SYSTEM_INVISIBLE) == 0;
    case ElementState::Hidden: return (*flags & STATE_SYSTEM_INVISIBLE) != 0;
  }
  return std::nullopt;
}

std::string ScenarioRun::DescribeNow(const ElementRef& ref) {
  if (ref.control) {
    const HWND hwnd = ControlWindow(ref);
    if (hwnd == nullptr) return "gone (its page is closed)";
    std::string text;
    if (IsCheckable(scenario_.installer.pages[ref.page].controls[*ref.control])) {
      text = std::string(CheckText(simwin::CheckState(hwnd))) + ", ";
    }
    text += IsWindowEnabled(hwnd) ? "enabled" : "disabled";
    text += IsWindowVisible(hwnd) ? ", visible" : ", hidden";
    return text;
  }
  const HWND page = PageWindow(ref.page);
  if (ref.automation) {
    const auto now = page ? simwin::AutomationElementState(page, ref.nodeKey) : std::nullopt;
    return now ? AutomationStateText(*now) : "gone (its page is closed)";
  }
  const std::optional<LONG> flags = page ? simwin::AccessibleState(page, ref.nodeKey) : std::nullopt;
  return flags ? StateFlagsText(*flags) : "gone (its page is closed)";
}

bool ScenarioRun::ExitRequested() {
  std::lock_guard<std::mutex> lock(exitMutex_);
  return exitRequested_;
}

// False when the installer is to exit before the time is up.
bool ScenarioRun::Sleep(int milliseconds) {
  std::unique_lock<std::mutex> lock(exitMutex_);
  return !exitChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return exitRequested_; });
}

// A click as the user makes it: a button gets the mouse; a custom element runs its default action.
bool ScenarioRun::ClickAsUser(const ElementRef& ref) {
  if (ref.control) {
    const HWND hwnd = ControlWindow(ref);
    if (hwnd == nullptr) return false;
    if (!IsWindowEnabled(hwnd)) story_.Line("user", ref.text + " is disabled: the click does nothing");
    simwin::Click(hwnd);
    return true;
  }
  const HWND page = PageWindow(ref.page);
  if (ref.automation) {
    // The installer handles the click: a toggle toggles, a selection item is selected, a button invoked.
    const auto now = page ? simwin::AutomationElementState(page, ref.nodeKey) : std::nullopt;
    if (!now) return false;
    const ScenarioUiaNode& entry = *FindUiaNode(*scenario_.installer.pages[ref.page].automation, ref.nodeKey);
    if (!now->enabled || (!entry.toggle && !entry.selected && !entry.invoke)) {
      story_.Line("user", ref.text + " does not respond");
      return true;
    }
    return simwin::ClickAutomationElement(*installer_, page, ref.nodeKey);
  }
  const std::optional<LONG> flags = page ? simwin::AccessibleState(page, ref.nodeKey) : std::nullopt;
  if (!flags) return false;
  const ScenarioAccNode* entry = nullptr;
  std::function<void(const ScenarioAccNode&)> find = [&](const ScenarioAccNode& node) {
    if (node.key == ref.nodeKey) entry = &node;
    for (const ScenarioAccNode& child : node.children) find(child);
  };
  find(*scenario_.installer.pages[ref.page].accessible);
  // Nothing happens without a default action or on an unavailable element, as with a disabled button.
  if (entry == nullptr || !entry->defaultAction || (*flags & STATE_SYSTEM_UNAVAILABLE) != 0) {
    story_.Line("user", ref.text + " does not respond");
    return true;
  }
  if (entry->toggleOnDefaultAction) simwin::SetAccessibleState(*installer_, page, ref.nodeKey, *flags ^ STATE_SYSTEM_CHECKED);
  if (entry->onPush) {
    const PushBehaviour push = *entry->onPush;
    const std::string what = scenario_.installer.pages[ref.page].name + "/" + WideToUtf8(entry->key);
    installer_->Invoke([&] { Pushed(ref.page, what, push); });
  }
  return true;
}

bool ScenarioRun::Step(const UserStep& step) {
  using Kind = UserStep::Kind;
  const std::string at = scenario_.file + ":" + std::to_string(step.place.line) + ": ";
  const auto gone = [&](const std::string& target) {
    Fail(at + "the user cannot reach " + target + ": its page is closed");
    story_.Line("user", "cannot reach " + target + ": its page is closed");
    return false;
  };
  switch (step.kind) {
    case Kind::Note:
      story_.Line("user", step.note);
      return true;
    case Kind::Wait:
      story_.Line("user", "waits " + std::to_string(step.milliseconds) + " ms");
      return Sleep(step.milliseconds);
    case Kind::WaitForElement:
    case Kind::WaitForPage: {
      const bool element = step.kind == Kind::WaitForElement;
      const std::string what = element ? step.element.text + " is " + ElementStateName(step.elementState)
                                       : "page " + PageName(step.page) + " is " + PageStateName(step.pageState);
      story_.Line("user", "waits until " + what + " (at most " + std::to_string(step.milliseconds) + " ms)");
      const auto deadline = Clock::now() + std::chrono::milliseconds(step.milliseconds);
      for (;;) {
        const bool holds = element ? Holds(step.element, step.elementState).value_or(false)
                                   : PageStateNow(step.page) == step.pageState;
        if (holds) {
          story_.Line("user", "sees that " + what);
          return true;
        }
        if (Clock::now() >= deadline) {
          const std::string now = element ? DescribeNow(step.element) : PageStateName(PageStateNow(step.page));
          story_.Line("user", "time-out: " + what + " did not happen within " + std::to_string(step.milliseconds) +
                                  " ms (it is " + now + ")");
          Fail(at + "time-out waiting until " + what + " (after " + std::to_string(step.milliseconds) +
               " ms it is " + now + ")");
          return false;
        }
        if (!Sleep(10)) return false;
      }
    }
    case Kind::Click:
      story_.Line("user", "clicks " + step.element.text);
      return ClickAsUser(step.element) || gone(step.element.text);
    case Kind::Check:
    case Kind::Uncheck: {
      const bool check = step.kind == Kind::Check;
      const std::optional<bool> done = Holds(step.element, check ? ElementState::Checked : ElementState::Unchecked);
      if (!done) return gone(step.element.text);
      if (*done) {
        story_.Line("user", step.element.text + " is already " + (check ? "checked" : "unchecked"));
        return true;
      }
      story_.Line("user", std::string(check ? "checks " : "unchecks ") + step.element.text);
      return ClickAsUser(step.element) || gone(step.element.text);
    }
    case Kind::Enable:
    case Kind::Disable: {
      const bool enable = step.kind == Kind::Enable;
      story_.Line("installer", std::string(enable ? "enables " : "disables ") + step.element.text);
      if (step.element.control) {
        const HWND hwnd = ControlWindow(step.element);
        if (hwnd == nullptr) return gone(step.element.text);
        simwin::SetEnabled(*installer_, hwnd, enable);
        return true;
      }
      const HWND page = PageWindow(step.element.page);
      if (step.element.automation) {
        auto now = page ? simwin::AutomationElementState(page, step.element.nodeKey) : std::nullopt;
        if (!now) return gone(step.element.text);
        now->enabled = enable;
        simwin::SetAutomationElementState(*installer_, page, step.element.nodeKey, *now);
        return true;
      }
      const std::optional<LONG> flags = page ? simwin::AccessibleState(page, step.element.nodeKey) : std::nullopt;
      if (!flags) return gone(step.element.text);
      simwin::SetAccessibleState(*installer_, page, step.element.nodeKey,
                                 enable ? *flags & ~STATE_SYSTEM_UNAVAILABLE : *flags | STATE_SYSTEM_UNAVAILABLE);
      return true;
    }
    case Kind::Show: {
      const HWND hwnd = PageWindow(step.page);
      if (hwnd == nullptr) {
        CreatePage(step.page, true);
      } else {
        story_.Line("installer", "shows page " + PageName(step.page));
        installer_->Invoke([hwnd] { ShowWindow(hwnd, SW_SHOW); });
      }
      return true;
    }
    case Kind::Hide: {
      const HWND hwnd = PageWindow(step.page);
      if (hwnd == nullptr) return gone("page " + PageName(step.page));
      story_.Line("installer", "hides page " + PageName(step.page));
      installer_->Invoke([hwnd] { ShowWindow(hwnd, SW_HIDE); });
      return true;
    }
    case Kind::Close: {
      const HWND hwnd = PageWindow(step.page);
      if (hwnd == nullptr) return gone("page " + PageName(step.page));
      story_.Line("user", "closes page " + PageName(step.page));
      installer_->Invoke([hwnd] { DestroyWindow(hwnd); });
      return true;
    }
    case Kind::Exit:
      story_.Line("user", "finishes: the installer exits with code " + std::to_string(step.exitCode));
      RequestExit(step.exitCode, "");
      return false;
  }
  return false;
}

void ScenarioRun::User() {
  for (std::size_t i = 0; i < scenario_.user.size(); ++i) {
    if (ExitRequested()) {
      story_.Line("user", "the installer is exiting; " + std::to_string(scenario_.user.size() - i) +
                              " step(s) left undone");
      return;
    }
    if (!Step(scenario_.user[i])) {
      if (!ExitRequested()) RequestExit(0, "the user stopped: the runner exits the installer");
      return;
    }
  }
  RequestExit(0, "the user's steps ended without an exit: the runner exits the installer");
}

// ---------------------------------------------------------------------------------------------------------------------
// The director

void ScenarioRun::RequestExit(DWORD code, const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(exitMutex_);
    if (exitRequested_) return;
    exitRequested_ = true;
    exitCode_ = code;
  }
  if (!reason.empty()) story_.Line("runner", reason);
  exitChanged_.notify_all();
}

void ScenarioRun::Fail(const std::string& what) {
  std::lock_guard<std::mutex> lock(failuresMutex_);
  failures_.push_back(what);
}

std::vector<PageSnapshot> ScenarioRun::Snapshot() {
  std::vector<PageSnapshot> snapshot(pages_.size());
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    const ScenarioPage& entry = scenario_.installer.pages[p];
    PageSnapshot& page = snapshot[p];
    page.state = PageStateNow(p);
    page.controls.resize(entry.controls.size());
    if (page.state == PageState::Closed) continue;
    for (std::size_t c = 0; c < entry.controls.size(); ++c) {
      ElementRef ref;
      ref.page = p;
      ref.control = c;
      const HWND hwnd = ControlWindow(ref);
      if (hwnd == nullptr) continue;
      ElementSnapshot& control = page.controls[c];
      control.exists = true;
      control.check = simwin::CheckState(hwnd);
      control.enabled = IsWindowEnabled(hwnd) != FALSE;
      control.visible = IsWindowVisible(hwnd) != FALSE;
    }
    const HWND hwnd = PageWindow(p);
    std::function<void(const ScenarioUiaNode&)> visitUia = [&](const ScenarioUiaNode& node) {
      if (!node.key.empty()) {
        if (const auto state = simwin::AutomationElementState(hwnd, node.key)) page.automation[node.key] = *state;
      }
      for (const ScenarioUiaNode& child : node.children) visitUia(child);
    };
    if (entry.automation && hwnd != nullptr) visitUia(*entry.automation);
    if (!entry.accessible) continue;
    std::function<void(const ScenarioAccNode&)> visit = [&](const ScenarioAccNode& node) {
      if (!node.key.empty()) {
        if (const std::optional<LONG> state = simwin::AccessibleState(hwnd, node.key)) page.nodes[node.key] = *state;
      }
      for (const ScenarioAccNode& child : node.children) visit(child);
    };
    if (hwnd != nullptr) visit(*entry.accessible);
  }
  return snapshot;
}

void ScenarioRun::Director() {
  DWORD code = 0;
  {
    std::unique_lock<std::mutex> lock(exitMutex_);
    const auto deadline = runStart_ + std::chrono::milliseconds(scenario_.timeoutMilliseconds);
    if (!exitChanged_.wait_until(lock, deadline, [this] { return exitRequested_; })) {
      exitRequested_ = true;
      lock.unlock();
      exitChanged_.notify_all();
      const std::string what = "time-out: the scenario ran longer than " +
                               std::to_string(scenario_.timeoutMilliseconds) + " ms";
      story_.Line("runner", what + "; the runner exits the installer");
      Fail(what);
      lock.lock();
    }
    code = exitCode_;
  }
  final_ = Snapshot();
  callsAtExit_ = host_->Calls().AllCalls().size();
  story_.Line("installer", "process exits with code " + std::to_string(code));
  installer_->Exit(code);

  std::unique_lock<std::mutex> lock(exitMutex_);
  if (!exitChanged_.wait_for(lock, std::chrono::milliseconds(options_.runReturnGraceMilliseconds),
                             [this] { return runReturned_; })) {
    // The host thread is stuck inside the engine: nothing left to wait for.
    story_.Always("engine: Run() did not return " + std::to_string(options_.runReturnGraceMilliseconds) +
                  " ms after the installer exited\noutcome: FAILED\n");
    std::_Exit(kScenarioFailed);
  }
}

// ---------------------------------------------------------------------------------------------------------------------
// After the run

void ScenarioRun::PrintFinalState() {
  std::ostringstream text;
  text << "\nFinal state:\n";
  for (std::size_t p = 0; p < final_.size(); ++p) {
    const ScenarioPage& entry = scenario_.installer.pages[p];
    const PageSnapshot& page = final_[p];
    text << "  page " << entry.name << " " << Quote(entry.title) << ": " << PageStateName(page.state) << "\n";
    if (page.state == PageState::Closed) continue;
    for (std::size_t c = 0; c < entry.controls.size(); ++c) {
      const ScenarioControl& control = entry.controls[c];
      const ElementSnapshot& state = page.controls[c];
      std::string mark = "   ";
      if (IsCheckable(control)) {
        const bool radio = IsRadio(control);
        mark = state.check == BST_CHECKED ? (radio ? "(*)" : "[x]")
                                          : state.check == BST_INDETERMINATE ? "[-]" : (radio ? "( )" : "[ ]");
      } else if (control.className == L"Button" && (control.style & BS_TYPEMASK) != BS_GROUPBOX) {
        mark = "<->";
      }
      text << "    " << mark << " " << control.id;
      if (!control.name.empty()) text << " " << control.name;
      text << " " << Quote(control.text);
      if (!state.enabled) text << " (disabled)";
      if (!state.visible && page.state == PageState::Visible) text << " (hidden)";
      text << "\n";
    }
    // Each element: its role or control type, its name and, for those with a key, its final state.
    const auto line = [](std::string kind, const std::wstring& name, const auto& states, const std::wstring& key,
                         const auto& describe) {
      const auto found = states.find(key);
      return kind + " " + Quote(name) + (found == states.end() ? "" : " [" + describe(found->second) + "]");
    };
    if (entry.accessible) {
      text << "    accessible tree:\n";
      PrintTree(text, *entry.accessible, 1, [&](const ScenarioAccNode& node) {
        return line(RoleName(node.role), node.name, page.nodes, node.key, StateFlagsText);
      });
    }
    if (entry.automation) {
      text << "    UI Automation tree:\n";
      PrintTree(text, *entry.automation, 1, [&](const ScenarioUiaNode& node) {
        // The root is the page's window where it gives no type or name of its own.
        const bool root = &node == &*entry.automation;
        return line(root && node.controlType == 0 ? "window" : ControlTypeName(node.controlType),
                    root && node.name.empty() ? entry.title : node.name, page.automation, node.key,
                    AutomationStateText);
      });
    }
  }
  story_.Plain(text.str());
}

void ScenarioRun::CheckExpectations() {
  const Expectations& expect = scenario_.expect;
  const auto at = [&](const SourcePlace& place) {
    return scenario_.file + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": ";
  };
  for (const Expectations::Element& element : expect.elements) {
    const PageSnapshot& page = final_[element.ref.page];
    if (page.state == PageState::Closed) {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) +
           ", but its page is closed");
      continue;
    }
    const auto missing = [&] {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) +
           ", but the element is not there");
    };
    std::string actual;
    bool holds = false;
    if (element.ref.control) {
      const ElementSnapshot& s = page.controls[*element.ref.control];
      switch (element.state) {
        case ElementState::Checked: holds = s.check == BST_CHECKED; actual = CheckText(s.check); break;
        case ElementState::Unchecked: holds = s.check == BST_UNCHECKED; actual = CheckText(s.check); break;
        case ElementState::Indeterminate: holds = s.check == BST_INDETERMINATE; actual = CheckText(s.check); break;
        case ElementState::Enabled: holds = s.enabled; actual = s.enabled ? "enabled" : "disabled"; break;
        case ElementState::Disabled: holds = !s.enabled; actual = s.enabled ? "enabled" : "disabled"; break;
        case ElementState::Visible: holds = s.visible; actual = s.visible ? "visible" : "hidden"; break;
        case ElementState::Hidden: holds = !s.visible; actual = s.visible ? "visible" : "hidden"; break;
      }
    } else if (element.ref.automation) {
      const auto found = page.automation.find(element.ref.nodeKey);
      if (found == page.automation.end()) {
        missing();
        continue;
      }
      holds = AutomationHolds(found->second, element.state);
      actual = AutomationStateText(found->second);
    } else {
      const auto found = page.nodes.find(element.ref.nodeKey);
      if (found == page.nodes.end()) {
        missing();
        continue;
      }
      const LONG flags = found->second;
      actual = StateFlagsText(flags);
      switch (element.state) {
        case ElementState::Checked: holds = flags & STATE_SYSTEM_CHECKED; break;
        case ElementState::Unchecked: holds = !(flags & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED)); break;
        case ElementState::Indeterminate: holds = flags & STATE_SYSTEM_MIXED; break;
        case ElementState::Enabled: holds = !(flags & STATE_SYSTEM_UNAVAILABLE); break;
        case ElementState::Disabled: holds = flags & STATE_SYSTEM_UNAVAILABLE; break;
        case ElementState::Visible: holds = !(flags & STATE_SYSTEM_INVISIBLE); break;
        case ElementState::Hidden: holds = flags & STATE_SYSTEM_INVISIBLE; break;
      }
    }
    if (!holds) {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) + ", found " +
           actual);
    }
  }
  for (const Expectations::Page& page : expect.pages) {
    if (final_[page.page].state != page.state) {
      Fail(at(page.place) + "page " + PageName(page.page) + ": expected " + PageStateName(page.state) + ", found " +
           PageStateName(final_[page.page].state));
    }
  }

  const simwin::RecordingHost::Calls calls = host_->Calls().AllCalls();
  for (const auto& [id, code] : expect.results) {
    std::vector<int> codes;
    for (std::size_t i = callsAtExit_; i < calls.size(); ++i) {
      if (calls[i].kind == HostCall::Kind::ReportItem && calls[i].report.patternId == id) {
        codes.push_back(calls[i].report.resultCode);
      }
    }
    std::string found;
    for (int c : codes) found += (found.empty() ? "" : ", ") + std::to_string(c);
    if (!code) {
      if (!codes.empty()) Fail("pattern " + std::to_string(id) + ": expected no report at the end of the run, found " + found);
    } else if (codes.size() != 1 || codes[0] != *code) {
      Fail("pattern " + std::to_string(id) + ": expected result " + std::to_string(*code) + " at the end of the run, " +
           (codes.empty() ? std::string("found no report") : "found " + found));
    }
  }
  for (const ReportCountExpectation& count : expect.reportCounts) {
    int matching = 0;
    for (const HostCall& call : calls) {
      if (call.kind != HostCall::Kind::ReportItem) continue;
      const simwin::RecordedReport& r = call.report;
      if (count.code && r.resultCode != *count.code) continue;
      if (count.patternId && r.patternId != *count.patternId) continue;
      if (count.genericPattern && r.genericPattern != *count.genericPattern) continue;
      if (count.elementType && r.elementType != *count.elementType) continue;
      if (count.userAction && r.userAction != count.userAction) continue;
      if (count.desiredState && r.desiredState != count.desiredState) continue;
      if (count.controlPathContains &&
          (!r.controlPath || r.controlPath->find(*count.controlPathContains) == std::string::npos)) {
        continue;
      }
      ++matching;
    }
    if (matching != count.count) {
      std::string what;
      if (count.code) what += " code " + std::to_string(*count.code);
      if (count.patternId) what += " pattern " + std::to_string(*count.patternId);
      if (count.genericPattern) what += " generic " + std::to_string(*count.genericPattern);
      if (count.elementType) what += " element_type " + std::to_string(*count.elementType);
      if (count.userAction) what += " user_action \"" + *count.userAction + "\"";
      if (count.desiredState) what += " desired_state \"" + *count.desiredState + "\"";
      if (count.controlPathContains) what += " control path with \"" + *count.controlPathContains + "\"";
      Fail(at(count.place) + "ReportItem" + (what.empty() ? std::string(" (any)") : what) + ": expected " +
           std::to_string(count.count) + ", found " + std::to_string(matching));
    }
  }
  for (const Expectations::Processed& processed : expect.processed) {
    std::vector<HWND> windows;
    {
      std::lock_guard<std::mutex> lock(pagesMutex_);
      windows = pages_[processed.page].windows;
    }
    int sum = 0;
    for (const HostCall& call : calls) {
      if (call.kind != HostCall::Kind::ReportProcessedItems) continue;
      for (HWND hwnd : windows) {
        if (WindowNumber(hwnd) == call.window) sum += call.count;
      }
    }
    if (sum != processed.count) {
      Fail(at(processed.place) + "processed items of page " + PageName(processed.page) + ": expected " +
           std::to_string(processed.count) + ", found " + std::to_string(sum));
    }
  }
  if (expect.processedTotal) {
    std::optional<int> total;
    for (const HostCall& call : calls) {
      if (call.kind == HostCall::Kind::ReportProcessedTotal) total = call.count;
    }
    const std::optional<int>& wanted = *expect.processedTotal;
    if (total != wanted) {
      const auto text = [](const std::optional<int>& value) {
        return value ? std::to_string(*value) : std::string("no ReportProcessedTotal");
      };
      Fail("processed total: expected " + text(wanted) + ", found " + text(total));
    }
  }
  if (expect.blockPatternAdded) {
    const auto found = static_cast<int>(host_->Calls().Count(HostCall::Kind::BlockPatternAdded));
    if (found != *expect.blockPatternAdded) {
      Fail("BlockPatternAdded: expected " + std::to_string(*expect.blockPatternAdded) + " call(s), found " +
           std::to_string(found));
    }
  }
}

int ScenarioRun::Execute() {
  std::ofstream traceFile;
  if (!options_.traceFile.empty()) {
    traceFile.open(options_.traceFile, std::ios::binary | std::ios::trunc);
    if (!traceFile) {
      story_.Always("cannot write the trace file " + options_.traceFile + "\n");
      return kScenarioUnusable;
    }
  }
  host_ = std::make_unique<ScenarioHost>(story_, traceFile.is_open() ? &traceFile : nullptr);

  if (!options_.quiet) {
    std::string header = "scenario: " + scenario_.file + "\n";
    if (!scenario_.description.empty()) {
      std::istringstream lines(scenario_.description);
      for (std::string line; std::getline(lines, line);) header += "  " + line + "\n";
    }
    story_.Plain(header + "\n");
  }

  installer_ = std::make_unique<simwin::Process>(scenario_.installer.image);
  story_.Line("installer", "process " + std::to_string(installer_->Id()) + " " + Quote(scenario_.installer.image) +
                               " starts");
  for (std::size_t i = 0; i < scenario_.installer.pages.size(); ++i) {
    CreatePage(i, scenario_.installer.pages[i].visible);
  }

  const HostSetup& hostEntry = scenario_.host;
  const char* factoryName = hostEntry.notifications ? "CreateEngine" : "CreateEngine2";
  story_.Line("host", std::string(factoryName) + "(service, " + std::to_string(installer_->Id()) + ", " +
                          std::to_string(hostEntry.threshold) + ", writer)");
  IEngine* engine = (hostEntry.notifications ? &CreateEngine : &CreateEngine2)(
      host_.get(), static_cast<long>(installer_->Id()), hostEntry.threshold, host_.get());
  if (engine == nullptr) {
    std::string traces;
    for (const std::wstring& trace : host_->Traces().Traces()) traces += "  " + WideToUtf8(trace) + "\n";
    story_.Always("host: the factory returned null; the trace says:\n" + traces + "outcome: FAILED\n");
    installer_->Exit(0);
    installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());
    return kScenarioFailed;
  }

  if (hostEntry.notificationData) {
    const ScenarioNotification& entry = *hostEntry.notificationData;
    std::vector<NotificationIcon> icons;
    for (const ScenarioIcon& icon : entry.icons) {
      icons.push_back(NotificationIcon{icon.id, icon.value, static_cast<unsigned int>(icon.data.size()), icon.data.data()});
    }
    const NotificationData data{entry.flag,
                                entry.title.c_str(),
                                entry.description.c_str(),
                                entry.okButton.c_str(),
                                entry.cancelButton.c_str(),
                                static_cast<unsigned int>(icons.size()),
                                icons.empty() ? nullptr : icons.data()};
    story_.Line("host", "SetNotificationsData(title \"" + entry.title + "\", " + std::to_string(icons.size()) +
                            " icon(s))");
    engine->SetNotificationsData(&data);
  }

  const auto addPattern = [&](const ScenarioPattern& pattern) {
    story_.Line("host", "AddPattern(" + std::to_string(pattern.id) + ", " + pattern.source + ", " +
                            (pattern.silent ? "silent" : "not silent") + ")");
    engine->AddPattern(pattern.id, pattern.text.c_str(), pattern.silent);
  };
  for (const ScenarioPattern& pattern : hostEntry.patterns) {
    if (!pattern.afterMilliseconds) addPattern(pattern);
  }

  runStart_ = Clock::now();
  // Patterns the host adds while the engine runs come from a thread of the host's own.
  std::thread lateHost([&] {
    std::vector<const ScenarioPattern*> late;
    for (const ScenarioPattern& pattern : hostEntry.patterns) {
      if (pattern.afterMilliseconds) late.push_back(&pattern);
    }
    std::stable_sort(late.begin(), late.end(),
                     [](const ScenarioPattern* a, const ScenarioPattern* b) { return *a->afterMilliseconds < *b->afterMilliseconds; });
    for (const ScenarioPattern* pattern : late) {
      std::unique_lock<std::mutex> lock(exitMutex_);
      if (exitChanged_.wait_until(lock, runStart_ + std::chrono::milliseconds(*pattern->afterMilliseconds),
                                  [this] { return runReturned_; })) {
        lock.unlock();
        story_.Line("host", "pattern " + std::to_string(pattern->id) + " not added: Run() returned before " +
                                std::to_string(*pattern->afterMilliseconds) + " ms");
        continue;
      }
      lock.unlock();
      addPattern(*pattern);
    }
  });
  std::thread director([this] { Director(); });
  std::thread user([this] { User(); });

  story_.Line("host", "Run()");
  engine->Run();
  {
    std::lock_guard<std::mutex> lock(exitMutex_);
    runReturned_ = true;
  }
  exitChanged_.notify_all();
  story_.Line("host", "Run() returned");
  user.join();
  director.join();
  lateHost.join();
  engine->Release();
  story_.Line("host", "Release()");
  // The host would now unload the module, which drops its trace writer; here the engine is
  // linked in, so drop it by hand before the host goes away.
  installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());
  installer_.reset();

  PrintFinalState();
  CheckExpectations();
  if (!host_->Traces().TracesContaining(L"No actions processor in this build").empty()) {
    story_.Plain("(this build recognises dialogs but carries out no action: it has no actions processor)\n");
  }
  if (failures_.empty()) {
    story_.Always(scenario_.hasExpectations ? "outcome: as expected\n" : "outcome: as expected (no expectations)\n");
    return kScenarioAsExpected;
  }
  std::string text = "outcome: " + std::to_string(failures_.size()) + " mismatch(es)\n";
  for (const std::string& failure : failures_) text += "  " + failure + "\n";
  story_.Always(text);
  return kScenarioFailed;
}

}  // namespace

int RunScenario(const Scenario& scenario, const ScenarioRunOptions& options, std::ostream& out, std::ostream& err) {
  ScenarioRun run(scenario, options, out, err);
  return run.Execute();
}

int RunScenarioFile(const std::string& path, const ScenarioRunOptions& options, std::ostream& out,
                    std::ostream& err) {
  Scenario scenario;
  try {
    scenario = LoadScenario(path);
  } catch (const ScenarioError& error) {
    err << error.what() << "\n";
    return kScenarioUnusable;
  }
  return RunScenario(scenario, options, out, err);
}

}  // namespace iae_tool
