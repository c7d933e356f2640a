#include "watch/windows_watcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "common/handles.h"
#include "common/trace_capture.h"
#include "watch/engine_thread.h"
#include "watch/machines_test_support.h"
#include "watch/regular_pattern_windows_watcher_implementation.h"

namespace installation_assistant::testing {
namespace {

constexpr char kNoMatch[] = "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Nope\") { AnyLevel { CheckBox (text=\".*\") { off } } }\n";

template <typename Machines>
std::size_t CountFor(const Machines& machines, HWND window) {
  return static_cast<std::size_t>(
      std::count_if(machines.begin(), machines.end(), [window](const auto& m) { return m->Window() == window; }));
}

class WindowsWatcherTest : public EngineThreadTest {
 protected:
  void TearDown() override {
    if (watcher_) watcher_->Shutdown();
  }

  void Start() { watcher_ = WindowsWatcher::Create(installer_.Id(), engine_.Window()); }

  PatternProcessorFactory Factory(const std::string& text, std::atomic<int>* calls = nullptr) {
    std::shared_ptr<Pattern> pattern = ParseOrFail(text);
    return [this, pattern, calls] {
      if (calls) ++*calls;
      ActionsProcessorParameters parameters;
      parameters.pattern = pattern;
      auto recorder = recorders_.Make(parameters);
      return std::make_shared<PatternProcessor>(pattern->GetRoots(), recorder, recorder, MakeMatcherFor(*pattern));
    };
  }

