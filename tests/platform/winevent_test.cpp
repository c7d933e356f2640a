// Conformance of out-of-context WinEvent hooks.
#include <algorithm>
#include <atomic>
#include <vector>

#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Event;
using conformance::PumpUntil;
using conformance::TestThread;

namespace {

// Private event ids (the range Windows leaves to applications) so that nothing the system raises on its own is counted.
constexpr DWORD kEventA = 0x0000A001;
constexpr DWORD kEventB = 0x0000A002;
constexpr DWORD kMarker = 0x0000A0FF;

struct Seen {
  HWINEVENTHOOK hook;
  DWORD event;
  HWND hwnd;
  LONG idObject;
  LONG idChild;
  DWORD idEventThread;
  DWORD callbackThread;
};
// Written by callbacks, which run on the hooking thread (the test's own thread).
std::vector<Seen> g_seen;

void CALLBACK Record(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD idEventThread,
                     DWORD) {
  g_seen.push_back(Seen{hook, event, hwnd, idObject, idChild, idEventThread, GetCurrentThreadId()});
}

int Count(HWINEVENTHOOK hook, DWORD event, HWND hwnd = nullptr) {
  int n = 0;
  for (const auto& s : g_seen) {
    if (s.hook == hook && s.event == event && (!hwnd || s.hwnd == hwnd)) ++n;
  }
  return n;
}

// The window events are raised about (wine drops events without a window).
HWND g_target = nullptr;

// Raises `event` from a new thread of this process and returns that thread's id.
DWORD RaiseFromAnotherThread(DWORD event) {
  TestThread t([=]() -> DWORD {
    NotifyWinEvent(event, g_target, OBJID_CLIENT, 3);
    return 0;
  });
  DWORD id = t.Id();
  t.Join();
  return id;
}

class WinEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    g_seen.clear();
    g_target = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  }
  void TearDown() override {
    for (HWINEVENTHOOK h : hooks_) UnhookWinEvent(h);
    DestroyWindow(g_target);
    g_target = nullptr;
    DrainQueue();
    g_seen.clear();
  }
  HWINEVENTHOOK Hook(DWORD min, DWORD max, DWORD flags = 0, DWORD pid = 0, DWORD tid = 0) {
    HWINEVENTHOOK h = SetWinEventHook(min, max, nullptr, &Record, pid, tid, WINEVENT_OUTOFCONTEXT | flags);
    EXPECT_NE(h, nullptr);
    hooks_.push_back(h);
    return h;
  }
  std::vector<HWINEVENTHOOK> hooks_;
};

// Events raised by another thread wait for the hooking thread to retrieve messages, and arrive there in order.
TEST_F(WinEvents, DeliveredInOrderOnTheHookingThreadWhileItRetrievesMessages) {
  HWINEVENTHOOK hook = Hook(kEventA, kEventA);
  Event raised(true);
  const DWORD self = GetCurrentThreadId();
  TestThread raiser([&]() -> DWORD {
    for (LONG i = 1; i <= 5; ++i) NotifyWinEvent(kEventA, g_target, OBJID_CLIENT, i);
    raised.Set();
    PostThreadMessageW(self, WM_USER, 0, 0);
    return 0;
  });
  ASSERT_TRUE(raised.Wait());
  EXPECT_TRUE(g_seen.empty()) << "a kernel wait does not deliver WinEvents";
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_USER) {
  }
  ASSERT_TRUE(PumpUntil([&] { return Count(hook, kEventA) == 5; }));
  using Delivered = std::tuple<LONG, HWND, LONG, DWORD, DWORD>;  // child, window, object, raising and calling thread
  std::vector<Delivered> delivered, expected;
  for (LONG i = 1; i <= 5; ++i) {
    const Seen& s = g_seen[i - 1];
    delivered.emplace_back(s.idChild, s.hwnd, s.idObject, s.idEventThread, s.callbackThread);
    expected.emplace_back(i, g_target, OBJID_CLIENT, raiser.Id(), self);
  }
  EXPECT_EQ(delivered, expected);
}

