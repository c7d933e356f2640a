// The simulated installer: its pages, their accessible trees, and what its buttons do when pushed.
#include "scenario_run.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace iae_tool::detail {
namespace {

// A UI toolkit's control: a class of its own over a standard control's procedure (superclassing), registered in
// the installer's process.
std::mutex g_toolkitMutex;
std::map<std::wstring, WNDPROC> g_toolkitBases;  // by the toolkit class name

LRESULT CALLBACK ToolkitControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  WNDPROC base = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_toolkitMutex);
    const auto found = g_toolkitBases.find(name);
    if (found != g_toolkitBases.end()) base = found->second;
  }
  return base ? CallWindowProcW(base, hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

void RegisterToolkitClass(const std::wstring& name, const std::wstring& base) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  if (!GetClassInfoExW(nullptr, base.c_str(), &info)) return;
  {
    std::lock_guard<std::mutex> lock(g_toolkitMutex);
    g_toolkitBases[name] = info.lpfnWndProc;
  }
  WNDCLASSEXW derived{};
  derived.cbSize = sizeof(derived);
  derived.lpfnWndProc = &ToolkitControlProc;
  derived.lpszClassName = name.c_str();
  RegisterClassExW(&derived);  // a second page's registration finds it there
}

std::string Hex(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

}  // namespace