  bool HasMachines(HWND window) {
    return CountFor(watcher_->Machines(), window) == 1 && CountFor(watcher_->SilentMachines(), window) == 1;
  }
  bool WaitForMachines(HWND window) {
    return PumpUntil([&] { return HasMachines(window); });
  }
  Recorders recorders_{false};
  std::shared_ptr<WindowsWatcher> watcher_;
};

TEST_F(WindowsWatcherTest, NoWindowIsHandedOverBeforeTheFirstPattern) {
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
  Start();
  ASSERT_TRUE(PumpUntil([&] { return TraceCount(L"\tUpdateWindowListCore") >= 1; }));
  engine_.DrainEventsOf(installer_, dialog.hwnd);
  EXPECT_TRUE(watcher_->Machines().empty());
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  EXPECT_TRUE(WaitForMachines(dialog.hwnd));
}

TEST_F(WindowsWatcherTest, PatternAddedLaterReachesEveryWindow) {
  Start();
  std::vector<HWND> windows;
  for (const wchar_t* title : {L"One", L"Two", L"Three"}) {
    windows.push_back(simwin::CreateDialogFromLayout(installer_, OfferPage(title)).hwnd);
  }
  std::atomic<int> first{0};
  watcher_->AddRegularPattern(Factory(kNoMatch, &first), false);
  for (HWND window : windows) ASSERT_TRUE(WaitForMachines(window));

  // More passes (events, patterns) never build a second pair for a window.
  std::atomic<int> second{0};
  watcher_->AddRegularPattern(Factory(kNoMatch, &second), false);
  engine_.DrainEventsOf(installer_, windows[0]);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 3);
  for (const auto& machine : watcher_->Machines()) EXPECT_EQ(machine->ProcessorCount(), 2u);
  for (HWND window : windows) EXPECT_TRUE(HasMachines(window));
  EXPECT_EQ(watcher_->Machines().size(), 3u);
  EXPECT_EQ(watcher_->SilentMachines().size(), 3u);
}

TEST_F(WindowsWatcherTest, HiddenWindowWaitsUntilShown) {
  Start();
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  const HWND hidden = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Later", false)).hwnd;
  const HWND shown = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Now")).hwnd;
  ASSERT_TRUE(WaitForMachines(shown));
  EXPECT_EQ(CountFor(watcher_->Machines(), hidden), 0u);
  EXPECT_GE(TraceCount(L"Window skipped by visibility "), 1u);

  installer_.Invoke([hidden] { ShowWindow(hidden, SW_SHOW); });
  EXPECT_TRUE(WaitForMachines(hidden));
}

TEST_F(WindowsWatcherTest, OnlyTopLevelAndOwnedWindowsOfTheInstallerGetMachines) {
  Start();
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
  const HWND shadow = CreateInstallerWindow(installer_, {.className = L"SysShadow"});
  const HWND sticker = CreateInstallerWindow(installer_, {.className = L"QuorvantaUncheckerNotification"});
  const HWND owned =
      CreateInstallerWindow(installer_, {.className = L"OwnedPopup", .parent = dialog.hwnd, .style = WS_POPUP | WS_VISIBLE});
  simwin::Process other;
  CreateInstallerWindow(other, {.className = L"OtherProcessWindow"});
  const HWND last = CreateInstallerWindow(installer_, {.className = L"LastWindow"});
  ASSERT_TRUE(WaitForMachines(last));
  ASSERT_TRUE(WaitForMachines(owned));
  ASSERT_TRUE(WaitForMachines(dialog.hwnd));

  for (HWND skipped : {shadow, sticker}) EXPECT_EQ(CountFor(watcher_->Machines(), skipped), 0u);
  for (HWND control : dialog.controls) EXPECT_EQ(CountFor(watcher_->Machines(), control), 0u);
  EXPECT_EQ(watcher_->Machines().size(), 3u);
  EXPECT_GE(TraceCount(L"Window skipped by class name "), 2u);
  EXPECT_EQ(TraceCount(L"Window detected: "), 3u);
}

TEST_F(WindowsWatcherTest, ShutdownStopsEverythingAndLaterPatternsChangeNothing) {
  const std::size_t hooksBefore = simwin::LiveWinEventHookCount();
  Start();
  EXPECT_EQ(simwin::LiveWinEventHookCount(), hooksBefore + kWindowEventSet.size());
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  const HWND window = simwin::CreateDialogFromLayout(installer_, OfferPage()).hwnd;
  ASSERT_TRUE(WaitForMachines(window));
  ASSERT_TRUE(PumpUntil([&] { return watcher_->Machines()[0]->IsSubscribed() && watcher_->SilentMachines()[0]->IsSubscribed(); }));

  watcher_->Shutdown();
  EXPECT_TRUE(watcher_->IsShutDown());
  EXPECT_EQ(simwin::LiveWinEventHookCount(), hooksBefore);
  EXPECT_EQ(TraceCount(L"Machine shut down"), 2u);

  std::atomic<int> calls{0};
  watcher_->AddRegularPattern(Factory(kNoMatch, &calls), false);
  watcher_->AddSilentPattern([] { return std::shared_ptr<SilentPatternProcessor>(); });
  simwin::CreateDialogFromLayout(installer_, OfferPage(L"After"));
  engine_.DrainPosted();
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(watcher_->Machines().empty());
}

// Closed windows lose their machines on the next pass, the others keep theirs. Hooks are set
// and removed on the engine thread only, also for windows that close while the watcher's
// thread drops their machines, and for machines dropped before they subscribed.
TEST_F(WindowsWatcherTest, ClosedWindowsLoseTheirMachinesAndAllTheirHooks) {
  Start();
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  const std::size_t watcherHooks = simwin::LiveWinEventHookCount();

  const HWND staying = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Staying")).hwnd;
  std::vector<HWND> windows;
  for (int i = 0; i < 100; ++i) windows.push_back(simwin::CreateDialogFromLayout(installer_, OfferPage()).hwnd);
  ASSERT_TRUE(PumpUntil([&] {
    const auto machines = watcher_->Machines();
    const auto silent = watcher_->SilentMachines();
    return machines.size() == 101 && silent.size() == 101 &&
           std::all_of(machines.begin(), machines.end(), [](const auto& m) { return m->IsSubscribed(); }) &&
           std::all_of(silent.begin(), silent.end(), [](const auto& m) { return m->IsSubscribed(); });
  }));
  EXPECT_GT(simwin::LiveWinEventHookCount(), watcherHooks);
  installer_.Invoke([&windows] {
    for (HWND window : windows) DestroyWindow(window);
  });
  ASSERT_TRUE(PumpUntil([&] { return watcher_->Machines().size() == 1 && watcher_->SilentMachines().size() == 1; }));
  EXPECT_TRUE(HasMachines(staying));
  EXPECT_EQ(TraceCount(L"Machine shut down"), 200u);
  installer_.Invoke([staying] { DestroyWindow(staying); });
  ASSERT_TRUE(PumpUntil([&] { return watcher_->Machines().empty() && watcher_->SilentMachines().empty(); }));
  engine_.DrainPosted();
  EXPECT_EQ(simwin::LiveWinEventHookCount(), watcherHooks);

  // Machines dropped before the engine thread ran their subscription: without pumping,
  // only added patterns fire passes.
  std::vector<HWND> brief;
  for (int i = 0; i < 10; ++i) brief.push_back(simwin::CreateDialogFromLayout(installer_, OfferPage()).hwnd);
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  std::vector<std::shared_ptr<Machine>> held;
  while (held.size() < 10) held = watcher_->Machines();
  installer_.Invoke([&brief] {
    for (HWND window : brief) DestroyWindow(window);
  });
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  while (!watcher_->Machines().empty() || !watcher_->SilentMachines().empty()) std::this_thread::yield();
  engine_.DrainPosted();
  for (const auto& machine : held) EXPECT_FALSE(machine->IsSubscribed());
  EXPECT_EQ(simwin::LiveWinEventHookCount(), watcherHooks);
}

TEST_F(WindowsWatcherTest, WindowThatAlwaysFailsNeitherBlocksLaterWindowsNorSpins) {
  const HWND failing = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Broken")).hwnd;
  const HWND later = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Fine")).hwnd;
  ASSERT_LT(failing, later);  // offered first: its failure comes before the later window
  simwin::AccessibilityFault fault;
  fault.method = "AccessibleObjectFromWindow";
  fault.hwnd = failing;
  const int faultId = simwin::InjectAccessibilityFault(fault);

  Start();
  watcher_->AddRegularPattern(Factory(kNoMatch), false);
  EXPECT_TRUE(WaitForMachines(later));
  ASSERT_TRUE(PumpUntil([&] { return TraceCount(L"times in a row; waiting for the next window event") == 1; }));
  EXPECT_EQ(TraceCount(L"Retry watch"), static_cast<std::size_t>(kMaxWatchRetries));

  // A new window is still taken on the next event, and the failure does not restart retries.
  const HWND newer = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Newer")).hwnd;
  EXPECT_TRUE(WaitForMachines(newer));
  engine_.DrainEventsOf(installer_, newer);
  EXPECT_EQ(TraceCount(L"Retry watch"), static_cast<std::size_t>(kMaxWatchRetries));
  EXPECT_EQ(CountFor(watcher_->Machines(), failing), 0u);
  EXPECT_GE(TraceCount(L"TraceException\tCOM Error"), 4u);
  simwin::RemoveAccessibilityFault(faultId);
}

}  // namespace
}  // namespace installation_assistant::testing
