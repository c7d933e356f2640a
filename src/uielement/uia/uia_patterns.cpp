#include "uielement/uia/uia_patterns.h"

#include <stdexcept>

#include "common/trace.h"
#include "common/subscription.h"
#include "uielement/uia/uia_automation.h"

namespace installation_assistant {
namespace {

// The cached pattern as the wanted interface; null when the element has none.
template <typename Pattern>
ComPtr<Pattern> CachedPattern(IUIAutomationElement* element, PATTERNID id, REFIID iid) {
  ComPtr<IUnknown> unknown;
  ThrowIfUIAutomationFailed(element->GetCachedPattern(id, unknown.Receive()));
  ComPtr<Pattern> pattern;
  if (!unknown) return pattern;
  const HRESULT hr = unknown->QueryInterface(iid, reinterpret_cast<void**>(pattern.Receive()));
  if (hr == E_NOINTERFACE) return ComPtr<Pattern>();
  ThrowIfUIAutomationFailed(hr);
  return pattern;
}

PatternActionResult ResultOf(HRESULT hr) {
  PatternActionResult result;
  result.failed = FAILED(hr);
  return result;
}

}  // namespace

UIAutomationTogglePattern::UIAutomationTogglePattern(IUIAutomationElement* element, HWND window)
    : element_(ComPtr<IUIAutomationElement>::Share(element)),
      window_(window),
      pattern_(CachedPattern<IUIAutomationTogglePattern>(element, UIA_TogglePatternId, IID_IUIAutomationTogglePattern)) {
  if (!pattern_) throw std::logic_error("Not a toggle pattern");
}

std::shared_ptr<Subscription> UIAutomationTogglePattern::SubscribeStateChanges(WinEventHandler handler) {
  return SubscribeForWindow(window_, kStateEventSet, std::move(handler));
}

ToggleState UIAutomationTogglePattern::State() {
  ToggleState state = ToggleState_Off;
  ThrowIfUIAutomationFailed(pattern_->get_CurrentToggleState(&state));
  return state;
}

bool UIAutomationTogglePattern::IsChecked() { return State() == ToggleState_On; }

bool UIAutomationTogglePattern::IsCheckedAsCached() {
  ToggleState state = ToggleState_Off;
  ThrowIfUIAutomationFailed(pattern_->get_CachedToggleState(&state));
  return state == ToggleState_On;
}

bool UIAutomationTogglePattern::IsIndeterminate() { return State() == ToggleState_Indeterminate; }

PatternActionResult UIAutomationTogglePattern::Toggle() { return ResultOf(pattern_->Toggle()); }

PatternActionResult UIAutomationTogglePattern::SetCheckBox() {
  if (State() == ToggleState_On) return {};
  return ToggleUntil(ToggleState_On);
}

PatternActionResult UIAutomationTogglePattern::UnsetCheckBox() {
  if (State() == ToggleState_Off) return {};
  return ToggleUntil(ToggleState_Off);
}

PatternActionResult UIAutomationTogglePattern::ToggleUntil(ToggleState wanted) {
  return StepCheckBoxUntil(
      wanted, [this] { return static_cast<int>(State()); }, [this] { return Toggle(); });
}

UIAutomationSelectionPattern::UIAutomationSelectionPattern(IUIAutomationElement* element, HWND window)
    : element_(ComPtr<IUIAutomationElement>::Share(element)),
      window_(window),
      pattern_(CachedPattern<IUIAutomationSelectionItemPattern>(element, UIA_SelectionItemPatternId,
                                                                IID_IUIAutomationSelectionItemPattern)) {
  if (!pattern_) throw std::logic_error("Not a selection pattern");
  // Read only so that an element that is gone fails here rather than at the first action.
  CONTROLTYPEID controlType = 0;
  ThrowIfUIAutomationFailed(element->get_CachedControlType(&controlType));
  UIA_HWND nativeWindow = nullptr;
  ThrowIfUIAutomationFailed(element->get_CurrentNativeWindowHandle(&nativeWindow));
}

std::shared_ptr<Subscription> UIAutomationSelectionPattern::SubscribeStateChanges(WinEventHandler handler) {
  return SubscribeForWindow(window_, kStateEventSet, std::move(handler));
}

bool UIAutomationSelectionPattern::IsSelected() {
  BOOL selected = FALSE;
  ThrowIfUIAutomationFailed(pattern_->get_CurrentIsSelected(&selected));
  return selected == 1;
}

bool UIAutomationSelectionPattern::IsSelectedAsCached() {
  BOOL selected = FALSE;
  ThrowIfUIAutomationFailed(pattern_->get_CachedIsSelected(&selected));
  return selected == 1;
}

PatternActionResult UIAutomationSelectionPattern::SelectRadioButton() {
  if (IsSelected()) return {};
  return ResultOf(pattern_->Select());
}

PatternActionResult UIAutomationPushButtonPattern::Push() { throw std::logic_error("Not implemented"); }

}  // namespace installation_assistant
