#include "uielement/msaa/msaa_patterns.h"

#include "common/subscription.h"
#include "common/trace.h"
#include "uielement/msaa/msaa_ui_element.h"

namespace installation_assistant {
namespace {

PatternActionResult Failed() {
  PatternActionResult result;
  result.failed = true;
  return result;
}

// The standard proxy's default action posts BM_CLICK to the control, so its effect shows
// once the installer has handled it.
constexpr DWORD kClickSettleMs = 1000;
constexpr DWORD kClickPollMs = 5;

}  // namespace

MSAAUIElement MSAAPatternElement::Element() {
  std::lock_guard<std::mutex> guard(lock_);
  return element_;
}

bool MSAAPatternElement::HasRoleAndChecked(LONG role) {
  MSAAUIElement element = Element();
  return element.Role() == role && (element.LiveState() & STATE_SYSTEM_CHECKED) != 0;
}

LONG MSAAPatternElement::Role() { return Element().Role(); }

std::shared_ptr<Subscription> MSAAPatternElement::SubscribeStates(WinEventHandler handler) {
  return SubscribeForWindow(Element().WindowHandle(), kStateEventSet, std::move(handler));
}

PatternActionResult MSAAPatternElement::DoDefaultAction() {
  MSAAUIElement element = Element();
  return MSAAUIElementWrapper::DoDefaultAction(element);
}

std::shared_ptr<Subscription> MSAACheckboxPattern::SubscribeStateChanges(WinEventHandler handler) {
  return SubscribeStates(std::move(handler));
}

bool MSAACheckboxPattern::IsChecked() { return HasRoleAndChecked(ROLE_SYSTEM_CHECKBUTTON); }

bool MSAACheckboxPattern::IsIndeterminate() { return (LiveState() & STATE_SYSTEM_MIXED) != 0; }

PatternActionResult MSAACheckboxPattern::SetCheckBox() {
  if (Role() != ROLE_SYSTEM_CHECKBUTTON) {
    TRACE(Error) << "Not a checkbox";
    return Failed();
  }
  if (IsChecked() && !IsIndeterminate()) {
    TRACE(Warning) << "already checked";
    return {};
  }
  return ClickUntil(true);
}

PatternActionResult MSAACheckboxPattern::UnsetCheckBox() {
  if (Role() != ROLE_SYSTEM_CHECKBUTTON) {
    TRACE(Error) << "Not a checkbox";
    return Failed();
  }
  if (!IsChecked() && !IsIndeterminate()) {
    TRACE(Warning) << "Not checked";
    return {};
  }
  return ClickUntil(false);
}

// A three-state box cycles unchecked, checked, indeterminate (BS_AUTO3STATE in Microsoft's
// button styles): one click from checked leaves it indeterminate, not unchecked. Each click
// is awaited and looked at; a box seen in another state after its clicks fails.
PatternActionResult MSAACheckboxPattern::ClickUntil(bool checked) {
  constexpr LONG kShown = STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED;
  for (int click = 0; click < 3; ++click) {
    const LONG before = LiveState() & kShown;
    PatternActionResult result = DoDefaultAction();
    if (result.failed) return result;
    LONG now = before;
    try {
      for (DWORD waited = 0; now == before && waited < kClickSettleMs; waited += kClickPollMs) {
        Sleep(kClickPollMs);
        now = LiveState() & kShown;
      }
    } catch (...) {
      // The click was made; the installer (or its page) went away before it could be looked at.
      TRACE(Info) << "Check box gone after a click; taken as done";
      return {};
    }
    if (now == before) {
      // A busy installer may handle the click later: clicking again could undo it.
      TRACE(Info) << "Check box not changed yet after a click; taken as done";
      return {};
    }
    if (now == (checked ? STATE_SYSTEM_CHECKED : 0)) return {};
  }
  TRACE(Warning) << "Check box never became " << (checked ? "checked" : "unchecked");
  return Failed();
}

std::shared_ptr<Subscription> MSAARadioButtonPattern::SubscribeStateChanges(WinEventHandler handler) {
  return SubscribeStates(std::move(handler));
}

bool MSAARadioButtonPattern::IsSelected() { return HasRoleAndChecked(ROLE_SYSTEM_RADIOBUTTON); }

PatternActionResult MSAARadioButtonPattern::SelectRadioButton() {
  if (Role() != ROLE_SYSTEM_RADIOBUTTON) {
    TRACE(Error) << "Not a radiobutton";
    return Failed();
  }
  if (IsSelected()) {
    TRACE(Warning) << "Already selected";
    return {};
  }
  return DoDefaultAction();
}

PatternActionResult MSAAPushButtonPattern::Push() {
  if (Role() != ROLE_SYSTEM_PUSHBUTTON) {
    TRACE(Error) << "Not a pushbutton";
    return Failed();
  }
  return DoDefaultAction();
}

}  // namespace installation_assistant
