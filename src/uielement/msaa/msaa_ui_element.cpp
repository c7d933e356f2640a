#include "uielement/msaa/msaa_ui_element.h"

#include <cstdint>
#include <stdexcept>

#include "common/subscription.h"
#include "common/trace.h"
#include "uielement/msaa/msaa_patterns.h"

namespace installation_assistant {

MSAAUIElementWrapper::MSAAUIElementWrapper(std::string path, HWND window, std::weak_ptr<UIElement> parent,
                                           bool hasParent, MSAAUIElement element, int depth)
    : UIElement(std::move(path), window, std::move(parent), hasParent), element_(std::move(element)), depth_(depth) {}

ElementType MSAAUIElementWrapper::GetType() { return element_.Type(); }

HWND MSAAUIElementWrapper::GetWindowHandle() { return element_.WindowHandle(); }

Option<std::string> MSAAUIElementWrapper::GetName() { return element_.Name(); }

RECT MSAAUIElementWrapper::GetLocation() { return element_.Location(); }

RECT MSAAUIElementWrapper::GetDPIAwareLocation() { return element_.GetDPIAwareLocation(); }

std::shared_ptr<Subscription> MSAAUIElementWrapper::SubscribeStructureChanges(WinEventHandler handler) {
  return SubscribeForWindow(element_.WindowHandle(), kStructureEventSet, std::move(handler));
}

std::shared_ptr<CheckBoxPattern> MSAAUIElementWrapper::GetCheckBoxPattern() {
  return std::make_shared<MSAACheckboxPattern>(element_);
}

std::shared_ptr<RadioButtonPattern> MSAAUIElementWrapper::GetRadioButtonPattern() {
  return std::make_shared<MSAARadioButtonPattern>(element_);
}

std::shared_ptr<PushButtonPattern> MSAAUIElementWrapper::GetPushButtonPattern() {
  return std::make_shared<MSAAPushButtonPattern>(element_);
}

void MSAAUIElementWrapper::CollectChildren(MSAAUIElement& element, std::vector<MSAAUIElement>& out,
                                           int flattened) {
  for (MSAAUIElement& raw : element.RawChildren()) {
    if (!element_.Bounds()->TakeRawObject()) return;
    // A bare child window's object only wraps its client: the client is taken in its place, one level flatter,
    // without reading the frame's parts one by one.
    Option<MSAAUIElement> client = raw.ClientOfBareChildWindow(element.WindowHandle());
    MSAAUIElement& child = client.IsSome() ? client.Get() : raw;
    const int level = client.IsSome() ? flattened + 1 : flattened;
    if (child.CachedState() & STATE_SYSTEM_INVISIBLE) continue;
    if (client.IsSome() && depth_ + level >= kMaxTreeDepth) {
      element_.Bounds()->ReportDepth(GetPath());
      continue;
    }
    if (child.IsInteresting()) {
      if (!element_.Bounds()->TakeElement()) return;
      out.push_back(child);
      continue;
    }
    const LONG role = child.Role();
    if (role == ROLE_SYSTEM_TITLEBAR || role == ROLE_SYSTEM_SCROLLBAR) continue;
    if (depth_ + level + 1 >= kMaxTreeDepth) {
      element_.Bounds()->ReportDepth(GetPath());
      continue;
    }
    CollectChildren(child, out, level + 1);
  }
}

std::vector<std::shared_ptr<UIElement>> MSAAUIElementWrapper::GetChildren() {
  if (children_.IsNone()) {
    std::vector<std::shared_ptr<UIElement>> children;
    if (depth_ >= kMaxTreeDepth) {
      element_.Bounds()->ReportDepth(GetPath());
    } else {
      std::vector<MSAAUIElement> collected;
      CollectChildren(element_, collected, 0);
      children.reserve(collected.size());
      const std::weak_ptr<UIElement> self = weak_from_this();
      int index = 0;
      for (MSAAUIElement& child : collected) {
        std::string path = ChildPath(GetPath(), child.Type(), index++);
        children.push_back(std::make_shared<MSAAUIElementWrapper>(std::move(path), GetTreeWindow(), self, true,
                                                                  std::move(child), depth_ + 1));
      }
    }
    children_ = Option<std::vector<std::shared_ptr<UIElement>>>::Some(std::move(children));
  }
  return children_.Get();
}

void MSAAUIElementWrapper::Refresh() {
  element_.Refresh();
  children_ = {};
  ForgetSeenStates();
  // The root's refresh starts a new pass: without a fresh budget a second walk of a large
  // tree would stop early.
  if (!HasParent() && element_.Bounds()) element_.Bounds()->Reset();
}

Option<std::shared_ptr<UIElement>> MSAAUIElementWrapper::GetParent() {
  if (!HasParent()) return Option<std::shared_ptr<UIElement>>::None();
  std::shared_ptr<UIElement> parent = ParentReference().lock();
  if (!parent) throw std::logic_error("Parent referernce broken.");
  return Option<std::shared_ptr<UIElement>>::Some(std::move(parent));
}

Option<bool> MSAAUIElementWrapper::ReadChecked() {
  return Option<bool>::Some(element_.Role() == ROLE_SYSTEM_CHECKBUTTON &&
                            (element_.CachedState() & STATE_SYSTEM_CHECKED) != 0);
}

Option<bool> MSAAUIElementWrapper::ReadSelected() {
  return Option<bool>::Some(element_.Role() == ROLE_SYSTEM_RADIOBUTTON &&
                            (element_.CachedState() & STATE_SYSTEM_CHECKED) != 0);
}

bool MSAAUIElementWrapper::IsEnabled() { return (element_.LiveState() & STATE_SYSTEM_UNAVAILABLE) == 0; }

bool MSAAUIElementWrapper::IsVisible() { return (element_.LiveState() & STATE_SYSTEM_INVISIBLE) == 0; }

PatternActionResult MSAAUIElementWrapper::DoDefaultAction(MSAAUIElement& element) {
  PatternActionResult result;
  const HRESULT hr = element.DoDefaultAction();
  result.failed = FAILED(hr);
  if (result.failed) {
    TRACE(Error) << "Failed to invoke default action: 0x" << std::hex << static_cast<std::uint32_t>(hr) << ", "
                 << _com_error(hr).ErrorMessage();
  }
  return result;
}

std::shared_ptr<UIElement> CreateMSAARootElement(HWND window) {
  ComPtr<IAccessible> object;
  const HRESULT hr = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IAccessible),
                                                reinterpret_cast<void**>(object.Receive()));
  if (FAILED(hr)) throw _com_error(hr);
  if (!object) throw _com_error(E_POINTER);
  MSAAUIElement root(std::move(object), CHILDID_SELF, std::make_shared<TreeBounds>());
  std::string path = ElementTypeName(root.Type());
  return std::make_shared<MSAAUIElementWrapper>(std::move(path), window, std::weak_ptr<UIElement>(), false,
                                                std::move(root), 0);
}

}  // namespace installation_assistant
