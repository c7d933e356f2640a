// simwin's standard MSAA proxies, shared by the proxy object (msaa_proxy.cpp), what it reads from windows
// (msaa_proxy_reads.cpp) and the oleacc functions (oleacc.cpp). Everything here reads windows through the public API
// (messages), never with simwin's lock held.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/acc_internal.h"

namespace simwin::detail::msaa {

// What a client object is, by the window's class and style.
enum class Kind { Client, Push, Check, Radio, Group, Static, Edit, Dialog };

Kind KindOf(HWND hwnd);
LONG RoleOf(Kind k);

inline bool IsDesktop(HWND hwnd) { return hwnd == GetDesktopWindow(); }

// The window text by WM_GETTEXT, as the proxies obtain it.
std::wstring TextOf(HWND hwnd);
// "Alt+X" for the mnemonic X of a control's text; empty if it has none.
std::wstring ShortcutOf(const std::wstring& s);
std::vector<HWND> ChildWindows(HWND hwnd);
// An edit's label: the nearest static before it among its siblings.
HWND LabelOf(HWND edit);
bool Enabled(HWND hwnd);
HWND ParentOrDesktop(HWND hwnd);
// Where a window and its client area are on the screen.
RECT WindowRectOf(HWND hwnd);
RECT ClientRectOnScreen(HWND hwnd);
// The focus of the foreground window's thread: the one keyboard input goes to, whoever asks (Wine's oleacc
// main.c: a client object is focused for every thread once its window has the focus in the foreground).
HWND ForegroundFocus();
LONG ClientState(HWND hwnd, Kind kind);
// Name of a client object (and of the window object around it).
bool ClientName(HWND hwnd, Kind kind, std::wstring& name);
HWND DefaultButtonOf(HWND dialog);

// The parts of a window object (OBJID_SYSMENU .. OBJID_SIZEGRIP) and their simple elements.
bool PartPresent(HWND hwnd, LONG objid);
LONG PartRole(LONG objid);
const wchar_t* PartName(LONG objid);
long PartChildCount(LONG objid);
const wchar_t* PartChildName(LONG objid, long id);
bool PartChildVisible(HWND hwnd, LONG objid, long id);

}  // namespace simwin::detail::msaa
