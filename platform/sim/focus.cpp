// simwin keyboard focus and activation: each thread's focus and active window, the session's foreground window, the
// messages and WinEvents that go with their changes, and the dialog manager's part in them.
#include <algorithm>
#include <utility>

#include "platform/sim/internal.h"

namespace simwin::detail {

namespace {

bool IsRoot(HWND hwnd) { return hwnd == G().desktop || hwnd == G().messageRoot; }

// A user window that still exists (lock held).
std::shared_ptr<Window> Live(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto w = FindWindowLocked(hwnd);
  return w && !IsRoot(hwnd) ? w : nullptr;
}

bool IsTopLevel(const Window& w) { return IsRoot(w.parent); }

// The thread's focus and active window, forgotten once their window is gone (lock held).
HWND LiveFocus(ThreadState& t) {
  if (!Live(t.focus)) t.focus = nullptr;
  return t.focus;
}
HWND LiveActive(ThreadState& t) {
  if (!Live(t.active)) t.active = nullptr;
  return t.active;
}

bool Minimized(HWND hwnd) {
  Lock lk(G().mu);
  auto w = Live(hwnd);
  return w && (w->style & WS_MINIMIZE);
}

// A thread may bring its windows to the foreground while no window is there or its own process owns the foreground
// window (the restriction of Microsoft Learn, SetForegroundWindow, for simulated processes). Lock held.
bool MayTakeForeground(const ThreadState& t) {
  auto fg = Live(G().foreground);
  return !fg || fg->thread->process == t.process;
}

// Gives the calling thread's focus to `to` (null: to no window). The window losing it gets WM_KILLFOCUS, the one
// gaining it EVENT_OBJECT_FOCUS (hwnd, OBJID_CLIENT, CHILDID_SELF) and WM_SETFOCUS, each with the other window (the
// message sequences of Wine's msg.c). Lock not held.
HWND MoveFocus(ThreadState& self, HWND to) {
  HWND previous;
  {
    Lock lk(G().mu);
    previous = LiveFocus(self);
    if (previous == to) return previous;
    self.focus = to;
  }
  if (previous) {
    SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(to), 0);
    Lock lk(G().mu);
    if (self.focus != to) return previous;  // moved on by the window losing it
  }
  if (to && IsWindow(to)) {
    RaiseWinEvent(EVENT_OBJECT_FOCUS, to, OBJID_CLIENT, CHILDID_SELF);
    SendMessageW(to, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
  return previous;
}

// Makes `hwnd` (a top-level window of the calling thread, or null) the thread's active window. The foreground follows
// when the thread may take it (EVENT_SYSTEM_FOREGROUND first); the window losing activation gets WM_ACTIVATE
// (WA_INACTIVE) and the one gaining it WM_ACTIVATE (`how`), each with the other window. With `moveFocus`, a focus the
// new window's WM_ACTIVATE left outside it goes to the window itself, or to none when no window is active (Wine's
// msg.c sequences; the focus stays where WM_ACTIVATE put it). Lock not held.
HWND Activate(ThreadState& self, HWND hwnd, WORD how, bool moveFocus) {
  HWND previous;
  bool foreground = false;
  {
    Lock lk(G().mu);
    previous = LiveActive(self);
    auto w = Live(hwnd);
    if (w && !w->messageOnly && G().foreground != hwnd && MayTakeForeground(self)) {
      G().foreground = hwnd;
      foreground = true;
    } else if (!hwnd && previous && G().foreground == previous) {
      G().foreground = nullptr;
    }
    self.active = hwnd;
  }
  if (foreground) RaiseWinEvent(EVENT_SYSTEM_FOREGROUND, hwnd, OBJID_WINDOW, CHILDID_SELF);
  if (previous == hwnd) return previous;
  if (previous) {
    SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, Minimized(previous)), reinterpret_cast<LPARAM>(hwnd));
  }
  if (hwnd) SendMessageW(hwnd, WM_ACTIVATE, MAKEWPARAM(how, Minimized(hwnd)), reinterpret_cast<LPARAM>(previous));
  if (!moveFocus) return previous;
  bool outside;
  {
    Lock lk(G().mu);
    if (LiveActive(self) != hwnd) return previous;  // activation moved on meanwhile
    HWND focus = LiveFocus(self);
    outside = !hwnd || !focus || (focus != hwnd && !IsDescendant(hwnd, focus));
  }
  if (outside) MoveFocus(self, hwnd && !Minimized(hwnd) ? hwnd : nullptr);
  return previous;
}

// Runs `work` on `thread` when it next retrieves messages, without waiting for it: how a thread has another
// thread's window activated (lock held).
void QueueOnThread(ThreadState& thread, std::function<void()> work) {
  auto sm = std::make_shared<SentMessage>();
  sm->call = [work = std::move(work)]() -> LRESULT {
    work();
    return 0;
  };
  thread.sent.push_back(std::move(sm));
  G().cv.notify_all();
}

void ActivateOnOwnThread(HWND hwnd) {
  auto self = Self();
  {
    Lock lk(G().mu);
    auto w = Live(hwnd);
    if (!w || w->thread != self || w->destroying) return;
  }
  Activate(*self, hwnd, WA_ACTIVE, true);
}

// Where activation goes when the active window `leaving` is hidden or destroyed: its owner, else the next window below
// it in z-order, else the topmost one, that is a top-level window of the thread, visible, enabled and not going away;
// else none (the order wine 8 follows). Lock held.
HWND NextActive(const ThreadState& self, HWND leaving) {
  auto usable = [&](HWND h) {
    auto w = Live(h);
    return w && h != leaving && w->thread.get() == &self && IsTopLevel(*w) && !w->messageOnly && !w->destroying &&
           (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
  };
  auto left = Live(leaving);
  if (left && usable(left->owner)) return left->owner;
  const auto& zOrder = FindWindowLocked(G().desktop)->children;
  auto below = std::find(zOrder.begin(), zOrder.end(), leaving);
  if (below != zOrder.end()) ++below;
  if (auto found = std::find_if(below, zOrder.end(), usable); found != zOrder.end()) return *found;
  auto found = std::find_if(zOrder.begin(), below, usable);
  return found != below ? *found : nullptr;
}

// The window `hwnd` is hidden or going away: on its own thread, activation moves on if it was active, and a focus
// inside it moves to its parent (a child) or, failing that, to no window.
void Leave(HWND hwnd) {
  auto self = Self();
  HWND parent = nullptr;
  HWND next = nullptr;
  bool wasActive;
  {
    Lock lk(G().mu);
    auto w = Live(hwnd);
    if (!w || w->thread != self) return;
    wasActive = LiveActive(*self) == hwnd;
    if (wasActive) next = NextActive(*self, hwnd);
    if (!IsTopLevel(*w)) parent = w->parent;
  }
  if (wasActive) Activate(*self, next, WA_ACTIVE, true);
  bool inside;
  {
    Lock lk(G().mu);
    HWND focus = LiveFocus(*self);
    inside = focus && (focus == hwnd || IsDescendant(hwnd, focus));
  }
  if (inside && !(parent && SetFocus(parent))) MoveFocus(*self, nullptr);
}

// The first control of a dialog that is visible, enabled and a tab stop; else the first visible and enabled one
// (Microsoft Learn, DefDlgProcW: WM_SETFOCUS). Lock held.
HWND FirstControl(const Window& dialog) {
  HWND fallback = nullptr;
  for (HWND h : dialog.children) {
    auto c = Live(h);
    if (!c || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED)) continue;
    if (c->style & WS_TABSTOP) return h;
    if (!fallback) fallback = h;
  }
  return fallback;
}

}  // namespace

