// simwin timers and clock. WM_TIMER is not queued: GetMessage/PeekMessage make it from a due timer when nothing else is
// there to retrieve, one per timer however late, as Windows does ("WM_TIMER message", "SetTimer function", Microsoft
// Learn).
#include <algorithm>
#include <atomic>

#include "platform/sim/internal.h"

namespace simwin::detail {

namespace {

// The clock is read with and without the lock held: atomics, never the lock.
std::atomic<bool> manualClock{false};
std::atomic<uint64_t> manualMs{0};
// Added to real time so that leaving the manual clock never turns time back.
std::atomic<int64_t> realOffsetMs{0};

uint64_t RealMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - G().start).count());
}

bool Matches(const Timer& t, HWND filter, UINT min, UINT max) {
  MSG m{};
  m.hwnd = t.hwnd;
  m.message = WM_TIMER;
  return MessageMatches(m, filter, min, max);
}

}  // namespace

uint64_t ClockMs() {
  if (manualClock.load()) return manualMs.load();
  return static_cast<uint64_t>(static_cast<int64_t>(RealMs()) + realOffsetMs.load());
}

bool HasDueTimer(const ThreadState& self) {
  const uint64_t now = ClockMs();
  return std::any_of(self.timers.begin(), self.timers.end(), [now](const Timer& t) { return t.due <= now; });
}

bool TakeTimerMessage(ThreadState& self, LPMSG out, HWND filter, UINT min, UINT max, bool remove) {
  const uint64_t now = ClockMs();
  Timer* next = nullptr;
  for (auto& t : self.timers) {
    if (t.due <= now && Matches(t, filter, min, max) && (!next || t.due < next->due)) next = &t;
  }
  if (!next) return false;
  *out = MSG{};
  out->hwnd = next->hwnd;
  out->message = WM_TIMER;
  out->wParam = next->id;
  out->lParam = reinterpret_cast<LPARAM>(next->proc);
  out->time = NowTicks();
  if (remove) next->due = now + next->interval;
  return true;
}

void WaitForQueue(Lock& lk, ThreadState& self) {
  if (self.timers.empty() || manualClock.load()) {
    // A manual clock wakes every waiter when it moves.
    G().cv.wait(lk);
    return;
  }
  uint64_t due = UINT64_MAX;
  for (const auto& t : self.timers) due = std::min(due, t.due);
  const uint64_t now = ClockMs();
  if (due <= now) return;
  G().cv.wait_for(lk, std::chrono::milliseconds(due - now));
}

void RemoveWindowTimers(ThreadState& thread, HWND hwnd) {
  auto& ts = thread.timers;
  ts.erase(std::remove_if(ts.begin(), ts.end(), [hwnd](const Timer& t) { return t.hwnd == hwnd; }), ts.end());
}

bool DispatchTimerProc(const MSG& msg) {
  if (msg.message != WM_TIMER || !msg.lParam) return false;
  reinterpret_cast<TIMERPROC>(msg.lParam)(msg.hwnd, WM_TIMER, msg.wParam, GetTickCount());
  return true;
}

}  // namespace simwin::detail

using namespace simwin::detail;

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  auto self = Self();
  Lock lk(G().mu);
  if (hWnd) {
    auto w = UserWindow(hWnd);
    if (!w) return 0;
    if (w->thread != self) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  // Out-of-range periods are clamped ("SetTimer function", Microsoft Learn).
  const UINT interval = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  auto& ts = self->timers;
  auto it = std::find_if(ts.begin(), ts.end(), [&](const Timer& t) { return t.hwnd == hWnd && t.id == nIDEvent; });
  if (!hWnd && it == ts.end()) {
    // A new thread timer gets an id of the system's choosing, whatever was asked.
    UINT_PTR id = self->nextTimerId;
    while (std::any_of(ts.begin(), ts.end(), [id](const Timer& t) { return !t.hwnd && t.id == id; })) ++id;
    self->nextTimerId = id + 1;
    nIDEvent = id;
  }
  Timer t{hWnd, nIDEvent, interval, ClockMs() + interval, lpTimerFunc};
  if (it != ts.end()) {
    *it = t;  // the same timer again: restarts with the new period
  } else {
    ts.push_back(t);
  }
  G().cv.notify_all();
  return hWnd ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  auto self = Self();
  Lock lk(G().mu);
  auto& ts = self->timers;
  auto it = std::find_if(ts.begin(), ts.end(), [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
  if (it == ts.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ts.erase(it);
  return TRUE;
}

namespace simwin {

ManualClock::ManualClock() {
  Lock lk(G().mu);
  manualMs = ClockMs();
  manualClock = true;
}

ManualClock::~ManualClock() {
  Lock lk(G().mu);
  realOffsetMs = static_cast<int64_t>(manualMs.load()) - static_cast<int64_t>(RealMs());
  manualClock = false;
  G().cv.notify_all();
}

void ManualClock::Advance(uint64_t ms) {
  Lock lk(G().mu);
  manualMs += ms;
  G().cv.notify_all();
}

}  // namespace simwin
