#include "actions/actions_processor.h"

#include <stdexcept>
#include <utility>

#include "actions/first_event_state_filter.h"
#include "common/message_window.h"
#include "common/text.h"
#include "common/win32_error.h"
#include "common/trace.h"
#include "host/processed_items_reporter.h"
#include "host/result_collector.h"
#include "host/service_holder.h"

namespace installation_assistant {
namespace {

constexpr char kScopePrefix[] = "installation_assistant::ActionsProcessor::";

ActionResult Done() { return ActionResult{}; }

ActionResult NotDone(std::function<void()> followUp = {}) {
  ActionResult result;
  result.followUp = std::move(followUp);
  result.failed = true;
  return result;
}

LPARAM PointParameter(LONG x, LONG y) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(y) << 16) | static_cast<std::uint32_t>(x));
}

int HostWindowValue(HWND window) { return static_cast<int>(reinterpret_cast<std::intptr_t>(window)); }

// A fresh GUID in registry format: the name of the event the installer's component sets.
std::string NewEventName() {
  GUID guid{};
  const HRESULT created = CoCreateGuid(&guid);
  if (FAILED(created)) throw _com_error(created);
  wchar_t text[40] = {};
  if (StringFromGUID2(guid, text, 40) == 0) throw std::runtime_error("StringFromGUID2");
  return WideToUtf8(text);
}

}  // namespace

ActionsProcessor::ActionsProcessor(const ActionsProcessorParameters& parameters)
    : patternId_(parameters.patternId),
      pattern_(parameters.pattern),
      rootCount_(parameters.pattern ? parameters.pattern->GetRootCount() : 0),
      version_(parameters.version),
      service_(parameters.service),
      reporter_(parameters.reporter),
      messageWindow_(parameters.messageWindow) {
  if (!pattern_ || !service_ || !messageWindow_) throw std::logic_error("Actions processor without its pattern");
}

ActionsProcessor::~ActionsProcessor() {
  if (waitersStop_) SetEvent(waitersStop_.Get());
  std::lock_guard<std::mutex> guard(waitersLock_);
  for (const std::unique_ptr<Thread>& waiter : waiters_) {
    try {
      waiter->Join();
    } catch (...) {
      TraceException("ActionsProcessor::~ActionsProcessor");
    }
  }
}

ActionResult ActionsProcessor::SetCheckBox(const std::shared_ptr<UIElement>& element) {
  TraceScope scope(std::string(kScopePrefix) + "SetCheckBox");
  return MakeAction(element, &ActionsProcessor::SetCheckboxCore, "SetCheckBox");
}

ActionResult ActionsProcessor::UnsetCheckBox(const std::shared_ptr<UIElement>& element) {
  TraceScope scope(std::string(kScopePrefix) + "UnsetCheckBox");
  return MakeAction(element, &ActionsProcessor::UnsetCheckboxCore, "UnsetCheckBox");
}

ActionResult ActionsProcessor::SelectRadioButton(const std::shared_ptr<UIElement>& element) {
  TraceScope scope(std::string(kScopePrefix) + "SelectRadioButton");
  return MakeAction(element, &ActionsProcessor::SelectRadioButtonCore, "SelectRadioButton");
}

ActionResult ActionsProcessor::PushButton(const std::shared_ptr<UIElement>& element) {
  TraceScope scope(std::string(kScopePrefix) + "PushButton");
  return MakeAction(element, &ActionsProcessor::PushButtonCore, "PushButton");
}

ActionResult ActionsProcessor::AssignMessageBox(const std::shared_ptr<UIElement>& element) {
  TraceScope scope(std::string(kScopePrefix) + "AssignMessageBox");
  try {
    const HWND window = element->GetWindowHandle();
    TRACE(Info) << "Set message box to button: " << DescribeWindow(window);
    const std::shared_ptr<InprocConnection> connection = reporter_ ? reporter_->Connection() : nullptr;
    if (!connection) throw std::logic_error("No in-process connection");
    // Read before anything is created, so that a missing record leaves nothing behind.
    const engine::NotificationDataCopy data = reporter_->StoredNotificationData().Get();
    MessageBoxRequest request;
    request.window = window;
    request.icon = data.Icon(1).data;
    request.title = data.title;
    request.description = data.description;
    request.okButton = data.okButton;
    request.cancelButton = data.cancelButton;
    request.eventName = NewEventName();
    auto answered = std::make_shared<UniqueHandle>(CreateEventA(nullptr, TRUE, FALSE, request.eventName.c_str()));
    if (!*answered) throw LastWin32Error("CreateEventA");
    connection->MessageBoxOnButton(request);
    StartMessageBoxWaiter(element, std::move(answered));
  } catch (...) {
    // A block that cannot be placed must not hold up the window: the queue goes on with
    // the pattern's other actions and other patterns, and the host hears of it as a
    // failed action once per match.
    TraceException("AssignMessageBox");
    ReportForElement(element, CurrentRoot(), kActionFailed);
  }
  return Done();
}

