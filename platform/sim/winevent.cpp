// simwin WinEvents: out-of-context hooks, queued to the hooking thread and delivered in order while it retrieves
// messages.
#include <algorithm>

#include "platform/sim/internal.h"

namespace simwin::detail {

void RaiseWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
  auto self = Self();
  Lock lk(G().mu);
  bool queued = false;
  const DWORD now = NowTicks();
  for (auto& [value, hook] : G().hooks) {
    if (event < hook->eventMin || event > hook->eventMax) continue;
    if (hook->idProcess && hook->idProcess != self->process->pid) continue;
    if (hook->idThread && hook->idThread != self->tid) continue;
    // The skip flags are relative to the thread that set the hook, not to its filter.
    if ((hook->flags & WINEVENT_SKIPOWNTHREAD) && hook->owner == self) continue;
    if ((hook->flags & WINEVENT_SKIPOWNPROCESS) && hook->owner->process == self->process) continue;
    hook->owner->events.push_back(
        PendingEvent{hook->handle, hook->proc, event, hwnd, idObject, idChild, self->tid, now});
    G().winEventQueuePeak = std::max(G().winEventQueuePeak, hook->owner->events.size());
    queued = true;
  }
  if (queued) G().cv.notify_all();
}

bool DeliverOneWinEvent(Lock& lk, ThreadState& self) {
  while (!self.events.empty()) {
    PendingEvent e = self.events.front();
    self.events.pop_front();
    // A hook removed after the event was queued gets nothing more.
    if (!G().hooks.count(reinterpret_cast<uintptr_t>(e.hook))) continue;
    lk.unlock();
    e.proc(e.hook, e.event, e.hwnd, e.idObject, e.idChild, e.idEventThread, e.time);
    lk.lock();
    return true;
  }
  return false;
}

void RemoveThreadHooks(ThreadState& self) {
  for (auto it = G().hooks.begin(); it != G().hooks.end();) {
    if (it->second->owner.get() == &self) {
      it = G().hooks.erase(it);
    } else {
      ++it;
    }
  }
  self.events.clear();
}

}  // namespace simwin::detail

using namespace simwin::detail;

HWINEVENTHOOK WINAPI SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE, WINEVENTPROC pfnWinEventProc,
                                     DWORD idProcess, DWORD idThread, DWORD dwFlags) {
  if (dwFlags & WINEVENT_INCONTEXT) {
    // In-context hooks need a DLL mapped into every process: not simulated.
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (dwFlags & ~static_cast<DWORD>(WINEVENT_SKIPOWNTHREAD | WINEVENT_SKIPOWNPROCESS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return nullptr;
  }
  if (eventMin > eventMax) {
    SetLastError(ERROR_INVALID_HOOK_FILTER);
    return nullptr;
  }
  if (!pfnWinEventProc) {
    SetLastError(ERROR_INVALID_FILTER_PROC);
    return nullptr;
  }
  auto self = Self();
  Lock lk(G().mu);
  // Wine refuses a process filter naming no process (the process id is looked up like OpenProcess does).
  if (idProcess != 0) {
    auto it = G().processes.find(idProcess);
    if (it == G().processes.end() || it->second.expired()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  if (G().hookSuccessesBeforeFailure >= 0 && G().hookSuccessesBeforeFailure-- == 0) {
    SetLastError(G().hookFailureError);
    return nullptr;
  }
  auto hook = std::make_shared<Hook>();
  uintptr_t value = G().nextHook;
  G().nextHook += 4;
  hook->handle = reinterpret_cast<HWINEVENTHOOK>(value);
  hook->eventMin = eventMin;
  hook->eventMax = eventMax;
  hook->proc = pfnWinEventProc;
  hook->idProcess = idProcess;
  hook->idThread = idThread;
  hook->flags = dwFlags;
  hook->owner = self;
  G().hooks[value] = hook;
  return hook->handle;
}

BOOL WINAPI UnhookWinEvent(HWINEVENTHOOK hWinEventHook) {
  auto self = Self();
  Lock lk(G().mu);
  auto it = G().hooks.find(reinterpret_cast<uintptr_t>(hWinEventHook));
  if (it == G().hooks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second->owner != self) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  G().hooks.erase(it);
  // Events already queued for it are dropped on delivery (the hook is gone).
  return TRUE;
}

void WINAPI NotifyWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
  RaiseWinEvent(event, hwnd, idObject, idChild);
}
