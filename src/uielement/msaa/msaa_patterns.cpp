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

PatternActionResult MSAACheckboxPattern::ClickUntil(bool checked) {
  constexpr LONG kShown = STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED;
  return StepCheckBoxUntil(
      checked ? STATE_SYSTEM_CHECKED : 0, [this] { return static_cast<int>(LiveState() & kShown); },
      [this] { return DoDefaultAction(); });
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
