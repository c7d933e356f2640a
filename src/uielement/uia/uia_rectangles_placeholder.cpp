// Placeholder until the UI Automation backend lands; replaced by it.
#include "uielement/uia_rectangles.h"

namespace installation_assistant {
RECT UIAutomationRectangleOfAccessible(IAccessible*, LONG) { throw _com_error(E_NOTIMPL); }
RECT UIAutomationRectangleOfWindow(HWND) { throw _com_error(E_NOTIMPL); }
}  // namespace installation_assistant
