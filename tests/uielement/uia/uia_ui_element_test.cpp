// What only the UI Automation backend does; what both backends do is in ui_element_test.cpp.
#include "uielement/uia/uia_ui_element.h"

#include <gtest/gtest.h>

#include "uielement/msaa/msaa_test_support.h"
#include "uielement/uia/uia_automation.h"
#include "uielement/uia_rectangles.h"

namespace installation_assistant {
namespace {

using namespace testing;

using UIAutomationElementTest = SetupDialogTest;

TEST_F(UIAutomationElementTest, ControlTypesMapOneToOneUpToSeparator) {
  const struct Case {
    CONTROLTYPEID id;
    bool known;
    ElementType type;
  } cases[] = {
      {UIA_ButtonControlTypeId, true, ElementType::Button},
      {UIA_TextControlTypeId, true, ElementType::Text},
      {UIA_PaneControlTypeId, true, ElementType::Pane},
      {UIA_SeparatorControlTypeId, true, ElementType::Separator},
      {UIA_SemanticZoomControlTypeId, false, ElementType::Unknown},
      {UIA_AppBarControlTypeId, false, ElementType::Unknown},
      {49999, false, ElementType::Unknown},
  };
  SetTraceThreshold(TraceLevel::Debug);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    host_.Clear();
    const Option<ElementType> type = TryGetElementTypeFromControlType(c.id);
    ASSERT_EQ(type.IsSome(), c.known);
    if (c.known) {
      EXPECT_EQ(type.Get(), c.type);
    }
    const std::wstring trace = L"Unknown control type " + std::to_wstring(c.id);
    EXPECT_EQ(CountTraces(host_, TraceLevel::Debug, trace), c.known ? 0u : 1u);
  }
  SetTraceThreshold(TraceLevel::All);
}

// A three-state box may cycle from indeterminate to cleared: SetCheckBox goes on until it is checked.
TEST_F(UIAutomationElementTest, IndeterminateBoxIsNotCheckedAndSetCheckBoxChecksIt) {
  simwin::DialogLayout layout;
  layout.title = L"Three states";
  layout.controls = {Control(L"Button", BS_AUTO3STATE, L"Maybe an offer", kToolbarOffer, BST_INDETERMINATE)};
  OpenSetupDialog(layout);
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  auto element = ChildAt(root_, {0});
  ASSERT_EQ(element->GetType(), ElementType::CheckBox);
  auto pattern = element->GetCheckBoxPattern();
  EXPECT_FALSE(pattern->IsChecked());

  EXPECT_FALSE(pattern->UnsetCheckBox().failed) << "not checked, so there is nothing to uncheck";
  Settle();
  EXPECT_EQ(Check(kToolbarOffer), static_cast<UINT>(BST_INDETERMINATE));

  EXPECT_FALSE(pattern->SetCheckBox().failed);
  Settle();
  EXPECT_EQ(Check(kToolbarOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(pattern->IsChecked());
}

TEST_F(UIAutomationElementTest, WindowRectangleAndItsFailures) {
  OpenSetupDialog();
  const HWND next = dialog_.Control(kNext);
  EXPECT_EQ(Edges(UIAutomationRectangleOfWindow(next)), Edges(WindowRect(next)));
  EXPECT_EQ(Edges(UIAutomationRectangleOfWindow(dialog_.hwnd)), Edges(WindowRect(dialog_.hwnd)));

  simwin::InjectAccessibilityFault({"get_CurrentBoundingRectangle", RPC_E_DISCONNECTED});
  EXPECT_EQ(ComErrorOf([&] { UIAutomationRectangleOfWindow(next); }), RPC_E_DISCONNECTED);
  simwin::ClearAccessibilityFaults();
  EXPECT_EQ(ComErrorOf([] { UIAutomationRectangleOfAccessible(nullptr, CHILDID_SELF); }), E_INVALIDARG);
}

}  // namespace
}  // namespace installation_assistant
