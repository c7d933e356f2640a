// The simulated user: follows the scenario's steps on its own thread, as a person in front of the installer.
#include "scenario_run.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace iae_tool::detail {

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

// False when the installer is to exit before the time is up.
bool ScenarioRun::Sleep(int milliseconds) {
  std::unique_lock<std::mutex> lock(exitMutex_);
  return !exitChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return exitRequested_; });
}

// Returns once the installer's UI thread has run what was queued to it so far, or the installer is exiting (an action
// that exits it may end that thread before it gets further).
void ScenarioRun::AwaitQueuedInstallerWork() {
  const auto reached = std::make_shared<bool>(false);
  try {
    installer_->Post([this, reached] {
      {
        std::lock_guard<std::mutex> lock(exitMutex_);
        *reached = true;
      }
      exitChanged_.notify_all();
    });
  } catch (const std::runtime_error&) {
    return;  // the UI thread has ended: the installer exited
  }
  std::unique_lock<std::mutex> lock(exitMutex_);
  exitChanged_.wait(lock, [&] { return *reached || exitRequested_; });
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
    if (!simwin::ClickAutomationElement(*installer_, page, ref.nodeKey)) return false;
    // Invoke only queues the action on the installer's UI thread (IInvokeProvider::Invoke, "asynchronous":
    // https://learn.microsoft.com/windows/win32/api/uiautomationcore/nf-uiautomationcore-iinvokeprovider-invoke).
    AwaitQueuedInstallerWork();
    return true;
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
    case Kind::Disable:
    case Kind::ShowElement:
    case Kind::HideElement: {
      const bool visibility = step.kind == Kind::ShowElement || step.kind == Kind::HideElement;
      const bool on = step.kind == Kind::Enable || step.kind == Kind::ShowElement;
      story_.Line("installer", std::string(visibility ? (on ? "shows " : "hides ") : (on ? "enables " : "disables ")) +
                                   step.element.text);
      if (step.element.control) {
        const HWND hwnd = ControlWindow(step.element);
        if (hwnd == nullptr) return gone(step.element.text);
        if (visibility) {
          installer_->Invoke([hwnd, on] { ShowWindow(hwnd, on ? SW_SHOW : SW_HIDE); });
        } else {
          simwin::SetEnabled(*installer_, hwnd, on);
        }
        return true;
      }
      const HWND page = PageWindow(step.element.page);
      if (step.element.automation) {
        auto now = page ? simwin::AutomationElementState(page, step.element.nodeKey) : std::nullopt;
        if (!now) return gone(step.element.text);
        (visibility ? now->offscreen : now->enabled) = visibility ? !on : on;
        simwin::SetAutomationElementState(*installer_, page, step.element.nodeKey, *now);
        return true;
      }
      const std::optional<LONG> flags = page ? simwin::AccessibleState(page, step.element.nodeKey) : std::nullopt;
      if (!flags) return gone(step.element.text);
      const LONG off = visibility ? STATE_SYSTEM_INVISIBLE : STATE_SYSTEM_UNAVAILABLE;
      simwin::SetAccessibleState(*installer_, page, step.element.nodeKey, on ? *flags & ~off : *flags | off);
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
    case Kind::Answer:
      story_.Line("user", "waits for the message box on " + step.element.text);
      if (AnswerMessageBox(step.element, step.milliseconds)) {
        story_.Line("user", "answers the message box on " + step.element.text);
        return true;
      }
      Fail(at + "no message box on " + step.element.text + " within " + std::to_string(step.milliseconds) + " ms");
      return false;
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

}  // namespace iae_tool::detail
