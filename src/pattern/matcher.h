// Deciding whether a pattern root matches a live element tree, and which live element each
// pattern node stands for.
#pragma once

#include <memory>
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

// The node test: type, state checkers, then the name against the node's text.
bool IsPatternMatchesElement(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element);

// Type names with children in braces, "()" for a childless control, "{}" otherwise.
std::string DescribeLiveElement(const std::shared_ptr<UIElement>& element);

}  // namespace installation_assistant