void ActivateShownWindow(HWND hwnd, int nCmdShow) {
  if (nCmdShow == SW_SHOWNA || nCmdShow == SW_SHOWNOACTIVATE || nCmdShow == SW_SHOWMINNOACTIVE ||
      nCmdShow == SW_MINIMIZE) {
    return;
  }
  auto self = Self();
  {
    Lock lk(G().mu);
    auto w = Live(hwnd);
    if (!w || !IsTopLevel(*w)) return;
    // Shown from another thread: the window's own thread activates it, as an input state is its thread's.
    if (w->thread != self) return QueueOnThread(*w->thread, [hwnd] { ActivateOnOwnThread(hwnd); });
  }
  Activate(*self, hwnd, WA_ACTIVE, true);
}

void LeaveHiddenWindow(HWND hwnd) {
  auto self = Self();
  {
    Lock lk(G().mu);
    auto w = Live(hwnd);
    if (!w) return;
    if (w->thread != self) {
      return QueueOnThread(*w->thread, [hwnd] {
        if (!IsWindowVisible(hwnd)) Leave(hwnd);  // unless shown again meanwhile
      });
    }
  }
  Leave(hwnd);
}

void LeaveDestroyedWindow(HWND hwnd) {
  Leave(hwnd);
  Lock lk(G().mu);
  if (G().foreground == hwnd) G().foreground = nullptr;
}

