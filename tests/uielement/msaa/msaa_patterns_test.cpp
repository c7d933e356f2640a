#include "uielement/msaa/msaa_patterns.h"

#include <gtest/gtest.h>

#include <vector>

#include "uielement/msaa/msaa_test_support.h"
#include "watch/engine_thread.h"
#include "watch/subscription.h"

namespace installation_assistant {
namespace {

using testing::ChildAt;
using testing::MSAATest;

class MSAAPatternsTest : public MSAATest {
 protected:
  void SetUp() override {
    OpenSetupDialog();
    root_ = CreateMSAARootElement(dialog_.hwnd);
  }
  // Children of the dialog pane, in the order of the setup dialog's tree.
  std::shared_ptr<UIElement> Element(int index) { return ChildAt(root_, {0, index}); }
  std::shared_ptr<UIElement> Toolbar() { return Element(1); }
  std::shared_ptr<UIElement> Homepage() { return Element(2); }
  std::shared_ptr<UIElement> Express() { return Element(3); }
  std::shared_ptr<UIElement> Custom() { return Element(4); }
  std::shared_ptr<UIElement> Next() { return Element(5); }
  UINT Check(int id) { return simwin::CheckState(dialog_.Control(id)); }
  std::size_t Traced(TraceLevel level, const wchar_t* text) { return testing::CountTraces(host_, level, text); }
};

TEST_F(MSAAPatternsTest, RefusalsAreTracedResultsNotExceptions) {
  struct Case {
    const char* name;
    std::function<PatternActionResult()> action;
    bool failed;
    TraceLevel level;
    const wchar_t* trace;
  };
  const Case cases[] = {
      {"check a radio button", [&] { return Express()->GetCheckBoxPattern()->SetCheckBox(); }, true, TraceLevel::Error,
       L"MSAACheckboxPattern::SetCheckBox\tNot a checkbox"},
      {"uncheck a push button", [&] { return Next()->GetCheckBoxPattern()->UnsetCheckBox(); }, true, TraceLevel::Error,
       L"MSAACheckboxPattern::UnsetCheckBox\tNot a checkbox"},
      {"check a checked box", [&] { return Toolbar()->GetCheckBoxPattern()->SetCheckBox(); }, false, TraceLevel::Warning,
       L"MSAACheckboxPattern::SetCheckBox\talready checked"},
      {"select a check box", [&] { return Toolbar()->GetRadioButtonPattern()->SelectRadioButton(); }, true, TraceLevel::Error,
       L"MSAARadioButtonPattern::SelectRadioButton\tNot a radiobutton"},
      {"select the selected", [&] { return Express()->GetRadioButtonPattern()->SelectRadioButton(); }, false, TraceLevel::Warning,
       L"MSAARadioButtonPattern::SelectRadioButton\tAlready selected"},
      {"push a check box", [&] { return Toolbar()->GetPushButtonPattern()->Push(); }, true, TraceLevel::Error,
       L"MSAAPushButtonPattern::Push\tNot a pushbutton"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Clear();
    PatternActionResult result;
    EXPECT_NO_THROW(result = c.action());
    EXPECT_EQ(result.failed, c.failed);
    EXPECT_FALSE(result.followUp);
    EXPECT_EQ(testing::CountTraces(host_, c.level, c.trace), 1u) << host_.FormatCalls(true);
  }
  Settle();
  // Nothing was touched.
  EXPECT_EQ(Check(testing::kToolbarOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(testing::kExpress), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(simwin::ReceivedCommands(dialog_.hwnd).empty());
}

TEST_F(MSAAPatternsTest, UncheckingAnUncheckedBoxIsNotAFailure) {
  auto box = Toolbar()->GetCheckBoxPattern();
  EXPECT_FALSE(box->UnsetCheckBox().failed);  // acts
  Settle();
  EXPECT_EQ(Check(testing::kToolbarOffer), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_FALSE(box->IsChecked());
  EXPECT_FALSE(box->UnsetCheckBox().failed);  // refuses
  EXPECT_EQ(Traced(TraceLevel::Warning, L"MSAACheckboxPattern::UnsetCheckBox\tNot checked"), 1u);
  Settle();
  EXPECT_EQ(Check(testing::kToolbarOffer), static_cast<UINT>(BST_UNCHECKED));
}

TEST_F(MSAAPatternsTest, ActionsDriveTheControls) {
  auto homepage = Homepage()->GetCheckBoxPattern();
  EXPECT_FALSE(homepage->UnsetCheckBox().failed);
  EXPECT_FALSE(Custom()->GetRadioButtonPattern()->SelectRadioButton().failed);
  EXPECT_FALSE(Next()->GetPushButtonPattern()->Push().failed);
  Settle();
  EXPECT_EQ(Check(testing::kHomepageOffer), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(Check(testing::kCustom), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(testing::kExpress), static_cast<UINT>(BST_UNCHECKED));  // its group was cleared
  // State reads are live: the tree's cached elements show the new states.
  EXPECT_FALSE(Express()->GetRadioButtonPattern()->IsSelected());
  EXPECT_FALSE(homepage->IsChecked());
}

TEST_F(MSAAPatternsTest, FailingDefaultActionIsTracedAndReported) {
  auto next = Next()->GetPushButtonPattern();
  simwin::InjectAccessibilityFault(testing::Fault("accDoDefaultAction", E_FAIL));
  PatternActionResult result;
  EXPECT_NO_THROW(result = next->Push());
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(Traced(TraceLevel::Error, L"MSAAUIElementWrapper::DoDefaultAction\tFailed to invoke default action: 0x80004005, "),
            1u);
  simwin::ClearAccessibilityFaults();

  // A disabled control refuses its default action.
  simwin::SetEnabled(installer_, dialog_.Control(testing::kHomepageOffer), false);
  EXPECT_TRUE(Homepage()->GetCheckBoxPattern()->UnsetCheckBox().failed);
  Settle();
  EXPECT_EQ(Check(testing::kHomepageOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(simwin::ReceivedCommands(dialog_.hwnd).empty());
}

TEST_F(MSAAPatternsTest, CheckedChangedReportsOnlyRealChangesOfTheBoxItself) {
  testing::EngineThread engine;
  auto toolbar = Toolbar()->GetCheckBoxPattern();
  std::vector<bool> changes;
  auto subscription = toolbar->SubscribeCheckedChanged([&](bool checked) { changes.push_back(checked); });

  // Another box of the process changes: a state event, but not this box's.
  simwin::Click(dialog_.Control(testing::kHomepageOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_TRUE(changes.empty());

  simwin::Click(dialog_.Control(testing::kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  simwin::Click(dialog_.Control(testing::kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_EQ(changes, (std::vector<bool>{false, true}));

  subscription.reset();
  engine.DrainPosted();
  simwin::Click(dialog_.Control(testing::kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_EQ(changes.size(), 2u);
}

}  // namespace
}  // namespace installation_assistant
