#include "uielement/uia_rectangles.h"

#include <gtest/gtest.h>

#include "uielement/msaa/msaa_test_support.h"

namespace installation_assistant {
namespace {

using testing::ChildAt;

using UIAutomationRectanglesTest = testing::MSAATest;

void ExpectRect(const RECT& actual, const RECT& expected) {
  EXPECT_EQ(actual.left, expected.left);
  EXPECT_EQ(actual.top, expected.top);
  EXPECT_EQ(actual.right, expected.right);
  EXPECT_EQ(actual.bottom, expected.bottom);
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

TEST_F(UIAutomationRectanglesTest, ElementsOfACustomTreeConvertDirectly) {
  OpenSetupDialog();
  simwin::AccNode offer = testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Drawn offer");
  offer.location = RECT{140, 160, 260, 180};
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
  page.location = RECT{100, 120, 500, 400};
  page.children = {offer};
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, page);

  root_ = CreateMSAARootElement(dialog_.hwnd);
  auto box = ChildAt(root_, {0, 0});
  ASSERT_TRUE(box);
  ASSERT_EQ(box->GetName().Get(), "Drawn offer");
  ExpectRect(box->GetDPIAwareLocation(), RECT{140, 160, 260, 180});
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Error, L"Cannot convert"), 0u);
}

TEST_F(UIAutomationRectanglesTest, StandardControlsFallBackToTheirWindow) {
  OpenSetupDialog();
  root_ = CreateMSAARootElement(dialog_.hwnd);
  auto box = ChildAt(root_, {0, 1});
  ASSERT_TRUE(box);
  // oleacc's proxies cannot be converted; the control's own window stands in.
  ExpectRect(box->GetDPIAwareLocation(), WindowRect(dialog_.Control(testing::kToolbarOffer)));
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Error, L"Cannot convert IAccessible to UI Automation element80070057"),
            1u)
      << host_.FormatCalls(true);
}

TEST_F(UIAutomationRectanglesTest, WindowRectangleAndItsFailures) {
  OpenSetupDialog();
  const HWND next = dialog_.Control(testing::kNext);
  ExpectRect(UIAutomationRectangleOfWindow(next), WindowRect(next));
  ExpectRect(UIAutomationRectangleOfWindow(dialog_.hwnd), WindowRect(dialog_.hwnd));

  simwin::InjectAccessibilityFault(testing::Fault("get_CurrentBoundingRectangle", RPC_E_DISCONNECTED));
  try {
    UIAutomationRectangleOfWindow(next);
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), RPC_E_DISCONNECTED);
  }
  simwin::ClearAccessibilityFaults();
  EXPECT_THROW(UIAutomationRectangleOfAccessible(nullptr, CHILDID_SELF), _com_error);
}

}  // namespace
}  // namespace installation_assistant
