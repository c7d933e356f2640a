// simwin's manual clock: a test makes time pass at once, and timers fire as if it had.
#include <atomic>

#include "platform/conformance.h"
#include "platform/sim/simwin.h"

using conformance::CreateTestWindow;
using conformance::Event;
using conformance::Handler;

namespace {

TEST(SimwinClock, TimersFollowTheManualClockAndComeOncePerRemoval) {
  simwin::ManualClock clock;
  const DWORD ticks = GetTickCount();
  const ULONGLONG ticks64 = GetTickCount64();
  HWND hwnd = CreateTestWindow(WS_POPUP);
  ASSERT_NE(SetTimer(hwnd, 1, 3600, nullptr), 0u);
  MSG msg;
  const auto due = [&] { return PeekMessageW(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE) != FALSE; };
  clock.Advance(3599);
  EXPECT_FALSE(due());
  clock.Advance(1);
  ASSERT_TRUE(due());
  EXPECT_EQ(msg.time, ticks + 3600);
  EXPECT_FALSE(due());  // restarted on removal
  clock.Advance(3 * 3600 + 5);
  EXPECT_TRUE(due());
  EXPECT_FALSE(due());  // coalesced: one message for three periods
  EXPECT_EQ(GetTickCount() - ticks, 4u * 3600 + 5);
  EXPECT_EQ(GetTickCount64() - ticks64, 4u * 3600 + 5);
  DestroyWindow(hwnd);
}

TEST(SimwinClock, AdvancingWakesAThreadWaitingInGetMessage) {
  simwin::Process process;
  Event fired;
  std::atomic<int> count{0};
  Handler handler = [&](HWND h, UINT msg, WPARAM id, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_TIMER) return std::nullopt;
    ++count;
    KillTimer(h, id);
    fired.Set();
    return 0;
  };
  std::unique_ptr<simwin::ManualClock> clock = std::make_unique<simwin::ManualClock>();
  process.Invoke([&] { SetTimer(CreateTestWindow(WS_POPUP, nullptr, &handler), 9, 60000, nullptr); });
  EXPECT_FALSE(fired.Wait(50));
  clock->Advance(60000);
  EXPECT_TRUE(fired.Wait());
  EXPECT_EQ(count.load(), 1);
  // Back to real time from where the manual clock stood.
  const DWORD stood = GetTickCount();
  clock.reset();
  EXPECT_GE(GetTickCount(), stood);
  process.Exit();
}

}  // namespace