void ActionsProcessor::StartMessageBoxWaiter(const std::shared_ptr<UIElement>& element,
                                             std::shared_ptr<UniqueHandle> answered) {
  std::lock_guard<std::mutex> guard(waitersLock_);
  if (!waitersStop_) waitersStop_ = CreateEventHandle(true, false);
  const HANDLE stop = waitersStop_.Get();
  // The processor joins its waiters before any member goes, so the waiter may use it.
  waiters_.push_back(std::make_unique<Thread>([this, element, answered, stop, root = CurrentRoot()] {
    const HANDLE handles[] = {answered->Get(), stop};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) return;
    try {
      ReportForElement(element, root, kMessageBoxAnswered);
    } catch (...) {
      TraceException("MessageBoxWaiter");
    }
  }));
}

ActionResult ActionsProcessor::MakeAction(const std::shared_ptr<UIElement>& element, Core core,
                                          const char* operation) {
  try {
    ActionResult result = (this->*core)(element);
    if (!result.failed) {
      ++executed_;
      reportedFailure_.clear();
      return Done();
    }
    std::weak_ptr<ActionsProcessor> weak = weak_from_this();
    return NotDone([weak, element, root = CurrentRoot()] {
      if (std::shared_ptr<ActionsProcessor> self = weak.lock()) self->ReportForElement(element, root, kActionFailed);
    });
  } catch (...) {
    // The machine retries the action at the head of its queue on every pass; the host hears
    // of the failure once, not once per pass.
    const std::string failure = std::string(operation) + "\n" + element->GetPath();
    if (failure == reportedFailure_) {
      TRACE(Debug) << operation << " on " << element->GetPath() << " failed again";
      return NotDone();
    }
    TraceException("MakeAction");
    reportedFailure_ = failure;
    ReportForElement(element, CurrentRoot(), kActionFailed);
    return NotDone();
  }
}

