// simwin user32: window geometry.
#include "platform/sim/internal.h"

using namespace simwin::detail;

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  Lock lk(G().mu);
  auto w = AnyWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  RECT r = w->rect;
  for (auto p = FindWindowLocked(w->parent); p && !IsRoot(p->hwnd); p = FindWindowLocked(p->parent)) {
    r.left += p->rect.left;
    r.right += p->rect.left;
    r.top += p->rect.top;
    r.bottom += p->rect.top;
  }
  *lpRect = r;
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  Lock lk(G().mu);
  auto w = AnyWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

// simwin windows have no non-client area: the client area starts at the window's corner.
BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  RECT r;
  if (!lpPoint || !GetWindowRect(hWnd, &r)) return FALSE;
  lpPoint->x -= r.left;
  lpPoint->y -= r.top;
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  RECT r;
  if (!lpPoint || !GetWindowRect(hWnd, &r)) return FALSE;
  lpPoint->x += r.left;
  lpPoint->y += r.top;
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
  }
  RaiseWinEvent(EVENT_OBJECT_LOCATIONCHANGE, hWnd, OBJID_WINDOW, CHILDID_SELF);
  return TRUE;
}
