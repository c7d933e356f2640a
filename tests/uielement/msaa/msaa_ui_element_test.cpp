#include "uielement/msaa/msaa_ui_element.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "uielement/msaa/msaa_test_support.h"

namespace installation_assistant {
namespace {

using testing::ChildAt;
using testing::DumpTree;
using testing::MSAATest;

using MSAAUIElementTest = MSAATest;

TEST_F(MSAAUIElementTest, SetupDialogGivesTheTreeAUserSees) {
  OpenSetupDialog();
  root_ = CreateMSAARootElement(dialog_.hwnd);
  // Window objects of the controls wrap their own client and vanish, the title bar goes,
  // the group box and the edit are not kept types, the hidden offer is invisible; the
  // mnemonic '&' is not part of a control's name.
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{
                                 "Window 'Setup - Example App'",
                                 "Window\\Pane(0) 'Setup - Example App'",
                                 "Window\\Pane(0)\\Text(0) 'Choose the components to install:'",
                                 "Window\\Pane(0)\\CheckBox(1) 'Install the SpeedBar toolbar'",
                                 "Window\\Pane(0)\\CheckBox(2) 'Make SearchPage my home page'",
                                 "Window\\Pane(0)\\RadioButton(3) 'Express installation'",
                                 "Window\\Pane(0)\\RadioButton(4) 'Custom installation'",
                                 "Window\\Pane(0)\\Button(5) 'Next >'",
                                 "Window\\Pane(0)\\Button(6) 'Cancel'",
                             }));
  auto box = ChildAt(root_, {0, 1});
  ASSERT_TRUE(box);
  EXPECT_EQ(box->GetType(), ElementType::CheckBox);
  EXPECT_EQ(box->GetWindowHandle(), dialog_.Control(testing::kToolbarOffer));
  EXPECT_EQ(box->GetTreeWindow(), dialog_.hwnd);
  EXPECT_EQ(ChildAt(root_, {0})->GetWindowHandle(), dialog_.hwnd);
  EXPECT_TRUE(box->IsVisible());
  EXPECT_TRUE(box->IsEnabled());
}

TEST_F(MSAAUIElementTest, TitleAndScrollBarsAreSkippedWithTheirButtons) {
  simwin::DialogLayout layout;
  layout.title = L"Scrolling";
  layout.style = WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL;
  layout.controls = {testing::Control(L"Button", BS_PUSHBUTTON, L"OK", IDOK)};
  OpenSetupDialog(layout);
  root_ = CreateMSAARootElement(dialog_.hwnd);
  // The bars' arrows and the caption buttons are push buttons; none may surface.
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{"Window 'Scrolling'", "Window\\Pane(0) 'Scrolling'",
                                                        "Window\\Pane(0)\\Button(0) 'OK'"}));
}

TEST_F(MSAAUIElementTest, InvisibleContainersHideTheirWholeSubtree) {
  OpenSetupDialog();
  // A custom-drawn page: a hidden group holding a visible check box, then a visible one.
  simwin::AccNode hiddenGroup = testing::Node(ROLE_SYSTEM_GROUPING, L"Hidden", STATE_SYSTEM_INVISIBLE);
  hiddenGroup.children = {testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Inside hidden group")};
  simwin::AccNode shownGroup = testing::Node(ROLE_SYSTEM_GROUPING, L"Shown");
  shownGroup.children = {testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Inside shown group")};
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
  page.children = {hiddenGroup, shownGroup};
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, page);

  root_ = CreateMSAARootElement(dialog_.hwnd);
  // The visible group is not a kept type: flattened, its box takes number 0.
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{"Window 'Setup - Example App'", "Window\\Pane(0) 'Page'",
                                                        "Window\\Pane(0)\\CheckBox(0) 'Inside shown group'"}));
}

