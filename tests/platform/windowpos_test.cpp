// Conformance of window placement: monitors and the work area, SetWindowPos, layered windows' attributes.
#include <vector>

#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::PumpUntil;

namespace {

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST(Monitors, AWindowsMonitorHoldsItsCentreAndTheWorkAreaLiesInsideTheMonitor) {
  HWND hwnd = CreateWindowExW(0, conformance::TestClassName(), L"", WS_POPUP, 120, 80, 200, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(hwnd, nullptr);
  HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONULL), monitor);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
  EXPECT_TRUE(Inside(info.rcWork, info.rcMonitor));
  EXPECT_LT(info.rcWork.left, info.rcWork.right);
  EXPECT_LT(info.rcWork.top, info.rcWork.bottom);
  const POINT centre{200 + 20, 80 + 50};
  EXPECT_TRUE(centre.x >= info.rcMonitor.left && centre.x < info.rcMonitor.right && centre.y >= info.rcMonitor.top &&
              centre.y < info.rcMonitor.bottom);
  EXPECT_EQ(MonitorFromPoint(centre, MONITOR_DEFAULTTONULL), monitor);
  if (info.dwFlags & MONITORINFOF_PRIMARY) {
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_TRUE(EqualRect(&work, &info.rcWork));
  }

  // Far off every screen: nothing unless a default is asked for.
  const RECT offscreen{-100000, -100000, -99000, -99000};
  EXPECT_EQ(MonitorFromRect(&offscreen, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_NE(MonitorFromRect(&offscreen, MONITOR_DEFAULTTONEAREST), nullptr);
  EXPECT_NE(MonitorFromPoint(POINT{-100000, -100000}, MONITOR_DEFAULTTOPRIMARY), nullptr);
  info.cbSize = sizeof(info) - 1;
  EXPECT_FALSE(GetMonitorInfoW(monitor, &info));
  DestroyWindow(hwnd);
}

RECT WindowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

TEST(SetWindowPos, MovesAndSizesAsItsFlagsAllow) {
  struct Case {
    UINT flags;
    RECT expected;
  };
  // From (10, 20) 100x50 to (30, 40) 70x60.
  const Case cases[] = {
      {SWP_NOZORDER, RECT{30, 40, 100, 100}},
      {SWP_NOZORDER | SWP_NOSIZE, RECT{30, 40, 130, 90}},
      {SWP_NOZORDER | SWP_NOMOVE, RECT{10, 20, 80, 80}},
      {SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE, RECT{10, 20, 110, 70}},
  };
  HWND hwnd = CreateTestWindow(WS_POPUP);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 10, 20, 100, 50, SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 30, 40, 70, 60, c.flags | SWP_NOACTIVATE));
    const RECT r = WindowRect(hwnd);
    EXPECT_TRUE(EqualRect(&r, &c.expected)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
  DestroyWindow(hwnd);
  EXPECT_FALSE(SetWindowPos(hwnd, nullptr, 0, 0, 1, 1, SWP_NOZORDER));
}

TEST(SetWindowPos, ReordersSiblingsUnlessToldNotTo) {
  HWND parent = CreateTestWindow(WS_POPUP);
  HWND a = CreateTestWindow(WS_CHILD, parent);
  HWND b = CreateTestWindow(WS_CHILD, parent);
  HWND c = CreateTestWindow(WS_CHILD, parent);
  const auto order = [&] {
    std::vector<HWND> out;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) out.push_back(h);
    return out;
  };
  ASSERT_EQ(order(), (std::vector<HWND>{a, b, c}));
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  struct Case {
    HWND hwnd;
    HWND after;
    UINT flags;
    std::vector<HWND> expected;
  };
  const Case cases[] = {
      {c, HWND_TOP, keep, {c, a, b}},
      {c, HWND_BOTTOM, keep, {a, b, c}},
      {a, b, keep, {b, a, c}},
      {c, HWND_TOP, keep | SWP_NOZORDER, {b, a, c}},
  };
  for (const auto& k : cases) {
    ASSERT_TRUE(SetWindowPos(k.hwnd, k.after, 0, 0, 0, 0, k.flags));
    EXPECT_EQ(order(), k.expected);
  }
  DestroyWindow(parent);
}

