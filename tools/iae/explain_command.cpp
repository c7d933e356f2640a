// `iae pattern explain`: the engine's matchers run on a page, with an observer that hears each failed step. The
// search backtracks, so many steps fail on the way to the outcome; the one told is the step that got furthest into
// the pattern (in the order the nodes are written), and of those on one node the nearest miss (a wrong name is
// nearer than a wrong type).
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>

#include "common/handles.h"
#include "file_text.h"
#include "page_commands.h"
#include "pattern/matcher.h"
#include "pattern_command.h"
#include "skeleton.h"
#include "watch/pattern_processor.h"

namespace iae_tool {
namespace {

using installation_assistant::ElementSource;
using installation_assistant::ElementType;
using installation_assistant::ElementTypeName;
using installation_assistant::MatchedList;
using installation_assistant::MatchMiss;
using installation_assistant::PatternElement;
using installation_assistant::PatternRoot;
using installation_assistant::SourcePosition;
using installation_assistant::UIAccessType;
using installation_assistant::UIElement;

// Each node's place in the written order and where it was written.
struct NodePlace {
  std::size_t order = 0;
  std::size_t last = 0;  // the order of the last node of its subtree
  ElementSource source;
};

class Places {
 public:
  Places(const installation_assistant::Pattern& pattern, const installation_assistant::PatternSource& source) {
    for (const PatternRoot& root : pattern.GetRoots()) Walk(*root.element, source);
  }
  const NodePlace& Of(const PatternElement* node) const { return places_.at(node); }

 private:
  void Walk(const PatternElement& node, const installation_assistant::PatternSource& source) {
    NodePlace& place = places_[&node];
    place.order = next_++;
    if (place.order < source.elements.size()) place.source = source.elements[place.order];
    for (const auto& child : node.GetChildren()) Walk(*child, source);
    places_[&node].last = next_ - 1;
  }

  std::map<const PatternElement*, NodePlace> places_;
  std::size_t next_ = 0;
};

std::string Describe(const UIElement* element) {
  auto& live = const_cast<UIElement&>(*element);
  const auto name = live.GetName();
  return ElementTypeName(live.GetType()) + (name ? " \"" + name.Get() + "\"" : "") + " at " + live.GetPath();
}

// The state a node's checker wants, from its desired state.
std::string WantedState(const PatternElement& node) {
  for (const auto& action : node.GetActions()) {
    if (action->GetName() == "off") return "'{ off }' matches only a checked box";
    if (action->GetName() == "on") {
      return node.GetType() == ElementType::RadioButton ? "'{ on }' matches only a radio button not yet selected"
                                                        : "'{ on }' matches only an unchecked box";
    }
  }
  return "its state checker refuses it";
}

std::string SeenState(UIElement& element) {
  if (element.GetType() == ElementType::CheckBox) {
    const auto checked = element.CheckedAsSeen();
    if (checked) return checked.Get() ? "checked" : "unchecked";
  }
  if (element.GetType() == ElementType::RadioButton) {
    const auto selected = element.SelectedAsSeen();
    if (selected) return selected.Get() ? "selected" : "not selected";
  }
  return "in another state";
}

struct Miss {
  MatchMiss why;
  const PatternElement* pattern;
  const UIElement* element;
  std::size_t order;
  int nearness;
};

class Observer final : public installation_assistant::MatchObserver {
 public:
  explicit Observer(const Places& places) : places_(places) {}

  void Missed(MatchMiss why, const PatternElement* pattern, const UIElement* element) override {
    if (pattern == nullptr) return;
    const NodePlace& place = places_.Of(pattern);
    // Live elements left over come after the parent's last node.
    const Miss miss{why, pattern, element, why == MatchMiss::LeftOver ? place.last : place.order, Nearness(why)};
    misses_.push_back(miss);
  }

