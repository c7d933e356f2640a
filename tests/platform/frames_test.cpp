// Conformance of window frames: the non-client area each style gives, children placed in their parent's client area,
// points mapped between windows and the screen, and where the accessible window and client objects say they are.
// The frame sizes are compared with the system metrics, never with fixed numbers: themes and versions differ.
#include <tuple>

#include "accessible_child.h"
#include "conformance.h"

namespace {

int Metric(int index) { return GetSystemMetrics(index); }

RECT WindowRect(HWND hwnd) {
  RECT r{};
  EXPECT_TRUE(GetWindowRect(hwnd, &r));
  return r;
}

RECT ClientOnScreen(HWND hwnd) {
  RECT r{};
  EXPECT_TRUE(GetClientRect(hwnd, &r));
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

auto Edges(const RECT& r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); }
auto Coordinates(const POINT& p) { return std::make_pair(p.x, p.y); }

// A captioned dialog, as installers show their pages, at (100, 100).
constexpr DWORD kCaptioned = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr RECT kDialogAt{100, 100, 500, 400};
POINT DialogClientOrigin() {
  return POINT{100 + Metric(SM_CXFIXEDFRAME), 100 + Metric(SM_CYFIXEDFRAME) + Metric(SM_CYCAPTION)};
}

HWND CreateAt(DWORD exStyle, DWORD style, const RECT& at, HWND parent = nullptr) {
  HWND h = CreateWindowExW(exStyle, conformance::TestClassName(), L"", style, at.left, at.top, at.right - at.left,
                           at.bottom - at.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(h, nullptr);
  return h;
}

// Where the client area starts inside the window, by style; and the whole window is the client area grown by what
// AdjustWindowRectEx adds for the window's own styles.
TEST(Frames, EachStyleGivesItsFrameAndAdjustWindowRectExAgrees) {
  const int fixed = Metric(SM_CXFIXEDFRAME), caption = Metric(SM_CYCAPTION);
  const int sizing = Metric(SM_CXSIZEFRAME) + Metric(SM_CXPADDEDBORDER), border = Metric(SM_CXBORDER);
  const struct Case {
    const char* name;
    DWORD style;
    DWORD exStyle;
    bool child;  // of the captioned dialog
    int side;    // the client area's inset from the left
    int top;
  } cases[] = {
      {"popup", WS_POPUP, 0, false, 0, 0},
      {"captioned dialog", kCaptioned, 0, false, fixed, fixed + caption},
      {"overlapped window: always captioned", WS_OVERLAPPED, 0, false, fixed, fixed + caption},
      {"thick-frame window", WS_OVERLAPPEDWINDOW, 0, false, sizing, sizing + caption},
      {"sizing border without the thin one", WS_POPUP | WS_THICKFRAME, 0, false, sizing - border, sizing - border},
      {"tool window", WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW, false, fixed, fixed + Metric(SM_CYSMCAPTION)},
      {"modal frame alone", WS_POPUP, WS_EX_DLGMODALFRAME, false, fixed, fixed},
      {"window edge alone", WS_POPUP, WS_EX_WINDOWEDGE, false, 0, 0},
      {"bordered child", WS_CHILD | WS_BORDER, 0, true, border, Metric(SM_CYBORDER)},
      {"client-edge child", WS_CHILD, WS_EX_CLIENTEDGE, true, Metric(SM_CXEDGE), Metric(SM_CYEDGE)},
  };
  HWND dialog = CreateAt(0, kCaptioned, kDialogAt);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RECT at = c.child ? RECT{7, 9, 127, 89} : RECT{200, 150, 500, 350};
    HWND hwnd = CreateAt(c.exStyle, c.style, at, c.child ? dialog : nullptr);
    const POINT corner = c.child ? DialogClientOrigin() : POINT{0, 0};
    const RECT window = WindowRect(hwnd);
    EXPECT_EQ(Edges(window),
              Edges(RECT{corner.x + at.left, corner.y + at.top, corner.x + at.right, corner.y + at.bottom}));
    RECT adjusted = ClientOnScreen(hwnd);
    EXPECT_EQ(Coordinates(POINT{adjusted.left, adjusted.top}),
              Coordinates(POINT{window.left + c.side, window.top + c.top}));
    const auto style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    EXPECT_TRUE(AdjustWindowRectEx(&adjusted, style, FALSE, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE))));
    EXPECT_EQ(Edges(adjusted), Edges(window));
    DestroyWindow(hwnd);
  }
  DestroyWindow(dialog);
}

