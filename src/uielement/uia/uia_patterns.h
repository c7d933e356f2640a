// Check box and radio button over UI Automation's toggle and selection-item patterns,
// taken from the element's cache. Pushing needs MSAA's default action.
#pragma once

#include "common/com_handles.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

class UIAutomationTogglePattern final : public CheckBoxPattern {
 public:
  // Raises "Not a toggle pattern" when the element has none.
  UIAutomationTogglePattern(IUIAutomationElement* element, HWND window);
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) override;
  // Ends checked also for a box that cycles from indeterminate to off.
  PatternActionResult SetCheckBox() override;
  PatternActionResult UnsetCheckBox() override;
  // An indeterminate box is not checked.
  bool IsChecked() override;
  bool IsIndeterminate() override;
  // As the element's cache holds it, without a call into the installer.
  bool IsCheckedAsCached();

 private:
  ToggleState State();
  PatternActionResult Toggle();
  PatternActionResult ToggleUntil(ToggleState wanted);

  ComPtr<IUIAutomationElement> element_;
  HWND window_;
  ComPtr<IUIAutomationTogglePattern> pattern_;
};

class UIAutomationSelectionPattern final : public RadioButtonPattern {
 public:
  // Raises "Not a selection pattern" when the element has none.
  UIAutomationSelectionPattern(IUIAutomationElement* element, HWND window);
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) override;
  PatternActionResult SelectRadioButton() override;
  bool IsSelected() override;
  // As the element's cache holds it, without a call into the installer.
  bool IsSelectedAsCached();

 private:
  ComPtr<IUIAutomationElement> element_;
  HWND window_;
  ComPtr<IUIAutomationSelectionItemPattern> pattern_;
};

class UIAutomationPushButtonPattern final : public PushButtonPattern {
 public:
  // Always raises "Not implemented".
  PatternActionResult Push() override;
};

}  // namespace installation_assistant
