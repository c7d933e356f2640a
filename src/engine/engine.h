// The engine object behind IEngine, and the routine both factories share.
#pragma once

#include <memory>

#include "common/message_window.h"
#include "common/process_waiter.h"
#include "engine/processor_factories.h"
#include "host/processed_items_reporter.h"
#include "host/result_collector.h"
#include "host/service_holder.h"
#include "installation_assistant/engine.h"
#include "watch/windows_watcher.h"

namespace installation_assistant::engine {

inline constexpr char kEngineVersion[] = "1.5.0.3";
// How long a Release from another thread waits for the engine thread to take the engine down.
inline constexpr UINT kReleaseWaitMs = 2000;

class Engine final : public IEngine {
 public:
  // Starts watching the installer and its exit, and tells the host the engine version.
  Engine(std::shared_ptr<ServiceHolder> service, DWORD processId, std::shared_ptr<MessageWindow> messageWindow,
         std::shared_ptr<InprocConnection> connection, std::shared_ptr<ProcessedItemsReporter> reporter,
         bool showsNotifications);
  // Shuts the watcher down if Run has not, before any member goes.
  ~Engine();

  void AddPattern(int patternId, const char* pattern, bool silent) override;
  void SetNotificationsData(const NotificationData* data) override;
  void ShowNotification(HWND window, const char* text) override;
  void Run() override;
  void Release() override;

  const std::shared_ptr<ProcessedItemsReporter>& Reporter() const { return reporter_; }
  const std::shared_ptr<ResultCollector>& Results() const { return results_; }
  const std::shared_ptr<MessageWindow>& GetMessageWindow() const { return messageWindow_; }
  const std::shared_ptr<WindowsWatcher>& Watcher() const { return watcher_; }
  bool ShowsNotifications() const { return showsNotifications_; }
  // Patterns added afterwards get their actions processors from this factory.
  void SetActionsProcessorFactory(ActionsProcessorFactory factory) { makeActionsProcessor_ = std::move(factory); }

 private:
  // Sends the deletion to the engine thread when called elsewhere; false when this thread must delete.
  bool ReleasedOnEngineThread();
  void AddPatternCore(int patternId, const char* pattern, bool silent);
  void SetNotificationsDataCore(const NotificationData* data);
  void ShowNotificationCore(HWND window, const char* text);
  // Codes 6, 7 and 8 of pattern intake; every other field keeps its default.
  void ReportIntake(int patternId, int resultCode, const std::string& patternVersion) const;
  void AcceptPattern(int patternId, const PatternVersion& version, bool silent, const std::shared_ptr<Pattern>& pattern);

  // Destroyed in reverse: the waiter is stopped and joined before anything it uses goes.
  std::shared_ptr<ServiceHolder> service_;
  // Message boxes on blocked buttons; stopped last, after every actions processor.
  std::shared_ptr<InprocConnection> connection_;
  std::shared_ptr<ResultCollector> results_;
  std::shared_ptr<WindowsWatcher> watcher_;
  std::shared_ptr<ProcessedItemsReporter> reporter_;
  std::shared_ptr<MessageWindow> messageWindow_;
  ProcessWaiter processWaiter_;
  bool showsNotifications_;
  ActionsProcessorFactory makeActionsProcessor_ = &CreateActionsProcessor;
};

// Result codes of pattern intake.
enum IntakeResultCode : int {
  kUnsupportedPatternVersion = 6,
  kUnreadablePattern = 7,
  kPatternWithoutActions = 8,
};

// Builds an engine for the factories; throws on any failure.
IEngine* CreateEngineImpl(IService* service, long processId, unsigned int traceThreshold,
                          ITraceWriter* traceWriter, bool showsNotifications);

}  // namespace installation_assistant::engine
