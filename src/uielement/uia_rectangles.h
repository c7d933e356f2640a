// Bounding rectangles as UI Automation reports them (DPI-aware), for elements that are
// read through another backend. Both raise _com_error, E_POINTER when UI Automation is
// not available.
#pragma once

#include "platform/win32.h"

namespace installation_assistant {

RECT UIAutomationRectangleOfAccessible(IAccessible* object, LONG childId);
RECT UIAutomationRectangleOfWindow(HWND window);

}  // namespace installation_assistant