void ScenarioRun::CreatePage(std::size_t index, bool show) {
  const ScenarioPage& entry = scenario_.installer.pages[index];
  simwin::DialogLayout layout;
  layout.title = entry.title;
  layout.rect = entry.rect;
  layout.visible = false;  // shown once its accessible tree is in place
  for (const ScenarioControl& control : entry.controls) {
    simwin::ControlLayout c;
    c.className = control.className;
    if (!control.toolkitClass.empty()) {
      installer_->Invoke([&control] { RegisterToolkitClass(control.toolkitClass, control.className); });
      c.className = control.toolkitClass;
    }
    c.style = control.style;
    c.text = control.text;
    c.id = control.id;
    c.rect = control.rect;
    c.check = control.check;
    c.enabled = control.enabled;
    c.visible = control.visible;
    layout.controls.push_back(std::move(c));
  }
  layout.onCommand = [this](WORD id, WORD code, HWND sender) {
    if (code != BN_CLICKED) return;
    // Whichever page the window holds now: a one-window wizard hands it on.
    const std::optional<std::size_t> index = PageIn(sender != nullptr ? GetParent(sender) : nullptr);
    if (!index) return;
    const ScenarioPage& page = scenario_.installer.pages[*index];
    for (const ScenarioControl& control : page.controls) {
      if (control.id != id || !control.onPush) continue;
      Pushed(*index, page.name + "/" + (control.name.empty() ? std::to_string(control.id) : control.name) + " " +
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
  if (show) {
    installer_->Invoke([hwnd = dialog.hwnd] { ShowWindow(hwnd, SW_SHOW); });
    AskPicture(dialog.hwnd, "shown", std::chrono::milliseconds(0));
  }
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
  if (push.kind == PushBehaviour::Kind::ShowPage && push.leave == PushBehaviour::Leave::Replace && current != nullptr) {
    ReplaceControls(page, push.page, current);
    return;
  }
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
    AskPicture(next, "shown", std::chrono::milliseconds(0));
  } else {
    CreatePage(push.page, true);
  }
}

// On the UI thread: the window stays and shows the next page's title and controls; the page it held reads as closed.
// The pages change hands at once, so that a step never finds both closed.
void ScenarioRun::ReplaceControls(std::size_t from, std::size_t to, HWND window) {
  const ScenarioPage& entry = scenario_.installer.pages[to];
  SetWindowTextW(window, entry.title.c_str());
  std::vector<HWND> controls;
  for (const ScenarioControl& control : entry.controls) {
    if (!control.toolkitClass.empty()) RegisterToolkitClass(control.toolkitClass, control.className);
    const std::wstring& className = control.toolkitClass.empty() ? control.className : control.toolkitClass;
    const DWORD style = (control.style | WS_CHILD | (control.visible ? WS_VISIBLE : 0));
    const RECT& r = control.rect;
    const HWND hwnd = CreateWindowExW(0, className.c_str(), control.text.c_str(), style, r.left, r.top,
                                      r.right - r.left, r.bottom - r.top, window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), nullptr, nullptr);
    if (hwnd != nullptr && control.check != BST_UNCHECKED) SendMessageW(hwnd, BM_SETCHECK, control.check, 0);
    if (hwnd != nullptr && !control.enabled) EnableWindow(hwnd, FALSE);
    controls.push_back(hwnd);
  }
  std::vector<HWND> old;
  HWND own = nullptr;
  {
    std::lock_guard<std::mutex> lock(pagesMutex_);
    old = std::exchange(pages_[from].controls, {});
    pages_[from].hwnd = nullptr;
    PageRuntime& page = pages_[to];
    own = page.hwnd;
    page.hwnd = window;
    page.controls = std::move(controls);
    if (std::find(page.windows.begin(), page.windows.end(), window) == page.windows.end()) page.windows.push_back(window);
  }
  for (HWND control : old) DestroyWindow(control);
  if (own != nullptr && own != window && IsWindow(own)) DestroyWindow(own);
  story_.Line("installer", "page " + PageName(to) + " " + Quote(entry.title) + " takes the place of page " +
                               PageName(from) + " in its window (" + std::to_string(entry.controls.size()) +
                               " controls)");
  AskPicture(window, "shown", std::chrono::milliseconds(0));
}

std::optional<std::size_t> ScenarioRun::PageIn(HWND window) {
  if (window == nullptr) return std::nullopt;
  std::lock_guard<std::mutex> lock(pagesMutex_);
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    if (pages_[p].hwnd == window) return p;
  }
  return std::nullopt;
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

void ScenarioRun::StartComponent() {
  if (!scenario_.installer.componentStartAfter) return;
  inproc::ComponentOptions options;
  options.startDelayMs = static_cast<DWORD>(*scenario_.installer.componentStartAfter);
  component_ = std::make_unique<inproc::Component>(
      [this](const inproc::MessageBoxRequest& request) {
        const std::string button = ControlName(reinterpret_cast<HWND>(static_cast<std::intptr_t>(request.button)));
        story_.Line("installer", "message box on " + button + ": \"" + request.title + "\" (" + request.okText +
                                     " / " + request.cancelText + ")");
        std::lock_guard<std::mutex> lock(boxesMutex_);
        boxes_.push_back(request);
        boxNames_.push_back(button);
        answered_.push_back(false);
        boxArrived_.notify_all();
      },
      options);
  bool started = false;
  installer_->Invoke([&] { started = component_->Start(); });
  if (!started) Fail("the installer's message box component could not start");
}

void ScenarioRun::StopComponent() {
  if (component_) component_->Stop();
}

std::string ScenarioRun::ControlRefName(std::size_t page, std::size_t control) const {
  const ScenarioPage& entry = scenario_.installer.pages[page];
  const ScenarioControl& found = entry.controls[control];
  return entry.name + "/" + (found.name.empty() ? std::to_string(found.id) : found.name);
}

std::string ScenarioRun::ControlName(HWND window) {
  std::lock_guard<std::mutex> lock(pagesMutex_);
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    for (std::size_t c = 0; c < pages_[p].controls.size(); ++c) {
      if (pages_[p].controls[c] == window) return ControlRefName(p, c);
    }
  }
  return "an unknown window";
}

bool ScenarioRun::AnswerMessageBox(const ElementRef& ref, int timeoutMilliseconds) {
  const auto button = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(ControlWindow(ref)));
  std::unique_lock<std::mutex> lock(boxesMutex_);
  std::optional<std::size_t> found;
  boxArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), [&] {
    for (std::size_t i = 0; i < boxes_.size() && !found; ++i) {
      if (boxes_[i].button == button && !answered_[i]) found = i;
    }
    return found.has_value() || ExitRequested();
  });
  if (!found) return false;
  answered_[*found] = true;
  return inproc::Answer(boxes_[*found]);
}

int ScenarioRun::MessageBoxesFor(const ElementRef& ref) {
  const std::string name = ControlRefName(ref.page, *ref.control);
  std::lock_guard<std::mutex> lock(boxesMutex_);
  return static_cast<int>(std::count(boxNames_.begin(), boxNames_.end(), name));
}

}  // namespace iae_tool::detail
