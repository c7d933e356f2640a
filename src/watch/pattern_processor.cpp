#include "watch/pattern_processor.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "common/trace.h"

namespace installation_assistant {
namespace {

struct KeyedAction {
  std::int32_t key;
  QueuedAction action;
};

// A refused action may come without a follow-up; the machine still needs something to call.
Continuation OrNothing(std::function<void()> followUp) {
  if (followUp) return followUp;
  return [] {};
}

}  // namespace

PatternProcessor::PatternProcessor(std::vector<PatternRoot> roots, std::shared_ptr<IPatternListener> listener,
                                   std::shared_ptr<IActionsProcessor> actionsProcessor,
                                   std::shared_ptr<PatternMatcher> matcher, int patternId)
    : roots_(roots.begin(), roots.end()),
      listener_(std::move(listener)),
      actionsProcessor_(std::move(actionsProcessor)),
      matcher_(std::move(matcher)),
      patternId_(patternId) {}

Option<PatternRoot> PatternProcessor::CurrentRoot() const {
  if (roots_.empty()) return Option<PatternRoot>::None();
  return Option<PatternRoot>::Some(roots_.front());
}

bool PatternProcessor::Advance() {
  if (!roots_.empty()) roots_.pop_front();
  return !roots_.empty();
}

bool PatternProcessor::Match(const std::shared_ptr<UIElement>& root, MatchedList& matched) {
  if (!MatchCurrentRoot(root, matched)) return false;
  NotifyMatched(root);
  return true;
}

bool PatternProcessor::MatchCurrentRoot(const std::shared_ptr<UIElement>& root, MatchedList& matched) {
  if (roots_.empty()) return false;
  return matcher_->Match(roots_.front().element, root, matched);
}

std::vector<QueuedAction> PatternProcessor::BuildActions(const std::shared_ptr<UIElement>& root,
                                                         const MatchedList& matched) const {
  std::vector<KeyedAction> keyed;
  for (const auto& [patternElement, element] : matched) {
    for (const std::shared_ptr<PatternAction>& action : patternElement->GetActions()) {
      MachineAction run = [actions = actionsProcessor_, element = element, action]() -> Option<Continuation> {
        if (!element->IsEnabled()) {
          TRACE(Info) << "Element is disabled";
          return Option<Continuation>::Some([path = element->GetPath()] {
            TRACE(Error) << "Cannot execute action " << path << " is disabled";
          });
        }
        ActionResult result = action->Execute(element, actions);
        if (!result.failed) return Option<Continuation>::None();
        return Option<Continuation>::Some(OrNothing(std::move(result.followUp)));
      };
      QueuedAction queued{std::move(run)};
      if (action->SetsState()) {
        queued.setsStateOf = element;
        queued.controlType = patternElement->GetType();
      } else {
        queued.mayChangeAnything = true;
      }
      keyed.push_back(KeyedAction{static_cast<std::int32_t>(action->GetIndex()), std::move(queued)});
    }
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const KeyedAction& left, const KeyedAction& right) { return left.key < right.key; });

  std::vector<QueuedAction> actions;
  actions.reserve(keyed.size() + 1);
  for (KeyedAction& entry : keyed) actions.push_back(std::move(entry.action));
  if (!actions.empty()) {
    actions.push_back(QueuedAction{[listener = listener_, root]() -> Option<Continuation> {
      TRACE(Debug) << "Going to report results";
      listener->PatternUpdated(root);
      return Option<Continuation>::None();
    }});
  }
  return actions;
}

ElementResolver OneLookPerPass(ElementResolver resolver) {
  auto looked = std::make_shared<std::map<UIAccessType, std::shared_ptr<UIElement>>>();
  return [resolver = std::move(resolver), looked](const Option<PatternRoot>& root) -> Option<std::shared_ptr<UIElement>> {
    if (root.IsNone()) return Option<std::shared_ptr<UIElement>>::None();
    const auto found = looked->find(root.Get().accessType);
    if (found != looked->end()) return Option<std::shared_ptr<UIElement>>::Some(found->second);
    Option<std::shared_ptr<UIElement>> element = resolver(root);
    if (element.IsSome()) looked->emplace(root.Get().accessType, element.Get());
    return element;
  };
}

std::shared_ptr<PatternMatcher> MakeMatcherFor(const Pattern& pattern) {
  if (pattern.IsGeneric()) return std::make_shared<GenericMatcher>();
  return std::make_shared<ExactMatcher>();
}

}  // namespace installation_assistant
