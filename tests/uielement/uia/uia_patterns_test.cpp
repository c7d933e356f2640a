#include "uielement/uia/uia_patterns.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "uielement/msaa/msaa_test_support.h"
#include "watch/engine_thread.h"
#include "watch/subscription.h"

namespace installation_assistant {
namespace {

using testing::ChildAt;

class UIAutomationPatternsTest : public testing::MSAATest {
 protected:
  void SetUp() override {
    OpenSetupDialog();
    root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  }
  // Children of the raw view: 1 and 2 the offers, 3 and 4 the radio buttons, 6 Next.
  std::shared_ptr<UIElement> Child(int index) { return ChildAt(root_, {index}); }
  UINT Check(int id) { return simwin::CheckState(dialog_.Control(id)); }
};

TEST_F(UIAutomationPatternsTest, CheckBoxActionsActOnlyWhenNeededAndNeverTrace) {
  struct Case {
    const char* name;
    bool set;  // SetCheckBox, else UnsetCheckBox
    UINT before;
    UINT after;
  };
  const Case cases[] = {
      {"set an unchecked box", true, BST_UNCHECKED, BST_CHECKED},
      {"set a checked box", true, BST_CHECKED, BST_CHECKED},
      {"unset a checked box", false, BST_CHECKED, BST_UNCHECKED},
      {"unset an unchecked box", false, BST_UNCHECKED, BST_UNCHECKED},
  };
  const HWND box = dialog_.Control(testing::kToolbarOffer);
  auto pattern = Child(1)->GetCheckBoxPattern();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    installer_.Invoke([&] { SendMessageW(box, BM_SETCHECK, c.before, 0); });
    EXPECT_EQ(pattern->IsChecked(), c.before == BST_CHECKED);
    host_.Clear();
    const PatternActionResult result = c.set ? pattern->SetCheckBox() : pattern->UnsetCheckBox();
    EXPECT_FALSE(result.failed);
    EXPECT_FALSE(result.followUp);
    Settle();
    EXPECT_EQ(simwin::CheckState(box), c.after);
    EXPECT_EQ(pattern->IsChecked(), c.after == BST_CHECKED);
    EXPECT_TRUE(host_.CallsOf(simwin::HostCall::Kind::TraceWrite).empty()) << host_.FormatCalls(true);
  }
}

TEST_F(UIAutomationPatternsTest, IndeterminateBoxIsNotCheckedAndSetCheckBoxChecksIt) {
  simwin::DialogLayout layout;
  layout.title = L"Three states";
  layout.controls = {testing::Control(L"Button", BS_AUTO3STATE, L"Maybe an offer", testing::kToolbarOffer,
                                    BST_INDETERMINATE)};
  simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, layout);
  const HWND box = dialog.Control(testing::kToolbarOffer);
  auto element = ChildAt(CreateUIAutomationRootElement(dialog.hwnd), {0});
  ASSERT_EQ(element->GetType(), ElementType::CheckBox);
  auto pattern = element->GetCheckBoxPattern();
  EXPECT_FALSE(pattern->IsChecked());

  // Not checked, so there is nothing to uncheck.
  EXPECT_FALSE(pattern->UnsetCheckBox().failed);
  EXPECT_EQ(simwin::CheckState(box), static_cast<UINT>(BST_INDETERMINATE));

  EXPECT_FALSE(pattern->SetCheckBox().failed);
  Settle();
  EXPECT_EQ(simwin::CheckState(box), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(pattern->IsChecked());
}

TEST_F(UIAutomationPatternsTest, RadioButtonSelectsOnlyWhenNotSelected) {
  auto custom = Child(4)->GetRadioButtonPattern();
  auto express = Child(3)->GetRadioButtonPattern();
  EXPECT_TRUE(express->IsSelected());
  EXPECT_FALSE(custom->IsSelected());

  EXPECT_FALSE(express->SelectRadioButton().failed);
  EXPECT_EQ(simwin::ReceivedCommands(dialog_.hwnd).size(), 0u);

  EXPECT_FALSE(custom->SelectRadioButton().failed);
  Settle();
  EXPECT_EQ(Check(testing::kCustom), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(testing::kExpress), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_TRUE(custom->IsSelected());
  EXPECT_FALSE(express->IsSelected());
}

TEST_F(UIAutomationPatternsTest, FailingActionsAreResultsNotExceptions) {
  auto box = Child(2)->GetCheckBoxPattern();
  auto radio = Child(4)->GetRadioButtonPattern();
  simwin::InjectAccessibilityFault(testing::Fault("Toggle", static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED)));
  simwin::InjectAccessibilityFault(testing::Fault("Select", static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE)));
  host_.Clear();
  EXPECT_TRUE(box->UnsetCheckBox().failed);
  EXPECT_TRUE(radio->SelectRadioButton().failed);
  EXPECT_EQ(Check(testing::kHomepageOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(testing::kCustom), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_TRUE(host_.CallsOf(simwin::HostCall::Kind::TraceWrite).empty()) << host_.FormatCalls(true);
}

TEST_F(UIAutomationPatternsTest, PatternsOfTheWrongKindCannotBeMade) {
  struct Case {
    const char* name;
    int child;
    std::function<void(UIElement&)> make;
    const char* error;
  };
  const Case cases[] = {
      {"toggle of a radio button", 3, [](UIElement& e) { e.GetCheckBoxPattern(); }, "Not a toggle pattern"},
      {"toggle of a push button", 6, [](UIElement& e) { e.GetCheckBoxPattern(); }, "Not a toggle pattern"},
      {"selection of a check box", 1, [](UIElement& e) { e.GetRadioButtonPattern(); }, "Not a selection pattern"},
      {"push of a push button", 6, [](UIElement& e) { e.GetPushButtonPattern()->Push(); }, "Not implemented"},
      {"push of a check box", 1, [](UIElement& e) { e.GetPushButtonPattern()->Push(); }, "Not implemented"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto element = Child(c.child);
    ASSERT_TRUE(element);
    try {
      c.make(*element);
      ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
  // Nothing was pushed.
  EXPECT_TRUE(simwin::ReceivedCommands(dialog_.hwnd).empty());
}

TEST_F(UIAutomationPatternsTest, CheckedChangesReportOnlyTheBoxesOwnState) {
  testing::EngineThread engine;
  auto pattern = Child(1)->GetCheckBoxPattern();
  std::vector<bool> seen;
  auto subscription = pattern->SubscribeCheckedChanged([&](bool checked) { seen.push_back(checked); });
  ASSERT_TRUE(subscription);
  simwin::Click(dialog_.Control(testing::kHomepageOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_TRUE(seen.empty());
  simwin::Click(dialog_.Control(testing::kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  simwin::Click(dialog_.Control(testing::kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace installation_assistant
