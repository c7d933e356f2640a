#include "pattern/matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "common/trace_capture.h"
#include "pattern/fake_element.h"
#include "pattern/parser.h"
#include "pattern/small_stack.h"
#include "pattern/text_condition.h"
#include "recording_host.h"

namespace installation_assistant {
namespace {

using testing::FakeElement;
using testing::Live;

std::shared_ptr<PatternElement> Root(const std::string& body) {
  const std::string text = "EngineVersion = \"1.5.0.0\"\n" + body;
  Option<ParsedPattern> parsed = ParsePattern(text);
  if (parsed.IsNone()) ADD_FAILURE() << "pattern does not parse: " << body;
  return parsed.Get().pattern->GetRoots().at(0).element;
}

Live Window(std::vector<Live> children, std::optional<std::string> name = "Setup") {
  return {ElementType::Window, std::move(name), std::move(children)};
}
Live Button(std::string name) { return {ElementType::Button, std::move(name), {}}; }
Live Box(std::string name, bool checked) { return {ElementType::CheckBox, std::move(name), {}, checked}; }
Live TextOf(std::string name) { return {ElementType::Text, std::move(name), {}}; }
Live Pane(std::vector<Live> children) { return {ElementType::Pane, std::nullopt, std::move(children)}; }

// Each miss as "why NodeType ElementPath".
struct MissLog final : MatchObserver {
  void Missed(MatchMiss why, const PatternElement* pattern, const UIElement* element) override {
    static const char* const kWhy[] = {"type", "state", "no name", "name", "gave up", "left over", "missing"};
    lines.push_back(std::string(kWhy[static_cast<int>(why)]) + " " + ElementTypeName(pattern->GetType()) + " " +
                    (element ? element->GetPath() : "-"));
  }
  std::vector<std::string> lines;
};

// Pairs as "PatternType=LivePath", in list order.
std::vector<std::string> Pairs(const MatchedList& matched) {
  std::vector<std::string> out;
  for (const auto& [pattern, element] : matched) out.push_back(ElementTypeName(pattern->GetType()) + "=" + element->GetPath());
  return out;
}

TEST(NodeTest, NameTypeAndStateConditions) {
  struct Case {
    const char* node;
    Live live;
    bool matches;
  };
  const Live nameless{ElementType::Button};
  const Case cases[] = {
      {"Button (text=\"Setup.*\") { push }", Button("Setup - Sample App"), true},
      {"Button (text=\"Setup.*\") { push }", Button("Setup"), true},
      {"Button (text=\"Setup.*\") { push }", Button("My Setup wizard"), false},  // a full match, not a search
      {"Button (text=\"setup\") { push }", Button("Setup"), false},              // case matters
      {"Button (text=\"Setup\") { push }", Button("Setup"), true},
      {"Button (text=\"Set\") { push }", Button("Setup"), false},
      {"Button (text=\"Setup (x86|x64)\") { push }", Button("Setup x64"), true},
      {"Button (text=\"Caf\xc3\xa9\") { push }", Button("Caf\xc3\xa9"), true},
      // On a control an empty text is a condition that only an empty name meets; no text accepts any name.
      {"Button (text=\"\") { push }", nameless, false},
      {"Button (text=\"\") { push }", Button(""), true},
      {"Button () { push }", nameless, true},
      {"Button (id=\"99\" text=\"Next >\") { push }", Button("Next >"), true},  // the id is not compared
      {"CheckBox (text=\"Next >\")", Button("Next >"), false},                   // the type is
      {"CheckBox (text=\"Offer\") { off }", Box("Offer", true), true},
      {"CheckBox (text=\"Offer\") { off }", Box("Offer", false), false},  // already as wanted: the checker refuses
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPatternMatchesElement(Root(std::string("Window { ") + c.node + " }")->GetChildren().at(0),
                                      FakeElement::Build(c.live)),
              c.matches)
        << c.node << " vs " << c.live.name.value_or("(no name)");
  }
}

TEST(NodeTest, InvalidExpressionEndsTheMatch) {
  auto live = FakeElement::Build(Window({}, "Setup (x86)"));
  MatchedList matched;
  GenericMatcher generic;
  EXPECT_ANY_THROW(generic.Match(Root("Window (text=\"Setup (x86\") { * }"), live, matched));
  EXPECT_TRUE(matched.empty());
}

TEST(NodeTest, CheckerFailureIsTracedWithThePath) {
  simwin::RecordingHost host;
  testing::TraceCapture capture(host);
  auto live = FakeElement::Build(Window({Box("Install the toolbar", false)}));
  auto pattern = Root("Window { CheckBox (text=\"Install the toolbar\") { off } }");
  EXPECT_FALSE(IsPatternMatchesElement(pattern->GetChildren()[0], live->Child(0)));
  EXPECT_EQ(host.TracesContaining(L"IsPatternMatchesElement\tControl Window\\CheckBox(0) not matched by initial checker")
                .size(),
            1u);
}

struct TreeCase {
  const char* name;
  const char* pattern;
  Live live;
  bool exact;    // expected result of ExactMatcher
  bool generic;  // expected result of GenericMatcher
};

TEST(Matchers, ResultsOnBothMatchers) {
  const TreeCase cases[] = {
      {"same tree", "Window (text=\"Setup\") { Button (text=\"Back\") {push} Button (text=\"Next\") {push} }",
       Window({Button("Back"), Button("Next")}), true, true},
      {"extra live text", "Window { Button (text=\"Back\") {push} Button (text=\"Next\") {push} }",
       Window({Button("Back"), Button("Next"), TextOf("Welcome")}), false, false},
      {"star stands for the text", "Window { Button (text=\"Back\") {push} Button (text=\"Next\") {push} * }",
       Window({Button("Back"), Button("Next"), TextOf("Welcome")}), false, true},
      {"A * B over A x y B", "Window { Button (text=\"A\") {push} * Button (text=\"B\") {push} }",
       Window({Button("A"), TextOf("x"), TextOf("y"), Button("B")}), false, true},
      {"A B over A x B", "Window { Button (text=\"A\") {push} Button (text=\"B\") {push} }",
       Window({Button("A"), TextOf("x"), Button("B")}), false, false},
      {"order matters", "Window { Button (text=\"B\") {push} * Button (text=\"A\") {push} }",
       Window({Button("A"), TextOf("x"), Button("B")}), false, false},
      {"only star accepts anything", "Window { * }", Window({Pane({Button("deep")}), TextOf("x")}), false, true},
      {"star alone accepts nothing too", "Window { * }", Window({}), false, true},
  };
  // An observer changes nothing of what matches, and hears of each failed match.
  for (const bool observed : {false, true}) {
    for (const TreeCase& c : cases) {
      auto pattern = Root(c.pattern);
      MissLog exactMisses;
      MissLog genericMisses;
      MatchedList exact;
      MatchedList generic;
      {
        MatchBounds bounds(kDefaultNodeTestBudget, nullptr, observed ? &exactMisses : nullptr);
        EXPECT_EQ(ExactMatcher().Match(pattern, FakeElement::Build(c.live), exact), c.exact) << c.name;
      }
      {
        MatchBounds bounds(kDefaultNodeTestBudget, nullptr, observed ? &genericMisses : nullptr);
        EXPECT_EQ(GenericMatcher().Match(pattern, FakeElement::Build(c.live), generic), c.generic) << c.name;
      }
      EXPECT_EQ(observed && !c.exact, !exactMisses.lines.empty()) << c.name;
      EXPECT_EQ(observed && !c.generic, !genericMisses.lines.empty() && !c.generic) << c.name;
    }
  }
}

TEST(Matchers, AnObserverHearsWhyEachStepFailed) {
  const struct Case {
    const char* name;
    const char* pattern;
    Live live;
    bool generic;
    std::vector<std::string> misses;
  } cases[] = {
      {"extra live text, exact", "Window { Button (text=\"A\") {push} }", Window({Button("A"), TextOf("x")}), false,
       {"left over Window Window\\Text(1)"}},
      {"a live button too few, exact", "Window { Button (text=\"A\") {push} Button (text=\"B\") {push} }",
       Window({Button("A")}), false, {"missing Button Window"}},
      {"wrong name", "Window { Button (text=\"B\") {push} }", Window({Button("A")}), false,
       {"name Button Window\\Button(0)"}},
      {"no name", "Window (text=\"Setup\") { * }", Window({}, std::nullopt), true, {"no name Window Window"}},
      {"already unchecked", "Window { CheckBox (text=\"Offer\") {off} }", Window({Box("Offer", false)}), false,
       {"state CheckBox Window\\CheckBox(0)"}},
      // The optional text takes x as it comes, and nothing goes back on that.
      {"an optional node among others", "Window { Button (text=\"A\") {push} ?Text { } Button (text=\"B\") {push} }",
       Window({Button("A"), TextOf("x"), Button("C")}), true, {"name Button Window\\Button(2)"}},
      // Tried with the text and without it: B fails on C both times.
      {"an optional node first", "Window { ?Text { } Button (text=\"B\") {push} }", Window({Button("C")}), true,
       {"type Text Window\\Button(0)", "name Button Window\\Button(0)", "name Button Window\\Button(0)"}},
      {"B after a star that ran out", "Window { * Button (text=\"B\") {push} }", Window({TextOf("x")}), true,
       {"type Button Window\\Text(0)", "missing Button Window"}},
  };
  for (const Case& c : cases) {
    MissLog log;
    MatchedList matched;
    MatchBounds bounds(kDefaultNodeTestBudget, nullptr, &log);
    if (c.generic) {
      EXPECT_FALSE(GenericMatcher().Match(Root(c.pattern), FakeElement::Build(c.live), matched)) << c.name;
    } else {
      EXPECT_FALSE(ExactMatcher().Match(Root(c.pattern), FakeElement::Build(c.live), matched)) << c.name;
    }
    std::sort(log.lines.begin(), log.lines.end());
    std::vector<std::string> expected = c.misses;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(log.lines, expected) << c.name;
  }
}

// A match appends its pairs in post-order; a failed one leaves the list as it was, even after some of its nodes
// matched.
TEST(Matchers, PairsArePostOrderAndAFailureLeavesTheListAlone) {
  const char* const twoButtons = "Window { Button (text=\"C1\") {push} Button (text=\"X\") {push} }";
  const char* const optional =
      "Window { ?CheckBox (text=\"Install the toolbar\") { off } Button (text=\"Next >\") { push } }";
  const Live deep = Window({Pane({TextOf("Welcome"), Pane({Button("Cancel"), Button("Next >")})})});
  const struct Case {
    const char* name;
    bool exact;
    const char* pattern;
    Live live;
    std::vector<std::string> pairs;  // none: no match
  } cases[] = {
      {"exact", true, "Window { Button (text=\"C1\") {push} Button (text=\"C2\") {push} }",
       Window({Button("C1"), Button("C2")}), {"Button=Window\\Button(0)", "Button=Window\\Button(1)", "Window=Window"}},
      {"exact, the second child fails", true, twoButtons, Window({Button("C1"), Button("C2")}), {}},
      {"generic, the second child fails", false, twoButtons, Window({Button("C1"), Button("C2")}), {}},
      {"optional node absent", false, optional, Window({Button("Next >")}),
       {"Button=Window\\Button(0)", "Window=Window"}},
      // Present and still checked: the longer list, with the box, wins.
      {"optional node present", false, optional, Window({Box("Install the toolbar", true), Button("Next >")}),
       {"CheckBox=Window\\CheckBox(0)", "Button=Window\\Button(1)", "Window=Window"}},
      // Its checker rejects the unchecked box, and in strict mode no other node takes it.
      {"optional node already unchecked", false, optional,
       Window({Box("Install the toolbar", false), Button("Next >")}), {}},
      {"AnyLevel two panes deep", false, "Window { AnyLevel { Button (text=\"Next >\") { push } } }", deep,
       {"Button=Window\\Pane(0)\\Pane(1)\\Button(1)", "Window=Window"}},
      {"AnyLevel finding nothing", false, "Window { AnyLevel { Button (text=\"Finish\") { push } } }", deep, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MatchedList matched{{Root("Pane { }"), FakeElement::Build(Pane({}))}};  // an earlier match's pair
    auto live = FakeElement::Build(c.live);
    const bool result = c.exact ? ExactMatcher().Match(Root(c.pattern), live, matched)
                                : GenericMatcher().Match(Root(c.pattern), live, matched);
    EXPECT_EQ(result, !c.pairs.empty());
    std::vector<std::string> expected{"Pane=Pane"};
    expected.insert(expected.end(), c.pairs.begin(), c.pairs.end());
    EXPECT_EQ(Pairs(matched), expected);
  }
}

TEST(Matchers, AnyLevelOverManySiblingsKeepsTheStackFlat) {
  // An installer can list thousands of siblings; the search must not recurse per sibling.
  std::vector<Live> siblings(20000, TextOf("item"));
  siblings.push_back(Button("Next >"));
  auto live = FakeElement::Build(Window(std::move(siblings)));
  MatchedList matched;
  EXPECT_TRUE(GenericMatcher().Match(Root("Window { AnyLevel { Button (text=\"Next >\") { push } } }"), live, matched));
  ASSERT_EQ(matched.size(), 2u);
  EXPECT_EQ(matched[0].second->GetPath(), "Window\\Button(20000)");
  MatchedList star;
  EXPECT_TRUE(GenericMatcher().Match(Root("Window { * Button (text=\"Next >\") { push } }"), live, star));
}

// Searches that fail after trying every split used to backtrack without memory: minutes
// per pass. A failed (pattern range, live range, mode) is now tried once per match.
TEST(Matchers, FailingSearchesStayPolynomial) {
  std::vector<Live> page;
  for (int i = 0; i < 50; ++i) page.push_back(Pane({TextOf("t"), Box("b", true), Button("x"), Pane({TextOf("u")})}));
  std::vector<Live> siblings(1000, Button("x"));
  siblings[10] = Button("A");
  siblings[500] = Button("B");
  struct Case {
    const char* name;
    Live live;
    const char* pattern;
  } cases[] = {
      {"three nested AnyLevel, 200 controls", Window(page),
       "Window { AnyLevel { AnyLevel { AnyLevel { Button (text=\"absent\") } } } }"},
      {"stars, 1000 siblings", Window(siblings),
       "Window { * Button (text=\"A\") * Button (text=\"B\") * Button (text=\"C\") }"},
  };
  for (const Case& c : cases) {
    auto live = FakeElement::Build(c.live);
    MatchBounds bounds(100'000'000);
    MatchedList matched;
    EXPECT_FALSE(GenericMatcher().Match(Root(c.pattern), live, matched)) << c.name;
    EXPECT_TRUE(matched.empty()) << c.name;
    EXPECT_LT(bounds.NodeTests(), 100'000u) << c.name;
  }
}

TEST(Matchers, BoundsEndARunawaySearch) {
  std::vector<Live> siblings(300, Button("x"));
  auto live = FakeElement::Build(Window(siblings));
  const auto pattern = Root("Window { * Button (text=\"x\") * Button (text=\"y\") }");
  {
    MatchBounds bounds(50);
    MatchedList matched;
    EXPECT_THROW(GenericMatcher().Match(pattern, live, matched), MatchBudgetExceeded);
  }
  std::atomic<bool> stop{true};
  MatchBounds stopped(kDefaultNodeTestBudget, &stop);
  MatchedList matched;
  EXPECT_THROW(GenericMatcher().Match(pattern, live, matched), MatchStopped);
}

TEST(Matchers, SingleStarChildDoesNotReadTheChildren) {
  // The Info trace describes the live tree, which reads children; without it nothing may.
  const TraceLevel threshold = TraceThreshold();
  SetTraceThreshold(TraceLevel::Error);
  auto live = FakeElement::Build(Window({Pane({Button("a"), Button("b")})}));
  MatchedList matched;
  const bool result = GenericMatcher().Match(Root("Window { Pane { * } }"), live, matched);
  SetTraceThreshold(threshold);
  ASSERT_TRUE(result);
  EXPECT_EQ(live->childReads, 1);
  EXPECT_EQ(live->Child(0)->childReads, 0);
}

TEST(Matchers, LiveDescription) {
  auto live = FakeElement::Build(Window({Pane({Button("a"), Box("b", true)}), TextOf("t"), Pane({})}));
  EXPECT_EQ(live->TreeDescriptionAsSeen(), L"Window{Pane{Button()CheckBox()}Text{}Pane{}}");
}

TEST(TextCondition, GivingUpIsNotMatchedWithAWarning) {
  simwin::RecordingHost host;
  testing::TraceCapture capture(host);
  std::string name(1 << 20, 'a');
  for (std::size_t i = 1; i < name.size(); i += 2) name[i] = 'b';
  auto live = FakeElement::Build(Window({}, name));
  bool result = true;
  RunOnSmallStack(256 * 1024, [&] { result = IsPatternMatchesElement(Root("Window (text=\"(a|b)*c\") { * }"), live); });
  EXPECT_FALSE(result);
  // The matcher gives up on this one (its memory bound): not matched, with one warning.
  std::vector<int> levels;
  for (const auto& call : host.CallsOf(simwin::HostCall::Kind::TraceWrite)) {
    if (call.trace.find(L"IsPatternMatchesElement\tControl Window not matched: its name of 1048576 bytes is too "
                        L"complex for the text (a|b)*c") != std::wstring::npos)
      levels.push_back(call.level);
  }
  EXPECT_EQ(levels, std::vector<int>{3});
}

}  // namespace
}  // namespace installation_assistant