TEST(SetWindowPos, TopmostIsAStateOfTopLevelWindowsThatTheBottomClears) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  const auto topmost = [&] { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
  struct Case {
    HWND after;
    bool expected;
  };
  for (const Case c : {Case{HWND_TOPMOST, true}, Case{HWND_TOP, true}, Case{HWND_NOTOPMOST, false},
                       Case{HWND_TOPMOST, true}, Case{HWND_BOTTOM, false}}) {
    ASSERT_TRUE(SetWindowPos(hwnd, c.after, 0, 0, 0, 0, keep));
    EXPECT_EQ(topmost(), c.expected) << reinterpret_cast<LONG_PTR>(c.after);
  }
  DestroyWindow(hwnd);
}

std::vector<std::pair<DWORD, HWND>> g_events;
void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG, DWORD, DWORD) {
  if (idObject == OBJID_WINDOW || event == 0xA0FF) g_events.emplace_back(event, hwnd);
}

TEST(SetWindowPos, ShowsHidesAndRaisesItsEvents) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  g_events.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, &RecordEvent, GetCurrentProcessId(), 0,
                                       WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  NotifyWinEvent(0xA0FF, hwnd, OBJID_CLIENT, CHILDID_SELF);
  ASSERT_TRUE(PumpUntil([] { return !g_events.empty() && g_events.back().first == 0xA0FF; }));
  const auto count = [&](DWORD e) {
    int n = 0;
    for (const auto& [event, h] : g_events) n += event == e && h == hwnd;
    return n;
  };
  WINE_DEPARTS("before wine 10, no SHOW, HIDE or LOCATIONCHANGE of its own; wine 10 raises SHOW only now and then");
  if (conformance::OldWine(10)) {
    EXPECT_EQ(count(EVENT_OBJECT_SHOW), 0);
  } else if (conformance::RunningUnderWine()) {
    EXPECT_LE(count(EVENT_OBJECT_SHOW), 1);
  } else {
    EXPECT_EQ(count(EVENT_OBJECT_SHOW), 1);
  }
  EXPECT_EQ(count(EVENT_OBJECT_HIDE), conformance::WindowsOr(1, 0, 10));
  if (conformance::OldWine(10)) {
    EXPECT_EQ(count(EVENT_OBJECT_LOCATIONCHANGE), 0);
  } else {
    EXPECT_GE(count(EVENT_OBJECT_LOCATIONCHANGE), 1);  // showing may move it too
  }
  UnhookWinEvent(hook);
  DestroyWindow(hwnd);
}

// Wine's dlls/user32/tests/win.c, test_layered_window: attributes exist only between SetLayeredWindowAttributes and
// the loss of WS_EX_LAYERED.
TEST(LayeredWindows, AttributesExistOnlyOnceSetOnALayeredWindow) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  EXPECT_FALSE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  EXPECT_FALSE(SetLayeredWindowAttributes(hwnd, 0, 0, LWA_ALPHA));
  const LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
  SetWindowLongW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
  EXPECT_FALSE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  ASSERT_TRUE(SetLayeredWindowAttributes(hwnd, RGB(0x56, 0x34, 0x12), 44, LWA_ALPHA));
  ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  EXPECT_TRUE(key == RGB(0x56, 0x34, 0x12) || key == 0) << key;  // Windows may drop an unused key
  EXPECT_EQ(alpha, 44);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
  SetWindowLongW(hwnd, GWL_EXSTYLE, ex);
  EXPECT_FALSE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  SetWindowLongW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
  EXPECT_FALSE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  DestroyWindow(hwnd);

  hwnd = CreateTestWindow(WS_POPUP, nullptr, nullptr, L"", WS_EX_LAYERED);
  EXPECT_FALSE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  DestroyWindow(hwnd);
}

}  // namespace