TEST_F(WinEvents, RangeAndThreadFiltersSelectEvents) {
  HWINEVENTHOOK onlyA = Hook(kEventA, kEventA);
  Event go(true);
  TestThread chosen([&]() -> DWORD {
    go.Wait();
    NotifyWinEvent(kEventB, g_target, OBJID_CLIENT, 1);
    return 0;
  });
  HWINEVENTHOOK byThread = Hook(kEventA, kMarker, 0, 0, chosen.Id());
  HWINEVENTHOOK byProcess = Hook(kEventA, kMarker, 0, GetCurrentProcessId(), 0);
  HWINEVENTHOOK all = Hook(kEventA, kMarker);
  RaiseFromAnotherThread(kEventA);
  go.Set();
  chosen.Join();
  RaiseFromAnotherThread(kMarker);
  ASSERT_TRUE(PumpUntil([&] { return Count(all, kMarker) == 1; }));
  EXPECT_EQ(Count(onlyA, kEventA), 1);
  EXPECT_EQ(Count(onlyA, kEventB), 0);
  EXPECT_EQ(Count(byThread, kEventA), 0) << "raised by another thread";
  EXPECT_EQ(Count(byThread, kEventB), 1);
  EXPECT_EQ(Count(byProcess, kEventA), 1);
  EXPECT_EQ(Count(byProcess, kEventB), 1);
  EXPECT_EQ(Count(all, kEventA), 1);
}

// The engine's hooks skip their own thread and process and name the installer's process. Two markers: whatever was
// queued for the skipping hooks before them has been delivered by the second.
TEST_F(WinEvents, SkipOwnThreadAndSkipOwnProcessDropTheHookersEvents) {
  WINE_DEPARTS("WINEVENT_SKIPOWNTHREAD and WINEVENT_SKIPOWNPROCESS are ignored with process id 0; with a process "
               "filter WINEVENT_SKIPOWNPROCESS delivers nothing at all");
  using conformance::WindowsOr;
  HWINEVENTHOOK skipThread = Hook(kEventA, kMarker, WINEVENT_SKIPOWNTHREAD);
  HWINEVENTHOOK skipProcess = Hook(kEventA, kMarker, WINEVENT_SKIPOWNPROCESS);
  HWINEVENTHOOK skipFiltered = Hook(kEventA, kMarker, WINEVENT_SKIPOWNPROCESS, GetCurrentProcessId());
  HWINEVENTHOOK plain = Hook(kEventA, kMarker);
  NotifyWinEvent(kEventA, g_target, OBJID_CLIENT, 1);
  const DWORD other = RaiseFromAnotherThread(kEventA);
  RaiseFromAnotherThread(kMarker);
  RaiseFromAnotherThread(kMarker);
  ASSERT_TRUE(PumpUntil([&] { return Count(plain, kMarker) == 2; }));
  EXPECT_EQ(Count(plain, kEventA), 2);
  EXPECT_EQ(Count(skipThread, kEventA), WindowsOr(1, 2));
  int fromOther = 0;
  for (const auto& s : g_seen) {
    if (s.hook == skipThread && s.event == kEventA && s.idEventThread == other) ++fromOther;
  }
  EXPECT_EQ(fromOther, 1);
  EXPECT_EQ(Count(skipProcess, kEventA) + Count(skipProcess, kMarker), WindowsOr(0, 4));
  EXPECT_EQ(Count(skipFiltered, kEventA) + Count(skipFiltered, kMarker), 0);
}

std::wstring ChildReleaseName(DWORD childPid) { return L"conformance-events-seen-" + std::to_wstring(childPid); }

