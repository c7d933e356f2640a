#include "host/processed_items_reporter.h"

#include "common/trace.h"

namespace installation_assistant::engine {
namespace {

// Counts come from the host's installers, not from us: wrap instead of overflowing.
int AddWrapping(int a, int b) { return static_cast<int>(static_cast<unsigned int>(a) + static_cast<unsigned int>(b)); }

}  // namespace

ProcessedItemsReporter::ProcessedItemsReporter(std::shared_ptr<ServiceHolder> service,
                                               std::shared_ptr<InprocConnection> connection)
    : service_(std::move(service)), connection_(std::move(connection)) {}

void ProcessedItemsReporter::SetNotificationData(NotificationDataCopy data) {
  std::lock_guard<std::mutex> lock(dataMutex_);
  notificationData_ = std::move(data);
  hasNotificationData_ = true;
}

Option<NotificationDataCopy> ProcessedItemsReporter::StoredNotificationData() const {
  std::lock_guard<std::mutex> lock(dataMutex_);
  if (!hasNotificationData_) return Option<NotificationDataCopy>::None();
  return Option<NotificationDataCopy>::Some(notificationData_);
}

DirectReporter::DirectReporter(std::shared_ptr<ServiceHolder> service, std::shared_ptr<InprocConnection> connection)
    : ProcessedItemsReporter(std::move(service), std::move(connection)) {}

void DirectReporter::ReportProcessed(int window, int count) { Service()->ReportProcessedItems(window, count); }

void DirectReporter::ReportTotal() { Service()->ReportProcessedTotal(0); }

void DirectReporter::ShowNotification(HWND, const std::string&, const std::shared_ptr<MessageWindow>&) {}

NotifyingReporter::NotifyingReporter(std::shared_ptr<ServiceHolder> service,
                                     std::shared_ptr<InprocConnection> connection)
    : ProcessedItemsReporter(std::move(service), std::move(connection)) {}

void NotifyingReporter::ReportProcessed(int window, int count) {
  std::lock_guard<std::mutex> lock(lock_);
  total_ = AddWrapping(total_, count);
  // No sticker is ever on screen to add to: each report starts the count afresh.
  shown_ = count;
  Service()->ReportProcessedItems(window, shown_);
}

void NotifyingReporter::ReportTotal() {
  std::lock_guard<std::mutex> lock(lock_);
  if (total_ > 0) Service()->ReportProcessedTotal(total_);
}

void NotifyingReporter::ShowNotification(HWND window, const std::string&, const std::shared_ptr<MessageWindow>&) {
  std::lock_guard<std::mutex> lock(lock_);
  // The sticker window is not part of this build yet; showing nothing is honest,
  // pretending to have shown it would make the counts above lie.
  TRACE(Warning) << "Notification sticker is not available; nothing shown for window 0x" << window;
}

}  // namespace installation_assistant::engine
