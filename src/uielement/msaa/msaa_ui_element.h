// The element interface over MSAA: lazy reads, cached until Refresh, children made level
// by level as callers ask.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "uielement/msaa/msaa_element.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

class MSAAUIElementWrapper final : public UIElement {
 public:
  MSAAUIElementWrapper(std::string path, HWND window, std::weak_ptr<UIElement> parent, bool hasParent,
                       MSAAUIElement element, int depth);

  ElementType GetType() override;
  HWND GetWindowHandle() override;
  HWND GetOwnWindowHandle() override { return element_.WindowOfClient(); }
  Option<std::string> GetName() override;
  RECT GetLocation() override;
  RECT GetDPIAwareLocation() override;
  std::shared_ptr<Subscription> SubscribeStructureChanges(WinEventHandler handler) override;
  std::shared_ptr<CheckBoxPattern> GetCheckBoxPattern() override;
  std::shared_ptr<RadioButtonPattern> GetRadioButtonPattern() override;
  std::shared_ptr<PushButtonPattern> GetPushButtonPattern() override;
  std::vector<std::shared_ptr<UIElement>> GetChildren() override;
  void Refresh() override;
  Option<std::shared_ptr<UIElement>> GetParent() override;
  bool IsEnabled() override;
  bool IsVisible() override;

  // The element's default action; a failure is traced and reported, not raised.
  static PatternActionResult DoDefaultAction(MSAAUIElement& element);

 protected:
  // From the state read when this element was collected: no call of its own.
  Option<bool> ReadChecked() override;
  Option<bool> ReadSelected() override;

 private:
  // The elements that become children, in raw order: invisible ones and title and scroll
  // bars are dropped with their subtrees, the uninteresting rest is flattened away.
  void CollectChildren(MSAAUIElement& element, std::vector<MSAAUIElement>& out, int flattened);

  MSAAUIElement element_;
  // Levels below the root; bounds how deep a served tree is followed.
  int depth_;
  Option<std::vector<std::shared_ptr<UIElement>>> children_;
};

}  // namespace installation_assistant
