// The wizard serves its own accessible objects, shaped as Windows' standard proxies shape them: wine's proxies
// are stubs that know no role, state or default action. A window object (role window) has seven parts (system
// menu, title bar, menu bar, client, two scroll bars, size grip); a client object has the control's role, and
// its children are the window objects of the child windows.
#pragma once

#include <windows.h>

namespace setup_sample {

// For WM_GETOBJECT: the window's own object for OBJID_WINDOW and OBJID_CLIENT, 0 (nothing served) otherwise.
LRESULT AnswerGetObject(HWND window, WPARAM flags, LPARAM objectId);

// Called at every request from outside, so that the wizard can tell when nobody is looking any more.
void SetRequestCallback(void (*callback)());

}  // namespace setup_sample
