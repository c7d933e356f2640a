// Whole runs through the real factories: the engine watches a simulated installer, acts on
// its controls, and tells the host what happened, in the order the host relies on. The plain
// runs (an offer unchecked, the user's later change, each factory's total, a pattern's best
// result over all windows) are the example scenarios' (tests/tools/scenarios.cmake).
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_test_support.h"
#include "watch/machines_test_support.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;
using testing::kNextButton;
using testing::kOfferBox;
using testing::kOtherBox;
using testing::OfferPage;

class EngineRunTest : public EngineRunFixture {
 protected:
  // Runs the engine on this thread while `user` acts on another; the installer exits when
  // the user is done.
  void RunWithUser(IEngine& engine, const std::function<void()>& user) {
    std::thread thread([&] {
      host_.WaitForTrace(L"Engine::Run\tStarting message loop");
      user();
      installer_.Exit();
    });
    engine.Run();
    thread.join();
  }
  // Until more than `seen` traces contain the text. WaitFor holds the host's lock: the calls it gives are counted.
  bool WaitForMoreTraces(const std::wstring& text, std::size_t seen) {
    return host_.WaitFor([&](const RecordingHost::Calls& calls) {
      return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const HostCall& call) {
               return call.kind == HostCall::Kind::TraceWrite && call.trace.find(text) != std::wstring::npos;
             })) > seen;
    });
  }
};

// A push through UI Automation always fails in the backend; the machine retries it on
// every pass, but the host hears of it once.
TEST_F(EngineRunTest, AnActionThatKeepsFailingIsReportedOnce) {
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  engine->AddPattern(5,
                     "EngineVersion = \"1.5.0.0\"\n"
                     "UIAutomation: Window (text=\"Setup\") { AnyLevel { Button (text=\"Next >\") { push } } }\n",
                     false);
  constexpr std::size_t kPasses = 50;
  RunWithUser(*engine, [&] {
    ASSERT_TRUE(host_.WaitForCall(HostCall::Kind::ReportItem));
    // Each change of the window is a new pass, and each pass retries the push.
    for (std::size_t pass = 0; pass < kPasses; ++pass) {
      const std::size_t before = TraceCount(L"One of actions was not executed");
      simwin::Click(dialog.Control(kOtherBox));
      ASSERT_TRUE(WaitForMoreTraces(L"One of actions was not executed", before));
    }
  });
  EXPECT_GE(host_.TracesContaining(L"One of actions was not executed").size(), kPasses);
  std::vector<simwin::RecordedReport> failures = Reports();
  std::erase_if(failures, [](const simwin::RecordedReport& report) { return report.resultCode != 2; });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].patternId, 5);
  EXPECT_EQ(failures[0].elementType, static_cast<int>(ElementType::Button));
}

// Once the engine has acted and nothing happens in the installer, it makes no call into it: no polling. (The quiet
// is watched for half a second: a slow machine can only hide a fault, never invent one.)
TEST_F(EngineRunTest, AnIdleInstallerGetsNoCalls) {
  simwin::CreateDialogFromLayout(installer_, OfferPage());
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  engine->AddPattern(1, testing::kUncheckOfferPattern, false);
  RunWithUser(*engine, [&] {
    ASSERT_TRUE(host_.WaitForCall(HostCall::Kind::ReportProcessedItems));
    for (std::uint64_t last = ~0ull; last != simwin::AccessibilityCallCount();) {
      last = simwin::AccessibilityCallCount();
      Sleep(300);
    }
    simwin::ResetAccessibilityCallCount();
    Sleep(500);
    EXPECT_EQ(simwin::AccessibilityCallCount(), 0u);
  });
}

// What a long run must give back: every count returns to its level once the windows are gone.
struct Levels {
  static constexpr const char* kNames[] = {"windows", "hooks", "handles", "GDI objects", "accessible objects",
                                           "BSTRs", "threads"};
  std::array<long long, 7> counts{
      static_cast<long long>(simwin::LiveWindowCount()),
      static_cast<long long>(simwin::LiveWinEventHookCount()),
      static_cast<long long>(simwin::LiveKernelHandleCount()),
      static_cast<long long>(simwin::LiveGdiObjectCount()),
      simwin::LiveAccessibleObjectCount(),
      simwin::LiveBstrCount(),
      std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator())};
  std::size_t heap = mallinfo2().uordblks;
};