  // The step that got furthest, and the furthest on another node, if any.
  std::vector<Miss> Told() const {
    const auto further = [](const Miss& a, const Miss& b) {
      return std::tie(a.order, a.nearness) < std::tie(b.order, b.nearness);
    };
    std::vector<Miss> told;
    for (const Miss& miss : misses_) {
      if (told.empty() || further(told.front(), miss)) told.assign(1, miss);
    }
    if (told.empty()) return told;
    const Miss* other = nullptr;
    for (const Miss& miss : misses_) {
      if (miss.pattern != told.front().pattern && (other == nullptr || further(*other, miss))) other = &miss;
    }
    if (other != nullptr) told.push_back(*other);
    return told;
  }

 private:
  static int Nearness(MatchMiss why) {
    switch (why) {
      case MatchMiss::Missing: return 0;
      case MatchMiss::Type: return 1;
      case MatchMiss::LeftOver: return 3;
      default: return 2;
    }
  }

  const Places& places_;
  std::vector<Miss> misses_;
};

std::string Why(const Miss& miss) {
  const PatternElement& node = *miss.pattern;
  const std::string text = node.GetText() ? "/" + node.GetText().Get() + "/" : "";
  switch (miss.why) {
    case MatchMiss::Type:
      return "type: " + Describe(miss.element) + " is not a " + ElementTypeName(node.GetType());
    case MatchMiss::State:
      return "state: " + Describe(miss.element) + " is " + SeenState(const_cast<UIElement&>(*miss.element)) + ", and " +
             WantedState(node);
    case MatchMiss::NoName:
      return "name: " + Describe(miss.element) + " has no name, and the text " + text + " needs one";
    case MatchMiss::Name:
      return "name: " + Describe(miss.element) + ": its name does not match " + text +
             " (a regular expression, matched against the whole name)";
    case MatchMiss::GaveUp:
      return "name: the regular expression matcher gave up on the name of " + Describe(miss.element) + " with " + text;
    case MatchMiss::LeftOver:
      return "left over: " + Describe(miss.element) + " has no node among the children of this " +
             ElementTypeName(node.GetType()) + ": each live element needs one, or a '*' for it";
    case MatchMiss::Missing:
      return "missing: no live element is left for this " + ElementTypeName(node.GetType()) +
             (miss.element ? " among the children of " + Describe(miss.element) : std::string());
  }
  return "";
}

class Explainer {
 public:
  Explainer(const std::string& file, const installation_assistant::Pattern& pattern, const Places& places,
            std::ostream& out)
      : file_(file), pattern_(pattern), places_(places), out_(out) {}

  void Say(const ElementSource& at, Severity severity, const std::string& text) {
    PrintProblem(file_, Problem{at.keyword, severity, text}, out_);
  }
  void Say(SourcePosition at, Severity severity, const std::string& text) {
    PrintProblem(file_, Problem{at, severity, text}, out_);
  }

