// Check box, radio button and push button over an MSAA element's default action. Each
// pattern keeps its own copy of the element; refusals are traces and results.
#pragma once

#include <mutex>

#include "uielement/msaa/msaa_element.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

// A pattern is used by the machine's worker for actions and by the engine thread for
// state-change events. Every call goes through a copy of the element taken under the lock,
// and no lock is held while a call waits on the installer: meanwhile the engine thread is
// handed the next WinEvent, whose handler reads this or another pattern.
class MSAAPatternElement {
 protected:
  explicit MSAAPatternElement(MSAAUIElement element) : element_(std::move(element)) {}
  // Role and live check state in one guarded read.
  bool HasRoleAndChecked(LONG role);
  LONG Role();
  std::shared_ptr<Subscription> SubscribeStates(WinEventHandler handler);
  PatternActionResult DoDefaultAction();
  // The live state flags, read now.
  LONG LiveState() { return Element().LiveState(); }

 private:
  MSAAUIElement Element();

  std::mutex lock_;
  MSAAUIElement element_;
};

class MSAACheckboxPattern final : public CheckBoxPattern, private MSAAPatternElement {
 public:
  explicit MSAACheckboxPattern(MSAAUIElement element) : MSAAPatternElement(std::move(element)) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) override;
  PatternActionResult SetCheckBox() override;
  PatternActionResult UnsetCheckBox() override;
  bool IsChecked() override;
  bool IsIndeterminate() override;

 private:
  PatternActionResult ClickUntil(bool checked);
};

class MSAARadioButtonPattern final : public RadioButtonPattern, private MSAAPatternElement {
 public:
  explicit MSAARadioButtonPattern(MSAAUIElement element) : MSAAPatternElement(std::move(element)) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) override;
  PatternActionResult SelectRadioButton() override;
  bool IsSelected() override;
};

class MSAAPushButtonPattern final : public PushButtonPattern, private MSAAPatternElement {
 public:
  explicit MSAAPushButtonPattern(MSAAUIElement element) : MSAAPatternElement(std::move(element)) {}
  PatternActionResult Push() override;
};

}  // namespace installation_assistant
