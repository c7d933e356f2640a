#include "pattern/matcher.h"

#include <optional>
#include <unordered_set>

#include "common/text.h"
#include "common/trace.h"
#include "pattern/text_condition.h"

namespace installation_assistant {
namespace {

using PatternList = std::vector<std::shared_ptr<PatternElement>>;
using ElementList = std::vector<std::shared_ptr<UIElement>>;

// A view of the tail of a list that the caller keeps alive. The owner (the node or element
// whose children the list holds; null for the root's list) names the list across copies, for
// the search's memory.
template <typename List, typename Owner>
struct Range {
  const List* list;
  const Owner* owner;
  std::size_t begin;

  Range(const List& items, const Owner* listOwner, std::size_t first = 0)
      : list(&items), owner(listOwner), begin(first) {}
  bool Empty() const { return begin >= list->size(); }
  const typename List::value_type& Front() const { return (*list)[begin]; }
  Range Rest() const { return Range(*list, owner, begin + 1); }
};
using Patterns = Range<PatternList, PatternElement>;
using Elements = Range<ElementList, UIElement>;

constexpr char kNodeTest[] = "IsPatternMatchesElement";
constexpr bool kStrict = false;
constexpr bool kLenient = true;

void Report(MatchMiss why, const PatternElement* pattern, const UIElement* element) {
  if (MatchBounds* bounds = MatchBounds::Current(); bounds != nullptr && bounds->Observer() != nullptr) {
    bounds->Observer()->Missed(why, pattern, element);
  }
}

bool Exact(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
           MatchedList& matched) {
  if (!IsPatternMatchesElement(pattern, element)) return false;
  const ElementList elementChildren = element->GetChildren();
  const PatternList patternChildren = pattern->GetChildren();
  if (elementChildren.size() > patternChildren.size()) {
    Report(MatchMiss::LeftOver, pattern.get(), elementChildren[patternChildren.size()].get());
    return false;
  }
  if (elementChildren.size() < patternChildren.size()) {
    Report(MatchMiss::Missing, patternChildren[elementChildren.size()].get(), element.get());
    return false;
  }
  for (std::size_t i = 0; i < patternChildren.size(); ++i) {
    const std::size_t length = matched.size();
    if (!Exact(patternChildren[i], elementChildren[i], matched)) {
      matched.resize(length);
      return false;
    }
  }
  matched.emplace_back(pattern, element);
  return true;
}

// The first node that needs a live element, or null.
const PatternElement* FirstNeeded(Patterns patterns) {
  for (; !patterns.Empty(); patterns = patterns.Rest()) {
    const std::shared_ptr<PatternElement>& node = patterns.Front();
    if (node->GetType() == ElementType::Any || node->IsOptional()) continue;
    if (node->GetType() == ElementType::AnyLevel) {
      bool allOptional = true;
      for (const auto& child : node->GetChildren()) allOptional = allOptional && child->IsOptional();
      if (allOptional) continue;
    }
    return node.get();
  }
  return nullptr;
}

bool CanBeEmpty(Patterns patterns) { return FirstNeeded(patterns) == nullptr; }

// CanBeEmpty where the live elements ran out under parent.
bool NothingMissing(Patterns patterns, const UIElement* parent) {
  const PatternElement* needed = FirstNeeded(patterns);
  if (needed != nullptr) Report(MatchMiss::Missing, needed, parent);
  return needed == nullptr;
}

// A node whose only child is "*" accepts any content without reading it.
ElementList ChildrenFor(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element) {
  const PatternList children = pattern->GetChildren();
  if (children.size() == 1 && children.front()->GetType() == ElementType::Any) return {};
  return element->GetChildren();
}

// The backtracking search. Without memory, nested AnyLevel and "*" try the same
// (pattern range, live range, mode) again and again: exponential on a failing search. A
// failed search leaves the matched list as it was and its outcome depends on nothing else,
// so it is remembered and not searched twice; the order of the alternatives, and so the
// first match found, is unchanged.
class GenericSearch {
 public:
  bool Sequence(Patterns patterns, Elements elements, MatchedList& matched, bool lenient);

 private:
  struct Key {
    const void* patternOwner;
    std::size_t patternBegin;
    const void* elementOwner;
    std::size_t elementBegin;
    std::size_t elementCount;
    bool lenient;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      std::size_t hash = std::hash<const void*>()(key.patternOwner);
      const auto mix = [&hash](std::size_t value) { hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2); };
      mix(key.patternBegin);
      mix(std::hash<const void*>()(key.elementOwner));
      mix(key.elementBegin);
      mix(key.elementCount);
      mix(key.lenient ? 1 : 0);
      return hash;
    }
  };

