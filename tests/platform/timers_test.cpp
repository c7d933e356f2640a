// Conformance of window and thread timers: WM_TIMER is made when retrieved, after posted messages, once per due timer.
#include <tuple>
#include <vector>

#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;

namespace {

// A window of the calling thread, destroyed at the end.
class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    hwnd_ = CreateTestWindow(WS_POPUP);
  }
  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    DrainQueue();
  }
  // The messages PeekMessage removes now for the window, in order: message, window, wParam, lParam.
  using Taken = std::tuple<UINT, HWND, WPARAM, LPARAM>;
  std::vector<Taken> Take() {
    std::vector<Taken> out;
    MSG msg;
    while (out.size() < 16 && PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) {
      out.emplace_back(msg.message, msg.hwnd, msg.wParam, msg.lParam);
    }
    return out;
  }
  HWND hwnd_ = nullptr;
};

TEST_F(TimerTest, ADueTimerGivesOneMessageAfterThePostedOnesAndRestartsWhenRemoved) {
  ASSERT_NE(SetTimer(hwnd_, 7, 100, nullptr), 0u);
  Sleep(350);  // more than three periods
  ASSERT_TRUE(PostMessageW(hwnd_, WM_USER, 1, 2));
  MSG msg;
  // Looking without removing leaves the timer due.
  ASSERT_TRUE(PeekMessageW(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(Take(), (std::vector<Taken>{{WM_USER, hwnd_, 1, 2}, {WM_TIMER, hwnd_, 7, 0}}));
  EXPECT_TRUE(KillTimer(hwnd_, 7));
}

TEST_F(TimerTest, KilledReplacedAndDestroyedTimersGiveNothing) {
  struct Case {
    const char* name;
    void (*act)(HWND);
  };
  const Case cases[] = {
      {"killed", [](HWND h) { EXPECT_TRUE(KillTimer(h, 3)); }},
      {"replaced by a long period", [](HWND h) { EXPECT_NE(SetTimer(h, 3, 60000, nullptr), 0u); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(SetTimer(hwnd_, 3, 10, nullptr), 0u);
    c.act(hwnd_);
    Sleep(60);
    EXPECT_TRUE(Take().empty());
    KillTimer(hwnd_, 3);
  }
  EXPECT_FALSE(KillTimer(hwnd_, 3));
  ASSERT_NE(SetTimer(hwnd_, 4, 10, nullptr), 0u);
  DestroyWindow(hwnd_);
  Sleep(60);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(KillTimer(hwnd_, 4));
}

TEST_F(TimerTest, TheRangeFilterHoldsATimerBack) {
  ASSERT_NE(SetTimer(hwnd_, 1, 10, nullptr), 0u);
  Sleep(40);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, hwnd_, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_TRUE(PeekMessageW(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_REMOVE));
  KillTimer(hwnd_, 1);
}

UINT_PTR g_procId = 0;
int g_procCalls = 0;
void CALLBACK CountingTimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD) {
  EXPECT_EQ(hwnd, nullptr);
  EXPECT_EQ(msg, static_cast<UINT>(WM_TIMER));
  g_procId = id;
  ++g_procCalls;
}

TEST_F(TimerTest, AThreadTimerGetsItsIdFromTheSystemAndDispatchesToItsProcedure) {
  g_procCalls = 0;
  const UINT_PTR id = SetTimer(nullptr, 0, 10, &CountingTimerProc);
  ASSERT_NE(id, 0u);
  MSG msg{};
  // GetMessage waits for the timer to become due.
  ASSERT_EQ(GetMessageW(&msg, nullptr, WM_TIMER, WM_TIMER), TRUE);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, id);
  EXPECT_NE(msg.lParam, 0);  // names the procedure (wine gives a handle of its own for it)
  DispatchMessageW(&msg);
  EXPECT_EQ(g_procCalls, 1);
  EXPECT_EQ(g_procId, id);
  EXPECT_TRUE(KillTimer(nullptr, id));
}

}  // namespace
