#include "uielement/ui_element.h"

#include <stdexcept>

namespace installation_assistant {
namespace {

// The state change events of a process come from any of its controls; the callback sees
// only real changes of this one control, each once.
template <typename Pattern, typename ReadState>
std::shared_ptr<Subscription> SubscribeOwnStateChanges(Pattern& pattern, ReadState readState,
                                                       std::function<void(bool)> callback) {
  auto lastKnown = std::make_shared<bool>(readState(pattern));
  std::shared_ptr<Pattern> self = std::static_pointer_cast<Pattern>(pattern.shared_from_this());
  return pattern.SubscribeStateChanges(
      [self, lastKnown, readState, callback = std::move(callback)](DWORD, HWND) {
        const bool state = readState(*self);
        if (state == *lastKnown) return;
        *lastKnown = state;
        callback(state);
      });
}

}  // namespace

std::shared_ptr<Subscription> CheckBoxPattern::SubscribeCheckedChanged(std::function<void(bool)> callback) {
  return SubscribeOwnStateChanges(*this, [](CheckBoxPattern& p) { return p.IsChecked(); }, std::move(callback));
}

std::shared_ptr<Subscription> RadioButtonPattern::SubscribeSelectedChanged(std::function<void(bool)> callback) {
  return SubscribeOwnStateChanges(*this, [](RadioButtonPattern& p) { return p.IsSelected(); }, std::move(callback));
}

RECT UIElement::GetWindowLocation() { return CreateMSAARootElement(window_)->GetLocation(); }

HWND FindWindowHandle(const std::shared_ptr<UIElement>& element) {
  std::shared_ptr<UIElement> current = element;
  while (current) {
    if (HWND window = current->GetWindowHandle()) return window;
    Option<std::shared_ptr<UIElement>> parent = current->GetParent();
    if (parent.IsNone()) return nullptr;
    current = parent.Get();
  }
  return nullptr;
}

std::string ChildPath(const std::string& parentPath, ElementType childType, int index) {
  return parentPath + "\\" + ElementTypeName(childType) + "(" + std::to_string(index) + ")";
}

std::shared_ptr<UIElement> CreateRootElement(UIAccessType accessType, HWND window) {
  switch (accessType) {
    case UIAccessType::MSAA:
      return CreateMSAARootElement(window);
    case UIAccessType::UIAutomation:
      return CreateUIAutomationRootElement(window);
  }
  throw std::logic_error("Unknown UIAccessType");
}

}  // namespace installation_assistant