// Offer pages opened, acted on, looked at ten times each and closed: the engine's machines, threads, hooks, COM
// objects and memory come and go with them. 100 pages here; IAE_LONG_RUN_WINDOWS=1000 for the long run.
TEST_F(EngineRunTest, WindowsOpenedAndClosedLeaveNothingBehind) {
  const char* windows = std::getenv("IAE_LONG_RUN_WINDOWS");
  const int kWindows = windows != nullptr ? std::atoi(windows) : 100;
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  // A second root that never comes keeps the pattern looking at each page on its events.
  const std::string pattern = std::string(testing::kUncheckOfferPattern) +
                              "MSAA: Window (text=\"Finish\") { AnyLevel { Button (text=\"Done\") { push } } }\n";
  engine->AddPattern(1, pattern.c_str(), false);
  std::size_t passes = 0;
  RunWithUser(*engine, [&] {
    const auto openAndClose = [&](int windows) {
      for (int i = 0; i < windows; ++i) {
        simwin::ResetAccessibilityCallCount();  // its per-window counts would grow with the windows
        host_.Clear();
        const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
        ASSERT_TRUE(host_.WaitForCall(HostCall::Kind::ReportProcessedItems));
        for (int look = 1; look < 10; ++look) {
          const uint64_t looked = simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog.hwnd);
          installer_.Invoke([&] { NotifyWinEvent(EVENT_OBJECT_REORDER, dialog.hwnd, OBJID_CLIENT, CHILDID_SELF); });
          for (int wait = 0; simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog.hwnd) == looked;
               ++wait) {
            ASSERT_LT(wait, 5000) << "no pass on window " << i << "'s event " << look;
            Sleep(1);
          }
        }
        passes += simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog.hwnd);
        installer_.Invoke([&] { DestroyWindow(dialog.hwnd); });
      }
    };
    // The last window's machine goes on its own time: the levels count once they hold still for longer than a
    // machine waits to probe a window again that a loaded machine took for hung.
    const auto settled = [] {
      Levels last;
      for (int wait = 0, still = 0; wait < 50 && still < 6; ++wait) {
        Sleep(200);
        const Levels now;
        still = now.counts == last.counts ? still + 1 : 0;
        last = now;
      }
      return last;
    };
    openAndClose(20);  // first-time allocations
    const Levels before = settled();
    passes = 0;
    openAndClose(kWindows);
    const Levels after = settled();
    EXPECT_GE(passes, 10u * kWindows);
    EXPECT_LE(Of(engine).Results()->EntryCount(), 5u) << "one result kept per closed window";
    // At most where they were: the warm-up's last machines may still be going when the first levels are taken (a
    // slow sanitizer build), and a leak would add one per window.
    for (std::size_t i = 0; i < before.counts.size(); ++i) {
      EXPECT_LE(after.counts[i], before.counts[i]) << Levels::kNames[i];
    }
    // What the engine told of the last window, for a failure seen only on loaded machines.
    if (HasFailure()) {
      const std::string calls = host_.FormatCalls(true);
      ADD_FAILURE() << calls.substr(calls.size() > 8000 ? calls.size() - 8000 : 0);
    }
    // A machine left behind per window would be hundreds of kilobytes; allocator noise is not.
    EXPECT_LT(after.heap, before.heap + 256 * 1024) << "grew by " << (after.heap - before.heap) << " bytes";
  });
}

// The focus moving over the page (EVENT_OBJECT_FOCUS) and the installer reordering it (EVENT_OBJECT_REORDER) bring a
// pass each while the pattern waits for its second page: no pass acts or reports again.
TEST_F(EngineRunTest, FocusAndReorderEventsBringPassesThatRepeatNothing) {
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  const std::string pattern = std::string(testing::kUncheckOfferPattern) +
                              "MSAA: Window (text=\"Finish\") { AnyLevel { Button (text=\"Done\") { push } } }\n";
  engine->AddPattern(6, pattern.c_str(), false);
  RunWithUser(*engine, [&] {
    ASSERT_TRUE(host_.WaitForCall(HostCall::Kind::ReportProcessedItems));
    for (int move = 0; move < 20; ++move) {
      const std::size_t passes = TraceCount(L" starts matching");
      installer_.Invoke([&dialog, move] {
        SetFocus(dialog.Control(move % 2 ? kOtherBox : kNextButton));
        if (move % 4 == 0) NotifyWinEvent(EVENT_OBJECT_REORDER, dialog.hwnd, OBJID_CLIENT, CHILDID_SELF);
      });
      ASSERT_TRUE(WaitForMoreTraces(L" starts matching", passes));
    }
    const std::vector<simwin::Command> commands = simwin::ReceivedCommands(dialog.hwnd);
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const simwin::Command& c) { return c.id == kOfferBox && c.code == BN_CLICKED; }),
              1);
    EXPECT_EQ(simwin::CheckState(dialog.Control(kOfferBox)), static_cast<UINT>(BST_UNCHECKED));
  });
  const std::vector<HostCall> processed = host_.CallsOf(HostCall::Kind::ReportProcessedItems);
  ASSERT_EQ(processed.size(), 1u);
  EXPECT_EQ(processed.front().count, 1);
  std::vector<int> codes;
  for (const simwin::RecordedReport& report : Reports()) codes.push_back(report.resultCode);
  EXPECT_EQ(codes, std::vector<int>{kMatchedSomeRoots}) << "the pattern's result, and no failure or user change";
}

// Custom-drawn banners of the installer's own class: the engine clicks them at a pixel (posted)
// and at a share of the size (sent), in the client coordinates of the banner's window.
std::mutex g_bannerMutex;
std::vector<std::string> g_bannerClicks;

