// Conformance of the standard window object of a child window: which of its seven frame parts are visible follows
// the window's style, and a child window without caption or scroll bars shows its client alone. Readers of a dialog
// rely on that to take a control's client object in one request instead of reading the frame part by part.
#include <algorithm>
#include <optional>
#include <vector>

#include "accessible_child.h"
#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;

namespace {

struct Part {
  LONG role;
  HWND window;
  HRESULT stateRead;
  bool visible;
  bool operator==(const Part&) const = default;
};

Part Describe(IAccessible* acc) {
  VARIANT state;
  VariantInit(&state);
  const HRESULT read = acc->get_accState(ChildId(CHILDID_SELF), &state);
  const bool visible = read == S_OK && state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_INVISIBLE) == 0;
  return Part{RoleOf(acc), WindowOf(acc), read, visible};
}

// A button's client object has the button's role; wine's is a plain client.
LONG ButtonRole(LONG role) { return conformance::WindowsOr<LONG>(role, ROLE_SYSTEM_CLIENT); }

// The objects among the children (their order kept), or None when the parent cannot count them.
std::optional<std::vector<Part>> ChildObjects(IAccessible* parent) {
  long count = 0;
  if (parent->get_accChildCount(&count) != S_OK) return std::nullopt;
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG obtained = 0;
  EXPECT_TRUE(SUCCEEDED(AccessibleChildren(parent, 0, count, children.data(), &obtained)));
  std::vector<Part> parts;
  for (LONG i = 0; i < obtained; ++i) {
    VARIANT& child = children[static_cast<std::size_t>(i)];
    if (child.vt != VT_DISPATCH) {
      VariantClear(&child);
      continue;
    }
    if (const Com<IAccessible> acc = AccessibleOf(child.pdispVal)) parts.push_back(Describe(acc.p));
  }
  return parts;
}

// The parts' visibility by style: "Window", "Title Bar", "Scroll Bar" and "Size Grip" in Microsoft Learn's MSAA UI
// element reference (absent parts stay counted, with STATE_SYSTEM_INVISIBLE). Whatever the frame, the client
// object is the control's, named by the control's window.
TEST(WindowObject, AChildWindowShowsItsClientAloneUnlessItsStyleGivesItACaptionOrScrollBars) {
  conformance::Apartment apartment;
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE);
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
    const Com<IAccessible> client = StandardObject(box, OBJID_CLIENT);
    ASSERT_TRUE(client);
    {
      WINE_DEPARTS("a button's client object is a plain client");
      EXPECT_EQ(Describe(client.p), (Part{ButtonRole(ROLE_SYSTEM_CHECKBUTTON), box, S_OK, true}));
    }

    const Com<IAccessible> window = StandardObject(box, OBJID_WINDOW);
    ASSERT_TRUE(window);
    const std::optional<std::vector<Part>> parts = ChildObjects(window.p);
    {
      WINE_DEPARTS("the window object does not count its children");
      EXPECT_EQ(parts.has_value(), !conformance::RunningUnderWine());
    }
    if (!parts) continue;
    std::vector<LONG> others;
    for (const Part& part : *parts) {
      EXPECT_EQ(part.window, box);
      if (part.visible && part.role != ROLE_SYSTEM_CHECKBUTTON) others.push_back(part.role);
    }
    EXPECT_EQ(std::count(parts->begin(), parts->end(), Describe(client.p)), 1) << "the client, visible, once";
    EXPECT_EQ(others, row.otherParts);
    DestroyWindow(box);
  }
  DestroyWindow(parent);
  DrainQueue();
}

// The parent's client object lists each child window by its window object, which names that window; a hidden child
// hides its client too.
TEST(WindowObject, TheParentListsEachChildByItsWindowObjectAndAHiddenChildHidesItsClient) {
  conformance::Apartment apartment;
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE);
  HWND shown = CreateWindowExW(0, L"Button", L"Next", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 80, 20, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND hidden = CreateWindowExW(0, L"Button", L"Back", WS_CHILD | BS_PUSHBUTTON, 0, 30, 80, 20, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(hidden, nullptr);
  const Com<IAccessible> client = StandardObject(parent);
  ASSERT_TRUE(client);
  const std::optional<std::vector<Part>> children = ChildObjects(client.p);
  ASSERT_TRUE(children.has_value());
  {
    WINE_DEPARTS("the window object tells neither its role nor its state");
    const HRESULT read = conformance::WindowsOr<HRESULT>(S_OK, E_NOTIMPL);
    const LONG role = conformance::WindowsOr<LONG>(ROLE_SYSTEM_WINDOW, -1);
    EXPECT_EQ(*children, (std::vector<Part>{{role, shown, read, read == S_OK}, {role, hidden, read, false}}));
  }
  const Com<IAccessible> hiddenClient = StandardObject(hidden);
  ASSERT_TRUE(hiddenClient);
  WINE_DEPARTS("a button's client object is a plain client");
  EXPECT_EQ(Describe(hiddenClient.p), (Part{ButtonRole(ROLE_SYSTEM_PUSHBUTTON), hidden, S_OK, false}));
  DestroyWindow(parent);
  DrainQueue();
}

}  // namespace