// A child sits in its parent's client area where CreateWindowEx or MoveWindow put it. MapWindowPoints adds the offset
// between two client areas (null: the screen) and returns it, x in the low word and y in the high word
// ("MapWindowPoints function", Microsoft Learn); ClientToScreen and ScreenToClient are its one-point cases.
TEST(Frames, ChildrenSitInTheirParentsClientAreaAndPointsMapBetweenClientAreas) {
  HWND dialog = CreateAt(0, kCaptioned, kDialogAt);
  HWND child = CreateAt(WS_EX_CLIENTEDGE, WS_CHILD, RECT{10, 20, 110, 70}, dialog);
  const POINT dialogClient = DialogClientOrigin();
  EXPECT_EQ(Edges(WindowRect(child)),
            Edges(RECT{dialogClient.x + 10, dialogClient.y + 20, dialogClient.x + 110, dialogClient.y + 70}));
  EXPECT_TRUE(MoveWindow(child, 30, 40, 60, 50, FALSE));
  const POINT childClient{dialogClient.x + 30 + Metric(SM_CXEDGE), dialogClient.y + 40 + Metric(SM_CYEDGE)};
  const struct Case {
    HWND from;
    HWND to;
    POINT offset;
  } cases[] = {
      {dialog, nullptr, dialogClient},
      {nullptr, child, {-childClient.x, -childClient.y}},
      {child, dialog, {childClient.x - dialogClient.x, childClient.y - dialogClient.y}},
      {nullptr, nullptr, {0, 0}},
      {GetDesktopWindow(), nullptr, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
    POINT corners[2] = {{1, 2}, {30, 40}};
    SetLastError(0);
    const int offsets = MapWindowPoints(c.from, c.to, corners, 2);
    EXPECT_EQ(std::make_pair(static_cast<short>(LOWORD(offsets)), static_cast<short>(HIWORD(offsets))),
              std::make_pair(static_cast<short>(c.offset.x), static_cast<short>(c.offset.y)));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(Coordinates(corners[1]), Coordinates(POINT{30 + c.offset.x, 40 + c.offset.y}));
  }
  POINT point{7, 8};
  EXPECT_TRUE(ClientToScreen(child, &point));
  EXPECT_EQ(Coordinates(point), Coordinates(POINT{childClient.x + 7, childClient.y + 8}));
  EXPECT_TRUE(ScreenToClient(child, &point));
  EXPECT_EQ(Coordinates(point), Coordinates(POINT{7, 8}));

  DestroyWindow(dialog);
  EXPECT_FAILS_WITH(MapWindowPoints(child, nullptr, &point, 1), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(ScreenToClient(nullptr, &point)) << "null is no window here";
  EXPECT_EQ(Coordinates(point), Coordinates(POINT{7, 8}));
}

// The standard window object stands for the whole window, the client object for the client area only: a point on
// the caption is outside it, S_FALSE with VT_EMPTY ("IAccessible::accHitTest", Microsoft Learn).
TEST(FramesMsaa, WindowObjectIsTheWindowAndClientObjectItsClientArea) {
  const conformance::Apartment apartment;
  HWND dialog = CreateAt(0, kCaptioned | WS_VISIBLE, kDialogAt);
  HWND child = CreateAt(WS_EX_CLIENTEDGE, WS_CHILD | WS_BORDER | WS_VISIBLE, RECT{10, 20, 110, 70}, dialog);
  for (HWND hwnd : {dialog, child}) {
    for (LONG objid : {OBJID_WINDOW, OBJID_CLIENT}) {
      SCOPED_TRACE(objid);
      Com<IAccessible> acc = StandardObject(hwnd, objid);
      ASSERT_TRUE(acc);
      long left = 0, top = 0, width = 0, height = 0;
      const HRESULT hr = acc->accLocation(&left, &top, &width, &height, ChildId(CHILDID_SELF));
      if (objid == OBJID_WINDOW) {
        WINE_DEPARTS("the window object has no accLocation");
        EXPECT_EQ(hr, conformance::WindowsOr<HRESULT>(S_OK, E_NOTIMPL));
      } else {
        EXPECT_EQ(hr, S_OK);
      }
      if (hr != S_OK) continue;
      const RECT expected = objid == OBJID_WINDOW ? WindowRect(hwnd) : ClientOnScreen(hwnd);
      EXPECT_EQ(Edges(RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + width),
                           static_cast<LONG>(top + height)}),
                Edges(expected));
    }
  }
  Com<IAccessible> client = StandardObject(dialog);
  ASSERT_TRUE(client);
  const POINT origin = DialogClientOrigin();
  VARIANT hit;
  VariantInit(&hit);
  {
    WINE_DEPARTS("the client object takes a point on the caption as its own");
    EXPECT_EQ(client->accHitTest(origin.x + 150, origin.y - 2, &hit), conformance::WindowsOr<HRESULT>(S_FALSE, S_OK));
    EXPECT_EQ(hit.vt, conformance::WindowsOr<VARTYPE>(VT_EMPTY, VT_I4));
  }
  EXPECT_EQ(client->accHitTest(origin.x + 12, origin.y + 22, &hit), S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH) << "the child's window object";
  Com<IAccessible> hitObject = AccessibleOf(hit.pdispVal);
  ASSERT_TRUE(hitObject);
  EXPECT_EQ(WindowOf(hitObject.p), child);
  DestroyWindow(dialog);
}

}  // namespace