LRESULT CALLBACK BannerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
    wchar_t name[32] = {};
    GetWindowTextW(window, name, 32);
    const std::string line = std::string(name[0] == L'P' ? "pixel " : "share ") +
                             (message == WM_LBUTTONDOWN ? "down " : "up ") + std::to_string(LOWORD(lParam)) + "," +
                             std::to_string(HIWORD(lParam)) + (wParam == MK_LBUTTON ? " button" : "");
    std::lock_guard<std::mutex> guard(g_bannerMutex);
    g_bannerClicks.push_back(line);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterBanner() {
  WNDCLASSEXW banner{};
  banner.cbSize = sizeof(banner);
  banner.lpfnWndProc = &BannerProc;
  banner.lpszClassName = L"Banner";
  ASSERT_NE(RegisterClassExW(&banner), 0);
}

class PixelClickRunTest : public EngineRunTest {
 protected:
  // A page with a 200 x 50 and a 301 x 101 banner, and an engine whose pattern clicks the first at
  // a pixel inside and one past its edge, and the second at a share of its size.
  EnginePtr OpenBannersAndEngine(int patternId) {
    g_bannerClicks.clear();
    installer_.Invoke([] { RegisterBanner(); });
    simwin::DialogLayout page{.title = L"Special offer"};
    page.controls = {
        {.className = L"Banner", .style = 0, .text = L"Pixel banner", .id = 301, .rect = {10, 10, 210, 60}},
        {.className = L"Banner", .style = 0, .text = L"Share banner", .id = 302, .rect = {10, 70, 311, 171}}};
    simwin::CreateDialogFromLayout(installer_, page);
    EnginePtr engine = Create();
    if (engine) {
      engine->AddPattern(patternId,
                         "EngineVersion = \"1.5.0.0\"\n"
                         "MSAA: Window (text=\"Special offer\") { AnyLevel { Pane (text=\"Pixel banner\") [12,34] "
                         "[201,0] { } Pane (text=\"Share banner\") [50%,99%] { } } }\n",
                         false);
    }
    return engine;
  }
  // Runs until `done` (a wait) holds; the posted clicks are handled by then.
  void RunUntil(IEngine& engine, const std::function<bool()>& done) {
    RunWithUser(engine, [&] {
      ASSERT_TRUE(done());
      installer_.Invoke([] {});
    });
  }
};

TEST_F(PixelClickRunTest, ClicksReachTheInstallersWindow) {
  EnginePtr engine = OpenBannersAndEngine(7);
  ASSERT_NE(engine, nullptr);
  RunUntil(*engine, [&] { return host_.WaitForCall(HostCall::Kind::ReportProcessedItems); });
  std::vector<std::string> pixel;
  std::vector<std::string> share;
  {
    std::lock_guard<std::mutex> guard(g_bannerMutex);
    // Sent clicks may overtake posted ones; each kind keeps its own order.
    for (const std::string& click : g_bannerClicks) (click[0] == 'p' ? pixel : share).push_back(click);
  }
  // 201,0 is past the edge of the 200 x 50 banner: not clicked.
  EXPECT_EQ(pixel, (std::vector<std::string>{"pixel down 12,34 button", "pixel up 12,34"}));
  // 50 % and 99 % of 301 x 101, truncated.
  EXPECT_EQ(share, (std::vector<std::string>{"share down 150,99 button", "share up 150,99"}));
  const std::vector<HostCall> processed = host_.CallsOf(HostCall::Kind::ReportProcessedItems);
  ASSERT_EQ(processed.size(), 1u);
  EXPECT_EQ(processed.front().count, 2);
}

// Where UI Automation cannot tell an element's place (wine has none), clicking anywhere could
// hit what the user did not mean: nothing is clicked, and the pattern still counts as matched.
TEST_F(PixelClickRunTest, WithoutAPlaceNothingIsClicked) {
  simwin::InjectAccessibilityFault({"ElementFromIAccessible", REGDB_E_CLASSNOTREG});
  simwin::InjectAccessibilityFault({"ElementFromHandle", REGDB_E_CLASSNOTREG});
  EnginePtr engine = OpenBannersAndEngine(8);
  ASSERT_NE(engine, nullptr);
  RunUntil(*engine, [&] { return WaitForMoreTraces(L"PixelClick error. ", 2); });
  simwin::ClearAccessibilityFaults();
  EXPECT_EQ(host_.TracesContaining(L"PixelClick error. ").size(), host_.TracesContaining(L"(0x80040154)").size())
      << "each failure's code is traced";
  EXPECT_TRUE(host_.CallsOf(HostCall::Kind::ReportProcessedItems).empty());
  {
    std::lock_guard<std::mutex> guard(g_bannerMutex);
    EXPECT_TRUE(g_bannerClicks.empty());
  }
  EXPECT_NE(host_.FormatCalls().find("ReportItem patternId=8 resultCode=0 "), std::string::npos);
}

}  // namespace
}  // namespace installation_assistant::engine
