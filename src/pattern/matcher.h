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

// How far one processor's matching may go in one pass, in steps (node tests and searches of a
// sub-range: a failed search is not repeated, but its ranges grow with the square of the
// siblings). Set by the machine on its pass thread for each processor; a match with none in
// place gets the default budget (well under a second of work).
inline constexpr std::uint64_t kDefaultNodeTestBudget = 2000000;

class MatchBounds {
 public:
  // stop, when given, ends the match at the next node test once it is set (shutdown).
  explicit MatchBounds(std::uint64_t nodeTestBudget = kDefaultNodeTestBudget,
                       const std::atomic<bool>* stop = nullptr);
  ~MatchBounds();
  MatchBounds(const MatchBounds&) = delete;
  MatchBounds& operator=(const MatchBounds&) = delete;

  std::uint64_t Budget() const { return budget_; }
  std::uint64_t NodeTests() const { return tests_; }
  // Counts one step; throws MatchBudgetExceeded or MatchStopped.
  void CountNodeTest();
  // The bounds in place on the calling thread, if any.
  static MatchBounds* Current();

 private:
  std::uint64_t budget_;
  std::uint64_t tests_ = 0;
  const std::atomic<bool>* stop_;
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

// Type names with children in braces, "()" for a childless control, "{}" otherwise.
std::string DescribeLiveElement(const std::shared_ptr<UIElement>& element);

}  // namespace installation_assistant