  bool Core(Patterns patterns, Elements elements, MatchedList& matched, bool lenient);
  bool MatchAny(Patterns patterns, Elements elements, MatchedList& matched);
  bool MatchAnyLevel(Patterns patterns, Elements elements, MatchedList& matched);

  std::unordered_set<Key, KeyHash> failed_;
};

bool GenericSearch::Sequence(Patterns patterns, Elements elements, MatchedList& matched, bool lenient) {
  if (MatchBounds* bounds = MatchBounds::Current()) bounds->CountNodeTest();
  const Key key{patterns.owner, patterns.begin, elements.owner, elements.begin, elements.list->size(), lenient};
  if (failed_.contains(key)) return false;
  const std::size_t length = matched.size();
  bool result = false;
  if (patterns.Empty() || !patterns.Front()->IsOptional()) {
    result = Core(patterns, elements, matched, lenient);
    if (!result) matched.resize(length);
  } else {
    // An optional node: with it and without it, on fresh lists; the longer list wins, ties
    // take the one with the node.
    MatchedList with;
    MatchedList without;
    const bool withSucceeded = Core(patterns, elements, with, lenient);
    const bool withoutSucceeded = Sequence(patterns.Rest(), elements, without, lenient);
    if (withSucceeded || withoutSucceeded) {
      const MatchedList& taken =
          withSucceeded && (!withoutSucceeded || without.size() <= with.size()) ? with : without;
      matched.insert(matched.end(), taken.begin(), taken.end());
      result = true;
    }
  }
  if (!result) failed_.insert(key);
  return result;
}

// "*" that is not optional stands for zero live siblings, then one more at a time. Written
// as a loop rather than as the equivalent recursion per sibling, so that an installer with
// thousands of siblings cannot exhaust a worker thread's stack.
bool GenericSearch::MatchAny(Patterns patterns, Elements elements, MatchedList& matched) {
  for (Elements rest = elements;; rest = rest.Rest()) {
    if (rest.Empty()) return NothingMissing(patterns, rest.owner);
    if (Sequence(patterns.Rest(), rest, matched, kStrict)) return true;
  }
}

// AnyLevel that is not optional, with the alternatives in their order: stand for nothing,
// pass over the first sibling and stay, find the children among the siblings, go one level
// down. Passing over recurses once per sibling; the loops below visit the same states in
// the same order without that recursion.
bool GenericSearch::MatchAnyLevel(Patterns patterns, Elements elements, MatchedList& matched) {
  const std::shared_ptr<PatternElement>& anyLevel = patterns.Front();
  const PatternList children = anyLevel->GetChildren();
  std::vector<Elements> visited;
  for (Elements rest = elements; !rest.Empty(); rest = rest.Rest()) {
    if (Sequence(patterns.Rest(), rest, matched, kStrict)) return true;
    visited.push_back(rest);
  }
  if (CanBeEmpty(patterns)) return true;
  for (auto it = visited.rbegin(); it != visited.rend(); ++it) {
    if (Sequence(Patterns(children, anyLevel.get()), *it, matched, kLenient)) return true;
    const std::shared_ptr<UIElement>& parent = it->Front();
    const ElementList below = parent->GetChildren();
    if (Sequence(patterns, Elements(below, parent.get()), matched, kLenient)) return true;
  }
  return false;
}

bool GenericSearch::Core(Patterns patterns, Elements elements, MatchedList& matched, bool lenient) {
  while (true) {
    if (elements.Empty()) return NothingMissing(patterns, elements.owner);
    if (patterns.Empty()) {
      if (!lenient) Report(MatchMiss::LeftOver, patterns.owner, elements.Front().get());
      return lenient;
    }
    const std::shared_ptr<PatternElement>& node = patterns.Front();

    if (node->GetType() == ElementType::Any) {
      if (!node->IsOptional()) return MatchAny(patterns, elements, matched);
      return Sequence(patterns.Rest(), elements, matched, kStrict) ||
             Sequence(patterns, elements.Rest(), matched, kStrict);
    }
    if (node->GetType() == ElementType::AnyLevel) {
      if (!node->IsOptional()) return MatchAnyLevel(patterns, elements, matched);
      const PatternList children = node->GetChildren();
      if (Sequence(patterns.Rest(), elements, matched, kStrict)) return true;
      if (Sequence(patterns, elements.Rest(), matched, kStrict)) return true;
      if (Sequence(Patterns(children, node.get()), elements, matched, kLenient)) return true;
      const std::shared_ptr<UIElement>& parent = elements.Front();
      const ElementList below = parent->GetChildren();
      if (Sequence(patterns, Elements(below, parent.get()), matched, kLenient)) return true;
      return true;  // an optional AnyLevel may stand for nothing at all
    }

    const std::shared_ptr<UIElement>& element = elements.Front();
    bool nodeMatched = false;
    if (IsPatternMatchesElement(node, element)) {
      const PatternList patternChildren = node->GetChildren();
      const ElementList elementChildren = ChildrenFor(node, element);
      nodeMatched = Sequence(Patterns(patternChildren, node.get()), Elements(elementChildren, element.get()), matched,
                             kStrict);
    }
    if (nodeMatched) {
      matched.emplace_back(node, element);
      elements = elements.Rest();
    } else if (!node->IsOptional()) {
      return false;
    }
    patterns = patterns.Rest();
  }
}

