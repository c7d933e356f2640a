// Carries out the actions of one pattern on live elements and keeps the pattern's account
// with the host: what was done, what the user changed afterwards, how far it matched.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "actions/pattern_listener.h"
#include "common/handles.h"
#include "common/subscription.h"
#include "common/thread.h"
#include "host/host_records.h"

namespace installation_assistant {

inline constexpr char kStateChecked[] = "checked";
inline constexpr char kStateUnchecked[] = "unchecked";
inline constexpr char kStateSelected[] = "selected";
inline constexpr char kStateUnselected[] = "unselected";

// Report codes of an element's account.
enum ElementReportCode : int {
  kActionFailed = 2,
  kUserChanged = 4,
  kMessageBoxAnswered = 5,
};

class ActionsProcessor final : public IPatternActionsProcessor, public std::enable_shared_from_this<ActionsProcessor> {
 public:
  explicit ActionsProcessor(const ActionsProcessorParameters& parameters);
  ~ActionsProcessor() override;
  ActionsProcessor(const ActionsProcessor&) = delete;
  ActionsProcessor& operator=(const ActionsProcessor&) = delete;

  ActionResult SetCheckBox(const std::shared_ptr<UIElement>& element) override;
  ActionResult UnsetCheckBox(const std::shared_ptr<UIElement>& element) override;
  ActionResult SelectRadioButton(const std::shared_ptr<UIElement>& element) override;
  ActionResult AssignMessageBox(const std::shared_ptr<UIElement>& element) override;
  ActionResult PushButton(const std::shared_ptr<UIElement>& element) override;
  ActionResult PixelClick(const std::shared_ptr<UIElement>& element, std::uint32_t x, std::uint32_t y,
                          bool isAbsolute) override;

  void PatternMatched(const std::shared_ptr<UIElement>& element) override;
  void PatternUpdated(const std::shared_ptr<UIElement>& rootElement) override;
  void WindowClosed() override;
  int GetMatchingResult() override;
  std::optional<int> FinalMatchingResult() const override;

  int ExecutedCount() const { return executed_.load(); }
  int MatchCount() const { return matches_.load(); }
  std::size_t SubscriptionCount() const;

 private:
  using Core = ActionResult (ActionsProcessor::*)(const std::shared_ptr<UIElement>&);

  ActionResult MakeAction(const std::shared_ptr<UIElement>& element, Core core, const char* operation);
  ActionResult SetCheckboxCore(const std::shared_ptr<UIElement>& element);
  ActionResult UnsetCheckboxCore(const std::shared_ptr<UIElement>& element);
  ActionResult SelectRadioButtonCore(const std::shared_ptr<UIElement>& element);
  ActionResult PushButtonCore(const std::shared_ptr<UIElement>& element);
  ActionResult ChangeCheckBox(const std::shared_ptr<UIElement>& element, bool check);

  // How a watched control's states read in traces and reports; the instances are static.
  struct WatchedControl {
    const char* kind;  // "CheckBox(": the path follows
    const char* on;
    const char* off;
    const char* name;  // in "Subscribed to <name> changes"
  };
  using SubscribeToState = std::function<std::shared_ptr<Subscription>(std::function<void(bool)>)>;

  // Posted to the engine thread: change handlers run there, and hooks must be set there.
  void WatchChanges(const std::shared_ptr<UIElement>& element, SubscribeToState subscribe,
                    const WatchedControl& control, bool desired);
  void SubscribeCheckBox(const std::shared_ptr<UIElement>& element, std::shared_ptr<CheckBoxPattern> pattern,
                         bool desired);
  void SubscribeRadioButton(const std::shared_ptr<UIElement>& element, std::shared_ptr<RadioButtonPattern> pattern);
  void KeepSubscription(std::shared_ptr<Subscription> subscription);

  void StartMessageBoxWaiter(const std::shared_ptr<UIElement>& element, std::shared_ptr<UniqueHandle> answered);
  int MatchingResultNow() const;
  // The index of the pattern root the latest match was for.
  std::size_t CurrentRoot() const;
  void ReportForElement(const std::shared_ptr<UIElement>& element, std::size_t root, int code, const std::string& userAction = {},
                        const std::string& desiredState = {});

  const int patternId_;
  const std::shared_ptr<Pattern> pattern_;
  const std::size_t rootCount_;
  const PatternVersion version_;
  const std::shared_ptr<engine::ServiceHolder> service_;
  const std::shared_ptr<engine::ProcessedItemsReporter> reporter_;
  const std::shared_ptr<MessageWindow> messageWindow_;

  // Written on the machine's thread, read at the end of the run on the engine thread.
  std::atomic<int> executed_{0};
  std::atomic<int> matches_{0};
  // The failure reported last for the action at the head of the machine's queue; a retry of
  // that same action is not reported again. Machine thread only.
  std::string reportedFailure_;

  mutable std::mutex subscriptionsLock_;
  std::vector<std::shared_ptr<Subscription>> subscriptions_;
  bool windowClosed_ = false;

  // Set once, at destruction: releases every message-box waiter at the same time.
  UniqueHandle waitersStop_;
  std::mutex waitersLock_;
  std::vector<std::unique_ptr<Thread>> waiters_;
};

}  // namespace installation_assistant
