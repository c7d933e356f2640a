// A pattern's progress through its roots in one machine, and the actions a match queues.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "actions/pattern_listener.h"
#include "common/option.h"
#include "pattern/matcher.h"
#include "pattern/pattern_model.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

// Called when the action it came from is given up or replaced; says why it did not run.
using Continuation = std::function<void()>;
// Empty result: done. A continuation: not carried out, to be run again on the next pass.
using MachineAction = std::function<Option<Continuation>()>;
// A queued action and what it may change in the window.
struct QueuedAction {
  MachineAction run;
  // The control whose check or selection state the action sets, and the control's type; none when it sets no
  // state.
  std::shared_ptr<UIElement> setsStateOf;
  ElementType controlType = ElementType::Unknown;
  // A push, a click, a message box: anything in the window may change. A report changes nothing.
  bool mayChangeAnything = false;
};

// The freshly refreshed element a pattern root is matched from; nothing for no root.
using ElementResolver = std::function<Option<std::shared_ptr<UIElement>>(const Option<PatternRoot>&)>;

// One look at the window per access type for a whole pass, whatever the number of patterns: the first root of
// each access type is resolved, later ones get the same element. Matching reads only what an element caches, and
// no action runs before the pass's matching ends, so every processor sees the state the first one saw.
ElementResolver OneLookPerPass(ElementResolver resolver);

// Used by one machine only, under that machine's lock.
class PatternProcessor {
 public:
  PatternProcessor(std::vector<PatternRoot> roots, std::shared_ptr<IPatternListener> listener,
                   std::shared_ptr<IActionsProcessor> actionsProcessor, std::shared_ptr<PatternMatcher> matcher,
                   int patternId = 0);

  Option<PatternRoot> CurrentRoot() const;
  // Drops the current root; true while roots remain.
  bool Advance();
  bool HasRoots() const { return !roots_.empty(); }
  // Matches the current root against the live root; the listener hears of a match.
  bool Match(const std::shared_ptr<UIElement>& root, MatchedList& matched);
  // The two halves of Match: a match that may not act yet is not told to the listener.
  bool MatchCurrentRoot(const std::shared_ptr<UIElement>& root, MatchedList& matched);
  void NotifyMatched(const std::shared_ptr<UIElement>& root) { listener_->PatternMatched(root); }
  void WindowClosed() { listener_->WindowClosed(); }
  int PatternId() const { return patternId_; }
  // Element actions in ascending action index, then the report action when there is any.
  std::vector<QueuedAction> BuildActions(const std::shared_ptr<UIElement>& root, const MatchedList& matched) const;

  const std::shared_ptr<IActionsProcessor>& ActionsProcessor() const { return actionsProcessor_; }

 private:
  std::deque<PatternRoot> roots_;
  std::shared_ptr<IPatternListener> listener_;
  std::shared_ptr<IActionsProcessor> actionsProcessor_;
  std::shared_ptr<PatternMatcher> matcher_;
  int patternId_;
};

// The matcher a pattern's processors use: generic patterns need the backtracking one.
std::shared_ptr<PatternMatcher> MakeMatcherFor(const Pattern& pattern);

}  // namespace installation_assistant
