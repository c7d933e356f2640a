// Fuzzes the matchers: a random element tree against a pattern, under the budget the engine's machines give each
// pattern's pass.
//
// Input: a node count N, then two bytes per node (type and place in the tree, name), then the pattern's text.
// Checks: a match returns within the budget or raises what the machines expect of it (the budget ran out, an
// invalid regular expression), and nothing else; a match that fails leaves the list as it was; a match appends its
// pairs in post-order, each passing the node test, ending with the root's pair unless the root is a wildcard; the
// exact matcher and the generic search agree on patterns without wildcards.
#include <boost/regex/pattern_except.hpp>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pattern/fake_element.h"
#include "pattern/matcher.h"
#include "pattern/parser.h"
#include "watch/pattern_processor.h"

namespace {

using namespace installation_assistant;
using installation_assistant::testing::FakeElement;
using installation_assistant::testing::Live;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr ElementType kTypes[16] = {
    ElementType::Window, ElementType::Pane,      ElementType::Button,   ElementType::CheckBox,
    ElementType::RadioButton, ElementType::Text, ElementType::Custom,   ElementType::Group,
    ElementType::Tab,    ElementType::TabItem,   ElementType::List,     ElementType::ListItem,
    ElementType::Edit,   ElementType::Hyperlink, ElementType::Document, ElementType::Pane};

// Index 0: no name. Long and repetitive names give the regular expressions work.
const char* const kNames[16] = {nullptr,
                                "",
                                "Next >",
                                "< Back",
                                "Cancel",
                                "Install",
                                "I accept the terms",
                                "Yes, install the toolbar",
                                "Custom installation (advanced)",
                                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab",
                                "Offer",
                                "\xc3\xa9t\xc3\xa9 \xe2\x82\xac",
                                "two\nlines",
                                "&Next",
                                "\xed\xa0\x80 lone",
                                "*.?[]{}()\\"};

struct FlatNode {
  int parent;
  Live live;
};

Live Assemble(std::vector<FlatNode>& nodes, int index) {
  Live live = nodes[index].live;
  for (std::size_t i = index + 1; i < nodes.size(); ++i) {
    if (nodes[i].parent == index) live.children.push_back(Assemble(nodes, static_cast<int>(i)));
  }
  return live;
}

Live ReadTree(iae_fuzz::FuzzInput& input) {
  const unsigned count = input.Byte() % 96 + 1;
  std::vector<FlatNode> nodes;
  for (unsigned i = 0; i < count; ++i) {
    const std::uint8_t shape = input.Byte();
    const std::uint8_t naming = input.Byte();
    FlatNode node{-1, Live{kTypes[shape & 15], std::nullopt, {}, std::nullopt, std::nullopt, RECT{}}};
    if (const char* name = kNames[naming & 15]) node.live.name = name;
    if (naming >> 4) node.live.name = node.live.name.value_or("") + std::string(naming >> 4, 'a');
    const int state = shape >> 6;  // none, off, on, on
    if (state != 0 && node.live.type == ElementType::CheckBox) node.live.checked = state != 1;
    if (state != 0 && node.live.type == ElementType::RadioButton) node.live.selected = state != 1;
    if (i > 0) {
      // 0: a child of the node before, 1: its sibling, 2 and 3: one or two levels further up; never above the root.
      int parent = static_cast<int>(i) - 1;
      for (int up = (shape >> 4) & 3; up > 0 && parent > 0; --up) parent = nodes[parent].parent;
      node.parent = parent;
    }
    nodes.push_back(std::move(node));
  }
  return Assemble(nodes, 0);
}

// Runs one matcher under the engine's budget; None when it raised what the machines catch.
Option<bool> MatchWithin(PatternMatcher& matcher, const std::shared_ptr<PatternElement>& pattern,
                         const std::shared_ptr<UIElement>& root, MatchedList& matched) {
  MatchBounds bounds(kDefaultNodeTestBudget);
  try {
    const bool result = matcher.Match(pattern, root, matched);
    Check(bounds.NodeTests() <= bounds.Budget());
    return Option<bool>::Some(result);
  } catch (const MatchBudgetExceeded& exceeded) {
    Check(exceeded.Budget() == kDefaultNodeTestBudget && bounds.NodeTests() == kDefaultNodeTestBudget + 1);
  } catch (const boost::regex_error&) {
  }
  return Option<bool>::None();
}

// True when node is pattern or lies below it.
bool Within(const PatternElement* node, const std::shared_ptr<PatternElement>& pattern) {
  if (node == pattern.get()) return true;
  for (const auto& child : pattern->GetChildren()) {
    if (Within(node, child)) return true;
  }
  return false;
}

void CheckMatch(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& root,
                const MatchedList& matched, const MatchedPair& sentinel) {
  // A match appends; what the caller had in the list stays.
  Check(!matched.empty() && matched.front() == sentinel);
  switch (pattern->GetType()) {
    case ElementType::Any:
      // "*" stands for the window without pairing it.
      Check(matched.size() == 1);
      break;
    case ElementType::AnyLevel:
      // Its children are found at any depth, or (optional, or with only optional children) none at all: the pairs
      // are its descendants', in any number.
      break;
    default:
      // A concrete root pairs with the window last, optional or not (leaving it out leaves the window unmatched).
      Check(matched.size() > 1 && matched.back() == MatchedPair(pattern, root));
  }
  for (std::size_t i = 1; i < matched.size(); ++i) {
    const ElementType type = matched[i].first->GetType();
    Check(type != ElementType::Any && type != ElementType::AnyLevel);
    Check(Within(matched[i].first.get(), pattern));
    Check(IsPatternMatchesElement(matched[i].first, matched[i].second));
    // Post-order: no child of this node may come after it.
    for (std::size_t j = i + 1; j < matched.size(); ++j) {
      for (const auto& child : matched[i].first->GetChildren()) Check(matched[j].first != child);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  iae_fuzz::FuzzInput input(data, size);
  const std::shared_ptr<FakeElement> root = FakeElement::Build(ReadTree(input));
  Option<ParsedPattern> parsed;
  try {
    parsed = ParsePattern(input.Rest());
  } catch (const std::runtime_error&) {
    return 0;  // an unreadable version: pattern_fuzz checks that one
  }
  if (!parsed) return 0;
  const Pattern& pattern = *parsed.Get().pattern;
  const std::shared_ptr<PatternMatcher> matcher = MakeMatcherFor(pattern);
  const MatchedPair sentinel{nullptr, root};

  for (const PatternRoot& patternRoot : pattern.GetRoots()) {
    MatchedList matched{sentinel};
    const Option<bool> result = MatchWithin(*matcher, patternRoot.element, root, matched);
    if (result.IsSome() && result.Get()) {
      CheckMatch(patternRoot.element, root, matched, sentinel);
    } else if (result.IsSome()) {
      Check(matched.size() == 1 && matched.front() == sentinel);
    } else {
      // A raise may leave pairs behind (the callers drop the list then), but never touches what was there.
      Check(!matched.empty() && matched.front() == sentinel);
    }
    if (!pattern.IsGeneric() && result.IsSome()) {
      GenericMatcher generic;
      MatchedList searched{sentinel};
      const Option<bool> other = MatchWithin(generic, patternRoot.element, root, searched);
      if (other.IsSome()) Check(other.Get() == result.Get());
    }
  }
  return 0;
}
