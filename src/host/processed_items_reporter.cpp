#include "host/processed_items_reporter.h"

#include <stdexcept>

#include "common/text.h"
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
                                     std::shared_ptr<InprocConnection> connection, HINSTANCE module)
    : ProcessedItemsReporter(std::move(service), std::move(connection)),
      stickerClass_(std::make_unique<notification::StickerClass>(module)) {}

void NotifyingReporter::ReportProcessed(int window, int count) {
  int shown = 0;
  {
    std::lock_guard<std::mutex> lock(lock_);
    total_ = AddWrapping(total_, count);
    const bool stickerOnScreen = pendingShows_ > 0 || (sticker_ != nullptr && IsWindow(sticker_));
    shown_ = stickerOnScreen ? AddWrapping(shown_, count) : count;
    shown = shown_;
  }
  Service()->ReportProcessedItems(window, shown);
}

void NotifyingReporter::ReportTotal() {
  int total = 0;
  {
    std::lock_guard<std::mutex> lock(lock_);
    total = total_;
  }
  if (total > 0) Service()->ReportProcessedTotal(total);
}

notification::UniqueIcon NotifyingReporter::StickerIcon() const {
  const Option<NotificationDataCopy> data = StoredNotificationData();
  if (!data.IsSome()) return notification::UniqueIcon();
  const NotificationIconCopy icon = data.Get().Icon(0);
  return notification::IconFromDirectory(icon.data.data(), icon.data.size());
}

void NotifyingReporter::ShowNotification(HWND window, const std::string& text,
                                         const std::shared_ptr<MessageWindow>& messageWindow) {
  if (messageWindow == nullptr) throw std::logic_error("No message window for the sticker");
  auto icon = std::make_shared<notification::UniqueIcon>(StickerIcon());
  std::wstring wide = Utf8ToWide(text);
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_) return;
    ++pendingShows_;
  }
  auto work = [self = shared_from_this(), window, wide = std::move(wide), icon] {
    self->ShowOnOwnerThread(window, wide, std::move(*icon));
  };
  if (GetWindowThreadProcessId(messageWindow->Handle(), nullptr) == GetCurrentThreadId()) {
    work();
    return;
  }
  try {
    // Posted, not sent: the caller may be a machine thread inside the host's report callback, and the engine
    // thread may be waiting for that machine.
    messageWindow->Post(std::move(work));
  } catch (...) {
    std::lock_guard<std::mutex> lock(lock_);
    --pendingShows_;
    throw;
  }
}

void NotifyingReporter::ShowOnOwnerThread(HWND target, const std::wstring& text, notification::UniqueIcon icon) {
  HWND previous = nullptr;
  std::shared_ptr<Subscription> previousFollower;
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(lock_);
    previous = sticker_;
    previousFollower = std::move(stickerFollower_);
    closed = closed_;
  }
  previousFollower.reset();
  if (previous != nullptr && IsWindow(previous)) SendMessageW(previous, notification::kStickerCloseMessage, 0, 0);

  HWND sticker = nullptr;
  std::shared_ptr<Subscription> follower;
  if (!closed) {
    sticker = notification::CreateNotificationSticker(*stickerClass_, target, text, std::move(icon));
  }
  if (sticker != nullptr) {
    try {
      follower = SubscribeForWindow(target,
                                    {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_DESTROY, EVENT_OBJECT_SHOW,
                                     EVENT_OBJECT_HIDE, EVENT_OBJECT_REORDER},
                                    [weak = weak_from_this(), target](DWORD event, HWND window) {
                                      if (auto self = weak.lock()) self->FollowTarget(event, window, target);
                                    });
    } catch (const std::exception& e) {
      TRACE(Warning) << "The sticker does not follow window 0x" << target << ": " << e.what();
    }
  }
  std::lock_guard<std::mutex> lock(lock_);
  sticker_ = sticker;
  stickerFollower_ = std::move(follower);
  --pendingShows_;
}

void NotifyingReporter::FollowTarget(DWORD event, HWND window, HWND target) {
  if (window != target) return;
  const HWND sticker = StickerWindow();
  if (sticker == nullptr) return;
  switch (event) {
    case EVENT_OBJECT_DESTROY:
      if (!IsWindow(target)) SendMessageW(sticker, notification::kStickerCloseMessage, 0, 0);
      break;
    case EVENT_OBJECT_SHOW:
      // Never activating: the user is working in the installer.
      ShowWindow(sticker, SW_SHOWNOACTIVATE);
      PostMessageW(sticker, notification::kStickerReplaceMessage, 0, 0);
      break;
    case EVENT_OBJECT_HIDE:
      ShowWindow(sticker, SW_HIDE);
      break;
    case EVENT_OBJECT_REORDER:
    case EVENT_OBJECT_LOCATIONCHANGE:
      PostMessageW(sticker, notification::kStickerReplaceMessage, 0, 0);
      break;
    default:
      break;
  }
}

HWND NotifyingReporter::StickerWindow() const {
  std::lock_guard<std::mutex> lock(lock_);
  return sticker_ != nullptr && IsWindow(sticker_) ? sticker_ : nullptr;
}

void NotifyingReporter::Close() {
  HWND sticker = nullptr;
  std::shared_ptr<Subscription> follower;
  {
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    sticker = std::exchange(sticker_, nullptr);
    follower = std::move(stickerFollower_);
  }
  follower.reset();
  if (sticker != nullptr && IsWindow(sticker)) {
    if (GetWindowThreadProcessId(sticker, nullptr) == GetCurrentThreadId()) {
      DestroyWindow(sticker);
    } else {
      TRACE(Warning) << "Sticker 0x" << sticker << " released off its thread; left in place";
      return;  // its class must stay
    }
  }
  stickerClass_.reset();
}

}  // namespace installation_assistant::engine
