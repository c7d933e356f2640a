// simwin painting: update regions (kept as a bounding rectangle), WM_PAINT made by GetMessage like WM_TIMER
// ("WM_PAINT message", Microsoft Learn: sent when no other message is in the queue), BeginPaint/EndPaint.
#include <algorithm>

#include "platform/sim/gdi_internal.h"

namespace simwin::detail {

namespace {

RECT ClientRectLocked(const Window& w) {
  const LONG width = w.rect.right - w.rect.left - w.frame.left - w.frame.right;
  const LONG height = w.rect.bottom - w.rect.top - w.frame.top - w.frame.bottom;
  return RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
}

bool VisibleLocked(std::shared_ptr<Window> w) {
  for (; w; w = FindWindowLocked(w->parent)) {
    if (w->hwnd == G().desktop) return true;
    if (w->hwnd == G().messageRoot || !(w->style & WS_VISIBLE)) return false;
  }
  return false;
}

bool NeedsPaintLocked(const std::shared_ptr<Window>& w) { return w->needsPaint && VisibleLocked(w); }

// The first window of `self` needing paint in z-order, parents before their children. Lock held.
HWND FindPaintable(const Window& at, const ThreadState& self, HWND filter, UINT min, UINT max) {
  for (HWND h : at.children) {
    auto w = FindWindowLocked(h);
    if (!w || !(w->style & WS_VISIBLE)) continue;
    MSG m{};
    m.hwnd = h;
    m.message = WM_PAINT;
    if (w->thread.get() == &self && w->needsPaint && MessageMatches(m, filter, min, max)) return h;
    if (HWND found = FindPaintable(*w, self, filter, min, max)) return found;
  }
  return nullptr;
}

bool Covers(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

bool TakePaintMessage(ThreadState& self, LPMSG out, HWND filter, UINT min, UINT max) {
  auto desktop = FindWindowLocked(G().desktop);
  HWND h = desktop ? FindPaintable(*desktop, self, filter, min, max) : nullptr;
  if (!h) return false;
  // Retrieving it leaves the window invalid: only validation ends the WM_PAINTs.
  *out = MSG{};
  out->hwnd = h;
  out->message = WM_PAINT;
  out->time = NowTicks();
  return true;
}

bool HasGeneratedMessage(const ThreadState& self) {
  if (HasDueTimer(self)) return true;
  auto desktop = FindWindowLocked(G().desktop);
  return desktop && FindPaintable(*desktop, self, nullptr, 0, 0);
}

void InvalidateLocked(Window& w, const RECT* rect, bool erase) {
  const RECT client = ClientRectLocked(w);
  RECT r = rect ? *rect : client;
  r = RECT{std::max(r.left, client.left), std::max(r.top, client.top), std::min(r.right, client.right),
           std::min(r.bottom, client.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (w.needsPaint) {
    r = RECT{std::min(r.left, w.update.left), std::min(r.top, w.update.top), std::max(r.right, w.update.right),
             std::max(r.bottom, w.update.bottom)};
  }
  w.update = r;
  w.needsPaint = true;
  w.needsErase = w.needsErase || erase;
  G().cv.notify_all();
}

LRESULT DefaultPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
  return 0;
}

}  // namespace simwin::detail

using namespace simwin::detail;

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
  Lock lk(G().mu);
  if (!hWnd) {
    // Every window ("InvalidateRect function", Microsoft Learn).
    for (auto& [value, w] : G().windows) {
      if (!IsRoot(w->hwnd)) InvalidateLocked(*w, nullptr, bErase != FALSE);
    }
    return TRUE;
  }
  auto w = UserWindow(hWnd);
  if (!w) return FALSE;
  InvalidateLocked(*w, lpRect, bErase != FALSE);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return FALSE;
  // The update region is one rectangle here: validating part of it leaves all of it.
  if (!lpRect || Covers(*lpRect, w->update)) {
    w->needsPaint = false;
    w->needsErase = false;
  }
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return FALSE;
  if (lpRect) *lpRect = w->needsPaint ? w->update : RECT{};
  return w->needsPaint;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  std::vector<HWND> order;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    // The window, then its children ("UpdateWindow function", Microsoft Learn; children as RDW_ALLCHILDREN).
    std::vector<HWND> pending{hWnd};
    while (!pending.empty()) {
      HWND h = pending.front();
      pending.erase(pending.begin());
      auto c = FindWindowLocked(h);
      if (!c) continue;
      if (NeedsPaintLocked(c)) order.push_back(h);
      pending.insert(pending.end(), c->children.begin(), c->children.end());
    }
  }
  for (HWND h : order) {
    bool still;
    {
      Lock lk(G().mu);
      auto w = FindWindowLocked(h);
      still = w && NeedsPaintLocked(w);
    }
    if (still) SendMessageW(h, WM_PAINT, 0, 0);
  }
  return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (!lpPaint) return nullptr;
  HDC hdc;
  bool erase;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return nullptr;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->rcPaint = w->needsPaint ? w->update : RECT{};
    // A repaint of the whole client area starts the display list anew.
    if (w->needsPaint && Covers(w->update, ClientRectLocked(*w))) w->displayList.clear();
    erase = w->needsErase;
    w->needsPaint = false;
    w->needsErase = false;
    hdc = NewDc(hWnd, true);
  }
  lpPaint->hdc = hdc;
  // fErase asks the caller to erase when WM_ERASEBKGND did not ("PAINTSTRUCT structure", Microsoft Learn).
  if (erase) lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
  return hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* lpPaint) {
  if (!lpPaint) return FALSE;
  Lock lk(G().mu);
  FreeDc(lpPaint->hdc);
  return TRUE;
}