thread_local MatchBounds* currentBounds = nullptr;

}  // namespace

MatchBounds::MatchBounds(std::uint64_t nodeTestBudget, const std::atomic<bool>* stop, MatchObserver* observer)
    : budget_(nodeTestBudget), stop_(stop), observer_(observer), outer_(currentBounds) {
  currentBounds = this;
}

MatchBounds::~MatchBounds() { currentBounds = outer_; }

MatchBounds* MatchBounds::Current() { return currentBounds; }

void MatchBounds::CountNodeTest() {
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) throw MatchStopped();
  if (++tests_ > budget_) throw MatchBudgetExceeded(budget_);
}

bool IsPatternMatchesElement(const std::shared_ptr<PatternElement>& pattern,
                             const std::shared_ptr<UIElement>& element) {
  if (MatchBounds* bounds = MatchBounds::Current()) bounds->CountNodeTest();
  if (element->GetType() != pattern->GetType()) {
    Report(MatchMiss::Type, pattern.get(), element.get());
    return false;
  }
  for (const StateChecker& checker : pattern->GetCheckers()) {
    if (!checker(element)) {
      TRACE_AS(Info, kNodeTest) << "Control " << element->GetPath() << " not matched by initial checker";
      Report(MatchMiss::State, pattern.get(), element.get());
      return false;
    }
  }
  const Option<std::string>& text = pattern->GetText();
  if (text.IsNone()) return true;
  const Option<std::wstring>& name = element->WideNameAsSeen();
  if (name.IsNone()) {
    Report(MatchMiss::NoName, pattern.get(), element.get());
    return false;
  }
  if (IsTraceEnabled(TraceLevel::Debug)) {
    TRACE_AS(Debug, kNodeTest) << "Trying to match " << element->GetName().Get() << " with " << text.Get();
  }

  switch (pattern->GetCompiledText()->MatchWhole(name.Get())) {
    case TextMatch::Matched:
      return true;
    case TextMatch::NotMatched:
      Report(MatchMiss::Name, pattern.get(), element.get());
      return false;
    case TextMatch::GaveUp:
      TRACE_AS(Warning, kNodeTest) << "Control " << element->GetPath() << " not matched: its name of "
                                   << element->GetName().Get().size()
                     << " bytes is too complex for the text " << text.Get();
      Report(MatchMiss::GaveUp, pattern.get(), element.get());
      return false;
  }
  return false;
}

bool ExactMatcher::Match(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
                         MatchedList& matched) {
  if (IsTraceEnabled(TraceLevel::Info)) {
    TRACE(Info) << "Exact matching:\n\t\tpattern = " << pattern->Describe() << " vs\n\t\tui      = "
                << element->TreeDescriptionAsSeen();
  }
  std::optional<MatchBounds> ownBounds;
  if (MatchBounds::Current() == nullptr) ownBounds.emplace();
  const std::size_t length = matched.size();
  const bool result = Exact(pattern, element, matched);
  if (!result) matched.resize(length);
  TRACE(Info) << (result ? "Exactly Matched" : "Exactly Not matched");
  return result;
}

bool GenericMatcher::Match(const std::shared_ptr<PatternElement>& pattern, const std::shared_ptr<UIElement>& element,
                           MatchedList& matched) {
  if (IsTraceEnabled(TraceLevel::Info)) {
    TRACE(Info) << "Generic matching:\n\t\tpattern = " << pattern->Describe() << " vs\n\t\tui      = "
                << element->TreeDescriptionAsSeen();
  }
  std::optional<MatchBounds> ownBounds;
  if (MatchBounds::Current() == nullptr) ownBounds.emplace();
  const PatternList patterns{pattern};
  const ElementList elements{element};
  GenericSearch search;
  const bool result = search.Sequence(Patterns(patterns, nullptr), Elements(elements, nullptr), matched, kStrict);
  TRACE(Info) << (result ? "Generaly Matched" : "Generaly Not matched");
  return result;
}

}  // namespace installation_assistant