TEST_F(MSAAUIElementTest, SimpleElementsHaveNoChildrenAndIndicesCountOnlyMadeChildren) {
  OpenSetupDialog();
  simwin::AccNode list = testing::Node(ROLE_SYSTEM_CLIENT, L"Offers");
  list.children = {
      testing::Simple(testing::Node(ROLE_SYSTEM_STATICTEXT, L"Label")),
      testing::Simple(testing::Node(ROLE_SYSTEM_GRAPHIC, L"Logo")),  // not kept
      testing::Simple(testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Offer")),
  };
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, list);
  root_ = CreateMSAARootElement(dialog_.hwnd);
  EXPECT_EQ(DumpTree(root_), (std::vector<std::string>{"Window 'Setup - Example App'", "Window\\Pane(0) 'Offers'",
                                                        "Window\\Pane(0)\\Text(0) 'Label'",
                                                        "Window\\Pane(0)\\CheckBox(1) 'Offer'"}));
}

TEST_F(MSAAUIElementTest, CachesAreDroppedOnlyByRefresh) {
  OpenSetupDialog();
  root_ = CreateMSAARootElement(dialog_.hwnd);
  auto pane = ChildAt(root_, {0});
  auto box = ChildAt(pane, {1});
  ASSERT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  ASSERT_EQ(pane->GetChildren().size(), 7u);

  const HWND boxWindow = dialog_.Control(testing::kToolbarOffer);
  const HWND hidden = dialog_.Control(testing::kHiddenOffer);
  installer_.Invoke([&] {
    SetWindowTextW(boxWindow, L"Renamed offer");
    ShowWindow(hidden, SW_SHOW);
    EnableWindow(boxWindow, FALSE);
  });
  EXPECT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  EXPECT_EQ(pane->GetChildren().size(), 7u);
  EXPECT_FALSE(box->IsEnabled());  // states are read live

  box->Refresh();
  EXPECT_EQ(box->GetName().Get(), "Renamed offer");
  pane->Refresh();
  EXPECT_EQ(pane->GetChildren().size(), 8u);
}

TEST_F(MSAAUIElementTest, ElementOutlivingItsTreeWorksButHasNoParent) {
  OpenSetupDialog();
  root_ = CreateMSAARootElement(dialog_.hwnd);
  auto pane = ChildAt(root_, {0});
  auto box = ChildAt(pane, {2});
  EXPECT_TRUE(root_->GetParent().IsNone());
  EXPECT_EQ(box->GetParent().Get(), pane);
  EXPECT_EQ(FindWindowHandle(box), dialog_.Control(testing::kHomepageOffer));

  root_.reset();
  pane.reset();
  try {
    box->GetParent();
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Parent referernce broken.");
  }
  EXPECT_EQ(box->GetPath(), "Window\\Pane(0)\\CheckBox(2)");
  EXPECT_EQ(box->GetName().Get(), "Make SearchPage my home page");
  EXPECT_TRUE(box->GetCheckBoxPattern()->IsChecked());
}

TEST_F(MSAAUIElementTest, FailingCallsRaiseTheirHresult) {
  OpenSetupDialog();
  const int fault = simwin::InjectAccessibilityFault(testing::Fault("AccessibleObjectFromWindow", E_ACCESSDENIED));
  try {
    CreateMSAARootElement(dialog_.hwnd);
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), E_ACCESSDENIED);
  }
  simwin::RemoveAccessibilityFault(fault);

  root_ = CreateMSAARootElement(dialog_.hwnd);
  simwin::InjectAccessibilityFault(testing::Fault("AccessibleChildren", RPC_E_DISCONNECTED));
  try {
    root_->GetChildren();
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), RPC_E_DISCONNECTED);
  }
}

