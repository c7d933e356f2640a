// simwin monitors (one primary monitor with a work area, settable from the driving API) and rectangle helpers.
#include "platform/sim/internal.h"

namespace {

using namespace simwin::detail;

RECT monitorRect{0, 0, 1920, 1080};
RECT workRect{0, 0, 1920, 1040};  // a task bar along the bottom
const HMONITOR kMonitor = reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(0x10001));

bool Overlaps(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// With a single monitor every default names it; only MONITOR_DEFAULTTONULL tells "off screen" apart. Lock held.
HMONITOR Pick(bool onMonitor, DWORD flags) {
  return onMonitor || (flags & (MONITOR_DEFAULTTOPRIMARY | MONITOR_DEFAULTTONEAREST)) ? kMonitor : nullptr;
}

HMONITOR FromRectLocked(const RECT& r, DWORD flags) {
  // An empty rectangle counts by its corner.
  const bool empty = r.right <= r.left || r.bottom <= r.top;
  return Pick(empty ? Contains(monitorRect, POINT{r.left, r.top}) : Overlaps(r, monitorRect), flags);
}

}  // namespace

HMONITOR WINAPI MonitorFromRect(LPCRECT lprc, DWORD dwFlags) {
  if (!lprc) return nullptr;
  Lock lk(G().mu);
  return FromRectLocked(*lprc, dwFlags);
}

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) {
  Lock lk(G().mu);
  return Pick(Contains(monitorRect, pt), dwFlags);
}

HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD dwFlags) {
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) return nullptr;
  Lock lk(G().mu);
  return FromRectLocked(r, dwFlags);
}

BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi) {
  if (hMonitor != kMonitor) {
    SetLastError(ERROR_INVALID_MONITOR_HANDLE);
    return FALSE;
  }
  if (!lpmi || lpmi->cbSize != sizeof(MONITORINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lk(G().mu);
  lpmi->rcMonitor = monitorRect;
  lpmi->rcWork = workRect;
  lpmi->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT, LPVOID pvParam, UINT) {
  if (uiAction != SPI_GETWORKAREA) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!pvParam) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lk(G().mu);
  *static_cast<RECT*>(pvParam) = workRect;
  return TRUE;
}

void simwin::SetMonitor(const RECT& monitor, const RECT& workArea) {
  Lock lk(G().mu);
  monitorRect = monitor;
  workRect = workArea;
}

BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (!lprc) return FALSE;
  *lprc = RECT{xLeft, yTop, xRight, yBottom};
  return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT* lprc) { return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top; }
