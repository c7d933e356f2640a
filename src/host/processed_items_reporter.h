// The engine's outlet for processed-item counts and the notification sticker.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "common/message_window.h"
#include "common/option.h"
#include "common/subscription.h"
#include "host/host_records.h"
#include "host/service_holder.h"
#include "inproc/inproc_connection.h"
#include "notification/sticker.h"
#include "platform/win32.h"

namespace installation_assistant::engine {

class ProcessedItemsReporter {
 public:
  // count actions were carried out on the matched installer window.
  virtual void ReportProcessed(int window, int count) = 0;
  // The run ends.
  virtual void ReportTotal() = 0;
  // Show the sticker next to the installer window. The sticker lives on the message window's thread; from any
  // other thread its making is posted there, so that a host may call this from inside its report callbacks.
  virtual void ShowNotification(HWND window, const std::string& text,
                                const std::shared_ptr<MessageWindow>& messageWindow) = 0;
  // The engine goes: on the message window's thread, before the module that holds the sticker's code may be
  // unloaded, nothing of the reporter's stays on screen or registered.
  virtual void Close() {}
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

// Notifications on: keeps the run's total and the count of the sticker on screen, and shows the sticker.
// Its lock is never held across a call into the host or into another thread.
class NotifyingReporter final : public ProcessedItemsReporter,
                                public std::enable_shared_from_this<NotifyingReporter> {
 public:
  // `module` holds the sticker's window procedure.
  explicit NotifyingReporter(std::shared_ptr<ServiceHolder> service,
                             std::shared_ptr<InprocConnection> connection = nullptr, HINSTANCE module = nullptr);

  void ReportProcessed(int window, int count) override;
  void ReportTotal() override;
  void ShowNotification(HWND window, const std::string& text,
                        const std::shared_ptr<MessageWindow>& messageWindow) override;
  void Close() override;

  // The sticker on screen, or null.
  HWND StickerWindow() const;

 private:
  notification::UniqueIcon StickerIcon() const;
  void ShowOnOwnerThread(HWND target, const std::wstring& text, notification::UniqueIcon icon);
  void FollowTarget(DWORD event, HWND window, HWND target);

  mutable std::mutex lock_;
  int total_ = 0;
  // What the sticker on screen counts.
  int shown_ = 0;
  // Stickers asked for whose making has not run yet: they count as on screen.
  int pendingShows_ = 0;
  HWND sticker_ = nullptr;
  std::shared_ptr<Subscription> stickerFollower_;
  bool closed_ = false;
  // Used on the message window's thread only.
  std::unique_ptr<notification::StickerClass> stickerClass_;
};

}  // namespace installation_assistant::engine
