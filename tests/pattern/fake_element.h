// Element trees from plain data, for tests that need a UIElement without an accessibility
// backend: the model's checkers and executors, the matchers, the actions processor's clicks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uielement/ui_element.h"

namespace installation_assistant::testing {

struct Live {
  ElementType type;
  std::optional<std::string> name;
  std::vector<Live> children;
  std::optional<bool> checked;   // set: the element has a check box pattern in this state
  std::optional<bool> selected;  // set: the element has a radio button pattern in this state
  RECT location{};
};

class FakeCheckBox final : public CheckBoxPattern {
 public:
  explicit FakeCheckBox(bool checked) : checked_(checked) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler) override { return nullptr; }
  PatternActionResult SetCheckBox() override { return {}; }
  PatternActionResult UnsetCheckBox() override { return {}; }
  bool IsChecked() override { return checked_; }

 private:
  bool checked_;
};

class FakeRadio final : public RadioButtonPattern {
 public:
  explicit FakeRadio(bool selected) : selected_(selected) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler) override { return nullptr; }
  PatternActionResult SelectRadioButton() override { return {}; }
  bool IsSelected() override { return selected_; }

 private:
  bool selected_;
};

// Counts how often its children are read.
class FakeElement final : public UIElement {
 public:
  FakeElement(const Live& live, std::string path, HWND window, std::weak_ptr<UIElement> parent, bool hasParent)
      : UIElement(std::move(path), window, std::move(parent), hasParent), live_(live) {}

  // The root's path is its type name, as in a real tree; `window` is the tree's window.
  static std::shared_ptr<FakeElement> Build(const Live& live, HWND window = nullptr, const std::string& path = "",
                                            std::weak_ptr<UIElement> parent = {}, bool hasParent = false) {
    auto element = std::make_shared<FakeElement>(live, path.empty() ? ElementTypeName(live.type) : path, window,
                                                 std::move(parent), hasParent);
    for (std::size_t i = 0; i < live.children.size(); ++i) {
      const Live& child = live.children[i];
      element->children_.push_back(
          Build(child, window, ChildPath(element->GetPath(), child.type, static_cast<int>(i)), element, true));
    }
    return element;
  }

  ElementType GetType() override { return live_.type; }
  HWND GetWindowHandle() override { return GetTreeWindow(); }
  Option<std::string> GetName() override {
    return live_.name ? Option<std::string>::Some(*live_.name) : Option<std::string>::None();
  }
  RECT GetLocation() override { return live_.location; }
  RECT GetDPIAwareLocation() override { return live_.location; }
  std::shared_ptr<Subscription> SubscribeStructureChanges(WinEventHandler) override { return nullptr; }
  std::shared_ptr<CheckBoxPattern> GetCheckBoxPattern() override {
    return live_.checked ? std::make_shared<FakeCheckBox>(*live_.checked) : nullptr;
  }
  std::shared_ptr<RadioButtonPattern> GetRadioButtonPattern() override {
    return live_.selected ? std::make_shared<FakeRadio>(*live_.selected) : nullptr;
  }
  std::shared_ptr<PushButtonPattern> GetPushButtonPattern() override { return nullptr; }
  std::vector<std::shared_ptr<UIElement>> GetChildren() override {
    ++childReads;
    return {children_.begin(), children_.end()};
  }
  void Refresh() override {}
  Option<std::shared_ptr<UIElement>> GetParent() override { return Option<std::shared_ptr<UIElement>>::None(); }
  bool IsEnabled() override { return true; }
  bool IsVisible() override { return true; }

  std::shared_ptr<FakeElement> Child(std::size_t i) const { return children_.at(i); }
  int childReads = 0;

 private:
  Live live_;
  std::vector<std::shared_ptr<FakeElement>> children_;
};

}  // namespace installation_assistant::testing
