// What plays the scenario: the host (this thread: the engine's factory, its patterns, Run and Release), and the
// director thread, which ends the installer when the user or a button asks for it, or when the run takes too long,
// after taking the final state of every page.
#include "scenario_run.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/trace.h"

namespace iae_tool::detail {

using installation_assistant::engine::IEngine;
using installation_assistant::engine::NotificationData;
using installation_assistant::engine::NotificationIcon;

void ScenarioRun::RequestExit(DWORD code, const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(exitMutex_);
    if (exitRequested_) return;
    exitRequested_ = true;
    exitCode_ = code;
  }
  if (!reason.empty()) story_.Line("runner", reason);
  exitChanged_.notify_all();
}

bool ScenarioRun::ExitRequested() {
  std::lock_guard<std::mutex> lock(exitMutex_);
  return exitRequested_;
}

void ScenarioRun::Fail(const std::string& what) {
  std::lock_guard<std::mutex> lock(failuresMutex_);
  failures_.push_back(what);
}

std::vector<PageSnapshot> ScenarioRun::Snapshot() {
  std::vector<PageSnapshot> snapshot(pages_.size());
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    const ScenarioPage& entry = scenario_.installer.pages[p];
    PageSnapshot& page = snapshot[p];
    page.state = PageStateNow(p);
    page.controls.resize(entry.controls.size());
    if (page.state == PageState::Closed) continue;
    for (std::size_t c = 0; c < entry.controls.size(); ++c) {
      ElementRef ref;
      ref.page = p;
      ref.control = c;
      const HWND hwnd = ControlWindow(ref);
      if (hwnd == nullptr) continue;
      ElementSnapshot& control = page.controls[c];
      control.exists = true;
      control.check = simwin::CheckState(hwnd);
      control.enabled = IsWindowEnabled(hwnd) != FALSE;
      control.visible = IsWindowVisible(hwnd) != FALSE;
    }
    const HWND hwnd = PageWindow(p);
    std::function<void(const ScenarioUiaNode&)> visitUia = [&](const ScenarioUiaNode& node) {
      if (!node.key.empty()) {
        if (const auto state = simwin::AutomationElementState(hwnd, node.key)) page.automation[node.key] = *state;
      }
      for (const ScenarioUiaNode& child : node.children) visitUia(child);
    };
    if (entry.automation && hwnd != nullptr) visitUia(*entry.automation);
    if (!entry.accessible) continue;
    std::function<void(const ScenarioAccNode&)> visit = [&](const ScenarioAccNode& node) {
      if (!node.key.empty()) {
        if (const std::optional<LONG> state = simwin::AccessibleState(hwnd, node.key)) page.nodes[node.key] = *state;
      }
      for (const ScenarioAccNode& child : node.children) visit(child);
    };
    if (hwnd != nullptr) visit(*entry.accessible);
  }
  return snapshot;
}

void ScenarioRun::Director() {
  DWORD code = 0;
  {
    std::unique_lock<std::mutex> lock(exitMutex_);
    const auto deadline = runStart_ + std::chrono::milliseconds(scenario_.timeoutMilliseconds);
    if (!exitChanged_.wait_until(lock, deadline, [this] { return exitRequested_; })) {
      exitRequested_ = true;
      lock.unlock();
      exitChanged_.notify_all();
      const std::string what = "time-out: the scenario ran longer than " +
                               std::to_string(scenario_.timeoutMilliseconds) + " ms";
      story_.Line("runner", what + "; the runner exits the installer");
      Fail(what);
      lock.lock();
    }
    code = exitCode_;
  }
  FinalPictures();
  final_ = Snapshot();
  callsAtExit_ = host_->Calls().AllCalls().size();
  story_.Line("installer", "process exits with code " + std::to_string(code));
  StopComponent();
  installer_->Exit(code);

  std::unique_lock<std::mutex> lock(exitMutex_);
  if (!exitChanged_.wait_for(lock, std::chrono::milliseconds(options_.runReturnGraceMilliseconds),
                             [this] { return runReturned_; })) {
    // The host thread is stuck inside the engine: nothing left to wait for.
    story_.Always("engine: Run() did not return " + std::to_string(options_.runReturnGraceMilliseconds) +
                  " ms after the installer exited\noutcome: FAILED\n");
    std::_Exit(kScenarioFailed);
  }
}

