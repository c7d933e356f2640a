#include "uielement/uia/uia_ui_element.h"

#include <cstdint>
#include <stdexcept>

#include "common/subscription.h"
#include "common/text.h"
#include "common/trace.h"
#include "uielement/uia/uia_automation.h"
#include "uielement/uia/uia_patterns.h"

namespace installation_assistant {
namespace {

IUIAutomationElement* Checked(const ComPtr<IUIAutomationElement>& element) {
  if (!element) throw _com_error(E_POINTER);
  return element.Get();
}

ElementType CachedType(IUIAutomationElement* element) {
  CONTROLTYPEID controlType = 0;
  ThrowIfUIAutomationFailed(element->get_CachedControlType(&controlType));
  return TryGetElementTypeFromControlType(controlType).GetOr(ElementType::Unknown);
}

LONG VariantAsLong(const VARIANT& value) {
  switch (value.vt) {
    case VT_I4:
    case VT_INT:
      return value.lVal;
    case VT_UI4:
    case VT_UINT:
      return static_cast<LONG>(value.ulVal);
    default:
      return 0;
  }
}

}  // namespace

UIAutomationElementWrapper::UIAutomationElementWrapper(std::string path, HWND window, std::weak_ptr<UIElement> parent,
                                                       bool hasParent, ComPtr<IUIAutomationElement> element, int depth)
    : UIElement(std::move(path), window, std::move(parent), hasParent), element_(std::move(element)), depth_(depth) {}

ElementType UIAutomationElementWrapper::GetType() {
  if (type_.IsNone()) type_ = Option<ElementType>::Some(CachedType(Checked(element_)));
  return type_.Get();
}

HWND UIAutomationElementWrapper::GetWindowHandle() {
  UIA_HWND window = nullptr;
  ThrowIfUIAutomationFailed(Checked(element_)->get_CachedNativeWindowHandle(&window));
  return static_cast<HWND>(window);
}

Option<std::string> UIAutomationElementWrapper::GetName() {
  if (name_.IsNone()) {
    UniqueBstr name;
    ThrowIfUIAutomationFailed(Checked(element_)->get_CachedName(name.Receive()));
    name_ = Option<Option<std::string>>::Some(
        name.Get() == nullptr
            ? Option<std::string>::None()
            : Option<std::string>::Some(WideToUtf8(std::wstring_view(name.Get(), SysStringLen(name.Get())))));
  }
  return name_.Get();
}

RECT UIAutomationElementWrapper::GetLocation() {
  RECT location{};
  ThrowIfUIAutomationFailed(Checked(element_)->get_CurrentBoundingRectangle(&location));
  return location;
}

RECT UIAutomationElementWrapper::GetDPIAwareLocation() { return GetLocation(); }

std::shared_ptr<Subscription> UIAutomationElementWrapper::SubscribeStructureChanges(WinEventHandler handler) {
  return SubscribeForWindow(GetTreeWindow(), kStructureEventSet, std::move(handler));
}

std::shared_ptr<CheckBoxPattern> UIAutomationElementWrapper::GetCheckBoxPattern() {
  return std::make_shared<UIAutomationTogglePattern>(Checked(element_), FindWindowHandle(shared_from_this()));
}

std::shared_ptr<RadioButtonPattern> UIAutomationElementWrapper::GetRadioButtonPattern() {
  return std::make_shared<UIAutomationSelectionPattern>(Checked(element_), FindWindowHandle(shared_from_this()));
}

std::shared_ptr<PushButtonPattern> UIAutomationElementWrapper::GetPushButtonPattern() {
  return std::make_shared<UIAutomationPushButtonPattern>();
}

Option<bool> UIAutomationElementWrapper::ReadChecked() {
  return Option<bool>::Some(UIAutomationTogglePattern(Checked(element_), GetTreeWindow()).IsCheckedAsCached());
}

Option<bool> UIAutomationElementWrapper::ReadSelected() {
  return Option<bool>::Some(UIAutomationSelectionPattern(Checked(element_), GetTreeWindow()).IsSelectedAsCached());
}

std::vector<std::shared_ptr<UIElement>> UIAutomationElementWrapper::GetChildren() { return children_; }

void UIAutomationElementWrapper::Refresh() {
  ComPtr<IUIAutomationCacheRequest> request = GetUIAutomationCacheRequest();
  if (!request) throw _com_error(E_POINTER);
  ComPtr<IUIAutomationElement> updated;
  ThrowIfUIAutomationFailed(Checked(element_)->BuildUpdatedCache(request.Get(), updated.Receive()));
  if (!updated) throw _com_error(E_POINTER);
  element_ = std::move(updated);
  type_ = {};
  name_ = {};
  ForgetSeenStates();
  TreeBounds bounds;
  RebuildChildren(bounds);
}

void UIAutomationElementWrapper::RebuildChildren(TreeBounds& bounds) {
  std::vector<std::shared_ptr<UIElement>> children;
  ComPtr<IUIAutomationElementArray> cached;
  ThrowIfUIAutomationFailed(element_->GetCachedChildren(cached.Receive()));
  int length = 0;
  if (cached) ThrowIfUIAutomationFailed(cached->get_Length(&length));
  if (length > 0 && depth_ + 1 >= kMaxTreeDepth) {
    bounds.ReportDepth(GetPath());
    length = 0;
  }
  if (length > kMaxChildrenPerElement) {
    bounds.ReportChildren(length);
    length = static_cast<int>(kMaxChildrenPerElement);
  }
  const std::weak_ptr<UIElement> self = weak_from_this();
  // The index counts every cached child, the skipped ones too.
  for (int index = 0; index < length; ++index) {
    if (!bounds.TakeRawObject()) break;
    ComPtr<IUIAutomationElement> child;
    ThrowIfUIAutomationFailed(cached->GetElement(index, child.Receive()));
    const ElementType type = CachedType(Checked(child));
    if (type == ElementType::Unknown || !IsKeptElementType(type)) continue;
    if (!bounds.TakeElement()) break;
    children.push_back(std::make_shared<UIAutomationElementWrapper>(ChildPath(GetPath(), type, index), GetTreeWindow(),
                                                                    self, true, std::move(child), depth_ + 1));
  }
  for (const auto& child : children) static_cast<UIAutomationElementWrapper&>(*child).RebuildChildren(bounds);
  children_ = std::move(children);
}

Option<std::shared_ptr<UIElement>> UIAutomationElementWrapper::GetParent() {
  if (!HasParent()) return Option<std::shared_ptr<UIElement>>::None();
  std::shared_ptr<UIElement> parent = ParentReference().lock();
  if (!parent) throw std::logic_error("Parent referernce broken.");
  return Option<std::shared_ptr<UIElement>>::Some(std::move(parent));
}

void UIAutomationElementWrapper::TraceLiveState(const char* label, BOOL value) {
  UniqueVariant state;
  ThrowIfUIAutomationFailed(element_->GetCurrentPropertyValue(UIA_LegacyIAccessibleStatePropertyId, state.Receive()));
  if (!IsTraceEnabled(TraceLevel::Debug)) return;
  UniqueBstr status;
  ThrowIfUIAutomationFailed(element_->get_CurrentItemStatus(status.Receive()));
  const std::string statusText =
      status.Get() ? WideToUtf8(std::wstring_view(status.Get(), SysStringLen(status.Get()))) : std::string();
  TRACE(Debug) << "Element " << GetPath() << label << value << ", Status: " << statusText << ", MSAAState: 0x"
               << std::hex << static_cast<std::uint32_t>(VariantAsLong(state.Get()));
}

bool UIAutomationElementWrapper::IsEnabled() {
  BOOL enabled = FALSE;
  ThrowIfUIAutomationFailed(Checked(element_)->get_CurrentIsEnabled(&enabled));
  TraceLiveState(". IsEnabled:", enabled);
  return enabled != 0;
}

bool UIAutomationElementWrapper::IsVisible() {
  BOOL offscreen = FALSE;
  ThrowIfUIAutomationFailed(Checked(element_)->get_CurrentIsOffscreen(&offscreen));
  TraceLiveState(". IsOffscreen:", offscreen);
  return offscreen == 0;
}

std::shared_ptr<UIElement> CreateUIAutomationRootElement(HWND window) {
  ComPtr<IUIAutomation> automation = GetUIAutomation();
  if (!automation) throw _com_error(E_POINTER);
  ComPtr<IUIAutomationElement> element;
  ThrowIfUIAutomationFailed(automation->ElementFromHandle(window, element.Receive()));
  CONTROLTYPEID controlType = 0;
  ThrowIfUIAutomationFailed(Checked(element)->get_CurrentControlType(&controlType));
  const Option<ElementType> type = TryGetElementTypeFromControlType(controlType);
  std::string path = type.IsSome() ? ElementTypeName(type.Get()) : std::string("Unknown");
  auto root = std::make_shared<UIAutomationElementWrapper>(std::move(path), window, std::weak_ptr<UIElement>(), false,
                                                           std::move(element), 0);
  root->Refresh();
  return root;
}

}  // namespace installation_assistant