ActionResult ActionsProcessor::ChangeCheckBox(const std::shared_ptr<UIElement>& element, bool check) {
  // WM_ACTIVATE belongs to the top-level window the tree was built for: a control's DefWindowProc would take the focus
  // with it, and an element without a window of its own would post it to the engine's own queue.
  PostMessageW(element->GetTreeWindow(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
  std::shared_ptr<CheckBoxPattern> checkBox = element->GetCheckBoxPattern();
  if (!checkBox) throw std::runtime_error("CheckBox(" + element->GetPath() + ") has no check box pattern");
  if (checkBox->IsChecked() == check && !checkBox->IsIndeterminate()) {
    TRACE(Info) << "CheckBox(" << element->GetPath() << (check ? ") already checked" : ") already unchecked");
    return Done();
  }
  PatternActionResult result = check ? checkBox->SetCheckBox() : checkBox->UnsetCheckBox();
  if (!result.failed) {
    TRACE(Info) << "CheckBox(" << element->GetPath() << (check ? ") checked" : ") unchecked");
    SubscribeCheckBox(element, std::move(checkBox), check);
  }
  return result;
}

ActionResult ActionsProcessor::SetCheckboxCore(const std::shared_ptr<UIElement>& element) {
  return ChangeCheckBox(element, true);
}

ActionResult ActionsProcessor::UnsetCheckboxCore(const std::shared_ptr<UIElement>& element) {
  return ChangeCheckBox(element, false);
}

ActionResult ActionsProcessor::SelectRadioButtonCore(const std::shared_ptr<UIElement>& element) {
  std::shared_ptr<RadioButtonPattern> radio = element->GetRadioButtonPattern();
  if (!radio) throw std::runtime_error("RadioButton(" + element->GetPath() + ") has no radio button pattern");
  if (radio->IsSelected()) {
    TRACE(Info) << "RadioButton(" << element->GetPath() << ") already selected";
    return Done();
  }
  PatternActionResult result = radio->SelectRadioButton();
  if (!result.failed) {
    TRACE(Info) << "RadioButton(" << element->GetPath() << ") selected";
    SubscribeRadioButton(element, std::move(radio));
  }
  return result;
}

ActionResult ActionsProcessor::PushButtonCore(const std::shared_ptr<UIElement>& element) {
  std::shared_ptr<PushButtonPattern> button = element->GetPushButtonPattern();
  if (!button) throw std::runtime_error("PushButton(" + element->GetPath() + ") has no push button pattern");
  PatternActionResult result = button->Push();
  if (!result.failed) TRACE(Info) << "PushButton(" << element->GetPath() << ") pushed";
  return result;
}

void ActionsProcessor::SubscribeCheckBox(const std::shared_ptr<UIElement>& element,
                                         std::shared_ptr<CheckBoxPattern> pattern, bool desired) {
  static constexpr WatchedControl kCheckBox{"CheckBox(", kStateChecked, kStateUnchecked, "checkbox"};
  WatchChanges(element, [pattern = std::move(pattern)](std::function<void(bool)> handler) {
    return pattern->SubscribeCheckedChanged(std::move(handler));
  }, kCheckBox, desired);
}

void ActionsProcessor::SubscribeRadioButton(const std::shared_ptr<UIElement>& element,
                                            std::shared_ptr<RadioButtonPattern> pattern) {
  static constexpr WatchedControl kRadioButton{"RadioButton(", kStateSelected, kStateUnselected, "radio button"};
  WatchChanges(element, [pattern = std::move(pattern)](std::function<void(bool)> handler) {
    return pattern->SubscribeSelectedChanged(std::move(handler));
  }, kRadioButton, true);
}

void ActionsProcessor::WatchChanges(const std::shared_ptr<UIElement>& element, SubscribeToState subscribe,
                                    const WatchedControl& control, bool desired) {
  std::weak_ptr<ActionsProcessor> weak = weak_from_this();
  messageWindow_->Post([weak, element, subscribe = std::move(subscribe), &control, desired, root = CurrentRoot()] {
    std::shared_ptr<ActionsProcessor> self = weak.lock();
    if (!self) return;
    auto filter = std::make_shared<FirstEventStateFilter>(element->GetPath(), desired);
    std::weak_ptr<ActionsProcessor> owner = self;
    std::shared_ptr<Subscription> subscription = subscribe([filter, element, owner, &control, desired, root](bool on) {
      const char* state = on ? control.on : control.off;
      TRACE(Debug) << control.kind << element->GetPath() << ") is now " << state;
      std::shared_ptr<ActionsProcessor> processor = owner.lock();
      if (!processor || !filter->AllowEvent(on) || !element->IsVisible()) return;
      processor->ReportForElement(element, root, kUserChanged, state, desired ? control.on : control.off);
    });
    TRACE(Debug) << "Subscribed to " << control.name << " changes";
    self->KeepSubscription(std::move(subscription));
  });
}

void ActionsProcessor::KeepSubscription(std::shared_ptr<Subscription> subscription) {
  std::lock_guard<std::mutex> guard(subscriptionsLock_);
  // A watch made after its window went would stay for the rest of the run.
  if (!windowClosed_) subscriptions_.push_back(std::move(subscription));
}

void ActionsProcessor::WindowClosed() {
  std::vector<std::shared_ptr<Subscription>> released;
  {
    std::lock_guard<std::mutex> guard(subscriptionsLock_);
    windowClosed_ = true;
    released.swap(subscriptions_);
  }
  // The result collector keeps this processor for the run's end: its hooks and elements must not stay with it.
}

std::size_t ActionsProcessor::SubscriptionCount() const {
  std::lock_guard<std::mutex> guard(subscriptionsLock_);
  return subscriptions_.size();
}

ActionResult ActionsProcessor::PixelClick(const std::shared_ptr<UIElement>& element, std::uint32_t x,
                                          std::uint32_t y, bool isAbsolute) {
  TraceScope scope(std::string(kScopePrefix) + "PixelClick");
  try {
    const HWND window = element->GetWindowHandle();
    const RECT rect = element->GetDPIAwareLocation();
    const std::int32_t width = rect.right - rect.left;
    const std::int32_t height = rect.bottom - rect.top;
    const auto sx = static_cast<std::int32_t>(x);
    const auto sy = static_cast<std::int32_t>(y);
    if (isAbsolute) {
      if (sx > width || sy > height) {
        TRACE(Info) << "Window 0x" << window << " is too small to click on it";
        return Done();
      }
      const LPARAM point = PointParameter(sx, sy);
      PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
      PostMessageW(window, WM_LBUTTONUP, 0, point);
      ++executed_;
      return Done();
    }
    TRACE(Info) << "Window 0x" << window << "click at " << sx << "% " << sy << "%";
    const auto px = static_cast<std::int32_t>(sx / 100.0 * width);
    const auto py = static_cast<std::int32_t>(sy / 100.0 * height);
    if (px > width || py > height || width == 0 || height == 0) {
      TRACE(Info) << "Window 0x" << window << " is too small to click on it";
      return Done();
    }
    const LPARAM point = PointParameter(px, py);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(window, WM_LBUTTONUP, 0, point);
    ++executed_;
  } catch (const std::exception& error) {
    TRACE(Info) << "PixelClick error. " << error.what();
  } catch (const _com_error& error) {
    TRACE(Info) << "PixelClick error. " << error.ErrorMessage() << " (0x" << std::hex
                << static_cast<std::uint32_t>(error.Error()) << ")";
  } catch (...) {
    TRACE(Info) << "PixelClick error. unknown exception";
  }
  return Done();
}

void ActionsProcessor::PatternMatched(const std::shared_ptr<UIElement>&) {
  ++matches_;
  // A new match queues new actions: their failures are news again.
  reportedFailure_.clear();
}

void ActionsProcessor::PatternUpdated(const std::shared_ptr<UIElement>& rootElement) {
  const int executed = executed_.load();
  TRACE(Debug) << "Have " << executed << " changes  to report";
  if (executed == 0) return;
  TRACE(Debug) << "Going to report results to service";
  TRACE(Debug) << "Going to show sticker";
  if (reporter_) reporter_->ReportProcessed(HostWindowValue(rootElement->GetWindowHandle()), executed);
  executed_ -= executed;
}

int ActionsProcessor::GetMatchingResult() {
  TraceScope scope(std::string(kScopePrefix) + "GetMatchingResult");
  return MatchingResultNow();
}

int ActionsProcessor::MatchingResultNow() const {
  const int matches = matches_.load();
  if (matches == 0) return engine::kNeverMatched;
  return static_cast<std::size_t>(matches) == pattern_->GetRootCount() ? engine::kMatchedAllRoots
                                                                       : engine::kMatchedSomeRoots;
}

std::optional<int> ActionsProcessor::FinalMatchingResult() const {
  std::lock_guard<std::mutex> guard(subscriptionsLock_);
  return windowClosed_ ? std::optional<int>(MatchingResultNow()) : std::nullopt;
}

std::size_t ActionsProcessor::CurrentRoot() const {
  const int matches = matches_.load();
  return matches > 0 ? static_cast<std::size_t>(matches - 1) : 0;
}

void ActionsProcessor::ReportForElement(const std::shared_ptr<UIElement>& element, std::size_t root, int code,
                                        const std::string& userAction, const std::string& desiredState) {
  engine::ServiceReportData data;
  data.patternId = patternId_;
  data.resultCode = code;
  data.genericPattern = pattern_->IsGeneric() ? 1 : 0;
  data.elementType = static_cast<int>(element->GetType());
  if (Option<std::string> name = element->GetName(); name.IsSome()) {
    data.controlData.assign(name.Get().begin(), name.Get().end());
  }
  // The root the element was matched under: the pattern's own root count never changes.
  data.controlPath = "Pattern(" + std::to_string(root) + ")\\" + element->GetPath();
  data.userAction = userAction;
  data.desiredState = desiredState;
  data.patternVersion = version_.ToString();
  const engine::ServiceReport report = engine::ToServiceReport(data);
  service_->Get()->ReportItem(&report);

}

std::shared_ptr<IPatternActionsProcessor> CreateActionsProcessor(const ActionsProcessorParameters& parameters) {
  return std::make_shared<ActionsProcessor>(parameters);
}

}  // namespace installation_assistant
