// simwin's standard MSAA proxies: what they read from a window and its parts, through the public API as Windows'
// proxies do (class, style, text, button state by messages to the window).
#include <algorithm>

#include "platform/sim/msaa_internal.h"

namespace simwin::detail::msaa {

namespace {

// Controls drop the first '&' (the mnemonic marker); "&&" and later '&'s stay.
std::wstring StripMnemonic(const std::wstring& s) {
  auto pos = s.find(L'&');
  if (pos == std::wstring::npos) return s;
  return s.substr(0, pos) + s.substr(pos + 1);
}

}  // namespace

Kind KindOf(HWND hwnd) {
  std::wstring cls = FoldCase(ClassOf(hwnd));
  if (cls != L"button" && cls != L"static" && cls != L"edit" && cls != L"#32770") {
    // A class oleacc does not know by name may derive from a standard control, whose procedure then answers the
    // class query (Microsoft Learn, "The OBJID_QUERYCLASSNAMEIDX Object Identifier"; Wine's oleacc main.c test
    // sees the query with wParam 0).
    switch (SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_QUERYCLASSNAMEIDX))) {
      case kButtonClassIndex:
        cls = L"button";
        break;
      case kStaticClassIndex:
        return Kind::Static;
      case kEditClassIndex:
        return Kind::Edit;
      default:
        return Kind::Client;
    }
  }
  if (cls == L"button") {
    switch (StyleOf(hwnd) & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return Kind::Check;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return Kind::Radio;
      case BS_GROUPBOX:
        return Kind::Group;
      default:
        return Kind::Push;
    }
  }
  if (cls == L"static") return Kind::Static;
  if (cls == L"edit") return Kind::Edit;
  if (cls == L"#32770") return Kind::Dialog;
  return Kind::Client;
}

LONG RoleOf(Kind k) {
  switch (k) {
    case Kind::Push:
      return ROLE_SYSTEM_PUSHBUTTON;
    case Kind::Check:
      return ROLE_SYSTEM_CHECKBUTTON;
    case Kind::Radio:
      return ROLE_SYSTEM_RADIOBUTTON;
    case Kind::Group:
      return ROLE_SYSTEM_GROUPING;
    case Kind::Static:
      return ROLE_SYSTEM_STATICTEXT;
    case Kind::Edit:
      return ROLE_SYSTEM_TEXT;
    case Kind::Dialog:
      return ROLE_SYSTEM_DIALOG;
    default:
      return ROLE_SYSTEM_CLIENT;
  }
}

std::wstring TextOf(HWND hwnd) {
  if (IsDesktop(hwnd)) return L"";
  LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  if (len <= 0) return L"";
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(std::max<LRESULT>(0, std::min<LRESULT>(got, len))));
  return text;
}

std::wstring ShortcutOf(const std::wstring& s) {
  auto pos = s.find(L'&');
  if (pos == std::wstring::npos || pos + 1 >= s.size()) return L"";
  return std::wstring(L"Alt+") + s[pos + 1];
}

