// simwin user32: window classes, windows, message queues, sent messages.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>

#include "platform/sim/internal.h"

namespace simwin::detail {

std::shared_ptr<Window> FindWindowLocked(HWND hwnd) {
  auto& g = G();
  if (!g.desktop) {
    // The two roots: the desktop (parent of top-level windows) and the message-only root.
    for (HWND* root : {&g.desktop, &g.messageRoot}) {
      auto w = std::make_shared<Window>();
      w->hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010 + (root == &g.desktop ? 0 : 4)));
      w->style = root == &g.desktop ? (WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN) : WS_POPUP;
      *root = w->hwnd;
      g.windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
    }
    g.nextHwnd = 0x10018;
  }
  auto it = g.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == g.windows.end() ? nullptr : it->second;
}

bool IsRoot(HWND hwnd) { return hwnd == G().desktop || hwnd == G().messageRoot; }

std::shared_ptr<Window> UserWindow(HWND hwnd) {
  auto w = FindWindowLocked(hwnd);
  if (!w || IsRoot(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return w;
}

std::shared_ptr<Window> AnyWindow(HWND hwnd) {
  auto w = FindWindowLocked(hwnd);
  if (!w || hwnd == G().messageRoot) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return w;
}


bool IsDescendant(HWND ancestor, HWND hwnd) {
  auto w = FindWindowLocked(hwnd);
  while (w && !IsRoot(w->hwnd)) {
    if (w->parent == ancestor) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

bool MessageMatches(const MSG& m, HWND filter, UINT min, UINT max) {
  if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
    if (m.hwnd) return false;
  } else if (filter && m.hwnd != filter && !IsDescendant(filter, m.hwnd)) {
    return false;
  }
  if (min == 0 && max == 0) return true;
  return m.message >= min && m.message <= max;
}

namespace {

void Unlink(Window& w) {
  if (auto parent = FindWindowLocked(w.parent)) {
    auto& c = parent->children;
    c.erase(std::remove(c.begin(), c.end(), w.hwnd), c.end());
  }
}

// Removes a window for good (lock held): handle freed, z-order unlinked, pending sent messages to it answered with 0.
void RemoveWindow(const std::shared_ptr<Window>& w) {
  Unlink(*w);
  G().windows.erase(reinterpret_cast<uintptr_t>(w->hwnd));
  if (w->cls) --w->cls->windows;
  ReleaseWindowResources(*w);
  if (w->thread) {
    auto& q = w->thread->sent;
    for (auto it = q.begin(); it != q.end();) {
      if ((*it)->hwnd == w->hwnd) {
        (*it)->done = true;
        it = q.erase(it);
      } else {
        ++it;
      }
    }
  }
  G().cv.notify_all();
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    Lock lk(G().mu);
    auto w = FindWindowLocked(hwnd);
    if (!w || IsRoot(hwnd)) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

// Waits for a cross-thread sent message to be answered, handling what is sent to the caller meanwhile. Returns false on
// time-out. Lock held.
bool AwaitReply(Lock& lk, ThreadState& self, const std::shared_ptr<SentMessage>& sm, bool pump,
                std::optional<Clock::time_point> deadline) {
  // A sender that handles what is sent to it meanwhile waits for messages; SMTO_BLOCK's does not.
  std::optional<WaitingForMessages> waiting;
  if (pump) waiting.emplace(self);
  while (!sm->done) {
    if (pump && PumpOneIncoming(lk, self)) continue;
    if (!deadline) {
      G().cv.wait(lk);
    } else if (G().cv.wait_until(lk, *deadline) == std::cv_status::timeout && !sm->done) {
      return false;
    }
  }
  return true;
}

// Common body of SendMessageW and SendMessageTimeoutW. `ok` tells a failure apart.
LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool pump, std::optional<DWORD> timeout, bool& ok,
             bool abortIfHung = false) {
  auto self = Self();
  Lock lk(G().mu);
  auto w = UserWindow(hwnd);
  ok = false;
  if (!w) return 0;
  if (w->thread == self) {
    lk.unlock();
    ok = true;
    return CallProc(hwnd, msg, wParam, lParam);
  }
  if (abortIfHung && IsThreadHung(*w->thread)) {
    // Returns at once, the message never sent ("SendMessageTimeoutW function", Microsoft Learn).
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  auto sm = std::make_shared<SentMessage>();
  sm->hwnd = hwnd;
  sm->msg = msg;
  sm->wParam = wParam;
  sm->lParam = lParam;
  w->thread->sent.push_back(sm);
  G().cv.notify_all();
  std::optional<Clock::time_point> deadline;
  if (timeout) deadline = Clock::now() + std::chrono::milliseconds(*timeout);
  if (!AwaitReply(lk, *self, sm, pump, deadline)) {
    // Not yet received, the message is taken back and never delivered; one the receiver is already handling runs to
    // its end and its answer is dropped ("What happens to a sent message when SendMessageTimeout reaches its
    // timeout?", The Old New Thing, Microsoft devblogs).
    if (auto target = FindWindowLocked(hwnd); target && target->thread) {
      auto& queue = target->thread->sent;
      queue.erase(std::remove(queue.begin(), queue.end(), sm), queue.end());
    }
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  ok = true;
  return sm->result;
}

void Raise(DWORD event, HWND hwnd) { RaiseWinEvent(event, hwnd, OBJID_WINDOW, CHILDID_SELF); }

// Windows in z-order below `hwnd`, parents before children (lock held).
void CollectTree(HWND hwnd, std::vector<HWND>& out) {
  out.push_back(hwnd);
  if (auto w = FindWindowLocked(hwnd)) {
    for (HWND c : w->children) CollectTree(c, out);
  }
}

}  // namespace

bool IsThreadHung(const ThreadState& thread) {
  if (thread.ended || thread.waitingForMessages > 0) return false;
  return ClockMs() - thread.lastPumpMs > G().hungAppTimeoutMs;
}

void NotePump(ThreadState& self) { self.lastPumpMs = ClockMs(); }

bool HandleOneSentMessage(Lock& lk, ThreadState& self) {
  if (self.sent.empty()) return false;
  auto sm = self.sent.front();
  self.sent.pop_front();
  lk.unlock();
  LRESULT result = sm->call ? sm->call() : CallProc(sm->hwnd, sm->msg, sm->wParam, sm->lParam);
  lk.lock();
  sm->result = result;
  sm->handled = true;
  sm->done = true;
  G().cv.notify_all();
  return true;
}


bool RunOnThread(DWORD tid, const std::function<LRESULT()>& call, LRESULT& result) {
  auto self = Self();
  Lock lk(G().mu);
  auto it = G().threads.find(tid);
  if (it == G().threads.end() || it->second->ended) return false;
  if (it->second == self) {
    lk.unlock();
    result = call();
    return true;
  }
  auto target = it->second;
  auto sm = std::make_shared<SentMessage>();
  sm->call = call;
  target->sent.push_back(sm);
  G().cv.notify_all();
  AwaitReply(lk, *self, sm, true, std::nullopt);
  // A thread that ended with the call still queued marks it done without running it.
  if (!sm->handled) return false;
  result = sm->result;
  return true;
}

bool PumpOneIncoming(Lock& lk, ThreadState& self) {
  return HandleOneSentMessage(lk, self) || DeliverOneWinEvent(lk, self);
}

void DestroyThreadWindows(ThreadState& self) {
  for (;;) {
    HWND victim = nullptr;
    {
      Lock lk(G().mu);
      FindWindowLocked(nullptr);
      // Top-most ancestors owned by this thread go first; their children follow them.
      for (auto& [value, w] : G().windows) {
        if (w->thread.get() != &self || w->destroying) continue;
        auto parent = FindWindowLocked(w->parent);
        if (parent && parent->thread.get() == &self && !parent->destroying) continue;
        victim = w->hwnd;
        break;
      }
    }
    if (!victim) return;
    if (!DestroyWindow(victim)) {
      // Should not happen (we own it); make sure the loop ends anyway.
      Lock lk(G().mu);
      if (auto w = FindWindowLocked(victim)) RemoveWindow(w);
    }
  }
}

}  // namespace simwin::detail

using namespace simwin::detail;

BOOL WINAPI IsGUIThread(BOOL) {
  Self();
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------
namespace {

bool IsAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) <= 0xFFFF; }

// The class named (or atom-numbered) `name` in `process` (lock held).
std::shared_ptr<WndClass> FindClass(ProcessState& process, LPCWSTR name) {
  if (!name) return nullptr;
  if (IsAtom(name)) {
    auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto& [key, cls] : process.classes) {
      if (cls->atom == atom) return cls;
    }
    return nullptr;
  }
  auto it = process.classes.find(FoldCase(name));
  return it == process.classes.end() ? nullptr : it->second;
}

// A process's own class comes first, then the system's (lock held).
std::shared_ptr<WndClass> FindClassForWindow(ProcessState& process, LPCWSTR name) {
  if (auto cls = FindClass(process, name)) return cls;
  return IsAtom(name) ? nullptr : FindSystemClassLocked(name);
}

}  // namespace

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
  if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXW) || !lpwcx->lpszClassName || IsAtom(lpwcx->lpszClassName) ||
      !*lpwcx->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto self = Self();
  Lock lk(G().mu);
  if (FindClass(*self->process, lpwcx->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto cls = std::make_shared<WndClass>();
  cls->name = lpwcx->lpszClassName;
  cls->atom = G().nextAtom++;
  cls->proc = lpwcx->lpfnWndProc;
  cls->style = lpwcx->style;
  cls->instance = lpwcx->hInstance;
  self->process->classes[FoldCase(cls->name)] = cls;
  return cls->atom;
}

// The process's own classes, then the system's controls (Microsoft Learn, GetClassInfoExW): how a toolkit
// superclasses a standard control, calling its procedure for what it does not handle itself.
BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
  auto self = Self();
  Lock lk(G().mu);
  auto cls = FindClassForWindow(*self->process, lpszClass);
  if (!cls || !lpwcx) {
    SetLastError(cls ? ERROR_INVALID_PARAMETER : ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  lpwcx->style = cls->style;
  lpwcx->lpfnWndProc = cls->proc;
  lpwcx->hInstance = cls->instance;
  lpwcx->lpszClassName = lpszClass;
  return cls->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
  auto self = Self();
  Lock lk(G().mu);
  auto cls = FindClass(*self->process, lpClassName);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  self->process->classes.erase(FoldCase(cls->name));
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------
HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  auto self = Self();
  auto w = std::make_shared<Window>();
  {
    Lock lk(G().mu);
    FindWindowLocked(nullptr);
    auto cls = FindClassForWindow(*self->process, lpClassName);
    if (!cls) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    std::shared_ptr<Window> parent;
    if (hWndParent == HWND_MESSAGE) {
      parent = FindWindowLocked(G().messageRoot);
      w->messageOnly = true;
    } else if (hWndParent) {
      auto given = AnyWindow(hWndParent);
      if (!given) return nullptr;
      if (given->messageOnly) w->messageOnly = true;
      if (dwStyle & WS_CHILD) {
        parent = given;
      } else {
        // A top-level window's "parent" argument is its owner, and the owner is always a top-level window: Windows
        // walks up to the root.
        parent = FindWindowLocked(given->messageOnly ? G().messageRoot : G().desktop);
        auto owner = given;
        while (!IsRoot(owner->parent)) owner = FindWindowLocked(owner->parent);
        if (!IsRoot(owner->hwnd)) w->owner = owner->hwnd;
      }
    } else {
      if ((dwStyle & (WS_CHILD | WS_POPUP)) == WS_CHILD) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
      }
      parent = FindWindowLocked(G().desktop);
    }
    w->hwnd = reinterpret_cast<HWND>(G().nextHwnd);
    G().nextHwnd += 4;
    w->cls = cls;
    ++cls->windows;
    w->thread = self;
    w->proc = cls->proc;
    // WS_VISIBLE is applied by the ShowWindow at the end of creation, as on Windows.
    w->style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);
    // An overlapped window always has a title bar and a border ("Window Styles", Microsoft Learn: WS_OVERLAPPED).
    if (!(dwStyle & (WS_CHILD | WS_POPUP))) w->style |= WS_CAPTION;
    w->exStyle = dwExStyle;
    w->frame = FrameInsets(w->style, w->exStyle, false);
    bool child = !IsRoot(parent->hwnd);
    w->rect.left = X == CW_USEDEFAULT ? (child ? 0 : 100) : X;
    w->rect.top = X == CW_USEDEFAULT ? (child ? 0 : 100) : Y;
    w->rect.right = w->rect.left + (nWidth == CW_USEDEFAULT ? (child ? 0 : 640) : nWidth);
    w->rect.bottom = w->rect.top + (nWidth == CW_USEDEFAULT ? (child ? 0 : 480) : nHeight);
    if (dwStyle & WS_CHILD) w->id = reinterpret_cast<LONG_PTR>(hMenu);
    w->instance = hInstance;
    w->parent = parent->hwnd;
    // Windows puts a new child at the bottom of its siblings (so a dialog's controls are in creation order, which is
    // its tab order) and a new top-level window at the top.
    if (child) {
      parent->children.push_back(w->hwnd);
    } else {
      parent->children.insert(parent->children.begin(), w->hwnd);
    }
    G().windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
  }
  CREATESTRUCTW cs{};
  cs.lpCreateParams = lpParam;
  cs.hInstance = hInstance;
  cs.hMenu = hMenu;
  cs.hwndParent = hWndParent;
  cs.cy = nHeight;
  cs.cx = nWidth;
  cs.y = Y;
  cs.x = X;
  cs.style = static_cast<LONG>(dwStyle);
  cs.lpszName = lpWindowName;
  cs.lpszClass = lpClassName;
  cs.dwExStyle = dwExStyle;
  HWND hwnd = w->hwnd;
  if (!CallProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    CallProc(hwnd, WM_NCDESTROY, 0, 0);
    Lock lk(G().mu);
    if (FindWindowLocked(hwnd)) RemoveWindow(w);
    return nullptr;
  }
  if (CallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  {
    Lock lk(G().mu);
    if (!FindWindowLocked(hwnd)) return nullptr;  // destroyed by its own WM_CREATE
  }
  Raise(EVENT_OBJECT_CREATE, hwnd);
  if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  auto self = Self();
  std::vector<HWND> owned;
  std::vector<HWND> tree;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    if (w->thread != self) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    for (auto& [value, other] : G().windows) {
      if (other->owner == hWnd && other->thread == self && !other->destroying) owned.push_back(other->hwnd);
    }
  }
  // Owned windows go first, as Windows destroys them before their owner.
  for (HWND o : owned) DestroyWindow(o);
  LeaveDestroyedWindow(hWnd);
  // One DESTROY for the window itself: children are taken to be destroyed with it.
  Raise(EVENT_OBJECT_DESTROY, hWnd);
  {
    Lock lk(G().mu);
    CollectTree(hWnd, tree);
    for (HWND h : tree) {
      if (auto w = FindWindowLocked(h)) w->destroying = true;
    }
  }
  // WM_DESTROY parent first, then the children; WM_NCDESTROY children first.
  for (HWND h : tree) SendMessageW(h, WM_DESTROY, 0, 0);
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
    SendMessageW(*it, WM_NCDESTROY, 0, 0);
    Lock lk(G().mu);
    if (auto w = FindWindowLocked(*it)) RemoveWindow(w);
  }
  return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && !IsAtom(cs->lpszName)) {
        Lock lk(G().mu);
        if (auto w = FindWindowLocked(hWnd)) w->text = cs->lpszName;
      }
      return TRUE;
    }
    case WM_SETTEXT: {
      {
        Lock lk(G().mu);
        auto w = UserWindow(hWnd);
        if (!w) return FALSE;
        w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"";
      }
      Raise(EVENT_OBJECT_NAMECHANGE, hWnd);
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!buffer || wParam == 0) return 0;
      Lock lk(G().mu);
      auto w = UserWindow(hWnd);
      if (!w) return 0;
      size_t n = std::min<size_t>(w->text.size(), wParam - 1);
      std::wmemcpy(buffer, w->text.data(), n);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      Lock lk(G().mu);
      auto w = UserWindow(hWnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_ACTIVATE:
      // A window being activated and not minimized gets the keyboard focus (Microsoft Learn, WM_ACTIVATE).
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) SetFocus(hWnd);
      return 0;
    case WM_PAINT:
      return DefaultPaint(hWnd);
    default:
      return 0;
  }
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  bool show = nCmdShow != SW_HIDE;
  bool wasVisible;
  bool messageOnly;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    messageOnly = w->messageOnly;
  }
  if (wasVisible == show) return wasVisible;
  SendMessageW(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return wasVisible;
    if (show) {
      w->style |= WS_VISIBLE;
      InvalidateLocked(*w, nullptr, true);
    } else {
      w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
  }
  // A message-only window is never shown on screen: nothing for accessibility to see.
  if (messageOnly) return wasVisible;
  Raise(show ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, hWnd);
  if (show) {
    ActivateShownWindow(hWnd, nCmdShow);
  } else {
    LeaveHiddenWindow(hWnd);
  }
  return wasVisible;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  Lock lk(G().mu);
  auto w = FindWindowLocked(hWnd);
  return w && hWnd != G().messageRoot;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  Lock lk(G().mu);
  auto w = FindWindowLocked(hWnd);
  while (w) {
    if (w->hwnd == G().messageRoot || !(w->style & WS_VISIBLE)) return FALSE;
    if (w->hwnd == G().desktop) return TRUE;
    w = FindWindowLocked(w->parent);
  }
  return FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  bool wasDisabled;
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return FALSE;
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) return wasDisabled;
    if (bEnable) {
      w->style &= ~static_cast<DWORD>(WS_DISABLED);
    } else {
      w->style |= WS_DISABLED;
    }
  }
  // The window object's state change comes before WM_ENABLE, as on Windows.
  Raise(EVENT_OBJECT_STATECHANGE, hWnd);
  SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled;
}

