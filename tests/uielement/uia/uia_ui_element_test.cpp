#include "uielement/uia/uia_ui_element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "uielement/msaa/msaa_test_support.h"
#include "uielement/uia/uia_automation.h"

namespace installation_assistant {
namespace {

using testing::ChildAt;
using testing::DumpTree;

using UIAutomationElementTest = testing::MSAATest;

TEST_F(UIAutomationElementTest, SetupDialogGivesTheRawViewTree) {
  OpenSetupDialog();
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  // The raw view has no client object to flatten: controls sit right under the window.
  // The group box (1), the edit (6) and the title bar (10) are not kept but keep their
  // numbers; the hidden offer is in the tree, only off screen.
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{
                                 "Window 'Setup - Example App'",
                                 "Window\\Text(0) 'Choose the components to install:'",
                                 "Window\\CheckBox(2) 'Install the SpeedBar toolbar'",
                                 "Window\\CheckBox(3) 'Make SearchPage my home page'",
                                 "Window\\RadioButton(4) 'Express installation'",
                                 "Window\\RadioButton(5) 'Custom installation'",
                                 "Window\\CheckBox(7) 'Hidden offer'",
                                 "Window\\Button(8) 'Next >'",
                                 "Window\\Button(9) 'Cancel'",
                             }));
  auto box = ChildAt(root_, {1});
  ASSERT_TRUE(box);
  EXPECT_EQ(box->GetType(), ElementType::CheckBox);
  EXPECT_EQ(box->GetWindowHandle(), dialog_.Control(testing::kToolbarOffer));
  EXPECT_EQ(box->GetTreeWindow(), dialog_.hwnd);
  EXPECT_EQ(root_->GetType(), ElementType::Window);
  EXPECT_EQ(root_->GetWindowHandle(), dialog_.hwnd);
  EXPECT_TRUE(box->IsVisible());
  EXPECT_TRUE(box->IsEnabled());
  EXPECT_FALSE(ChildAt(root_, {5})->IsVisible());

  RECT boxRect{};
  GetWindowRect(dialog_.Control(testing::kToolbarOffer), &boxRect);
  const RECT location = box->GetDPIAwareLocation();
  EXPECT_EQ(location.left, boxRect.left);
  EXPECT_EQ(location.top, boxRect.top);
  EXPECT_EQ(location.right, boxRect.right);
  EXPECT_EQ(location.bottom, boxRect.bottom);
}

TEST_F(UIAutomationElementTest, IndicesCountSkippedChildrenAndSkippingDropsTheSubtree) {
  OpenSetupDialog();
  simwin::AccNode list = testing::Node(ROLE_SYSTEM_LIST, L"Offer list");
  list.children = {testing::Node(ROLE_SYSTEM_STATICTEXT, L"Text inside a list")};
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
  page.children = {
      testing::Node(ROLE_SYSTEM_GRAPHIC, L"Logo"),  // Image: not kept
      list,                                         // List: not kept, nor its text
      testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Offer"),
      testing::Simple(testing::Node(ROLE_SYSTEM_PUSHBUTTON, L"Decline")),
  };
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, page);
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{"Window 'Setup - Example App'",
                                                       "Window\\CheckBox(2) 'Offer'",
                                                       "Window\\Button(3) 'Decline'"}));
  EXPECT_EQ(host_.TracesContaining(L"Text inside a list").size(), 0u);
}

TEST_F(UIAutomationElementTest, ControlTypesMapOneToOneUpToSeparator) {
  struct Case {
    CONTROLTYPEID id;
    bool known;
    ElementType type;
  };
  const Case cases[] = {
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
    EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Debug, trace), c.known ? 0u : 1u);
  }
  SetTraceThreshold(TraceLevel::All);
}

TEST_F(UIAutomationElementTest, CachesAreDroppedOnlyByRefresh) {
  OpenSetupDialog();
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  auto box = ChildAt(root_, {1});
  ASSERT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  ASSERT_EQ(root_->GetChildren().size(), 8u);

  const HWND boxWindow = dialog_.Control(testing::kToolbarOffer);
  const HWND cancel = dialog_.Control(testing::kCancel);
  installer_.Invoke([&] {
    SetWindowTextW(boxWindow, L"Renamed offer");
    EnableWindow(boxWindow, FALSE);
    DestroyWindow(cancel);
  });
  EXPECT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  EXPECT_EQ(root_->GetChildren().size(), 8u);
  EXPECT_FALSE(box->IsEnabled());  // read live

  box->Refresh();
  EXPECT_EQ(box->GetName().Get(), "Renamed offer");
  EXPECT_EQ(root_->GetChildren().size(), 8u);  // the box's refresh leaves its parent alone
  root_->Refresh();
  EXPECT_EQ(root_->GetChildren().size(), 7u);
  EXPECT_EQ(ChildAt(root_, {1})->GetName().Get(), "Renamed offer");
}

TEST_F(UIAutomationElementTest, ElementOutlivingItsTreeWorksButHasNoParent) {
  OpenSetupDialog();
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  auto box = ChildAt(root_, {2});
  EXPECT_TRUE(root_->GetParent().IsNone());
  EXPECT_EQ(box->GetParent().Get(), root_);

  root_.reset();
  try {
    box->GetParent();
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Parent referernce broken.");
  }
  EXPECT_EQ(box->GetPath(), "Window\\CheckBox(3)");
  EXPECT_EQ(box->GetName().Get(), "Make SearchPage my home page");
  EXPECT_TRUE(box->GetCheckBoxPattern()->IsChecked());
}

