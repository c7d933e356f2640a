// The whole engine on simwin as a host runs it: a 200-control dialog of an installer is shown while the engine runs
// with N patterns for that window, one of which unchecks an offer. Measured from the window's appearance to the
// offer unchecked: time (manual), accessibility calls into the installer, matching passes. Compare the figures of
// the N-pattern cases with the 1-pattern case of the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"

namespace {

using installation_assistant::engine::IEngine;

constexpr int kControls = 200;
constexpr int kOfferId = 1000;

simwin::DialogLayout BigDialog() {
  simwin::DialogLayout layout{.title = L"Setup", .rect = {100, 100, 700, 900}};
  for (int i = 0; i < kControls - 1; ++i) {
    layout.controls.push_back({.style = BS_AUTOCHECKBOX,
                               .text = L"Component " + std::to_wstring(i),
                               .id = 100 + i,
                               .rect = {10, 4 * i, 300, 4 * i + 4},
                               .check = BST_CHECKED});
  }
  layout.controls.push_back({.style = BS_AUTOCHECKBOX, .text = L"Install the offer", .id = kOfferId,
                             .rect = {310, 10, 590, 30}, .check = BST_CHECKED});
  return layout;
}

// Pattern 0 unchecks the offer; the others look for offers this installer does not have, as a host's catalogue does.
// Through UI Automation the controls are the window's children; through MSAA they are its client pane's.
std::string PatternText(bool uia, int index) {
  const std::string name = index == 0 ? "Install the offer" : "Install other offer " + std::to_string(index);
  const std::string box = "* CheckBox (text=\"" + name + "\") { off } *";
  return std::string("EngineVersion = \"1.5.0.0\"\n") +
         (uia ? "UIAutomation: Window (text=\"Setup\") { " + box + " }\n"
              : "Window (text=\"Setup\") { Pane { " + box + " } }\n");
}

void WindowShownToOfferUnchecked(benchmark::State& state, bool uia) {
  const int patterns = static_cast<int>(state.range(0));
  double calls = 0, passes = 0;
  for (auto _ : state) {
    simwin::Process installer;
    simwin::RecordingHost host;
    IEngine* engine = CreateEngine2(host.Service(), static_cast<long>(installer.Id()), 2, host.Writer());
    if (engine == nullptr) {
      state.SkipWithError("no engine");
      return;
    }
    for (int i = 0; i < patterns; ++i) engine->AddPattern(i + 1, PatternText(uia, i).c_str(), false);
    std::thread user([&] {
      host.WaitForTrace(L"Engine::Run\tStarting message loop");
      simwin::ResetAccessibilityCallCount();
      const std::size_t passesBefore = host.TracesContaining(L" starts matching").size();
      const auto shown = std::chrono::steady_clock::now();
      const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, BigDialog());
      const HWND offer = dialog.Control(kOfferId);
      while (simwin::CheckState(offer) != BST_UNCHECKED) {
        if (std::chrono::steady_clock::now() - shown > std::chrono::seconds(600)) {
          state.SkipWithError("the offer was not unchecked within 600 s");
          break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - shown).count());
      calls += static_cast<double>(simwin::AccessibilityCallCount());
      passes += static_cast<double>(host.TracesContaining(L" starts matching").size() - passesBefore);
      installer.Exit();
    });
    engine->Run();
    user.join();
    engine->Release();
  }
  state.counters["calls"] = benchmark::Counter(calls, benchmark::Counter::kAvgIterations);
  state.counters["passes"] = benchmark::Counter(passes, benchmark::Counter::kAvgIterations);
}

void BM_Msaa_WindowShownToOfferUnchecked(benchmark::State& state) { WindowShownToOfferUnchecked(state, false); }
void BM_Uia_WindowShownToOfferUnchecked(benchmark::State& state) { WindowShownToOfferUnchecked(state, true); }

BENCHMARK(BM_Msaa_WindowShownToOfferUnchecked)
    ->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Uia_WindowShownToOfferUnchecked)
    ->Arg(1)->Arg(10)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
