#include "uielement/uia_rectangles.h"

#include "common/com_handles.h"
#include "uielement/uia/uia_automation.h"

namespace installation_assistant {
namespace {

ComPtr<IUIAutomation> Automation() {
  ComPtr<IUIAutomation> automation = GetUIAutomation();
  if (!automation) throw _com_error(E_POINTER);
  return automation;
}

RECT CurrentRectangle(const ComPtr<IUIAutomationElement>& element) {
  if (!element) throw _com_error(E_POINTER);
  RECT rectangle{};
  ThrowIfUIAutomationFailed(element->get_CurrentBoundingRectangle(&rectangle));
  return rectangle;
}

}  // namespace

RECT UIAutomationRectangleOfAccessible(IAccessible* object, LONG childId) {
  ComPtr<IUIAutomationElement> element;
  ThrowIfUIAutomationFailed(Automation()->ElementFromIAccessible(object, static_cast<int>(childId), element.Receive()));
  return CurrentRectangle(element);
}

RECT UIAutomationRectangleOfWindow(HWND window) {
  ComPtr<IUIAutomationElement> element;
  ThrowIfUIAutomationFailed(Automation()->ElementFromHandle(window, element.Receive()));
  return CurrentRectangle(element);
}

}  // namespace installation_assistant
