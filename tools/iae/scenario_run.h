// A scenario run: three parties on simwin. The installer (a simwin::Process whose UI thread owns the pages;
// scenario_installer.cpp), the user (a thread of its own that follows the steps; scenario_user.cpp), and the host
// (this thread, which creates the engine and stays in IEngine::Run until the installer exits). A director thread
// ends the installer when the user or a button asks for it, or when the run takes too long, after taking the final
// state of every page (host and director: scenario_director.cpp). scenario_outcome.cpp prints that state and checks
// the expectations against it; scenario_snapshots.cpp takes the pictures of --snapshots; scenario_inspect.cpp brings
// up one page without the engine, for the pattern author's commands. This header is what those files share; nothing
// else includes it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text.h"
#include "host_calls.h"
#include "inproc_component.h"
#include "installation_assistant/engine.h"
#include "recording_host.h"
#include "platform/sim/simwin.h"
#include "platform/win32.h"
#include "scenario.h"
#include "scenario_runner.h"
#include "watch/pass_figures.h"

namespace iae_tool::detail {

using Clock = std::chrono::steady_clock;
using installation_assistant::WideToUtf8;
using installation_assistant::engine::IEngine;
using installation_assistant::engine::IService;
using installation_assistant::engine::ITraceWriter;
using installation_assistant::engine::ServiceReport;
using simwin::HostCall;

inline std::string Quote(const std::wstring& text) { return "\"" + WideToUtf8(text) + "\""; }

inline bool IsCheckable(const ScenarioControl& control) {
  const DWORD type = control.style & BS_TYPEMASK;
  return control.className == L"Button" && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON &&
         type != BS_GROUPBOX && type <= BS_AUTORADIOBUTTON;
}

inline const char* CheckText(UINT check) {
  return check == BST_CHECKED ? "checked" : check == BST_INDETERMINATE ? "indeterminate" : "unchecked";
}

// Whether a UI Automation element is in the state: a toggle's or a selection item's check state, enabled, visible
// (not off screen).
inline bool AutomationHolds(const simwin::UiaElementState& s, ElementState state) {
  switch (state) {
    case ElementState::Checked: return s.toggle == ToggleState_On || s.selected == true;
    case ElementState::Unchecked: return s.toggle == ToggleState_Off || s.selected == false;
    case ElementState::Indeterminate: return s.toggle == ToggleState_Indeterminate;
    case ElementState::Enabled: return s.enabled;
    case ElementState::Disabled: return !s.enabled;
    case ElementState::Visible: return !s.offscreen;
    case ElementState::Hidden: return s.offscreen;
  }
  return false;
}

inline std::string AutomationStateText(const simwin::UiaElementState& s) {
  std::string text;
  if (s.toggle) {
    text = *s.toggle == ToggleState_On ? "checked, " : *s.toggle == ToggleState_Off ? "unchecked, " : "indeterminate, ";
  }
  if (s.selected) text = *s.selected ? "selected, " : "not selected, ";
  text += s.enabled ? "enabled" : "disabled";
  text += s.offscreen ? ", off screen" : ", on screen";
  return text;
}

// Stamps and serialises every line; host calls go out as text or JSON.
class Story {
 public:
  Story(std::ostream& text, std::ostream* json, bool quiet) : text_(text), json_(json), quiet_(quiet) {}

  long long Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  }
  std::string Stamp() const {
    char text[32];
    std::snprintf(text, sizeof(text), "[%6lld ms] ", Ms());
    return text;
  }

  void Line(const std::string& who, const std::string& what) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << Stamp() << who << ": " << what << "\n" << std::flush;
  }
  void Plain(const std::string& text) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << text << std::flush;
  }
  void Always(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ << text << std::flush;
  }
  void Call(const HostCall& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (json_ != nullptr) {
      nlohmann::ordered_json object = HostCallJson(call);
      object["ms"] = Ms();
      *json_ << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n" << std::flush;
    } else if (!quiet_) {
      text_ << Stamp() << "engine -> host: " << HostCallText(call) << "\n" << std::flush;
    }
  }

 private:
  std::ostream& text_;
  std::ostream* json_;
  bool quiet_;
  Clock::time_point start_ = Clock::now();
  std::mutex mutex_;
};