TEST_F(UIAutomationElementTest, FailingCallsRaiseTheirHresult) {
  OpenSetupDialog();
  struct Case {
    const char* method;
    HRESULT hr;
  };
  const Case cases[] = {
      {"ElementFromHandle", E_ACCESSDENIED},
      {"BuildUpdatedCache", RPC_E_DISCONNECTED},
      {"get_CurrentControlType", E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const int fault = simwin::InjectAccessibilityFault(testing::Fault(c.method, c.hr));
    try {
      CreateUIAutomationRootElement(dialog_.hwnd);
      ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
      EXPECT_EQ(error.Error(), c.hr);
    }
    simwin::RemoveAccessibilityFault(fault);
  }
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  simwin::InjectAccessibilityFault(testing::Fault("get_CurrentIsEnabled", E_FAIL));
  EXPECT_THROW(root_->IsEnabled(), _com_error);
}

TEST_F(UIAutomationElementTest, LiveStatesAreTracedAtDebug) {
  OpenSetupDialog();
  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  auto hidden = ChildAt(root_, {5});
  SetTraceThreshold(TraceLevel::Debug);
  EXPECT_FALSE(hidden->IsVisible());
  EXPECT_TRUE(hidden->IsEnabled());
  SetTraceThreshold(TraceLevel::All);
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Debug, L"Element Window\\CheckBox(7). IsOffscreen:1, Status: , "
                                                           L"MSAAState: 0x"),
            1u)
      << host_.FormatCalls(true);
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Debug, L"Element Window\\CheckBox(7). IsEnabled:1"), 1u);
}

// Trees served by an installer are untrusted: every walk over them must end.
struct HostileCase {
  const char* name;
  std::function<simwin::AccNode()> tree;
  const wchar_t* warning;  // null: the layer below already cut the tree short
};

simwin::AccNode WideTree(int children, int grandchildren) {
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
  for (int i = 0; i < children; ++i) {
    simwin::AccNode group = testing::Node(ROLE_SYSTEM_PANE, L"Group");
    for (int j = 0; j < grandchildren; ++j) {
      group.children.push_back(testing::Simple(testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Box")));
    }
    page.children.push_back(std::move(group));
  }
  return page;
}

class UIAutomationHostileTreeTest : public testing::MSAATest {
 protected:
  // repeat: a second pass over the same window, which must warn again, once.
  void Check(const HostileCase& c, bool repeat = false) {
    SCOPED_TRACE(c.name);
    simwin::Process installer;
    simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, testing::SetupDialogLayout());
    simwin::AttachAccessibleTree(installer, dialog.hwnd, c.tree());
    host_.Clear();
    auto root = CreateUIAutomationRootElement(dialog.hwnd);
    long visited = 0;
    int deepest = 0;
    std::function<void(const std::shared_ptr<UIElement>&, int)> descend = [&](const auto& element, int depth) {
      ++visited;
      deepest = std::max(deepest, depth);
      for (const auto& child : element->GetChildren()) descend(child, depth + 1);
    };
    descend(root, 0);
    EXPECT_LT(deepest, kMaxTreeDepth);
    EXPECT_LE(visited, kMaxElementsPerTree + 1);
    if (c.warning) {
      EXPECT_EQ(host_.TracesContaining(c.warning).size(), 1u) << host_.FormatCalls(true);
      if (repeat) {
        root->Refresh();
        EXPECT_EQ(host_.TracesContaining(c.warning).size(), 2u);
      }
    } else {
      EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Warning, L""), 0u) << host_.FormatCalls(true);
      EXPECT_GT(visited, 0);
    }
    root.reset();
    installer.Exit();
  }
};

TEST_F(UIAutomationHostileTreeTest, DeepAndCyclicTreesEnd) {
  const HostileCase cases[] = {
      {"100000-deep chain",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Chain");
         node.chainDepth = 100000;
         return node;
       },
       L"deeper than 256 levels"},
      {"self as child",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Self");
         node.ancestorAsChild = 0;
         return node;
       },
       nullptr},
      {"two-element cycle",
       [] {
         simwin::AccNode inner = testing::Node(ROLE_SYSTEM_CLIENT, L"B");
         inner.ancestorAsChild = 1;
         simwin::AccNode outer = testing::Node(ROLE_SYSTEM_CLIENT, L"A");
         outer.children = {inner};
         return outer;
       },
       nullptr},
      {"two billion children",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Huge");
         node.reportedChildCount = 0x7FFFFFFF;
         node.children = {testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Only")};
         return node;
       },
       nullptr},
  };
  for (const HostileCase& c : cases) Check(c, true);
}

TEST_F(UIAutomationHostileTreeTest, TooManyChildrenOfOneElement) {
  // The title bar is the window's last child.
  Check({"10001 children and the title bar", [] { return WideTree(10001, 0); },
         L"reports 10002 children; only the first 10000 are read"});
}

TEST_F(UIAutomationHostileTreeTest, TooManyElementsInOneTree) {
  Check({"101 groups of 100", [] { return WideTree(101, 100); }, L"elements; the rest is treated as absent"});
}

}  // namespace
}  // namespace installation_assistant