TEST_F(MSAAUIElementTest, WindowLocationIsTheTopLevelWindowsWhateverTheElement) {
  OpenSetupDialog();
  root_ = CreateMSAARootElement(dialog_.hwnd);
  RECT expected{};
  GetWindowRect(dialog_.hwnd, &expected);
  auto box = ChildAt(root_, {0, 1});
  const RECT location = box->GetWindowLocation();
  EXPECT_EQ(location.left, expected.left);
  EXPECT_EQ(location.top, expected.top);
  EXPECT_EQ(location.right, expected.right);
  EXPECT_EQ(location.bottom, expected.bottom);
  RECT boxRect{};
  GetWindowRect(dialog_.Control(testing::kToolbarOffer), &boxRect);
  EXPECT_EQ(box->GetLocation().left, boxRect.left);
  EXPECT_EQ(box->GetLocation().bottom, boxRect.bottom);
}

// Trees served by an installer are untrusted: every walk over them must end.
TEST_F(MSAAUIElementTest, HostileTreesEndWithOneWarningPerBound) {
  struct Case {
    const char* name;
    std::function<simwin::AccNode()> tree;
    const wchar_t* warning;
    bool phantomChildren = false;
  };
  const Case cases[] = {
      {"self as child",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Self");
         node.ancestorAsChild = 0;
         return node;
       },
       L"deeper than 256 levels"},
      {"flattened self as child",
       [] {
         simwin::AccNode group = testing::Node(ROLE_SYSTEM_GROUPING, L"Loop");
         group.ancestorAsChild = 0;
         simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
         page.children = {group};
         return page;
       },
       L"deeper than 256 levels"},
      {"two-element cycle",
       [] {
         simwin::AccNode inner = testing::Node(ROLE_SYSTEM_CLIENT, L"B");
         inner.ancestorAsChild = 1;
         simwin::AccNode outer = testing::Node(ROLE_SYSTEM_CLIENT, L"A");
         outer.children = {inner};
         return outer;
       },
       L"deeper than 256 levels"},
      {"fan-out cycle",
       [] {
         simwin::AccNode a = testing::Node(ROLE_SYSTEM_CLIENT, L"A");
         a.ancestorAsChild = 1;
         simwin::AccNode b = testing::Node(ROLE_SYSTEM_CLIENT, L"B");
         b.ancestorAsChild = 1;
         simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
         page.children = {a, b};
         return page;
       },
       L"elements; the rest is treated as absent"},
      {"two billion children",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Huge");
         node.reportedChildCount = 0x7FFFFFFF;
         node.children = {testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Only")};
         return node;
       },
       L"reports 2147483647 children; only the first 10000 are read", true},
      {"100000-deep chain",
       [] {
         simwin::AccNode node = testing::Node(ROLE_SYSTEM_CLIENT, L"Chain");
         node.chainDepth = 100000;
         return node;
       },
       L"deeper than 256 levels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Clear();
    simwin::Process installer;
    simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, testing::SetupDialogLayout());
    simwin::AttachAccessibleTree(installer, dialog.hwnd, c.tree());
    auto root = CreateMSAARootElement(dialog.hwnd);
    // A full descent, as a pattern with AnyLevel makes it.
    long visited = 0;
    int deepest = 0;
    std::function<void(const std::shared_ptr<UIElement>&, int)> descend = [&](const auto& element, int depth) {
      ++visited;
      deepest = std::max(deepest, depth);
      for (const auto& child : element->GetChildren()) descend(child, depth + 1);
    };
    // A server that claims children it does not have fails the reads of the phantoms;
    // that ends the pass like any failing call.
    try {
      descend(root, 0);
    } catch (const _com_error& error) {
      EXPECT_TRUE(c.phantomChildren) << "COM error 0x" << std::hex << error.Error();
    }
    EXPECT_LE(deepest, kMaxTreeDepth);
    EXPECT_LE(visited, kMaxElementsPerTree + 1);
    EXPECT_EQ(host_.TracesContaining(c.warning).size(), 1u) << host_.FormatCalls(true);
    root.reset();
    installer.Exit();
  }
}

}  // namespace
}  // namespace installation_assistant