// DefDlgProc saves the focused control when the dialog is deactivated and restores it when the dialog is activated
// again (Microsoft Learn, DefDlgProcW: WM_ACTIVATE; The Old New Thing, 2014-05-21). A dialog activated with nothing
// saved leaves the focus alone (Wine's dialog.c test_focus).
void DialogActivation(HWND dialog, WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    Lock lk(G().mu);
    auto d = Live(dialog);
    if (d && focus && IsDescendant(dialog, focus)) d->savedFocus = focus;
    return;
  }
  if (HIWORD(wParam)) return;  // minimized
  HWND saved;
  {
    Lock lk(G().mu);
    auto d = Live(dialog);
    saved = d ? std::exchange(d->savedFocus, nullptr) : nullptr;
    if (saved && !IsDescendant(dialog, saved)) saved = nullptr;
  }
  if (saved) SetFocus(saved);
}

// The focus given to the dialog itself goes on to its saved control, else its first control.
void DialogFocus(HWND dialog) {
  HWND target;
  {
    Lock lk(G().mu);
    auto d = Live(dialog);
    if (!d) return;
    target = std::exchange(d->savedFocus, nullptr);
    if (!target || !IsDescendant(dialog, target)) target = FirstControl(*d);
  }
  if (target) SetFocus(target);
}

}  // namespace simwin::detail

using namespace simwin::detail;

// Fails for a window of another thread or a window with a disabled or minimized ancestor
// (measured under wine 8; Microsoft Learn, SetFocus: the window must be attached to the calling thread's queue).
HWND WINAPI SetFocus(HWND hWnd) {
  auto self = Self();
  HWND top = nullptr;
  {
    Lock lk(G().mu);
    if (!hWnd) {
      if (!LiveFocus(*self)) return nullptr;
    } else {
      auto w = Live(hWnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (hWnd == LiveFocus(*self)) return hWnd;
      if (w->thread != self) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      for (auto a = w; a; a = IsTopLevel(*a) ? nullptr : Live(a->parent)) {
        if (a->style & (WS_DISABLED | WS_MINIMIZE)) return nullptr;
        top = a->hwnd;
      }
      if (top == LiveActive(*self)) top = nullptr;
    }
  }
  if (top) {
    Activate(*self, top, WA_ACTIVE, false);
    Lock lk(G().mu);
    if (!Live(hWnd) || LiveActive(*self) != top) return nullptr;
  }
  return MoveFocus(*self, hWnd);
}

HWND WINAPI GetFocus(void) {
  auto self = Self();
  Lock lk(G().mu);
  return LiveFocus(*self);
}

// A child window is not activated; the active window is answered (measured under wine 8).
HWND WINAPI SetActiveWindow(HWND hWnd) {
  auto self = Self();
  {
    Lock lk(G().mu);
    if (hWnd) {
      auto w = Live(hWnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (!IsTopLevel(*w)) return LiveActive(*self);
      if (w->thread != self) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
    }
  }
  return Activate(*self, hWnd, WA_ACTIVE, true);
}

HWND WINAPI GetActiveWindow(void) {
  auto self = Self();
  Lock lk(G().mu);
  return LiveActive(*self);
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  auto self = Self();
  HWND top = hWnd;
  bool raise = false;
  {
    Lock lk(G().mu);
    auto w = Live(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    while (w && !IsTopLevel(*w)) w = Live(w->parent);
    if (!w || w->messageOnly || !MayTakeForeground(*self)) return FALSE;
    top = w->hwnd;
    if (w->thread != self) {
      raise = G().foreground != top;
      G().foreground = top;
      QueueOnThread(*w->thread, [top] { ActivateOnOwnThread(top); });
    }
  }
  if (raise) {
    RaiseWinEvent(EVENT_SYSTEM_FOREGROUND, top, OBJID_WINDOW, CHILDID_SELF);
  } else {
    Activate(*self, top, WA_ACTIVE, true);
  }
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
  Lock lk(G().mu);
  if (!Live(G().foreground)) G().foreground = nullptr;
  return G().foreground;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  Lock lk(G().mu);
  return hWndParent && Live(hWnd) && IsDescendant(hWndParent, hWnd);
}

BOOL WINAPI GetGUIThreadInfo(DWORD idThread, PGUITHREADINFO pgui) {
  if (!pgui || pgui->cbSize != sizeof(GUITHREADINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lk(G().mu);
  std::shared_ptr<ThreadState> thread;
  if (idThread == 0) {
    if (auto fg = Live(G().foreground)) thread = fg->thread;
  } else {
    auto it = G().threads.find(idThread);
    if (it == G().threads.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    thread = it->second;
  }
  *pgui = GUITHREADINFO{};
  pgui->cbSize = sizeof(GUITHREADINFO);
  if (thread) {
    pgui->hwndActive = LiveActive(*thread);
    pgui->hwndFocus = LiveFocus(*thread);
  }
  return TRUE;
}
