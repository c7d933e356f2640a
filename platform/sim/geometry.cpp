// simwin user32: window geometry. A window's rectangle is kept relative to its parent's client area, as
// CreateWindowEx and MoveWindow take it; the client area lies inside the window's frame (caption, borders, edges).
#include <algorithm>

#include "platform/sim/internal.h"

namespace simwin::detail {

namespace {

// Classic (unthemed) metrics at 96 DPI, the defaults wine reports too: the frame sizes follow from the thin border,
// the raised edge and the resize border inside them.
constexpr int kBorder = 1;
constexpr int kEdge = 2;
constexpr int kResizeBorder = 1;
constexpr int kDialogFrame = kEdge + kBorder;
constexpr int kSizingFrame = kDialogFrame + kResizeBorder;
constexpr int kCaption = 19;
constexpr int kSmallCaption = 16;
constexpr int kMenu = 19;

// Screen position of a window's client-area origin; the roots' is the screen's. Lock held.
POINT ClientOrigin(std::shared_ptr<Window> w) {
  POINT p{0, 0};
  for (; w && !IsRoot(w->hwnd); w = FindWindowLocked(w->parent)) {
    p.x += w->rect.left + w->frame.left;
    p.y += w->rect.top + w->frame.top;
  }
  return p;
}

// The screen position of the client-area origin of `hwnd`, the screen's own for null; false with
// ERROR_INVALID_WINDOW_HANDLE if it is no window. Lock held.
bool OriginOf(HWND hwnd, POINT& origin) {
  origin = POINT{0, 0};
  if (!hwnd) return true;
  auto w = AnyWindow(hwnd);
  if (w) origin = ClientOrigin(w);
  return w != nullptr;
}

// Adds to the point the offset from the client area of `from` to that of `to` (null: the screen). Lock held.
bool Map(HWND from, HWND to, POINT& point) {
  POINT a, b;
  if (!OriginOf(from, a) || !OriginOf(to, b)) return false;
  point.x += a.x - b.x;
  point.y += a.y - b.y;
  return true;
}

}  // namespace

// How Windows lays out the frame, as Wine's user32 tests compute it and check it against AdjustWindowRectEx on
// Windows (dlls/user32/tests/win.c, wine_AdjustWindowRectEx): an outer edge for a dialog or sizing frame (a static
// edge alone has a thin one), the resize border, the thin border, the caption on top, then the client edge.
RECT FrameInsets(DWORD style, DWORD exStyle, bool menu) {
  int frame = 0;
  if ((exStyle & (WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) == WS_EX_STATICEDGE) {
    frame = GetSystemMetrics(SM_CXBORDER);
  } else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_THICKFRAME | WS_DLGFRAME))) {
    frame = GetSystemMetrics(SM_CXEDGE);
  }
  if (style & WS_THICKFRAME) {
    frame += GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  }
  if ((style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME)) frame += GetSystemMetrics(SM_CXBORDER);
  RECT insets{frame, frame, frame, frame};
  if ((style & WS_CAPTION) == WS_CAPTION) {
    insets.top += GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  }
  if (menu) insets.top += GetSystemMetrics(SM_CYMENU);
  if (exStyle & WS_EX_CLIENTEDGE) {
    const int edge = GetSystemMetrics(SM_CXEDGE);
    insets.left += edge;
    insets.top += edge;
    insets.right += edge;
    insets.bottom += edge;
  }
  return insets;
}

}  // namespace simwin::detail

using namespace simwin::detail;

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXBORDER:
    case SM_CYBORDER:
      return kBorder;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return kEdge;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return kSizingFrame;
    case SM_CYCAPTION:
      return kCaption;
    case SM_CYSMCAPTION:
      return kSmallCaption;
    case SM_CYMENU:
      return kMenu;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXPADDEDBORDER:  // the classic frame has none
    default:
      return 0;
  }
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
  if (!lpRect) return FALSE;
  const RECT insets = FrameInsets(dwStyle, dwExStyle, bMenu != FALSE);
  lpRect->left -= insets.left;
  lpRect->top -= insets.top;
  lpRect->right += insets.right;
  lpRect->bottom += insets.bottom;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
  return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  Lock lk(G().mu);
  auto w = AnyWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  const POINT origin = ClientOrigin(FindWindowLocked(w->parent));
  *lpRect = RECT{w->rect.left + origin.x, w->rect.top + origin.y, w->rect.right + origin.x, w->rect.bottom + origin.y};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  Lock lk(G().mu);
  auto w = AnyWindow(hWnd);
  if (!w || !lpRect) return FALSE;
  // A window smaller than its frame has an empty client area.
  const LONG width = w->rect.right - w->rect.left - w->frame.left - w->frame.right;
  const LONG height = w->rect.bottom - w->rect.top - w->frame.top - w->frame.bottom;
  *lpRect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
  POINT offset{0, 0};
  {
    Lock lk(G().mu);
    if (!Map(hWndFrom, hWndTo, offset)) return 0;
  }
  for (UINT i = 0; lpPoints && i < cPoints; ++i) {
    lpPoints[i].x += offset.x;
    lpPoints[i].y += offset.y;
  }
  // The offsets in the low and high words ("MapWindowPoints function", Microsoft Learn).
  return static_cast<int>(static_cast<DWORD>(static_cast<WORD>(offset.x)) |
                          (static_cast<DWORD>(static_cast<WORD>(offset.y)) << 16));
}

// Null is no window here, not the screen.
BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  Lock lk(G().mu);
  if (!hWnd) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return hWnd && lpPoint && Map(nullptr, hWnd, *lpPoint);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  Lock lk(G().mu);
  if (!hWnd) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return hWnd && lpPoint && Map(hWnd, nullptr, *lpPoint);
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    // Only a new size lays the frame out again for the current styles (wine 8 as well).
    if (nWidth != w->rect.right - w->rect.left || nHeight != w->rect.bottom - w->rect.top) {
      w->frame = FrameInsets(w->style, w->exStyle, false);
    }
    w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
  }
  RaiseWinEvent(EVENT_OBJECT_LOCATIONCHANGE, hWnd, OBJID_WINDOW, CHILDID_SELF);
  return TRUE;
}
