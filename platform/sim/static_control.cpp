// simwin's Static control: paints its text (or its icon, SS_ICON) on the brush its parent answers to
// WM_CTLCOLORSTATIC ("WM_CTLCOLORSTATIC message", Microsoft Learn), the button face colour when the parent gives none.
#include "platform/sim/gdi_internal.h"

namespace simwin::detail {

namespace {

struct StaticSnapshot {
  DWORD style = 0;
  HWND parent = nullptr;
  std::wstring text;
  HICON icon = nullptr;
  HGDIOBJ font = nullptr;
  RECT client{};
};

StaticSnapshot Read(HWND hwnd) {
  StaticSnapshot s;
  Lock lk(G().mu);
  auto w = FindWindowLocked(hwnd);
  if (!w) return s;
  s.style = w->style;
  if (w->style & WS_CHILD) s.parent = w->parent;
  s.text = w->text;
  s.icon = w->staticIcon;
  s.font = w->font;
  return s;
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  if (!hdc) return;
  const StaticSnapshot s = Read(hwnd);
  RECT client{};
  GetClientRect(hwnd, &client);
  if (s.font) SelectObject(hdc, s.font);
  HBRUSH brush = nullptr;
  if (s.parent) {
    brush = reinterpret_cast<HBRUSH>(SendMessageW(s.parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc),
                                                  reinterpret_cast<LPARAM>(hwnd)));
  }
  if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(hdc, &client, brush);
  if ((s.style & SS_TYPEMASK) == SS_ICON) {
    if (s.icon) DrawIconEx(hdc, 0, 0, s.icon, 0, 0, 0, nullptr, DI_NORMAL);
  } else {
    UINT format = DT_WORDBREAK;
    if ((s.style & SS_TYPEMASK) == SS_CENTER) format |= DT_CENTER;
    if ((s.style & SS_TYPEMASK) == SS_RIGHT) format |= DT_RIGHT;
    if (s.style & SS_NOPREFIX) format |= DT_NOPREFIX;
    DrawTextW(hdc, s.text.c_str(), -1, &client, format);
  }
  EndPaint(hwnd, &ps);
}

// Swaps a handle kept on the window and repaints; returns the previous one.
template <class T>
T Swap(HWND hwnd, T Window::*field, T value, bool redraw) {
  Lock lk(G().mu);
  auto w = FindWindowLocked(hwnd);
  if (!w) return nullptr;
  T old = (*w).*field;
  (*w).*field = value;
  if (redraw) InvalidateLocked(*w, nullptr, true);
  return old;
}

}  // namespace

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsClassQuery(msg, lParam)) return kStaticClassIndex;
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_SETFONT:
      Swap<HGDIOBJ>(hwnd, &Window::font, reinterpret_cast<HGDIOBJ>(wParam), LOWORD(lParam) != 0);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(Read(hwnd).font);
    case STM_SETICON: {
      if ((Read(hwnd).style & SS_TYPEMASK) != SS_ICON) return 0;
      const auto icon = reinterpret_cast<HICON>(wParam);
      HICON old = Swap<HICON>(hwnd, &Window::staticIcon, icon, true);
      // The control takes the icon's size, as Windows' Static does for SS_ICON.
      SIZE size{};
      bool known;
      {
        Lock lk(G().mu);
        known = IconSizeLocked(icon, size);
      }
      if (known) SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(Read(hwnd).icon);
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

}  // namespace simwin::detail