HWND WINAPI GetParent(HWND hWnd) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return IsRoot(w->parent) ? nullptr : w->parent;
  if (w->style & WS_POPUP) return w->owner;
  return nullptr;
}

// Microsoft Learn, GetAncestor: GA_PARENT is the parent (the desktop for a top-level window, never the owner),
// GA_ROOT the top-level window of the parent chain, GA_ROOTOWNER the end of the chain GetParent gives.
HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
  Lock lk(G().mu);
  auto w = UserWindow(hwnd);
  if (!w || (gaFlags != GA_PARENT && gaFlags != GA_ROOT && gaFlags != GA_ROOTOWNER)) return nullptr;
  if (gaFlags == GA_PARENT) return w->parent;
  const auto above = [](HWND next) { return next && !IsRoot(next) ? FindWindowLocked(next) : nullptr; };
  while (auto parent = above(w->parent)) w = parent;
  if (gaFlags == GA_ROOTOWNER) {  // GetParent's chain: a top-level window's owner only when it is a popup
    while ((w->style & WS_POPUP) && above(w->owner)) w = above(w->owner);
  }
  return w->hwnd;
}

HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
  // No EVENT_OBJECT_PARENTCHANGE here: the system's window object does not raise it (it is documented as an event
  // servers raise), so an installer raises it with NotifyWinEvent when it reparents.
  Lock lk(G().mu);
  auto w = UserWindow(hWndChild);
  if (!w) return nullptr;
  std::shared_ptr<Window> parent;
  if (hWndNewParent == HWND_MESSAGE) {
    parent = FindWindowLocked(G().messageRoot);
  } else if (hWndNewParent) {
    parent = AnyWindow(hWndNewParent);
    if (!parent) return nullptr;
  } else {
    parent = FindWindowLocked(G().desktop);
  }
  if (parent->hwnd == hWndChild || IsDescendant(hWndChild, parent->hwnd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HWND old = w->parent;
  Unlink(*w);
  w->parent = parent->hwnd;
  w->messageOnly = parent->hwnd == G().messageRoot || parent->messageOnly;
  parent->children.insert(parent->children.begin(), w->hwnd);
  return old == G().messageRoot ? nullptr : old;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  Lock lk(G().mu);
  auto w = AnyWindow(hWnd);
  if (!w) return nullptr;
  if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (uCmd == GW_OWNER) return w->owner;
  auto parent = FindWindowLocked(w->parent);
  if (!parent) return nullptr;  // the desktop has no siblings
  auto& s = parent->children;
  auto it = std::find(s.begin(), s.end(), hWnd);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return s.front();
    case GW_HWNDLAST:
      return s.back();
    case GW_HWNDNEXT:
      return it == s.end() || it + 1 == s.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return it == s.begin() || it == s.end() ? nullptr : *(it - 1);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HWND WINAPI GetDesktopWindow(void) {
  Lock lk(G().mu);
  FindWindowLocked(nullptr);
  return G().desktop;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  Lock lk(G().mu);
  FindWindowLocked(nullptr);
  auto desktop = FindWindowLocked(G().desktop);
  if (desktop) {
    for (HWND h : desktop->children) {
      auto w = FindWindowLocked(h);
      if (!w) continue;
      if (lpClassName && FoldCase(w->cls->name) != FoldCase(lpClassName)) continue;
      if (lpWindowName && w->text != lpWindowName) continue;
      return h;
    }
  }
  return nullptr;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return 0;
  if (!lpClassName || nMaxCount <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t n = std::min<size_t>(w->cls->name.size(), static_cast<size_t>(nMaxCount) - 1);
  std::wmemcpy(lpClassName, w->cls->name.data(), n);
  lpClassName[n] = 0;
  return static_cast<int>(n);
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = 0;
  auto self = Self();
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return 0;
    if (w->thread->process != self->process) {
      // Another process: the stored text, without a message, so that a hung window cannot block the caller.
      size_t n = std::min<size_t>(w->text.size(), static_cast<size_t>(nMaxCount) - 1);
      std::wmemcpy(lpString, w->text.data(), n);
      lpString[n] = 0;
      return static_cast<int>(n);
    }
  }
  return static_cast<int>(
      SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
  auto self = Self();
  {
    Lock lk(G().mu);
    auto w = UserWindow(hWnd);
    if (!w) return 0;
    if (w->thread->process != self->process) return static_cast<int>(w->text.size());
  }
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  bool ok = false;
  LRESULT r = Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString), true, std::nullopt, ok);
  return ok && r ? TRUE : FALSE;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return 0;
  switch (nIndex) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    case GWLP_ID:
      return w->id;
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  auto self = Self();
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return 0;
  LONG_PTR old;
  switch (nIndex) {
    case GWL_STYLE:
      old = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(dwNewLong);
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->exStyle);
      w->exStyle = static_cast<DWORD>(dwNewLong);
      if (!(w->exStyle & WS_EX_LAYERED)) w->layeredSet = false;
      break;
    case GWLP_ID:
      old = w->id;
      w->id = dwNewLong;
      break;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = dwNewLong;
      break;
    case GWLP_WNDPROC:
      // Windows refuses to subclass a window of another process.
      if (w->thread->process != self->process) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
      break;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
      break;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
  // A previous value of 0 is told apart from a failure by the last error, as on Windows.
  SetLastError(0);
  return old;
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) { return static_cast<LONG>(GetWindowLongPtrW(hWnd, nIndex)); }
LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  return static_cast<LONG>(SetWindowLongPtrW(hWnd, nIndex, dwNewLong));
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return 0;
  if (lpdwProcessId) *lpdwProcessId = w->thread->process->pid;
  return w->thread->tid;
}

