// The element interface over UI Automation: one cached request per refresh brings the
// whole subtree, and the complete element tree is built from that cache at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/com_handles.h"
#include "common/option.h"
#include "uielement/tree_bounds.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

class UIAutomationElementWrapper final : public UIElement {
 public:
  UIAutomationElementWrapper(std::string path, HWND window, std::weak_ptr<UIElement> parent, bool hasParent,
                             ComPtr<IUIAutomationElement> element, int depth);

  ElementType GetType() override;
  HWND GetWindowHandle() override;
  // UI Automation names a native window only for an element that is that window.
  HWND GetOwnWindowHandle() override { return GetWindowHandle(); }
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

 protected:
  // Matching reads the states from the pass's cache.
  Option<bool> ReadChecked() override;
  Option<bool> ReadSelected() override;

 private:
  // Children from the cache that the last BuildUpdatedCache above brought, recursively.
  void RebuildChildren(TreeBounds& bounds);
  // The legacy MSAA state, traced with the item status when Debug is on.
  void TraceLiveState(const char* label, BOOL value);

  ComPtr<IUIAutomationElement> element_;
  // Levels below the root; bounds how deep a served tree is followed.
  int depth_;
  std::vector<std::shared_ptr<UIElement>> children_;
  // Read from the cache once per refresh: every pattern of a pass reads them.
  Option<ElementType> type_;
  Option<Option<std::string>> name_;
};

}  // namespace installation_assistant
