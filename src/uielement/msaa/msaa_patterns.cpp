#include "uielement/msaa/msaa_patterns.h"

#include "common/trace.h"
#include "uielement/msaa/msaa_ui_element.h"
#include "watch/subscription.h"

namespace installation_assistant {
namespace {

PatternActionResult Failed() {
  PatternActionResult result;
  result.failed = true;
  return result;
}

}  // namespace

bool MSAAPatternElement::HasRoleAndChecked(LONG role) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return element_.Role() == role && (element_.LiveState() & STATE_SYSTEM_CHECKED) != 0;
}

LONG MSAAPatternElement::Role() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return element_.Role();
}

std::shared_ptr<Subscription> MSAAPatternElement::SubscribeStates(WinEventHandler handler) {
  HWND window;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    window = element_.WindowHandle();
  }
  return SubscribeForWindow(window, kStateEventSet, std::move(handler));
}

PatternActionResult MSAAPatternElement::DoDefaultAction() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return MSAAUIElementWrapper::DoDefaultAction(element_);
}

std::shared_ptr<Subscription> MSAACheckboxPattern::SubscribeStateChanges(WinEventHandler handler) {
  return SubscribeStates(std::move(handler));
}

bool MSAACheckboxPattern::IsChecked() { return HasRoleAndChecked(ROLE_SYSTEM_CHECKBUTTON); }

PatternActionResult MSAACheckboxPattern::SetCheckBox() {
  if (Role() != ROLE_SYSTEM_CHECKBUTTON) {
    TRACE(Error) << "Not a checkbox";
    return Failed();
  }
  if (IsChecked()) {
    TRACE(Warning) << "already checked";
    return {};
  }
  return DoDefaultAction();
}

PatternActionResult MSAACheckboxPattern::UnsetCheckBox() {
  if (Role() != ROLE_SYSTEM_CHECKBUTTON) {
    TRACE(Error) << "Not a checkbox";
    return Failed();
  }
  if (!IsChecked()) {
    TRACE(Warning) << "Not checked";
    return {};
  }
  return DoDefaultAction();
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
