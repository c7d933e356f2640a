// simwin window placement (SetWindowPos) and layered windows' attributes.
#include <algorithm>

#include "platform/sim/internal.h"

namespace {

using namespace simwin::detail;

bool IsTopmost(HWND hwnd) {
  auto w = FindWindowLocked(hwnd);
  return w && (w->exStyle & WS_EX_TOPMOST);
}

// Puts `w` among its siblings as SetWindowPos's hWndInsertAfter says ("SetWindowPos function", Microsoft Learn):
// topmost windows stay above the others, HWND_BOTTOM drops the topmost state. Lock held.
void Reorder(Window& w, HWND after, bool moveOwned) {
  auto parent = FindWindowLocked(w.parent);
  if (!parent) return;
  const bool topLevel = IsRoot(parent->hwnd);
  auto& s = parent->children;
  if (topLevel && after == HWND_TOPMOST) w.exStyle |= WS_EX_TOPMOST;
  if (topLevel && (after == HWND_NOTOPMOST || after == HWND_BOTTOM)) w.exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
  if (after == HWND_NOTOPMOST || after == HWND_TOPMOST) after = HWND_TOP;
  if (after != HWND_TOP && after != HWND_BOTTOM && std::find(s.begin(), s.end(), after) == s.end()) return;
  if (after == w.hwnd) return;
  s.erase(std::remove(s.begin(), s.end(), w.hwnd), s.end());
  auto at = s.end();
  if (after == HWND_TOP) {
    // Above every sibling of its own band: a non-topmost window goes below the last topmost one.
    at = s.begin();
    if (topLevel && !(w.exStyle & WS_EX_TOPMOST)) {
      while (at != s.end() && IsTopmost(*at)) ++at;
    }
  } else if (after != HWND_BOTTOM) {
    at = std::find(s.begin(), s.end(), after) + 1;
  }
  at = s.insert(at, w.hwnd);
  if (!topLevel || !moveOwned) return;
  // Owned windows stay above their owner.
  std::vector<HWND> owned;
  for (HWND h : s) {
    auto o = FindWindowLocked(h);
    if (o && o->owner == w.hwnd) owned.push_back(h);
  }
  for (HWND h : owned) s.erase(std::remove(s.begin(), s.end(), h), s.end());
  s.insert(std::find(s.begin(), s.end(), w.hwnd), owned.begin(), owned.end());
}

}  // namespace

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  bool moved = false;
  int visibility = 0;  // 1 shown, -1 hidden
  bool messageOnly = false;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    messageOnly = w->messageOnly;
    RECT r = w->rect;
    if (!(uFlags & SWP_NOMOVE)) {
      r = RECT{X, Y, X + (r.right - r.left), Y + (r.bottom - r.top)};
    }
    if (!(uFlags & SWP_NOSIZE)) {
      r.right = r.left + std::max(cx, 0);
      r.bottom = r.top + std::max(cy, 0);
    }
    const bool resized = r.right - r.left != w->rect.right - w->rect.left ||
                         r.bottom - r.top != w->rect.bottom - w->rect.top;
    // The frame follows the styles only when the size changes or the caller says the frame changed.
    if (resized || (uFlags & SWP_FRAMECHANGED)) w->frame = FrameInsets(w->style, w->exStyle, false);
    moved = r.left != w->rect.left || r.top != w->rect.top || resized;
    w->rect = r;
    if (resized) InvalidateLocked(*w, nullptr, true);
    if (!(uFlags & SWP_NOZORDER)) Reorder(*w, hWndInsertAfter, !(uFlags & SWP_NOOWNERZORDER));
    const bool visible = (w->style & WS_VISIBLE) != 0;
    if ((uFlags & SWP_SHOWWINDOW) && !visible) {
      w->style |= WS_VISIBLE;
      InvalidateLocked(*w, nullptr, true);
      visibility = 1;
    } else if ((uFlags & SWP_HIDEWINDOW) && visible) {
      w->style &= ~static_cast<DWORD>(WS_VISIBLE);
      visibility = -1;
    }
  }
  if (messageOnly) return TRUE;
  if (visibility > 0) RaiseWinEvent(EVENT_OBJECT_SHOW, hWnd, OBJID_WINDOW, CHILDID_SELF);
  if (moved) RaiseWinEvent(EVENT_OBJECT_LOCATIONCHANGE, hWnd, OBJID_WINDOW, CHILDID_SELF);
  if (visibility < 0) RaiseWinEvent(EVENT_OBJECT_HIDE, hWnd, OBJID_WINDOW, CHILDID_SELF);
  return TRUE;
}

// Both fail for a window without WS_EX_LAYERED, and Get fails until Set has given the attributes (Wine's
// dlls/user32/tests/win.c, test_layered_window).
BOOL WINAPI SetLayeredWindowAttributes(HWND hwnd, COLORREF crKey, BYTE bAlpha, DWORD dwFlags) {
  Lock lk(G().mu);
  auto w = UserWindow(hwnd);
  if (!w) return FALSE;
  if (!(w->exStyle & WS_EX_LAYERED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  w->layeredSet = true;
  w->layeredKey = crKey;
  w->layeredAlpha = bAlpha;
  w->layeredFlags = dwFlags;
  return TRUE;
}

BOOL WINAPI GetLayeredWindowAttributes(HWND hwnd, COLORREF* pcrKey, BYTE* pbAlpha, DWORD* pdwFlags) {
  Lock lk(G().mu);
  auto w = UserWindow(hwnd);
  if (!w) return FALSE;
  if (!(w->exStyle & WS_EX_LAYERED) || !w->layeredSet) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pcrKey) *pcrKey = w->layeredKey;
  if (pbAlpha) *pbAlpha = w->layeredAlpha;
  if (pdwFlags) *pdwFlags = w->layeredFlags;
  return TRUE;
}
