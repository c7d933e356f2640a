// The whole engine on simwin as a host runs it: a 200-control dialog of an installer is shown while the engine runs
// with N patterns for that window, one of which unchecks an offer. Measured from the window's appearance to the
// offer unchecked: time (manual), accessibility calls into the installer, matching passes and their time. A second
// case shows another window beside it whose user clicks a box 100 times: no pass may look at the first window.
// After the run, each case's figures are printed as ratios to its 1-pattern case of the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/trace.h"
#include "engine/engine.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"
#include "watch/pass_figures.h"

namespace {

using installation_assistant::engine::IEngine;

constexpr int kControls = 200;
constexpr int kOfferId = 1000;
constexpr int kOtherBoxId = 2000;
constexpr int kOtherClicks = 100;

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

simwin::DialogLayout OtherDialog() {
  simwin::DialogLayout layout{.title = L"Other", .rect = {800, 100, 1000, 300}};
  layout.controls.push_back(
      {.style = BS_AUTOCHECKBOX, .text = L"Remember me", .id = kOtherBoxId, .rect = {10, 10, 190, 30}});
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

// Info by default, as hosts that keep a diagnostic trace run it; IAE_BENCH_TRACE_LEVEL=3 (Warning) shows the cost of
// matching alone.
unsigned TraceThreshold() {
  const char* level = std::getenv("IAE_BENCH_TRACE_LEVEL");
  return level != nullptr ? static_cast<unsigned>(std::atoi(level)) : 2u;
}

void WaitFor(benchmark::State& state, const std::function<bool()>& done, const char* what) {
  const auto start = std::chrono::steady_clock::now();
  while (!done()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(600)) {
      state.SkipWithError(what);
      return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void WindowShownToOfferUnchecked(benchmark::State& state, bool uia, bool otherWindow) {
  const int patterns = static_cast<int>(state.range(0));
  double calls = 0, passes = 0, passMs = 0, elements = 0;
  double passesOnSetup = 0, callsAboutSetup = 0, passesToQuiet = 0, callsToQuiet = 0;
  for (auto _ : state) {
    simwin::Process installer;
    simwin::RecordingHost host;
    IEngine* engine = CreateEngine2(host.Service(), static_cast<long>(installer.Id()), TraceThreshold(), host.Writer());
    if (engine == nullptr) {
      state.SkipWithError("no engine");
      return;
    }
    for (int i = 0; i < patterns; ++i) engine->AddPattern(i + 1, PatternText(uia, i).c_str(), false);
    std::thread user([&] {
      host.WaitForTrace(L"Engine::Run\tStarting message loop");
      simwin::ResetAccessibilityCallCount();
      installation_assistant::KeepPassFigures(true);
      const auto shown = std::chrono::steady_clock::now();
      const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, BigDialog());
      const HWND offer = dialog.Control(kOfferId);
      WaitFor(state, [&] { return simwin::CheckState(offer) == BST_UNCHECKED; }, "the offer stayed checked");
      state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - shown).count());
      calls += static_cast<double>(simwin::AccessibilityCallCount());
      if (otherWindow) {
        // The offer's window is done once its passes stop: the one that acted, and with other patterns left one
        // more on the echo of its own click, which looks at the window no more. What the other window's events
        // cost it counts from there.
        for (bool quiet = false; !quiet;) {
          Sleep(500);
          const auto figures = installation_assistant::TakePassFigures();
          quiet = figures.empty();
          for (const auto& [window, each] : figures) passesToQuiet += static_cast<double>(each.passes);
        }
        callsToQuiet += static_cast<double>(simwin::AccessibilityCallCount());
        const uint64_t aboutSetup = simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog.hwnd);
        const simwin::Dialog other = simwin::CreateDialogFromLayout(installer, OtherDialog());
        for (int click = 0; click < kOtherClicks; ++click) simwin::Click(other.Control(kOtherBoxId));
        Sleep(200);
        const auto figures = installation_assistant::TakePassFigures();
        const auto found = figures.find(dialog.hwnd);
        passesOnSetup += found == figures.end() ? 0.0 : static_cast<double>(found->second.passes);
        callsAboutSetup += static_cast<double>(
            simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog.hwnd) - aboutSetup);
      } else {
        for (const auto& [window, figures] : installation_assistant::TakePassFigures()) {
          if (window != dialog.hwnd) continue;
          passes += static_cast<double>(figures.passes);
          passMs += static_cast<double>(figures.microseconds) / 1000.0;
          elements += static_cast<double>(figures.elements);
        }
      }
      installation_assistant::KeepPassFigures(false);
      installer.Exit();
    });
    engine->Run();
    user.join();
    engine->Release();
    // The engine keeps the host's writer until the module unloads; this host goes first.
    installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());
  }
  const auto average = [](double value) { return benchmark::Counter(value, benchmark::Counter::kAvgIterations); };
  state.counters["calls"] = average(calls);
  if (otherWindow) {
    state.counters["setup_passes"] = average(passesOnSetup);
    state.counters["passes_to_quiet"] = average(passesToQuiet);
    state.counters["calls_to_quiet"] = average(callsToQuiet);
    state.counters["setup_looks"] = average(callsAboutSetup);
  } else {
    state.counters["passes"] = average(passes);
    state.counters["pass_ms"] = average(passMs);
    state.counters["elements"] = average(elements);
  }
}

void BM_Msaa_WindowShownToOfferUnchecked(benchmark::State& state) { WindowShownToOfferUnchecked(state, false, false); }
void BM_Uia_WindowShownToOfferUnchecked(benchmark::State& state) { WindowShownToOfferUnchecked(state, true, false); }
void BM_Msaa_OtherWindowsEvents(benchmark::State& state) { WindowShownToOfferUnchecked(state, false, true); }

BENCHMARK(BM_Msaa_WindowShownToOfferUnchecked)
    ->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Uia_WindowShownToOfferUnchecked)
    ->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Msaa_OtherWindowsEvents)->Arg(1)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Keeps what the console shows and prints, per benchmark, each case's time and counters over its first case's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.run_name.function_name;
      std::map<std::string, double> figures{{"time", run.GetAdjustedRealTime()}};
      for (const auto& [counter, value] : run.counters) figures[counter] = value.value;
      cases_[name].push_back({run.run_name.args, figures});
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios to each benchmark's first case, same run:\n");
    for (const auto& [name, rows] : cases_) {
      for (const auto& [args, figures] : rows) {
        std::printf("  %s/%s:", name.c_str(), args.c_str());
        for (const auto& [figure, value] : figures) {
          const double base = rows.front().second.at(figure);
          if (base > 0) {
            std::printf(" %s %.2fx", figure.c_str(), value / base);
          } else {
            std::printf(" %s %.0f", figure.c_str(), value);
          }
        }
        std::printf("\n");
      }
    }
  }

 private:
  std::map<std::string, std::vector<std::pair<std::string, std::map<std::string, double>>>> cases_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
