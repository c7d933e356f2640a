// An installer that floods the engine with WinEvents about one page: the passes are coalesced, the events do not pile
// up on the engine thread, and the state the flood ends in is still acted on (bench/flood_bench.cpp measures more).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/engine_test_support.h"
#include "watch/machines_test_support.h"

namespace installation_assistant::engine {
namespace {

using Clock = std::chrono::steady_clock;
using testing::kOfferBox;
using testing::kOtherBox;

// Every machine pass starts with a WM_NULL probe of its window: counting them counts passes.
std::atomic<long> probes{0};
WNDPROC pageProc = nullptr;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NULL) ++probes;
  return CallWindowProcW(pageProc, hwnd, msg, wParam, lParam);
}
void CountProbes(simwin::Process& installer, HWND page) {
  installer.Invoke([page] {
    pageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
  });
}

TEST_F(EngineRunFixture, AFloodOfEventsIsCoalescedAndItsLastStateActedOn) {
  constexpr int kBatches = 50;
  constexpr int kEventsPerBatch = 200;  // 10,000 events in about half a second
  // The offer cannot be unchecked until the flood's end enables it.
  const simwin::Dialog page = simwin::CreateDialogFromLayout(installer_, testing::OfferPage(L"Setup", true, false));
  CountProbes(installer_, page.hwnd);
  EnginePtr engine = Create();
  engine->AddPattern(1, testing::kUncheckOfferPattern, false);
  long passes = 0;
  std::size_t peak = 0;
  std::thread user([&] {
    host_.WaitForTrace(L"Engine::Run\tStarting message loop");
    const HWND other = page.Control(kOtherBox);
    const long passesBefore = probes;
    simwin::TakeWinEventQueuePeak();
    for (int batch = 0; batch < kBatches; ++batch) {
      installer_.Invoke([other] {
        for (int i = 0; i < kEventsPerBatch; ++i) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, other, OBJID_CLIENT, 0);
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    simwin::SetEnabled(installer_, page.Control(kOfferBox), true);
    const auto ended = Clock::now();
    while (simwin::CheckState(page.Control(kOfferBox)) != BST_UNCHECKED && Clock::now() - ended < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    passes = probes - passesBefore;
    peak = simwin::TakeWinEventQueuePeak();
    installer_.Exit();
  });
  engine->Run();
  user.join();
  EXPECT_EQ(simwin::CheckState(page.Control(kOfferBox)), static_cast<UINT>(BST_UNCHECKED));
  constexpr long kEvents = kBatches * kEventsPerBatch;
  EXPECT_GE(passes, 1);
  // Bounds with room for sanitizer builds, where a pass runs for every twenty events or so.
  EXPECT_LT(passes * 10, kEvents) << passes << " passes for " << kEvents << " events";
  // Each event is queued once per hook that wants it: the queue stays some batches long (about one in a plain build,
  // up to fourteen under ThreadSanitizer), never the flood's length.
  EXPECT_LT(peak, static_cast<std::size_t>(kEvents) / 2) << "events piled up on the engine thread";
}

}  // namespace
}  // namespace installation_assistant::engine