// The host's IService and ITraceWriter: records each call and tells the story as it comes.
class ScenarioHost final : public IService, public ITraceWriter {
 public:
  ScenarioHost(Story& story, std::ostream* traceFile) : story_(story), traceFile_(traceFile) {}

  void SetEngineVersion(const char* version) override {
    Relay([&] { calls_.SetEngineVersion(version); });
  }
  void ReportItem(const ServiceReport* report) override {
    Relay([&] { calls_.ReportItem(report); });
  }
  void ReportProcessedTotal(int count) override {
    Relay([&] { calls_.ReportProcessedTotal(count); });
  }
  void ReportProcessedItems(int window, int count) override {
    Relay([&] { calls_.ReportProcessedItems(window, count); });
    // As a real host does: the count is the sticker's, so the sticker is shown from here.
    if (IEngine* engine = stickerEngine_.load()) {
      const std::string text = std::to_string(count) + (count == 1 ? " option" : " options") + " set for you";
      char handle[32];
      std::snprintf(handle, sizeof(handle), "0x%x", static_cast<unsigned>(window));
      story_.Line("host", std::string("ShowNotification(") + handle + ", \"" + text + "\")");
      engine->ShowNotification(reinterpret_cast<HWND>(static_cast<intptr_t>(window)), text.c_str());
    }
    if (onBatch_) onBatch_(window);
  }
  void BlockPatternAdded() override {
    Relay([&] { calls_.BlockPatternAdded(); });
  }

  void Write(const wchar_t* text, int level) override {
    traces_.Write(text, level);
    if (traceFile_ == nullptr) return;
    std::lock_guard<std::mutex> lock(traceMutex_);
    *traceFile_ << story_.Stamp() << level << " " << WideToUtf8(text ? text : L"") << "\n";
  }
  void Flush() override {
    traces_.Flush();
    if (traceFile_ == nullptr) return;
    std::lock_guard<std::mutex> lock(traceMutex_);
    traceFile_->flush();
  }
  void Release() override { traces_.Release(); }

  // While set, each ReportProcessedItems shows the sticker through this engine.
  void ShowStickersThrough(IEngine* engine) { stickerEngine_.store(engine); }
  // Called on the engine's thread when a batch of actions ends (ReportProcessedItems): must not block. Set before Run.
  void OnBatch(std::function<void(int window)> listener) { onBatch_ = std::move(listener); }

  const simwin::RecordingHost& Calls() const { return calls_; }
  const simwin::RecordingHost& Traces() const { return traces_; }

 private:
  // One call at a time, so the call just recorded is the last one.
  template <typename Record>
  void Relay(Record record) {
    std::lock_guard<std::mutex> lock(relayMutex_);
    record();
    story_.Call(calls_.AllCalls().back());
  }

  Story& story_;
  std::ostream* traceFile_;
  std::mutex relayMutex_;
  std::mutex traceMutex_;
  std::atomic<IEngine*> stickerEngine_{nullptr};
  simwin::RecordingHost calls_;   // service calls
  simwin::RecordingHost traces_;  // trace writer calls
  std::function<void(int window)> onBatch_;
};

struct ElementSnapshot {
  bool exists = false;
  UINT check = BST_UNCHECKED;
  bool enabled = false;
  bool visible = false;
  LONG accState = 0;  // custom elements
};

struct PageSnapshot {
  PageState state = PageState::Closed;
  std::vector<ElementSnapshot> controls;
  std::map<std::wstring, LONG> nodes;
  std::map<std::wstring, simwin::UiaElementState> automation;
};

class ScenarioRun {
 public:
  ScenarioRun(const Scenario& scenario, const ScenarioRunOptions& options, std::ostream& out, std::ostream& err)
      : scenario_(scenario),
        options_(options),
        narrative_(options.json ? err : out),
        story_(narrative_, options.json ? &out : nullptr, options.quiet),
        pages_(scenario.installer.pages.size()) {}
  ~ScenarioRun() { StopPictures(); }

  int Execute();
  // The installer alone (scenario_inspect.cpp): creates the pages, shows the one named (empty: the first visible one),
  // calls look with its window and name, then ends the installer. An unknown page is told on err: kScenarioUnusable.
  int Inspect(const std::string& page, std::ostream& err, const std::function<int(HWND, const std::string&)>& look);

 private:
  struct PageRuntime {
    HWND hwnd = nullptr;
    std::vector<HWND> controls;
    std::vector<HWND> windows;  // every window the page has had
  };

