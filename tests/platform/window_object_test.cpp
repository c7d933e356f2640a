// Conformance of the standard window object of a child window: which of its seven frame parts are visible follows
// the window's style, and a child window without caption or scroll bars shows its client alone. Readers of a dialog
// rely on that to take a control's client object in one request instead of reading the frame part by part.
#include <string>
#include <vector>

#include "accessible_child.h"
#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;

namespace {

struct Part {
  LONG role;
  HWND window;
  bool operator==(const Part&) const = default;
};

LONG RoleOf(IAccessible* acc) {
  VARIANT role;
  VariantInit(&role);
  EXPECT_EQ(acc->get_accRole(ChildId(CHILDID_SELF), &role), S_OK);
  return role.vt == VT_I4 ? role.lVal : -1;
}

// The visible children of an object, each by role and window.
std::vector<Part> VisibleChildren(IAccessible* parent) {
  long count = 0;
  EXPECT_EQ(parent->get_accChildCount(&count), S_OK);
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG obtained = 0;
  EXPECT_TRUE(SUCCEEDED(AccessibleChildren(parent, 0, count, children.data(), &obtained)));
  std::vector<Part> visible;
  for (LONG i = 0; i < obtained; ++i) {
    VARIANT& child = children[static_cast<std::size_t>(i)];
    IAccessible* acc = nullptr;
    if (child.vt == VT_DISPATCH && child.pdispVal != nullptr) {
      child.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc));
    }
    if (acc != nullptr) {
      VARIANT state;
      VariantInit(&state);
      EXPECT_EQ(acc->get_accState(ChildId(CHILDID_SELF), &state), S_OK);
      HWND window = nullptr;
      WindowFromAccessibleObject(acc, &window);
      if (state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_INVISIBLE) == 0) visible.push_back({RoleOf(acc), window});
      acc->Release();
    }
    VariantClear(&child);
  }
  return visible;
}

IAccessible* ObjectOf(HWND hwnd, LONG objid) {
  IAccessible* acc = nullptr;
  EXPECT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(objid), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  return acc;
}

class WindowObject : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    DrainQueue();
    CoUninitialize();
  }
};

// The parts' visibility by style: "Window", "Title Bar", "Scroll Bar" and "Size Grip" in Microsoft Learn's MSAA UI
// element reference (absent parts stay counted, with STATE_SYSTEM_INVISIBLE).
TEST_F(WindowObject, AChildWindowShowsItsClientAloneUnlessItsStyleGivesItACaptionOrScrollBars) {
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE);
  ASSERT_NE(parent, nullptr);
  constexpr DWORD kBox = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX;
  const struct {
    DWORD style;
    std::vector<LONG> otherParts;  // roles of the visible parts besides the client
  } rows[] = {
      {kBox, {}},
      {kBox | WS_BORDER | WS_TABSTOP, {}},
      {kBox | WS_DLGFRAME, {}},
      {kBox | WS_VSCROLL, {ROLE_SYSTEM_SCROLLBAR}},
      {kBox | WS_HSCROLL, {ROLE_SYSTEM_SCROLLBAR}},
      {kBox | WS_VSCROLL | WS_HSCROLL, {ROLE_SYSTEM_SCROLLBAR, ROLE_SYSTEM_SCROLLBAR, ROLE_SYSTEM_GRIP}},
      {kBox | WS_CAPTION, {ROLE_SYSTEM_TITLEBAR}},
      {kBox | WS_CAPTION | WS_SYSMENU, {ROLE_SYSTEM_MENUBAR, ROLE_SYSTEM_TITLEBAR}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.style);
    HWND box = CreateWindowExW(0, L"Button", L"Offer", row.style, 0, 0, 120, 60, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(box, nullptr);
    IAccessible* window = ObjectOf(box, OBJID_WINDOW);
    ASSERT_NE(window, nullptr);
    const std::vector<Part> visible = VisibleChildren(window);
    std::vector<LONG> others;
    bool client = false;
    for (const Part& part : visible) {
      EXPECT_EQ(part.window, box);
      if (part.role == ROLE_SYSTEM_CHECKBUTTON) {
        client = true;
      } else {
        others.push_back(part.role);
      }
    }
    EXPECT_TRUE(client) << "the client object, with the control's role";
    EXPECT_EQ(others, row.otherParts);
    window->Release();
    DestroyWindow(box);
  }
  DestroyWindow(parent);
}

// The parent's client object lists each child window by its window object, which names that window; a hidden child
// hides its client too.
TEST_F(WindowObject, TheParentListsEachChildByItsWindowObjectAndAHiddenChildHidesItsClient) {
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE);
  HWND shown = CreateWindowExW(0, L"Button", L"Next", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 80, 20, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND hidden = CreateWindowExW(0, L"Button", L"Back", WS_CHILD | BS_PUSHBUTTON, 0, 30, 80, 20, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(hidden, nullptr);
  IAccessible* client = ObjectOf(parent, OBJID_CLIENT);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(VisibleChildren(client), (std::vector<Part>{{ROLE_SYSTEM_WINDOW, shown}}));
  client->Release();

  IAccessible* hiddenClient = ObjectOf(hidden, OBJID_CLIENT);
  ASSERT_NE(hiddenClient, nullptr);
  VARIANT state;
  VariantInit(&state);
  EXPECT_EQ(hiddenClient->get_accState(ChildId(CHILDID_SELF), &state), S_OK);
  EXPECT_NE(state.lVal & STATE_SYSTEM_INVISIBLE, 0);
  EXPECT_EQ(RoleOf(hiddenClient), ROLE_SYSTEM_PUSHBUTTON);
  hiddenClient->Release();
  DestroyWindow(parent);
}

}  // namespace
