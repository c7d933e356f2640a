// The engine's outlet for processed-item counts and the notification sticker.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "common/message_window.h"
#include "common/option.h"
#include "host/host_records.h"
#include "host/service_holder.h"
#include "inproc/inproc_connection.h"
#include "platform/win32.h"

namespace installation_assistant::engine {

class ProcessedItemsReporter {
 public:
  // count actions were carried out on the matched installer window.
  virtual void ReportProcessed(int window, int count) = 0;
  // The run ends.
  virtual void ReportTotal() = 0;
  // Show the sticker next to the installer window; runs on the message window's thread.
  virtual void ShowNotification(HWND window, const std::string& text,
                                const std::shared_ptr<MessageWindow>& messageWindow) = 0;
  virtual ~ProcessedItemsReporter() = default;

  // Replaces whatever was stored before, icons included.
  void SetNotificationData(NotificationDataCopy data);
  Option<NotificationDataCopy> StoredNotificationData() const;
  // The link to the installer's component; null when the engine has none.
  const std::shared_ptr<InprocConnection>& Connection() const { return connection_; }

 protected:
  ProcessedItemsReporter(std::shared_ptr<ServiceHolder> service, std::shared_ptr<InprocConnection> connection);
  IService* Service() const { return service_->Get(); }

 private:
  std::shared_ptr<ServiceHolder> service_;
  std::shared_ptr<InprocConnection> connection_;
  mutable std::mutex dataMutex_;
  bool hasNotificationData_ = false;
  NotificationDataCopy notificationData_;
};

// Notifications off: counts go to the host as they come, the total is always 0.
class DirectReporter final : public ProcessedItemsReporter {
 public:
  explicit DirectReporter(std::shared_ptr<ServiceHolder> service,
                          std::shared_ptr<InprocConnection> connection = nullptr);

  void ReportProcessed(int window, int count) override;
  void ReportTotal() override;
  void ShowNotification(HWND window, const std::string& text,
                        const std::shared_ptr<MessageWindow>& messageWindow) override;
};

// Notifications on: keeps the run's total and the count of the sticker on screen.
class NotifyingReporter final : public ProcessedItemsReporter {
 public:
  explicit NotifyingReporter(std::shared_ptr<ServiceHolder> service,
                             std::shared_ptr<InprocConnection> connection = nullptr);

  void ReportProcessed(int window, int count) override;
  void ReportTotal() override;
  void ShowNotification(HWND window, const std::string& text,
                        const std::shared_ptr<MessageWindow>& messageWindow) override;

 private:
  std::mutex lock_;
  int total_ = 0;
  // What the sticker on screen counts.
  int shown_ = 0;
};

}  // namespace installation_assistant::engine