int ScenarioRun::Execute() {
  std::ofstream traceFile;
  if (!options_.traceFile.empty()) {
    traceFile.open(options_.traceFile, std::ios::binary | std::ios::trunc);
    if (!traceFile) {
      story_.Always("cannot write the trace file " + options_.traceFile + "\n");
      return kScenarioUnusable;
    }
  }
  host_ = std::make_unique<ScenarioHost>(story_, traceFile.is_open() ? &traceFile : nullptr);
  if (!StartPictures()) return kScenarioFailed;

  if (!options_.quiet) {
    std::string header = "scenario: " + scenario_.file + "\n";
    if (!scenario_.description.empty()) {
      std::istringstream lines(scenario_.description);
      for (std::string line; std::getline(lines, line);) header += "  " + line + "\n";
    }
    story_.Plain(header + "\n");
  }

  installer_ = std::make_unique<simwin::Process>(scenario_.installer.image);
  story_.Line("installer", "process " + std::to_string(installer_->Id()) + " " + Quote(scenario_.installer.image) +
                               " starts");
  for (std::size_t i = 0; i < scenario_.installer.pages.size(); ++i) {
    CreatePage(i, scenario_.installer.pages[i].visible);
  }
  StartComponent();

  const HostSetup& hostEntry = scenario_.host;
  // Everything the engine does counts, its looks while the host adds patterns too.
  simwin::ResetAccessibilityCallCount();
  if (options_.stats) installation_assistant::KeepPassFigures(true);
  const char* factoryName = hostEntry.notifications ? "CreateEngine" : "CreateEngine2";
  story_.Line("host", std::string(factoryName) + "(service, " + std::to_string(installer_->Id()) + ", " +
                          std::to_string(hostEntry.threshold) + ", writer)");
  IEngine* engine = (hostEntry.notifications ? &CreateEngine : &CreateEngine2)(
      host_.get(), static_cast<long>(installer_->Id()), hostEntry.threshold, host_.get());
  if (engine == nullptr) {
    std::string traces;
    for (const std::wstring& trace : host_->Traces().Traces()) traces += "  " + WideToUtf8(trace) + "\n";
    story_.Always("host: the factory returned null; the trace says:\n" + traces + "outcome: FAILED\n");
    StopComponent();
    installer_->Exit(0);
    installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());
    return kScenarioFailed;
  }

  if (hostEntry.notificationData) {
    const ScenarioNotification& entry = *hostEntry.notificationData;
    std::vector<NotificationIcon> icons;
    for (const ScenarioIcon& icon : entry.icons) {
      icons.push_back(NotificationIcon{icon.id, icon.value, static_cast<unsigned int>(icon.data.size()), icon.data.data()});
    }
    const NotificationData data{entry.flag,
                                entry.title.c_str(),
                                entry.description.c_str(),
                                entry.okButton.c_str(),
                                entry.cancelButton.c_str(),
                                static_cast<unsigned int>(icons.size()),
                                icons.empty() ? nullptr : icons.data()};
    story_.Line("host", "SetNotificationsData(title \"" + entry.title + "\", " + std::to_string(icons.size()) +
                            " icon(s))");
    engine->SetNotificationsData(&data);
  }

  const auto addPattern = [&](const ScenarioPattern& pattern) {
    story_.Line("host", "AddPattern(" + std::to_string(pattern.id) + ", " + pattern.source + ", " +
                            (pattern.silent ? "silent" : "not silent") + ")");
    engine->AddPattern(pattern.id, pattern.text.c_str(), pattern.silent);
  };
  for (const ScenarioPattern& pattern : hostEntry.patterns) {
    if (!pattern.afterMilliseconds) addPattern(pattern);
  }

  runStart_ = Clock::now();
  // Patterns the host adds while the engine runs come from a thread of the host's own.
  std::thread lateHost([&] {
    std::vector<const ScenarioPattern*> late;
    for (const ScenarioPattern& pattern : hostEntry.patterns) {
      if (pattern.afterMilliseconds) late.push_back(&pattern);
    }
    std::stable_sort(late.begin(), late.end(),
                     [](const ScenarioPattern* a, const ScenarioPattern* b) { return *a->afterMilliseconds < *b->afterMilliseconds; });
    for (const ScenarioPattern* pattern : late) {
      std::unique_lock<std::mutex> lock(exitMutex_);
      if (exitChanged_.wait_until(lock, runStart_ + std::chrono::milliseconds(*pattern->afterMilliseconds),
                                  [this] { return runReturned_; })) {
        lock.unlock();
        story_.Line("host", "pattern " + std::to_string(pattern->id) + " not added: Run() returned before " +
                                std::to_string(*pattern->afterMilliseconds) + " ms");
        continue;
      }
      lock.unlock();
      addPattern(*pattern);
    }
  });
  std::thread director([this] { Director(); });
  std::thread user([this] { User(); });

  if (hostEntry.notifications) host_->ShowStickersThrough(engine);
  story_.Line("host", "Run()");
  engine->Run();
  host_->ShowStickersThrough(nullptr);
  {
    std::lock_guard<std::mutex> lock(exitMutex_);
    runReturned_ = true;
  }
  exitChanged_.notify_all();
  story_.Line("host", "Run() returned");
  user.join();
  director.join();
  lateHost.join();
  engine->Release();
  story_.Line("host", "Release()");
  if (options_.stats) {
    passFigures_ = installation_assistant::TakePassFigures();
    installation_assistant::KeepPassFigures(false);
  }
  // The host would now unload the module, which drops its trace writer; here the engine is
  // linked in, so drop it by hand before the host goes away.
  installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());
  installer_.reset();

  PrintFinalState();
  if (options_.stats) PrintStats();
  CheckExpectations();
  if (!host_->Traces().TracesContaining(L"No actions processor in this build").empty()) {
    story_.Plain("(this build recognises dialogs but carries out no action: it has no actions processor)\n");
  }
  if (failures_.empty()) {
    story_.Always(scenario_.hasExpectations ? "outcome: as expected\n" : "outcome: as expected (no expectations)\n");
    return kScenarioAsExpected;
  }
  std::string text = "outcome: " + std::to_string(failures_.size()) + " mismatch(es)\n";
  for (const std::string& failure : failures_) text += "  " + failure + "\n";
  story_.Always(text);
  return kScenarioFailed;
}

}  // namespace iae_tool::detail

namespace iae_tool {

int RunScenario(const Scenario& scenario, const ScenarioRunOptions& options, std::ostream& out, std::ostream& err) {
  detail::ScenarioRun run(scenario, options, out, err);
  return run.Execute();
}

int RunScenarioFile(const std::string& path, const ScenarioRunOptions& options, std::ostream& out,
                    std::ostream& err) {
  Scenario scenario;
  try {
    scenario = LoadScenario(path);
  } catch (const ScenarioError& error) {
    err << error.what() << "\n";
    return kScenarioUnusable;
  }
  return RunScenario(scenario, options, out, err);
}

}  // namespace iae_tool
