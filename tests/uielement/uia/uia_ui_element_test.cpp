// What only the UI Automation backend does; what both backends do is in ui_element_test.cpp.
#include "uielement/uia/uia_ui_element.h"

#include <gtest/gtest.h>

#include <vector>

#include "uielement/msaa/msaa_test_support.h"
#include "uielement/uia/uia_automation.h"
#include "uielement/uia_rectangles.h"
#include "watch/engine_thread.h"

namespace installation_assistant {
namespace {

using namespace testing;

using UIAutomationElementTest = SetupDialogTest;

// Control type ids from Button to Separator map one to one onto the element types, in order.
TEST(UIAutomationControlTypes, MapOneToOneFromButtonToSeparator) {
  EXPECT_EQ(TryGetElementTypeFromControlType(UIA_ButtonControlTypeId).Get(), ElementType::Button);
  EXPECT_EQ(TryGetElementTypeFromControlType(UIA_SeparatorControlTypeId).Get(), ElementType::Separator);
  for (CONTROLTYPEID id : {49999, UIA_SemanticZoomControlTypeId, UIA_AppBarControlTypeId}) {
    EXPECT_TRUE(TryGetElementTypeFromControlType(id).IsNone()) << id;
  }
}

// A three-state box may cycle from indeterminate to cleared: SetCheckBox goes on until it is checked.
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

// A page drawn with its own UI Automation provider (its tree is in TreesKeepTheElementsAUserSees): native elements have
// no window of their own, so the page's window stands for them; they are located, enabled and visible as the provider
// says.
class NativeProviderTest : public SetupDialogTest {
 protected:
  void SetUp() override {
    OpenSetupDialog(DrawnDialogLayout());
    simwin::AttachAutomationTree(installer_, dialog_.hwnd, DrawnOfferTree());
    root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  }
  std::shared_ptr<UIElement> Offer(int index) { return ChildAt(root_, {1, index}); }
  simwin::UiaElementState StateOf(const wchar_t* key) {
    return simwin::AutomationElementState(dialog_.hwnd, key).value_or(simwin::UiaElementState{});
  }
  std::size_t Toggles(const wchar_t* key) {
    std::size_t n = 0;
    for (const auto& e : simwin::RaisedAutomationEvents(dialog_.hwnd)) {
      n += e.element == key && e.property == UIA_ToggleToggleStatePropertyId;
    }
    return n;
  }
};

TEST_F(NativeProviderTest, ElementsStandForTheProvidersNodes) {
  auto speedbar = Offer(0);
  EXPECT_EQ(speedbar->GetType(), ElementType::CheckBox);
  EXPECT_EQ(speedbar->GetWindowHandle(), nullptr);
  EXPECT_EQ(FindWindowHandle(speedbar), dialog_.hwnd);
  EXPECT_EQ(Edges(speedbar->GetLocation()), Edges(kSpeedBarBounds));
  EXPECT_FALSE(Offer(2)->IsEnabled()) << "the locked offer";
  EXPECT_FALSE(ChildAt(root_, {4})->IsVisible()) << "the hidden offer is off screen";
  EXPECT_EQ(root_->GetWindowHandle(), dialog_.hwnd);
}

// The backend acts through the elements' own Toggle and SelectionItem patterns, which run in the installer: only when
// needed, a three-state box is checked from indeterminate in one step (UI Automation's order), and a disabled element's
// refusal is a failed action.
TEST_F(NativeProviderTest, ActionsGoThroughTheProvidersPatterns) {
  enum Action { kSet, kUnset, kSelect };
  const struct Case {
    const char* name;
    Action action;
    std::vector<int> path;
    const wchar_t* key;
    bool failed;
    simwin::UiaElementState after;
    std::size_t toggles;
  } cases[] = {
      {"uncheck a checked box", kUnset, {1, 0}, L"speedbar", false, {.toggle = ToggleState_Off}, 1},
      {"uncheck it again", kUnset, {1, 0}, L"speedbar", false, {.toggle = ToggleState_Off}, 1},
      {"check an indeterminate box", kSet, {1, 1}, L"cleaner", false, {.toggle = ToggleState_On}, 1},
      {"uncheck a disabled box", kUnset, {1, 2}, L"locked", true, {.enabled = false, .toggle = ToggleState_On}, 0},
      {"select a radio button", kSelect, {3}, L"custom", false, {.selected = true}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto element = ChildAt(root_, c.path);
    const PatternActionResult result = c.action == kSet     ? element->GetCheckBoxPattern()->SetCheckBox()
                                       : c.action == kUnset ? element->GetCheckBoxPattern()->UnsetCheckBox()
                                                            : element->GetRadioButtonPattern()->SelectRadioButton();
    EXPECT_EQ(result.failed, c.failed);
    EXPECT_EQ(StateOf(c.key), c.after);
    EXPECT_EQ(Toggles(c.key), c.toggles);
  }
  EXPECT_EQ(StateOf(L"express").selected, false) << "selecting cleared the group";
  EXPECT_FALSE(ChildAt(root_, {2})->GetRadioButtonPattern()->IsSelected());
}

// The user's change reaches the engine through the WinEvent the bridge raises for the provider's property change.
TEST_F(NativeProviderTest, CheckedChangedHearsTheUsersClicks) {
  EngineThread engine;
  std::vector<bool> changes;
  auto subscription = Offer(0)->GetCheckBoxPattern()->SubscribeCheckedChanged([&](bool c) { changes.push_back(c); });
  ASSERT_TRUE(subscription);
  for (const wchar_t* key : {L"cleaner", L"speedbar", L"speedbar"}) {
    ASSERT_TRUE(simwin::ClickAutomationElement(installer_, dialog_.hwnd, key));
    engine.DrainEventsOf(installer_, dialog_.hwnd);
  }
  EXPECT_EQ(changes, (std::vector<bool>{false, true}));
  subscription.reset();
  engine.DrainPosted();
}

// Faults in the provider's own calls surface as the HRESULT of the backend's call: building the tree, and acting.
TEST_F(NativeProviderTest, ProviderFaultsSurface) {
  const int fault = simwin::InjectAccessibilityFault({"GetPatternProvider", E_ACCESSDENIED, dialog_.hwnd, L"cleaner"});
  EXPECT_EQ(ComErrorOf([&] { CreateUIAutomationRootElement(dialog_.hwnd); }), E_ACCESSDENIED);
  simwin::RemoveAccessibilityFault(fault);

  auto box = Offer(0)->GetCheckBoxPattern();
  simwin::InjectAccessibilityFault({"Toggle", RPC_E_DISCONNECTED, dialog_.hwnd, L"speedbar"});
  EXPECT_TRUE(box->UnsetCheckBox().failed);
  EXPECT_EQ(StateOf(L"speedbar").toggle, ToggleState_On);
}

}  // namespace
}  // namespace installation_assistant