BOOL WINAPI EnumThreadWindows(DWORD dwThreadId, WNDENUMPROC lpfn, LPARAM lParam) {
  std::vector<HWND> list;
  {
    Lock lk(G().mu);
    auto desktop = FindWindowLocked(G().desktop);
    // Only the desktop's children: message-only windows "cannot be enumerated".
    for (HWND h : desktop->children) {
      auto w = FindWindowLocked(h);
      if (w && w->thread->tid == dwThreadId) list.push_back(h);
    }
  }
  if (!lpfn) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (HWND h : list) {
    if (!IsWindow(h)) continue;
    if (!lpfn(h, lParam)) return FALSE;
  }
  return list.empty() ? FALSE : TRUE;
}

// ---------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------
namespace {

// Looks for a message to retrieve after the incoming sent messages and WinEvents have been handled: posted messages in
// order, then the quit flag. Lock held.
bool TakeMessage(ThreadState& self, LPMSG out, HWND filter, UINT min, UINT max, bool remove) {
  for (auto it = self.posted.begin(); it != self.posted.end(); ++it) {
    if (!MessageMatches(*it, filter, min, max)) continue;
    *out = *it;
    if (remove) self.posted.erase(it);
    return true;
  }
  if (self.quitPending) {
    // The quit flag comes after every posted message, whatever the filter.
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(self.quitCode);
    out->time = NowTicks();
    if (remove) self.quitPending = false;
    return true;
  }
  if (TakePaintMessage(self, out, filter, min, max)) return true;
  return TakeTimerMessage(self, out, filter, min, max, remove);
}

bool ValidFilter(HWND filter) {
  if (!filter || filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return true;
  return UserWindow(filter) != nullptr;
}

bool PostTo(ThreadState& thread, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = NowTicks();
  thread.posted.push_back(m);
  G().cv.notify_all();
  return true;
}

}  // namespace

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  auto self = Self();
  Lock lk(G().mu);
  if (!lpMsg || !ValidFilter(hWnd)) {
    if (!lpMsg) SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  for (;;) {
    NotePump(*self);
    if (PumpOneIncoming(lk, *self)) continue;
    if (TakeMessage(*self, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
      NotePump(*self);
      return lpMsg->message == WM_QUIT ? FALSE : TRUE;
    }
    WaitingForMessages waiting(*self);
    WaitForQueue(lk, *self);
  }
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  auto self = Self();
  Lock lk(G().mu);
  if (!lpMsg || !ValidFilter(hWnd)) return FALSE;
  NotePump(*self);
  while (PumpOneIncoming(lk, *self)) {
  }
  NotePump(*self);
  return TakeMessage(*self, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}

BOOL WINAPI WaitMessage(void) {
  auto self = Self();
  Lock lk(G().mu);
  for (;;) {
    // Handling something sent counts as queue activity: the caller's loop looks again.
    if (PumpOneIncoming(lk, *self)) return TRUE;
    if (!self->posted.empty() || self->quitPending || HasGeneratedMessage(*self)) return TRUE;
    WaitingForMessages waiting(*self);
    WaitForQueue(lk, *self);
  }
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
  if (lpMsg && DispatchTimerProc(*lpMsg)) return 0;
  if (!lpMsg || !lpMsg->hwnd) return 0;
  {
    Lock lk(G().mu);
    if (!UserWindow(lpMsg->hwnd)) return 0;
  }
  return CallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto self = Self();
  Lock lk(G().mu);
  if (!hWnd) return PostTo(*self, nullptr, Msg, wParam, lParam);
  auto w = UserWindow(hWnd);
  if (!w) return FALSE;
  return PostTo(*w->thread, hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Lock lk(G().mu);
  auto it = G().threads.find(idThread);
  if (it == G().threads.end()) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return PostTo(*it->second, nullptr, Msg, wParam, lParam);
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  bool ok = false;
  return Send(hWnd, Msg, wParam, lParam, true, std::nullopt, ok);
}

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                                   DWORD_PTR* lpdwResult) {
  bool ok = false;
  LRESULT r = Send(hWnd, Msg, wParam, lParam, !(fuFlags & SMTO_BLOCK), uTimeout, ok, (fuFlags & SMTO_ABORTIFHUNG) != 0);
  if (!ok) return 0;
  if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(r);
  return 1;
}

BOOL WINAPI IsHungAppWindow(HWND hwnd) {
  Lock lk(G().mu);
  auto w = UserWindow(hwnd);
  return w && IsThreadHung(*w->thread) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  auto self = Self();
  Lock lk(G().mu);
  self->quitPending = true;
  self->quitCode = nExitCode;
  G().cv.notify_all();
}