// The child raises two events about a window of its own and a marker, and stays until the parent has seen them.
void RaiseEventsAsChild() {
  HANDLE seen = CreateEventW(nullptr, TRUE, FALSE, ChildReleaseName(GetCurrentProcessId()).c_str());
  HWND w = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  NotifyWinEvent(kEventA, w, OBJID_CLIENT, 1);
  NotifyWinEvent(kEventA, w, OBJID_CLIENT, 2);
  NotifyWinEvent(kMarker, w, OBJID_CLIENT, 1);
  WaitForSingleObject(seen, conformance::kLongWait);
  DestroyWindow(w);
  CloseHandle(seen);
}
const bool g_raiseEventsChild = conformance::ChildBody(L"raise-events", &RaiseEventsAsChild);

// The engine watches the installer's process with a hook filtered on it. Such a hook never sees the hooking process's
// own events, with or without WINEVENT_SKIPOWNPROCESS (SetWinEventHook on Microsoft Learn: idProcess names the one
// process whose events the hook receives).
TEST_F(WinEvents, AHookOnAnotherProcessGetsItsEventsAndNoneOfTheHookers) {
  WINE_DEPARTS("with a process filter WINEVENT_SKIPOWNPROCESS delivers nothing at all");
  conformance::ChildProcess child(L"raise-events", &RaiseEventsAsChild);
  Event seen(true, false, ChildReleaseName(child.Id()).c_str());
  HWINEVENTHOOK filtered = Hook(kEventA, kMarker, WINEVENT_SKIPOWNTHREAD, child.Id());
  HWINEVENTHOOK skipping = Hook(kEventA, kMarker, WINEVENT_SKIPOWNTHREAD | WINEVENT_SKIPOWNPROCESS, child.Id());
  NotifyWinEvent(kEventA, g_target, OBJID_CLIENT, 1);
  RaiseFromAnotherThread(kEventA);
  child.Start();
  const bool windows = !conformance::RunningUnderWine();
  EXPECT_TRUE(PumpUntil([&] { return Count(filtered, kMarker) == 1 && (!windows || Count(skipping, kMarker) == 1); }));
  seen.Set();
  EXPECT_TRUE(child.Wait());
  EXPECT_EQ(Count(filtered, kEventA), 2);
  for (const auto& s : g_seen) {
    if (s.hook != filtered) continue;
    EXPECT_EQ(s.idEventThread, child.MainThreadId());
  }
  EXPECT_EQ(Count(skipping, kEventA) + Count(skipping, kMarker), conformance::WindowsOr(3, 0));
}

TEST_F(WinEvents, ProcessFilterOfNoProcessIsRefused) {
  // Measured under wine 8; Microsoft's SetWinEventHook documentation does not say. A hook that could never see an
  // event is refused rather than set.
  const DWORD noProcess = 0x7FFFFFF0;
  ASSERT_EQ(OpenProcess(SYNCHRONIZE, FALSE, noProcess), nullptr);
  EXPECT_FAILS_WITH(SetWinEventHook(kEventA, kEventA, nullptr, &Record, noProcess, 0, WINEVENT_OUTOFCONTEXT),
                    ERROR_INVALID_PARAMETER);
  HWINEVENTHOOK own = Hook(kEventA, kEventA, 0, GetCurrentProcessId());
  EXPECT_NE(own, nullptr) << "a live process may be named";
}