std::vector<HWND> ChildWindows(HWND hwnd) {
  std::vector<HWND> out;
  for (HWND c = ::GetWindow(hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

HWND LabelOf(HWND edit) {
  for (HWND s = ::GetWindow(edit, GW_HWNDPREV); s; s = ::GetWindow(s, GW_HWNDPREV)) {
    if (KindOf(s) == Kind::Static) return s;
  }
  return nullptr;
}

bool Enabled(HWND hwnd) { return IsDesktop(hwnd) || IsWindowEnabled(hwnd); }

HWND ParentOrDesktop(HWND hwnd) {
  if (StyleOf(hwnd) & WS_CHILD) return GetParent(hwnd);
  return GetDesktopWindow();
}

RECT WindowRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT ClientRectOnScreen(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND ForegroundFocus() {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(0, &info) ? info.hwndFocus : nullptr;
}

LONG ClientState(HWND hwnd, Kind kind) {
  LONG state = 0;
  if (!IsWindowVisible(hwnd)) state |= STATE_SYSTEM_INVISIBLE;
  if (!Enabled(hwnd)) state |= STATE_SYSTEM_UNAVAILABLE;
  if (hwnd == ForegroundFocus()) state |= STATE_SYSTEM_FOCUSED;
  DWORD style = StyleOf(hwnd);
  switch (kind) {
    case Kind::Static:
      state |= STATE_SYSTEM_READONLY;
      break;
    case Kind::Group:
      break;
    case Kind::Edit:
      state |= STATE_SYSTEM_FOCUSABLE;
      if (style & ES_READONLY) state |= STATE_SYSTEM_READONLY;
      if (style & ES_PASSWORD) state |= STATE_SYSTEM_PROTECTED;
      break;
    case Kind::Push:
    case Kind::Check:
    case Kind::Radio: {
      state |= STATE_SYSTEM_FOCUSABLE;
      LRESULT bst = SendMessageW(hwnd, BM_GETSTATE, 0, 0);
      if (bst & BST_CHECKED) state |= STATE_SYSTEM_CHECKED;
      if (bst & BST_INDETERMINATE) state |= STATE_SYSTEM_MIXED;
      if (bst & BST_PUSHED) state |= STATE_SYSTEM_PRESSED;
      if (kind == Kind::Push && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) state |= STATE_SYSTEM_DEFAULT;
      break;
    }
    default:
      state |= STATE_SYSTEM_FOCUSABLE;
      break;
  }
  return state;
}

bool ClientName(HWND hwnd, Kind kind, std::wstring& name) {
  switch (kind) {
    case Kind::Edit: {
      HWND label = LabelOf(hwnd);
      if (!label) return false;
      name = StripMnemonic(TextOf(label));
      return true;
    }
    case Kind::Push:
    case Kind::Check:
    case Kind::Radio:
    case Kind::Group:
    case Kind::Static:
      name = StripMnemonic(TextOf(hwnd));
      return true;
    default:
      // Top-level windows keep their text as it is (Windows 10 1607 and later).
      name = TextOf(hwnd);
      return true;
  }
}

HWND DefaultButtonOf(HWND dialog) {
  LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  if (HIWORD(def) != DC_HASDEFID) return nullptr;
  for (HWND c : ChildWindows(dialog)) {
    if (static_cast<WORD>(GetWindowLongW(c, GWLP_ID)) == LOWORD(def)) return c;
  }
  return nullptr;
}

// --- Parts of a window object -------------------------------------------------------------------------------------

bool PartPresent(HWND hwnd, LONG objid) {
  DWORD style = StyleOf(hwnd);
  bool caption = (style & WS_CAPTION) == WS_CAPTION;
  switch (objid) {
    case OBJID_SYSMENU:
      return caption && (style & WS_SYSMENU);
    case OBJID_TITLEBAR:
      return caption;
    case OBJID_MENU:
      return false;  // simwin's windows have no menus
    case OBJID_VSCROLL:
      return style & WS_VSCROLL;
    case OBJID_HSCROLL:
      return style & WS_HSCROLL;
    case OBJID_SIZEGRIP:
      return (style & WS_VSCROLL) && (style & WS_HSCROLL);
    default:
      return true;
  }
}

LONG PartRole(LONG objid) {
  switch (objid) {
    case OBJID_SYSMENU:
    case OBJID_MENU:
      return ROLE_SYSTEM_MENUBAR;
    case OBJID_TITLEBAR:
      return ROLE_SYSTEM_TITLEBAR;
    case OBJID_VSCROLL:
    case OBJID_HSCROLL:
      return ROLE_SYSTEM_SCROLLBAR;
    default:
      return ROLE_SYSTEM_GRIP;
  }
}

const wchar_t* PartName(LONG objid) {
  switch (objid) {
    case OBJID_SYSMENU:
      return L"System";
    case OBJID_MENU:
      return L"Application";
    case OBJID_VSCROLL:
      return L"Vertical";
    case OBJID_HSCROLL:
      return L"Horizontal";
    case OBJID_SIZEGRIP:
      return L"Size box";
    default:
      return nullptr;  // the title bar has no name; its value is the window text
  }
}

// Simple elements of the title bar and scroll bars.
long PartChildCount(LONG objid) {
  return objid == OBJID_TITLEBAR || objid == OBJID_VSCROLL || objid == OBJID_HSCROLL ? 5 : 0;
}

const wchar_t* PartChildName(LONG objid, long id) {
  static const wchar_t* title[] = {L"Minimize", L"Maximize", L"Close", L"Context help", L"IME"};
  static const wchar_t* vert[] = {L"Line up", L"Page up", L"Position", L"Page down", L"Line down"};
  static const wchar_t* horz[] = {L"Column left", L"Page left", L"Position", L"Page right", L"Column right"};
  const wchar_t** names = objid == OBJID_TITLEBAR ? title : (objid == OBJID_VSCROLL ? vert : horz);
  return names[id - 1];
}

bool PartChildVisible(HWND hwnd, LONG objid, long id) {
  if (!PartPresent(hwnd, objid)) return false;
  if (objid != OBJID_TITLEBAR) return true;
  DWORD style = StyleOf(hwnd);
  bool sysmenu = style & WS_SYSMENU;
  switch (id) {
    case 1:
      return sysmenu && (style & WS_MINIMIZEBOX);
    case 2:
      return sysmenu && (style & WS_MAXIMIZEBOX);
    case 3:
      return sysmenu;
    default:
      return false;
  }
}

}  // namespace simwin::detail::msaa

namespace simwin::detail {

LONG StdClientRole(HWND hwnd) { return msaa::IsDesktop(hwnd) ? ROLE_SYSTEM_CLIENT : msaa::RoleOf(msaa::KindOf(hwnd)); }
bool StdClientName(HWND hwnd, std::wstring& name) { return msaa::ClientName(hwnd, msaa::KindOf(hwnd), name); }
LONG StdClientState(HWND hwnd) { return msaa::ClientState(hwnd, msaa::KindOf(hwnd)); }

}  // namespace simwin::detail
