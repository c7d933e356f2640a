#include "pattern/pattern_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern/fake_element.h"
#include "watch/machines_test_support.h"
#include "pattern/parser.h"

namespace installation_assistant {
namespace {

using testing::FakeElement;

std::shared_ptr<Pattern> ParseBody(const std::string& body) {
  CollectingDiagnosticSink sink;
  const auto parsed = ParsePattern("EngineVersion = 1.5.0.0 " + body, sink);
  EXPECT_TRUE(parsed) << body;
  return parsed ? parsed.Get().pattern : nullptr;
}

// ---- Queries ----

// The example file's description is checked through `iae pattern describe`.
TEST(Queries, DescribeWritesGenericFlagThenRoots) {
  EXPECT_EQ(ParseBody("Window { } Button (id=\"1\") CheckBox (text=\"\") AnyLevel { }")->Describe(),
            "1MSAA{Window{}}MSAA{Button()}MSAA{CheckBox(text=\"\")}MSAA{AnyLevel{}}");
}

struct QueryCase {
  const char* body;
  bool generic;
  bool actions;
  bool block;
  bool pixelClick;
};

TEST(Queries, WholePatternQueries) {
  const QueryCase cases[] = {
      {"Window { Pane { Button () CheckBox () } }", false, false, false, false},
      {"Window { Pane { CheckBox () { off } } }", false, true, false, false},
      {"Window [1,2] { }", false, true, false, true},  // clicks alone are actions
      {"Window { Button [50%,50%] () }", false, true, false, true},
      {"Window { } Pane { AnyLevel { Tab { Button () { block } } } }", true, true, true, false},
      {"Window { Pane { ?Button () } }", true, false, false, false},
      {"?Window { }", true, false, false, false},
      {"Window { Pane { Tree { * } } }", true, false, false, false},
      {"UIAutomation: Window { Button () { push } }", false, true, false, false},
  };
  for (const QueryCase& c : cases) {
    const auto pattern = ParseBody(c.body);
    ASSERT_TRUE(pattern) << c.body;
    EXPECT_EQ(pattern->IsGeneric(), c.generic) << c.body;
    EXPECT_EQ(pattern->HasActions(), c.actions) << c.body;
    EXPECT_EQ(pattern->ContainsBlockAction(), c.block) << c.body;
    EXPECT_EQ(pattern->ContainsPixelClick(), c.pixelClick) << c.body;
    EXPECT_EQ(pattern->Describe().substr(0, 1), c.generic ? "1" : "0") << c.body;
  }
}

// ---- Executors and checkers against a recording actions processor and a fake element. ----

TEST(Executors, EachActionCallsItsOperationWithTheElement) {
  const auto pattern = ParseBody(
      "Window [7,8] { CheckBox () { on } CheckBox () { off } RadioButton () { on } Button () { push } "
      "Button () { block } Pane [50%,90%] { } }");
  ASSERT_TRUE(pattern);
  const auto window = pattern->GetRoots()[0].element;
  std::vector<std::shared_ptr<PatternAction>> actions;
  for (const auto& child : window->GetChildren()) {
    for (const auto& action : child->GetActions()) actions.push_back(action);
  }
  for (const auto& action : window->GetActions()) actions.push_back(action);

  const auto processor = std::make_shared<testing::RecordingActionsProcessor>(pattern, false);
  const std::shared_ptr<UIElement> element = FakeElement::Build({ElementType::CheckBox});
  std::vector<std::string> calls;
  for (const auto& action : actions) EXPECT_FALSE(action->Execute(element, processor).failed);
  for (const auto& recorded : processor->Actions()) {
    EXPECT_EQ(recorded.path, element->GetPath());
    calls.push_back(recorded.operation);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"SetCheckBox", "UnsetCheckBox", "SelectRadioButton", "PushButton",
                                             "AssignMessageBox", "PixelClick 50 90 pct", "PixelClick 7 8 abs"}));
  EXPECT_EQ(element.use_count(), 1) << "executors keep nothing of what they were given";
}

TEST(Checkers, MatchOnlyControlsNotYetInTheWantedState) {
  const auto pattern = ParseBody("Window { CheckBox () { on } CheckBox () { off } RadioButton () { on } }");
  ASSERT_TRUE(pattern);
  const auto children = pattern->GetRoots()[0].element->GetChildren();
  const StateChecker setOn = children[0]->GetCheckers().at(0);
  const StateChecker setOff = children[1]->GetCheckers().at(0);
  const StateChecker select = children[2]->GetCheckers().at(0);

  auto element = [](std::optional<bool> checked, std::optional<bool> selected) -> std::shared_ptr<UIElement> {
    return FakeElement::Build({ElementType::CheckBox, std::nullopt, {}, checked, selected});
  };
  const auto checked = element(true, std::nullopt), unchecked = element(false, std::nullopt);
  const auto selected = element(std::nullopt, true), unselected = element(std::nullopt, false);
  EXPECT_FALSE(setOn(checked));
  EXPECT_TRUE(setOn(unchecked));
  EXPECT_TRUE(setOff(checked));
  EXPECT_FALSE(setOff(unchecked));
  EXPECT_FALSE(select(selected));
  EXPECT_TRUE(select(unselected));

  // An element without the control's pattern object is not that control.
  EXPECT_FALSE(setOff(selected));
  EXPECT_FALSE(select(checked));
  EXPECT_FALSE(select(nullptr));
  EXPECT_EQ(checked.use_count(), 1);
}

}  // namespace
}  // namespace installation_assistant
