// Deciding whether a pattern root matches a live element tree, and which live element each
// pattern node stands for.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "pattern/pattern_model.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

using MatchedPair = std::pair<std::shared_ptr<PatternElement>, std::shared_ptr<UIElement>>;
// In post-order: a node's children's pairs come before its own, so the root's pair is last.
using MatchedList = std::vector<MatchedPair>;

class PatternMatcher {
 public:
  virtual ~PatternMatcher() = default;
  // On success appends the pairs of the match; on failure leaves the list as it was.
  // An invalid text condition raises and ends the match.
  virtual bool Match(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
                     MatchedList& matched) = 0;
};

// Patterns without wildcards: the trees must agree node for node.
class ExactMatcher final : public PatternMatcher {
 public:
  bool Match(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
             MatchedList& matched) override;
};

// Patterns with "*", AnyLevel or optional nodes: a backtracking search.
class GenericMatcher final : public PatternMatcher {
 public:
  bool Match(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
             MatchedList& matched) override;
};

// Why a step of a match failed, for a tool that explains a match (iae pattern explain).
enum class MatchMiss {
  Type,      // the node test: the element is of another type
  State,     // the node test: a state checker refused the element
  NoName,    // the node test: the node has a text and the element no name
  Name,      // the node test: the name does not match the text
  GaveUp,    // the node test: the regular expression matcher gave up on the name
  LeftOver,  // live elements left over in strict mode: element is the first of them, pattern the parent node
  Missing,   // no live element left for a node that needs one: pattern is the node, element the parent (or null)
};

// Told of each failed step. Set through MatchBounds; the engine sets none, so matching pays nothing for it.
class MatchObserver {
 public:
  virtual ~MatchObserver() = default;
  virtual void Missed(MatchMiss why, const PatternElement* pattern, const UIElement* element) = 0;
};

// How far one processor's matching may go in one pass, in steps (node tests and searches of a
// sub-range: a failed search is not repeated, but its ranges grow with the square of the
// siblings). Set by the machine on its pass thread for each processor; a match with none in
// place gets the default budget (well under a second of work).
inline constexpr std::uint64_t kDefaultNodeTestBudget = 2000000;

class MatchBounds {
 public:
  // stop, when given, ends the match at the next node test once it is set (shutdown).
  explicit MatchBounds(std::uint64_t nodeTestBudget = kDefaultNodeTestBudget,
                       const std::atomic<bool>* stop = nullptr, MatchObserver* observer = nullptr);
  ~MatchBounds();
  MatchBounds(const MatchBounds&) = delete;
  MatchBounds& operator=(const MatchBounds&) = delete;

  std::uint64_t Budget() const { return budget_; }
  std::uint64_t NodeTests() const { return tests_; }
  MatchObserver* Observer() const { return observer_; }
  // Counts one step; throws MatchBudgetExceeded or MatchStopped.
  void CountNodeTest();
  // The bounds in place on the calling thread, if any.
  static MatchBounds* Current();

 private:
  std::uint64_t budget_;
  std::uint64_t tests_ = 0;
  const std::atomic<bool>* stop_;
  MatchObserver* observer_;
  MatchBounds* outer_;
};

// The node tests of one processor's pass ran out: the pass ends for that processor.
class MatchBudgetExceeded : public std::runtime_error {
 public:
  explicit MatchBudgetExceeded(std::uint64_t budget)
      : std::runtime_error("Match budget exceeded"), budget_(budget) {}
  std::uint64_t Budget() const { return budget_; }

 private:
  std::uint64_t budget_;
};

// The machine is shutting down: the match ends at once.
class MatchStopped : public std::runtime_error {
 public:
  MatchStopped() : std::runtime_error("Match stopped") {}
};

// The node test: type, state checkers, then the name against the node's text.
bool IsPatternMatchesElement(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element);

}  // namespace installation_assistant
