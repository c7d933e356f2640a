#include "uielement/msaa/msaa_element.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "uielement/msaa/msaa_test_support.h"

namespace installation_assistant {
namespace {

using testing::MSAATest;

class MSAAElementTest : public MSAATest {
 protected:
  MSAAUIElement Object(HWND window, LONG objid) {
    ComPtr<IAccessible> object;
    EXPECT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(objid), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(object.Receive())),
              S_OK);
    return MSAAUIElement(std::move(object), CHILDID_SELF, nullptr);
  }
};

TEST(MSAARoleTableTest, RolesMapAsInspectionToolsName) {
  struct Case {
    LONG role;
    ElementType type;
  };
  const Case cases[] = {
      {ROLE_SYSTEM_PUSHBUTTON, ElementType::Button},   {ROLE_SYSTEM_CHECKBUTTON, ElementType::CheckBox},
      {ROLE_SYSTEM_RADIOBUTTON, ElementType::RadioButton}, {ROLE_SYSTEM_CLIENT, ElementType::Pane},
      {ROLE_SYSTEM_DIALOG, ElementType::Pane},         {ROLE_SYSTEM_PROPERTYPAGE, ElementType::Pane},
      {ROLE_SYSTEM_WINDOW, ElementType::Window},       {ROLE_SYSTEM_STATICTEXT, ElementType::Text},
      {ROLE_SYSTEM_TEXT, ElementType::Edit},           {ROLE_SYSTEM_GROUPING, ElementType::Group},
      {ROLE_SYSTEM_INDICATOR, ElementType::Thumb},     {ROLE_SYSTEM_OUTLINE, ElementType::Tree},
      {ROLE_SYSTEM_GRIP, ElementType::Unknown},        {0, ElementType::Unknown},
      {ROLE_SYSTEM_CELL, ElementType::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(ElementTypeFromRole(c.role), c.type) << "role " << c.role;
}

// A control's client object hangs below its own window object, which only wraps it; the
// dialog's client has another handle, so the control's own handle stands for it.
TEST_F(MSAAElementTest, LocationWindowOfAStandardControlIsItsOwn) {
  OpenSetupDialog();
  const HWND box = dialog_.Control(testing::kToolbarOffer);
  EXPECT_EQ(Object(box, OBJID_CLIENT).LocationWindow(), box);
  EXPECT_EQ(Object(box, OBJID_WINDOW).LocationWindow(), box);
  // The top-level window object runs out of parents.
  EXPECT_EQ(Object(dialog_.hwnd, OBJID_WINDOW).LocationWindow(), dialog_.hwnd);
}

TEST_F(MSAAElementTest, LocationWindowSharedWithAnElementAncestorIsALogicError) {
  OpenSetupDialog();
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT, L"Page");
  page.children = {testing::Node(ROLE_SYSTEM_CHECKBUTTON, L"Drawn offer")};
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, page);
  MSAAUIElement pageObject = Object(dialog_.hwnd, OBJID_CLIENT);
  ASSERT_EQ(pageObject.RawChildren().size(), 1u);
  MSAAUIElement drawn = pageObject.RawChildren()[0];
  ASSERT_EQ(drawn.Role(), ROLE_SYSTEM_CHECKBUTTON);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Cannot use hwnd %08lX to extract location ",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(dialog_.hwnd)));
  try {
    drawn.LocationWindow();
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), expected);
  }
}

TEST_F(MSAAElementTest, DPIAwareLocationTracesTheConversionFailureBeforeFallingBack) {
  OpenSetupDialog();
  MSAAUIElement box = Object(dialog_.Control(testing::kToolbarOffer), OBJID_CLIENT);
  // UI Automation cannot convert oleacc's proxies: the failure is traced and the control's
  // own window stands in.
  RECT expected{};
  GetWindowRect(dialog_.Control(testing::kToolbarOffer), &expected);
  const RECT location = box.GetDPIAwareLocation();
  EXPECT_EQ(location.left, expected.left);
  EXPECT_EQ(location.bottom, expected.bottom);
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Error, L"MSAAUIElement::GetDPIAwareLocation\tCannot convert IAccessible to UI "
                                   L"Automation element"),
            1u);
}

TEST_F(MSAAElementTest, NamesAreCachedIncludingTheirAbsence) {
  OpenSetupDialog();
  simwin::AccNode page = testing::Node(ROLE_SYSTEM_CLIENT);
  page.children = {testing::Node(ROLE_SYSTEM_PUSHBUTTON)};
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, page);
  MSAAUIElement button = Object(dialog_.hwnd, OBJID_CLIENT).RawChildren()[0];
  EXPECT_TRUE(button.Name().IsNone());
  EXPECT_EQ(button.Role(), ROLE_SYSTEM_PUSHBUTTON);
  simwin::ResetAccessibilityCallCount();
  EXPECT_TRUE(button.Name().IsNone());
  EXPECT_EQ(button.Role(), ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 0u);
}

}  // namespace
}  // namespace installation_assistant