  // True when the root matched.
  bool Root(std::size_t number, const PatternRoot& root, HWND window, const std::string& page) {
    const ElementSource& at = places_.Of(root.element.get()).source;
    const std::shared_ptr<installation_assistant::PatternMatcher> matcher =
        installation_assistant::MakeMatcherFor(pattern_);
    const std::string what = "root " + std::to_string(number) + " (" + AccessName(root.accessType) + ") on page \"" +
                             page + "\", " + (pattern_.IsGeneric() ? "generic" : "exact") + " matcher: ";
    std::shared_ptr<UIElement> tree;
    try {
      tree = installation_assistant::CreateRootElement(root.accessType, window);
      tree->Refresh();
    } catch (const _com_error& error) {
      Say(at, Severity::Error, what + "the window cannot be read (HRESULT " + std::to_string(error.Error()) + ")");
      return false;
    }
    Observer observer(places_);
    MatchedList matched;
    bool result = false;
    {
      installation_assistant::MatchBounds bounds(installation_assistant::kDefaultNodeTestBudget, nullptr, &observer);
      try {
        result = matcher->Match(root.element, tree, matched);
      } catch (const installation_assistant::MatchBudgetExceeded& error) {
        Say(at, Severity::Error, what + "budget: the search took more than " + std::to_string(error.Budget()) +
                                     " steps and was given up, as the engine gives it up; fewer '*' and AnyLevel help");
        return false;
      } catch (const std::runtime_error& error) {
        Say(at, Severity::Error, what + "a text is not a valid regular expression: " + error.what());
        return false;
      }
    }
    if (!result) {
      Say(at, Severity::Note, what + "no match");
      const std::vector<Miss> told = observer.Told();
      for (std::size_t i = 0; i < told.size(); ++i) {
        const ElementSource& where = places_.Of(told[i].pattern).source;
        const bool onText = told[i].why == MatchMiss::Name || told[i].why == MatchMiss::NoName ||
                            told[i].why == MatchMiss::GaveUp;
        const SourcePosition position = onText && where.text ? where.text.Get() : where.keyword;
        Say(position, i == 0 ? Severity::Error : Severity::Note,
            (i == 0 ? "" : "also: ") + Why(told[i]));
      }
      if (told.empty()) Say(at, Severity::Error, "no step of the match said why it failed");
      return false;
    }
    Say(at, Severity::Note, what + "matched");
    struct Keyed {
      std::int32_t key;
      std::string text;
      SourcePosition at;
    };
    std::vector<Keyed> actions;
    for (const auto& [node, element] : matched) {
      const ElementSource& where = places_.Of(node.get()).source;
      Say(where, Severity::Note, ElementTypeName(node->GetType()) + " -> " + Describe(element.get()));
      for (const auto& action : node->GetActions()) {
        const SourcePosition position = !action->IsPixelClick() && where.state ? where.state.Get() : where.keyword;
        std::string text = action->GetName();
        if (const auto& point = action->GetClickPoint()) {
          text += " at " + std::to_string(point.Get().x) + (point.Get().isAbsolute ? "," : "%,") +
                  std::to_string(point.Get().y) + (point.Get().isAbsolute ? "" : "%");
        }
        actions.push_back(Keyed{static_cast<std::int32_t>(action->GetIndex()),
                                text + " on " + element->GetPath() + " (index " + std::to_string(action->GetIndex()) +
                                    ")",
                                position});
      }
    }
    // In the order the engine runs them: by index, as signed numbers; equal ones as matched.
    std::stable_sort(actions.begin(), actions.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (std::size_t i = 0; i < actions.size(); ++i) {
      Say(actions[i].at, Severity::Note, "action " + std::to_string(i + 1) + ": " + actions[i].text);
    }
    if (actions.empty()) Say(at, Severity::Note, "no actions would run");
    return true;
  }

 private:
  const std::string& file_;
  const installation_assistant::Pattern& pattern_;
  const Places& places_;
  std::ostream& out_;
};

}  // namespace

int RunExplain(const std::string& patternFile, const std::string& scenarioFile, const ExplainOptions& options,
               std::istream& in, std::ostream& out, std::ostream& err) {
  std::string text;
  if (const std::string why = ReadInputText(patternFile, in, text); !why.empty()) {
    err << InputName(patternFile) << ": error: cannot read the file: " << why << "\n";
    return kPagePatternUnreadable;
  }
  installation_assistant::PatternSource source;
  std::vector<Problem> problems;
  const auto parsed = ParsePatternText(text, source, problems);
  for (const Problem& problem : problems) PrintProblem(patternFile, problem, err);
  if (!parsed) return kPageFailed;
  const installation_assistant::Pattern& pattern = *parsed.Get().pattern;
  const Places places(pattern, source);

  std::vector<std::pair<std::size_t, PatternRoot>> roots;
  const auto all = pattern.GetRoots();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (options.backend && all[i].accessType != *options.backend) continue;
    if (options.root && static_cast<std::size_t>(*options.root) != i + 1) continue;
    roots.emplace_back(i + 1, all[i]);
  }
  if (roots.empty()) {
    err << InputName(patternFile) << ": error: no root of the pattern "
        << (options.root ? "has that number" : "is read through that backend") << " (it has " << all.size()
        << ")\n";
    return kPageFailed;
  }
  return WithPage(scenarioFile, options.page, err, [&](HWND window, const std::string& page) {
    installation_assistant::ComInitialization com(COINIT_MULTITHREADED);
    Explainer explainer(patternFile, pattern, places, out);
    for (const auto& [number, root] : roots) {
      if (!explainer.Root(number, root, window, page)) return kPageFailed;
    }
    return kPageOk;
  });
}

}  // namespace iae_tool
