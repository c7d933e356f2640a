// Conformance of GDI basics: DC objects, text measuring, window regions, painting and a Static's WM_CTLCOLORSTATIC.
#include <vector>

#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Handler;

namespace {

TEST(Gdi, SelectingReturnsThePreviousObjectOfTheSameKind) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HDC dc = GetDC(hwnd);
  ASSERT_NE(dc, nullptr);
  struct Case {
    UINT type;
    int stock;
    HGDIOBJ created;
  };
  const Case cases[] = {
      {OBJ_FONT, SYSTEM_FONT, CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial")},
      {OBJ_BRUSH, WHITE_BRUSH, CreateSolidBrush(RGB(1, 2, 3))},
      {OBJ_PEN, BLACK_PEN, CreatePen(PS_SOLID, 1, RGB(4, 5, 6))},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.created, nullptr);
    EXPECT_EQ(GetObjectType(c.created), static_cast<DWORD>(c.type));
    EXPECT_EQ(GetCurrentObject(dc, c.type), GetStockObject(c.stock));
    EXPECT_EQ(SelectObject(dc, c.created), GetStockObject(c.stock));
    EXPECT_EQ(GetCurrentObject(dc, c.type), c.created);
    EXPECT_EQ(SelectObject(dc, GetStockObject(c.stock)), c.created);
    EXPECT_TRUE(DeleteObject(c.created));
  }
  EXPECT_EQ(SetTextColor(dc, RGB(10, 20, 30)), RGB(0, 0, 0));
  EXPECT_EQ(SetTextColor(dc, 0), RGB(10, 20, 30));
  EXPECT_EQ(SetBkColor(dc, RGB(1, 1, 1)), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
  DestroyWindow(hwnd);
}

TEST(Gdi, ASelectedObjectDeletedLivesUntilDeselectedAndStockObjectsStay) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HDC dc = GetDC(hwnd);
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  HGDIOBJ old = SelectObject(dc, brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(SelectObject(dc, old), brush);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
  ReleaseDC(hwnd, dc);
  DestroyWindow(hwnd);
}

TEST(Gdi, DrawTextCalcRectGrowsWithTheTextAndTheFont) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HDC dc = GetDC(hwnd);
  HFONT small = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  HFONT large = CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  const auto measure = [&](HFONT font, const wchar_t* text, UINT format) {
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{10, 20, 10, 20};
    const int height = DrawTextW(dc, text, -1, &r, format | DT_CALCRECT);
    SelectObject(dc, old);
    EXPECT_EQ(height, r.bottom - r.top) << text;
    return r;
  };
  const RECT abc = measure(small, L"abc", DT_SINGLELINE);
  const RECT longer = measure(small, L"abcdefabcdef", DT_SINGLELINE);
  const RECT bigger = measure(large, L"abc", DT_SINGLELINE);
  const RECT prefixed = measure(small, L"&abc", DT_SINGLELINE);
  const RECT twoLines = measure(small, L"abc\nabc", 0);
  EXPECT_EQ(abc.left, 10);
  EXPECT_EQ(abc.top, 20);
  EXPECT_GT(abc.right, abc.left);
  EXPECT_GT(abc.bottom, abc.top);
  EXPECT_GT(longer.right, abc.right);
  EXPECT_EQ(longer.bottom, abc.bottom);
  EXPECT_GT(bigger.right, abc.right);
  EXPECT_GT(bigger.bottom, abc.bottom);
  EXPECT_EQ(prefixed.right, abc.right);  // the mnemonic prefix takes no room
  EXPECT_EQ(twoLines.bottom - twoLines.top, 2 * (abc.bottom - abc.top));
  EXPECT_EQ(twoLines.right, abc.right);
  DeleteObject(small);
  DeleteObject(large);
  ReleaseDC(hwnd, dc);
  DestroyWindow(hwnd);
}

TEST(Gdi, AWindowRegionComesBackAsSetUntilRemoved) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(hwnd, copy), ERROR);
  struct Case {
    HRGN (*make)();
    int type;
  };
  const Case cases[] = {
      {[] { return CreateRoundRectRgn(0, 0, 100, 50, 12, 12); }, COMPLEXREGION},
      {[] { return CreateRectRgn(5, 5, 60, 40); }, SIMPLEREGION},
  };
  for (const auto& c : cases) {
    ASSERT_NE(SetWindowRgn(hwnd, c.make(), FALSE), 0);  // the window owns it now
    EXPECT_EQ(GetWindowRgn(hwnd, copy), c.type);
    HRGN expected = c.make();
    // A rounded region's copy keeps its bounds and kind; only a rectangle is compared scan line by scan line, as
    // wine's rounded window region is not EqualRgn to a fresh one.
    if (c.type == SIMPLEREGION) {
      EXPECT_TRUE(EqualRgn(copy, expected));
    }
    RECT a{}, b{};
    EXPECT_EQ(GetRgnBox(copy, &a), c.type);
    GetRgnBox(expected, &b);
    EXPECT_TRUE(EqualRect(&a, &b));
    DeleteObject(expected);
  }
  ASSERT_NE(SetWindowRgn(hwnd, nullptr, FALSE), 0);
  EXPECT_EQ(GetWindowRgn(hwnd, copy), ERROR);
  DeleteObject(copy);
  DestroyWindow(hwnd);
}

TEST(Painting, WmPaintComesAfterPostedMessagesUntilTheWindowIsValidated) {
  DrainQueue();
  int paints = 0;
  bool validate = true;
  Handler h = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_PAINT) return std::nullopt;
    ++paints;
    if (validate) {
      PAINTSTRUCT ps;
      EXPECT_NE(BeginPaint(hwnd, &ps), nullptr);
      EndPaint(hwnd, &ps);
    }
    return 0;
  };
  HWND hwnd = CreateTestWindow(WS_POPUP | WS_VISIBLE, nullptr, &h);
  UpdateWindow(hwnd);  // shown, so invalid: painted at once
  EXPECT_EQ(paints, 1);
  UpdateWindow(hwnd);
  EXPECT_EQ(paints, 1);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE));

  const RECT part{1, 2, 30, 40};
  ASSERT_TRUE(InvalidateRect(hwnd, &part, FALSE));
  RECT update{};
  EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
  EXPECT_TRUE(EqualRect(&update, &part));
  PostMessageW(hwnd, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  validate = false;
  for (int i = 0; i < 2; ++i) {  // not validated: it comes again
    ASSERT_TRUE(PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageW(&msg);
  }
  EXPECT_TRUE(ValidateRect(hwnd, nullptr));
  EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE));
  EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
  DestroyWindow(hwnd);
}

TEST(Painting, AStaticAsksItsParentForColoursWhenItPaints) {
  HWND statik = nullptr;
  HBRUSH brush = CreateSolidBrush(RGB(200, 220, 240));
  int asked = 0;
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
    if (msg != WM_CTLCOLORSTATIC) return std::nullopt;
    ++asked;
    EXPECT_EQ(reinterpret_cast<HWND>(lParam), statik);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(wParam)), static_cast<DWORD>(OBJ_DC));
    SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));
    return reinterpret_cast<LRESULT>(brush);
  };
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE, nullptr, &h);
  statik = CreateWindowExW(0, L"Static", L"Hello", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(statik, nullptr);
  UpdateWindow(parent);
  EXPECT_GE(asked, 1);
  DestroyWindow(parent);
  DeleteObject(brush);
}

}  // namespace
