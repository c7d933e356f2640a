// An installer that floods the engine with WinEvents about one page (a progress bar, an animated banner) at 10,000 a
// second, while its offer box stays disabled; the box is enabled with the flood's last event. Counters: matching
// passes per 1,000 events, the longest queue of events waiting for the engine thread, and the time from the end of
// the flood to the offer unchecked (manual time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using installation_assistant::engine::IEngine;
constexpr int kOfferId = 1000;
constexpr int kEventsPerBatch = 100;
constexpr auto kBatchPeriod = std::chrono::milliseconds(10);  // 10,000 events a second

simwin::DialogLayout FloodedPage() {
  simwin::DialogLayout layout{.title = L"Setup"};
  layout.controls = {{.style = BS_AUTOCHECKBOX, .text = L"Install the offer", .id = kOfferId,
                      .rect = {10, 10, 200, 30}, .check = BST_CHECKED, .enabled = false},
                     {.className = L"Static", .style = SS_LEFT, .text = L"Copying files", .id = 1001,
                      .rect = {10, 40, 200, 60}}};
  return layout;
}

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

constexpr char kPattern[] =
    "EngineVersion = \"1.5.0.0\"\n"
    "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Install the offer\") { off } } }\n";

void BM_EventFlood(benchmark::State& state) {
  const auto seconds = static_cast<int>(state.range(0));
  double events = 0, passes = 0, peak = 0;
  for (auto _ : state) {
    simwin::Process installer;
    simwin::RecordingHost host;
    const simwin::Dialog page = simwin::CreateDialogFromLayout(installer, FloodedPage());
    CountProbes(installer, page.hwnd);
    IEngine* engine = CreateEngine2(host.Service(), static_cast<long>(installer.Id()), 2, host.Writer());
    if (engine == nullptr) {
      state.SkipWithError("no engine");
      return;
    }
    engine->AddPattern(1, kPattern, false);
    std::thread user([&] {
      host.WaitForTrace(L"Engine::Run\tStarting message loop");
      const HWND progress = page.Control(1001);
      const long passesBefore = probes;
      simwin::TakeWinEventQueuePeak();
      const auto start = Clock::now();
      int raised = 0;
      for (auto next = start; next < start + std::chrono::seconds(seconds); next += kBatchPeriod) {
        std::this_thread::sleep_until(next);
        installer.Invoke([progress] {
          for (int i = 0; i < kEventsPerBatch; ++i) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, progress, OBJID_CLIENT, 0);
        });
        raised += kEventsPerBatch;
      }
      // The flood's last event comes from enabling the box: only this state can be acted on.
      const auto ended = Clock::now();
      simwin::SetEnabled(installer, page.Control(kOfferId), true);
      while (simwin::CheckState(page.Control(kOfferId)) != BST_UNCHECKED) {
        if (Clock::now() - ended > std::chrono::seconds(60)) {
          state.SkipWithError("the offer was not unchecked after the flood");
          break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - ended).count());
      events += raised + 1;
      passes += static_cast<double>(probes - passesBefore);
      peak = std::max(peak, static_cast<double>(simwin::TakeWinEventQueuePeak()));
      installer.Exit();
    });
    engine->Run();
    user.join();
    engine->Release();
  }
  state.counters["events"] = benchmark::Counter(events, benchmark::Counter::kAvgIterations);
  state.counters["passes_per_1000_events"] = benchmark::Counter(1000.0 * passes / std::max(events, 1.0));
  state.counters["peak_queue"] = benchmark::Counter(peak);
}

BENCHMARK(BM_EventFlood)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
