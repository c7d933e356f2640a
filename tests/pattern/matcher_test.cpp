#include "pattern/matcher.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <optional>

#include "common/trace_capture.h"
#include "small_stack.h"
#include "pattern/parser.h"
#include "pattern/text_condition.h"
#include "platform/sim/recording_host.h"

namespace installation_assistant {
namespace {

// A live tree from plain data, counting how often children are read.
struct Live {
  ElementType type;
  std::optional<std::string> name;
  std::vector<Live> children;
  bool checked = false;
};

class FakeCheckBox final : public CheckBoxPattern {
 public:
  explicit FakeCheckBox(bool checked) : checked_(checked) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler) override { return nullptr; }
  PatternActionResult SetCheckBox() override { return {}; }
  PatternActionResult UnsetCheckBox() override { return {}; }
  bool IsChecked() override { return checked_; }

 private:
  bool checked_;
};

class FakeElement final : public UIElement {
 public:
  FakeElement(const Live& live, std::string path, std::weak_ptr<UIElement> parent, bool hasParent)
      : UIElement(std::move(path), nullptr, std::move(parent), hasParent), live_(live) {}

  static std::shared_ptr<FakeElement> Build(const Live& live, const std::string& path = "",
                                            std::weak_ptr<UIElement> parent = {}, bool hasParent = false) {
    auto element = std::make_shared<FakeElement>(live, path.empty() ? ElementTypeName(live.type) : path,
                                                 std::move(parent), hasParent);
    for (std::size_t i = 0; i < live.children.size(); ++i) {
      element->children_.push_back(Build(live.children[i],
                                         ChildPath(element->GetPath(), live.children[i].type, static_cast<int>(i)),
                                         element, true));
    }
    return element;
  }

  ElementType GetType() override { return live_.type; }
  HWND GetWindowHandle() override { return nullptr; }
  Option<std::string> GetName() override {
    return live_.name ? Option<std::string>::Some(*live_.name) : Option<std::string>::None();
  }
  RECT GetLocation() override { return {}; }
  RECT GetDPIAwareLocation() override { return {}; }
  std::shared_ptr<Subscription> SubscribeStructureChanges(WinEventHandler) override { return nullptr; }
  std::shared_ptr<CheckBoxPattern> GetCheckBoxPattern() override {
    return std::make_shared<FakeCheckBox>(live_.checked);
  }
  std::shared_ptr<RadioButtonPattern> GetRadioButtonPattern() override { return nullptr; }
  std::shared_ptr<PushButtonPattern> GetPushButtonPattern() override { return nullptr; }
  std::vector<std::shared_ptr<UIElement>> GetChildren() override {
    ++childReads;
    return {children_.begin(), children_.end()};
  }
  void Refresh() override {}
  Option<std::shared_ptr<UIElement>> GetParent() override { return Option<std::shared_ptr<UIElement>>::None(); }
  bool IsEnabled() override { return true; }
  bool IsVisible() override { return true; }

  std::shared_ptr<FakeElement> Child(std::size_t i) const { return children_.at(i); }
  int childReads = 0;