// Microsoft's UnhookWinEvent documentation: it fails when called from a thread other than the one that set the hook.
TEST_F(WinEvents, OnlyTheHookingThreadUnhooksAndOnlyOnce) {
  WINE_DEPARTS("another thread removes the hook");
  HWINEVENTHOOK h = SetWinEventHook(kEventA, kEventA, nullptr, &Record, 0, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(h, nullptr);
  TestThread other([&]() -> DWORD { return UnhookWinEvent(h); });
  const bool removedByOther = other.Join() != FALSE;
  EXPECT_EQ(removedByOther, conformance::WindowsOr(false, true));
  EXPECT_EQ(UnhookWinEvent(h) != FALSE, !removedByOther);
  EXPECT_FALSE(UnhookWinEvent(h)) << "already removed";
  EXPECT_FALSE(UnhookWinEvent(nullptr));
}

TEST_F(WinEvents, NoCallbackAfterUnhook) {
  // Microsoft's UnhookWinEvent documentation: no callback runs after it returns.
  WINE_DEPARTS("an event queued before UnhookWinEvent is still delivered after it");
  HWINEVENTHOOK doomed = SetWinEventHook(kEventA, kMarker, nullptr, &Record, 0, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(doomed, nullptr);
  HWINEVENTHOOK marker = Hook(kMarker, kMarker);
  RaiseFromAnotherThread(kEventA);  // queued for `doomed`, not yet delivered
  ASSERT_TRUE(UnhookWinEvent(doomed));
  RaiseFromAnotherThread(kMarker);
  ASSERT_TRUE(PumpUntil([&] { return Count(marker, kMarker) == 1; }));
  EXPECT_EQ(Count(doomed, kEventA), conformance::WindowsOr(0, 1));
}

TEST_F(WinEvents, HooksEndWithTheirThread) {
  HWINEVENTHOOK marker = Hook(kMarker, kMarker);
  std::atomic<int> calls{0};
  static std::atomic<int>* s_calls = nullptr;
  s_calls = &calls;
  TestThread hooker([&]() -> DWORD {
    HWINEVENTHOOK h = SetWinEventHook(
        kEventA, kEventA, nullptr, [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { ++*s_calls; }, 0, 0,
        WINEVENT_OUTOFCONTEXT);
    return h != nullptr;
  });
  ASSERT_EQ(hooker.Join(), 1u);
  RaiseFromAnotherThread(kEventA);
  RaiseFromAnotherThread(kMarker);
  ASSERT_TRUE(PumpUntil([&] { return Count(marker, kMarker) == 1; }));
  EXPECT_EQ(calls.load(), 0);
}

TEST_F(WinEvents, WindowOperationsRaiseTheirEvents) {
  HWINEVENTHOOK hook = Hook(EVENT_OBJECT_CREATE, EVENT_OBJECT_NAMECHANGE, 0, GetCurrentProcessId());
  // Wine raises only CREATE (and FOCUS) itself: there the window only comes.
  const bool wine = conformance::RunningUnderWine();
  std::atomic<HWND> hwnd{nullptr};
  TestThread actor([&]() -> DWORD {
    hwnd = CreateTestWindow(wine ? WS_POPUP : WS_POPUP | WS_VISIBLE);
    if (wine) {  // kept until its event has been seen: the window's thread is its owner
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      return 0;
    }
    ShowWindow(hwnd, SW_HIDE);
    SetWindowTextW(hwnd, L"renamed");
    MoveWindow(hwnd, 10, 10, 50, 50, FALSE);
    DestroyWindow(hwnd);
    return 0;
  });
  const DWORD last = wine ? EVENT_OBJECT_CREATE : EVENT_OBJECT_DESTROY;
  ASSERT_TRUE(PumpUntil([&] { return hwnd && Count(hook, last, hwnd) == 1; }));
  if (wine) PostThreadMessageW(actor.Id(), WM_QUIT, 0, 0);
  actor.Join();
  std::vector<DWORD> events;
  for (const auto& s : g_seen) {
    if (s.hwnd != hwnd.load() || s.idObject != OBJID_WINDOW) continue;
    events.push_back(s.event);
    EXPECT_EQ(s.idChild, CHILDID_SELF);
    EXPECT_EQ(s.idEventThread, actor.Id());
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), static_cast<DWORD>(EVENT_OBJECT_CREATE));
  EXPECT_EQ(events.back(), last);
  if (wine) return;
  auto pos = [&](DWORD e) { return std::find(events.begin(), events.end(), e) - events.begin(); };
  for (DWORD e : {EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE, EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_LOCATIONCHANGE}) {
    EXPECT_LT(pos(e), static_cast<long>(events.size())) << std::hex << e;
  }
  EXPECT_LT(pos(EVENT_OBJECT_SHOW), pos(EVENT_OBJECT_HIDE));
}

}  // namespace
