// simwin's standard controls: the system-wide classes "Button", "Static", "Edit" and the dialog class "#32770", with
// the behaviour installers rely on (check states, clicks, group clearing, notifications).
#include <algorithm>

#include "platform/sim/internal.h"

namespace simwin::detail {

namespace {

UINT ButtonType(DWORD style) { return style & BS_TYPEMASK; }

bool IsCheckBox(UINT type) {
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}
bool IsRadio(UINT type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }
bool IsCheckable(UINT type) { return IsCheckBox(type) || IsRadio(type); }

struct ButtonSnapshot {
  bool exists = false;
  DWORD style = 0;
  UINT state = 0;
  HWND parent = nullptr;
  LONG_PTR id = 0;
};

ButtonSnapshot ReadButton(HWND hwnd) {
  Lock lk(G().mu);
  ButtonSnapshot s;
  auto w = FindWindowLocked(hwnd);
  if (!w) return s;
  s.exists = true;
  s.style = w->style;
  s.state = w->buttonState;
  if (w->style & WS_CHILD) s.parent = w->parent;
  s.id = w->id;
  return s;
}

void SetCheck(HWND hwnd, WPARAM check) {
  bool changed = false;
  {
    Lock lk(G().mu);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    UINT type = ButtonType(w->style);
    if (!IsCheckable(type)) return;
    // A two-state button cannot be indeterminate: the value is capped, as Windows does.
    UINT max = (type == BS_3STATE || type == BS_AUTO3STATE) ? BST_INDETERMINATE : BST_CHECKED;
    UINT value = static_cast<UINT>(std::min<WPARAM>(check, max));
    UINT old = w->buttonState & (BST_CHECKED | BST_INDETERMINATE);
    w->buttonState = (w->buttonState & ~static_cast<UINT>(BST_CHECKED | BST_INDETERMINATE)) | value;
    // A radio button is a tab stop while it is checked, as Wine's button.c tests show for checking it; it stops being
    // one when unchecked (measured under wine 8), so a dialog's focus goes to the checked button of a group.
    if (IsRadio(type)) {
      if (value) {
        w->style |= WS_TABSTOP;
      } else {
        w->style &= ~static_cast<DWORD>(WS_TABSTOP);
      }
    }
    changed = old != value;
  }
  if (changed) RaiseWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

// BST_FOCUS follows the button's own WM_SETFOCUS / WM_KILLFOCUS, as a window procedure sees them.
void SetFocusBit(HWND hwnd, bool focused) {
  Lock lk(G().mu);
  auto w = FindWindowLocked(hwnd);
  if (!w) return;
  if (focused) {
    w->buttonState |= BST_FOCUS;
  } else {
    w->buttonState &= ~static_cast<UINT>(BST_FOCUS);
  }
}

void SetPushed(HWND hwnd, bool pushed) {
  bool changed = false;
  {
    Lock lk(G().mu);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    changed = ((w->buttonState & BST_PUSHED) != 0) != pushed;
    if (pushed) {
      w->buttonState |= BST_PUSHED;
    } else {
      w->buttonState &= ~static_cast<UINT>(BST_PUSHED);
    }
  }
  if (changed) RaiseWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

// The other auto radio buttons of hwnd's group: the siblings from the nearest WS_GROUP control at or before it up to
// the next WS_GROUP control.
std::vector<HWND> OtherAutoRadiosOfGroup(HWND hwnd) {
  Lock lk(G().mu);
  std::vector<HWND> out;
  auto w = FindWindowLocked(hwnd);
  if (!w) return out;
  auto parent = FindWindowLocked(w->parent);
  if (!parent) return out;
  const auto& s = parent->children;
  auto self = std::find(s.begin(), s.end(), hwnd);
  if (self == s.end()) return out;
  auto start = self;
  while (start != s.begin()) {
    auto sw = FindWindowLocked(*start);
    if (sw && (sw->style & WS_GROUP)) break;
    --start;
  }
  for (auto it = start; it != s.end(); ++it) {
    auto sib = FindWindowLocked(*it);
    if (!sib) continue;
    if (it != start && (sib->style & WS_GROUP)) break;
    if (*it != hwnd && sib->cls && FoldCase(sib->cls->name) == L"button" &&
        ButtonType(sib->style) == BS_AUTORADIOBUTTON) {
      out.push_back(*it);
    }
  }
  return out;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return IsClassQuery(msg, lParam) ? kEditClassIndex : DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsClassQuery(msg, lParam)) return kButtonClassIndex;
  switch (msg) {
    case BM_GETCHECK: {
      ButtonSnapshot b = ReadButton(hwnd);
      return IsCheckable(ButtonType(b.style)) ? (b.state & (BST_CHECKED | BST_INDETERMINATE)) : BST_UNCHECKED;
    }
    case BM_SETCHECK:
      SetCheck(hwnd, wParam);
      return 0;
    case BM_GETSTATE: {
      ButtonSnapshot b = ReadButton(hwnd);
      UINT state = b.state & (BST_PUSHED | BST_FOCUS);
      if (IsCheckable(ButtonType(b.style))) state |= b.state & (BST_CHECKED | BST_INDETERMINATE);
      return state;
    }
    case BM_SETSTATE:
      SetPushed(hwnd, wParam != 0);
      return 0;
    case BM_CLICK: {
      // A click is the mouse going down and up over the button; a disabled button gets no mouse input.
      if (ReadButton(hwnd).style & WS_DISABLED) return 0;
      SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      ButtonSnapshot b = ReadButton(hwnd);
      if (ButtonType(b.style) == BS_GROUPBOX || (b.style & WS_DISABLED)) return 0;
      // The press takes the keyboard focus, so a radio button clicked into focus is also checked by the click's
      // release; the focus alone checks nothing (Wine's comctl32 button.c tests: BM_GETCHECK stays unchecked after
      // SetFocus on an auto radio button).
      SetFocus(hwnd);
      SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      SetFocusBit(hwnd, msg == WM_SETFOCUS);
      return 0;
    case WM_LBUTTONUP: {
      ButtonSnapshot b = ReadButton(hwnd);
      if (!(b.state & BST_PUSHED)) return 0;  // the press did not start on this button
      SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      // Only a release over the button clicks it: the button tests the release point against its client
      // area (Wine's dlls/user32/button.c and comctl32 button.c: PtInRect(&rect, pt) before BN_CLICKED).
      const POINT release{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT client{};
      GetClientRect(hwnd, &client);
      if (release.x < client.left || release.x >= client.right || release.y < client.top ||
          release.y >= client.bottom) {
        return 0;
      }
      UINT check = b.state & (BST_CHECKED | BST_INDETERMINATE);
      switch (ButtonType(b.style)) {
        case BS_AUTOCHECKBOX:
          SendMessageW(hwnd, BM_SETCHECK, check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
          break;
        case BS_AUTO3STATE:
          SendMessageW(hwnd, BM_SETCHECK,
                       check == BST_UNCHECKED ? BST_CHECKED
                                              : (check == BST_CHECKED ? BST_INDETERMINATE : BST_UNCHECKED),
                       0);
          break;
        case BS_AUTORADIOBUTTON:
          SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
          for (HWND other : OtherAutoRadiosOfGroup(hwnd)) SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
          break;
        default:
          break;
      }
      if (b.parent) {
        SendMessageW(b.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(b.id), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == DM_GETDEFID) {
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t cls[16] = {};
      GetClassNameW(c, cls, 16);
      if (FoldCase(cls) == L"button" && ButtonType(static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE))) ==
                                           BS_DEFPUSHBUTTON) {
        return MAKELRESULT(static_cast<WORD>(GetWindowLongW(c, GWLP_ID)), DC_HASDEFID);
      }
    }
    return 0;
  }
  if (msg == WM_ACTIVATE) {
    DialogActivation(hwnd, wParam);
    return 0;
  }
  if (msg == WM_SETFOCUS) {
    DialogFocus(hwnd);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::shared_ptr<WndClass> MakeSystemClass(const wchar_t* name, WNDPROC proc) {
  auto cls = std::make_shared<WndClass>();
  cls->name = name;
  cls->atom = G().nextAtom++;
  cls->proc = proc;
  return cls;
}

}  // namespace

std::shared_ptr<WndClass> FindSystemClassLocked(LPCWSTR name) {
  // Created on first use, under the lock; they live as long as the program.
  static std::map<std::wstring, std::shared_ptr<WndClass>>* classes = [] {
    auto* m = new std::map<std::wstring, std::shared_ptr<WndClass>>;
    (*m)[L"button"] = MakeSystemClass(L"Button", &ButtonProc);
    (*m)[L"static"] = MakeSystemClass(L"Static", &StaticProc);
    (*m)[L"edit"] = MakeSystemClass(L"Edit", &EditProc);
    (*m)[L"#32770"] = MakeSystemClass(L"#32770", &DialogProc);
    return m;
  }();
  if (!name) return nullptr;
  auto it = classes->find(FoldCase(name));
  return it == classes->end() ? nullptr : it->second;
}

}  // namespace simwin::detail