  // The installer (scenario_installer.cpp).
  void CreatePage(std::size_t index, bool show);
  simwin::AccNode BuildNode(const ScenarioAccNode& entry, std::size_t page);
  simwin::UiaNode BuildUiaNode(const ScenarioUiaNode& entry, std::size_t page);
  std::function<void()> PushAction(std::size_t page, const std::wstring& key, const std::optional<PushBehaviour>& push);
  void Pushed(std::size_t page, const std::string& what, const PushBehaviour& push);
  void Perform(std::size_t page, const PushBehaviour& push);
  void ReplaceControls(std::size_t from, std::size_t to, HWND window);
  std::optional<std::size_t> PageIn(HWND window);  // the page whose window it is now
  HWND PageWindow(std::size_t page);
  HWND ControlWindow(const ElementRef& ref);
  // The component that puts message boxes on buttons, and what it received.
  void StartComponent();
  void StopComponent();
  std::string ControlName(HWND window);
  // "page/control", the control by its name, else its id.
  std::string ControlRefName(std::size_t page, std::size_t control) const;
  // Waits for the message box on the button, then answers it; false if none came in time.
  bool AnswerMessageBox(const ElementRef& ref, int timeoutMilliseconds);
  int MessageBoxesFor(const ElementRef& ref);
  std::string PageName(std::size_t page) const { return "\"" + scenario_.installer.pages[page].name + "\""; }

  // The user (scenario_user.cpp).
  void User();
  bool Step(const UserStep& step);
  bool Sleep(int milliseconds);
  bool ClickAsUser(const ElementRef& ref);
  void AwaitQueuedInstallerWork();
  std::optional<bool> Holds(const ElementRef& ref, ElementState state);
  PageState PageStateNow(std::size_t page);
  std::string DescribeNow(const ElementRef& ref);

  // The host and the director (scenario_director.cpp).
  void RequestExit(DWORD code, const std::string& reason);
  void Fail(const std::string& what);
  bool ExitRequested();
  void Director();
  std::vector<PageSnapshot> Snapshot();

  // Pictures of the installer's windows with --snapshots (scenario_snapshots.cpp). They are taken on a thread of
  // their own from simwin's state, so asking for one never blocks the engine or the installer.
  struct PictureRequest {
    Clock::time_point due;
    HWND window = nullptr;  // an installer window, or null: every visible one
    std::string moment;
  };
  bool StartPictures();  // false, with the reason told, if the folder cannot be written
  void AskPicture(HWND window, std::string moment, std::chrono::milliseconds delay);
  void TakePictures(const PictureRequest& request);
  void FinalPictures();  // the director: what is still pending, then the final state
  void StopPictures();
  // The installer's top-level windows by the names the files give them.
  std::vector<std::pair<HWND, std::string>> InstallerWindows();

  // After the run (scenario_outcome.cpp).
  void PrintFinalState();
  void PrintStats();
  void CheckExpectations();

  const Scenario& scenario_;
  const ScenarioRunOptions& options_;
  std::ostream& narrative_;
  Story story_;
  std::unique_ptr<simwin::Process> installer_;

  std::mutex pagesMutex_;
  std::vector<PageRuntime> pages_;
  std::map<HWND, installation_assistant::PassFigures> passFigures_;  // for --stats

  std::mutex exitMutex_;
  std::condition_variable exitChanged_;
  bool exitRequested_ = false;
  DWORD exitCode_ = 0;
  bool runReturned_ = false;
  Clock::time_point runStart_;

  std::mutex failuresMutex_;
  std::vector<std::string> failures_;

  std::vector<PageSnapshot> final_;
  std::size_t callsAtExit_ = 0;
  std::unique_ptr<ScenarioHost> host_;

  std::unique_ptr<inproc::Component> component_;
  std::mutex boxesMutex_;
  std::condition_variable boxArrived_;
  std::vector<inproc::MessageBoxRequest> boxes_;
  std::vector<std::string> boxNames_;  // "page/control" of each request's button
  std::vector<bool> answered_;

  std::mutex picturesMutex_;
  std::condition_variable picturesChanged_;
  std::vector<PictureRequest> pictureQueue_;  // in the order they fall due
  bool picturesStopping_ = false;
  int pictureCount_ = 0;
  int batchCount_ = 0;
  std::thread pictureThread_;
};

}  // namespace iae_tool::detail