 private:
  Live live_;
  std::vector<std::shared_ptr<FakeElement>> children_;
};

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

// Pairs as "PatternType=LivePath", in list order.
std::vector<std::string> Pairs(const MatchedList& matched) {
  std::vector<std::string> out;
  for (const auto& [pattern, element] : matched) out.push_back(ElementTypeName(pattern->GetType()) + "=" + element->GetPath());
  return out;
}

TEST(NodeTest, NameConditions) {
  struct Case {
    const char* text;  // nullptr: the node has no text
    std::optional<std::string> name;
    bool matches;
  };
  const Case cases[] = {
      {"Setup.*", "Setup - Sample App", true},
      {"Setup.*", "Setup", true},
      {"Setup.*", "My Setup wizard", false},  // a full match, not a search
      {"setup", "Setup", false},              // case matters
      {"Setup", "Setup", true},
      {"Set", "Setup", false},
      {"Setup (x86|x64)", "Setup x64", true},
      {"", std::nullopt, false},  // a nameless element fails any text, even the empty one
      {"", "", true},
      {nullptr, std::nullopt, true},  // no text accepts any name, also none
      {"Caf\xc3\xa9", "Caf\xc3\xa9", true},
  };
  // Button nodes: an empty text on a container counts as no text at all, on a control it
  // is a text that only an empty name matches.
  for (const Case& c : cases) {
    const std::string pattern = c.text ? std::string("Window { Button (text=\"") + c.text + "\") { push } }"
                                       : std::string("Window { Button () { push } }");
    auto live = FakeElement::Build({ElementType::Button, c.name, {}});
    EXPECT_EQ(IsPatternMatchesElement(Root(pattern)->GetChildren().at(0), live), c.matches)
        << (c.text ? c.text : "(no text)") << " vs " << c.name.value_or("(no name)");
  }
}

TEST(NodeTest, TypeMustAgreeAndIdIsIgnored) {
  auto button = FakeElement::Build(Button("Next >"));
  EXPECT_TRUE(IsPatternMatchesElement(Root("Window { Button (id=\"99\" text=\"Next >\") { push } }")->GetChildren()[0],
                                      button));
  EXPECT_FALSE(IsPatternMatchesElement(Root("Window { CheckBox (text=\"Next >\") { off } }")->GetChildren()[0], button));
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
  auto checked = FakeElement::Build(Window({Box("Install the toolbar", true)}));
  EXPECT_TRUE(IsPatternMatchesElement(pattern->GetChildren()[0], checked->Child(0)));
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
  for (const TreeCase& c : cases) {
    auto pattern = Root(c.pattern);
    MatchedList exact;
    MatchedList generic;
    EXPECT_EQ(ExactMatcher().Match(pattern, FakeElement::Build(c.live), exact), c.exact) << c.name;
    EXPECT_EQ(GenericMatcher().Match(pattern, FakeElement::Build(c.live), generic), c.generic) << c.name;
  }
}

TEST(Matchers, ExactListIsPostOrderAndFailureLeavesTheListAlone) {
  auto live = FakeElement::Build(Window({Button("C1"), Button("C2")}));
  MatchedList matched;
  ASSERT_TRUE(ExactMatcher().Match(Root("Window { Button (text=\"C1\") {push} Button (text=\"C2\") {push} }"), live,
                                   matched));
  EXPECT_EQ(Pairs(matched),
            (std::vector<std::string>{"Button=Window\\Button(0)", "Button=Window\\Button(1)", "Window=Window"}));

  // The second child fails after the first matched: nothing of the attempt stays.
  const MatchedList before = matched;
  EXPECT_FALSE(ExactMatcher().Match(Root("Window { Button (text=\"C1\") {push} Button (text=\"X\") {push} }"), live,
                                    matched));
  EXPECT_EQ(Pairs(matched), Pairs(before));
  EXPECT_FALSE(GenericMatcher().Match(Root("Window { Button (text=\"C1\") {push} Button (text=\"X\") {push} }"), live,
                                      matched));
  EXPECT_EQ(Pairs(matched), Pairs(before));
}

TEST(Matchers, OptionalNodes) {
  const char* pattern =
      "Window { ?CheckBox (text=\"Install the toolbar\") { off } Button (text=\"Next >\") { push } }";
  GenericMatcher generic;

  MatchedList absent;
  EXPECT_TRUE(generic.Match(Root(pattern), FakeElement::Build(Window({Button("Next >")})), absent));
  EXPECT_EQ(Pairs(absent), (std::vector<std::string>{"Button=Window\\Button(0)", "Window=Window"}));

  // Present and still checked: the longer list, with the box, wins.
  MatchedList present;
  EXPECT_TRUE(generic.Match(Root(pattern),
                            FakeElement::Build(Window({Box("Install the toolbar", true), Button("Next >")})), present));
  EXPECT_EQ(Pairs(present), (std::vector<std::string>{"CheckBox=Window\\CheckBox(0)", "Button=Window\\Button(1)",
                                                      "Window=Window"}));

  // Present but already unchecked: its checker rejects it, and in strict mode no other
  // node takes the live box, so the whole match fails.
  MatchedList unchecked;
  EXPECT_FALSE(generic.Match(Root(pattern),
                             FakeElement::Build(Window({Box("Install the toolbar", false), Button("Next >")})),
                             unchecked));
  EXPECT_TRUE(unchecked.empty());
}

TEST(Matchers, AnyLevelFindsAButtonTwoPanesDeep) {
  auto live = FakeElement::Build(Window({Pane({TextOf("Welcome"), Pane({Button("Cancel"), Button("Next >")})})}));
  MatchedList matched;
  ASSERT_TRUE(GenericMatcher().Match(Root("Window { AnyLevel { Button (text=\"Next >\") { push } } }"), live, matched));
  EXPECT_EQ(Pairs(matched),
            (std::vector<std::string>{"Button=Window\\Pane(0)\\Pane(1)\\Button(1)", "Window=Window"}));

  MatchedList none;
  EXPECT_FALSE(GenericMatcher().Match(Root("Window { AnyLevel { Button (text=\"Finish\") { push } } }"), live, none));
  EXPECT_TRUE(none.empty());
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
  EXPECT_EQ(DescribeLiveElement(live), "Window{Pane{Button()CheckBox()}Text{}Pane{}}");
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
  const auto warnings = host.CallsOf(simwin::HostCall::Kind::TraceWrite);
  int found = 0;
  for (const auto& call : warnings) {
    if (call.trace.find(L"IsPatternMatchesElement\tControl Window not matched: its name of 1048576 bytes is too "
                        L"complex for the text (a|b)*c") == std::wstring::npos)
      continue;
    ++found;
    EXPECT_EQ(call.level, 3);
  }
  EXPECT_EQ(found, 1);
}

}  // namespace
}  // namespace installation_assistant
