// The engine object behind IEngine, and the routine both factories share.
#pragma once

#include <memory>

#include "common/message_window.h"
#include "common/process_waiter.h"
#include "engine/processed_items_reporter.h"
#include "engine/result_collector.h"
#include "engine/service_holder.h"
#include "installation_assistant/engine.h"

namespace installation_assistant::engine {

inline constexpr char kEngineVersion[] = "1.5.0.3";

class Engine final : public IEngine {
 public:
  // Starts the process waiter and tells the host the engine version.
  Engine(std::shared_ptr<ServiceHolder> service, DWORD processId, std::shared_ptr<MessageWindow> messageWindow,
         std::shared_ptr<ProcessedItemsReporter> reporter, bool showsNotifications);
  ~Engine();

  void AddPattern(int patternId, const char* pattern, bool silent) override;
  void SetNotificationsData(const NotificationData* data) override;
  void ShowNotification(HWND window, const char* text) override;
  void Run() override;
  void Release() override;

  const std::shared_ptr<ProcessedItemsReporter>& Reporter() const { return reporter_; }
  const std::shared_ptr<ResultCollector>& Results() const { return results_; }
  const std::shared_ptr<MessageWindow>& GetMessageWindow() const { return messageWindow_; }
  bool ShowsNotifications() const { return showsNotifications_; }

 private:
  void AddPatternCore(int patternId, const char* pattern, bool silent);
  void SetNotificationsDataCore(const NotificationData* data);
  void ShowNotificationCore(HWND window, const char* text);

  // Destroyed in reverse: the waiter is stopped and joined before anything it uses goes.
  std::shared_ptr<ServiceHolder> service_;
  // The in-process connection (message boxes on blocked buttons) is declared here.
  std::shared_ptr<ResultCollector> results_;
  // The windows watcher is declared here.
  std::shared_ptr<ProcessedItemsReporter> reporter_;
  std::shared_ptr<MessageWindow> messageWindow_;
  ProcessWaiter processWaiter_;
  bool showsNotifications_;
};

// Builds an engine for the factories; throws on any failure.
IEngine* CreateEngineImpl(IService* service, long processId, unsigned int traceThreshold,
                          ITraceWriter* traceWriter, bool showsNotifications);

}  // namespace installation_assistant::engine
