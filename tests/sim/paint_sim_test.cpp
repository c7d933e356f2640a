// simwin's record of painting: the display list a picture writer renders, the font model, GDI leak counts.
#include <cstring>
#include <tuple>
#include <vector>

#include "platform/conformance.h"
#include "platform/sim/simwin.h"

using conformance::CreateTestWindow;
using conformance::Handler;
using Kind = simwin::DrawOp::Kind;

namespace {

TEST(SimwinPainting, AStaticRecordsItsParentsBrushAndTextColourAndAFullRepaintStartsAnew) {
  HBRUSH brush = CreateSolidBrush(RGB(200, 220, 240));
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_CTLCOLORSTATIC) return std::nullopt;
    SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));
    SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<LRESULT>(brush);
  };
  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE, nullptr, &h);
  HWND label = CreateWindowExW(0, L"Static", L"&Next step", WS_CHILD | WS_VISIBLE | SS_CENTER, 5, 5, 200, 20, parent,
                               nullptr, nullptr, nullptr);
  HFONT font = CreateFontW(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Segoe UI");
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  UpdateWindow(parent);
  auto list = simwin::DisplayList(label);
  ASSERT_EQ(list.size(), 2u);
  const RECT client{0, 0, 200, 20};
  EXPECT_EQ(std::make_tuple(list[0].kind, list[0].color), std::make_tuple(Kind::Fill, RGB(200, 220, 240)));
  EXPECT_TRUE(EqualRect(&list[0].rect, &client));
  const auto& text = list[1];
  EXPECT_EQ(std::make_tuple(text.kind, text.text, text.color, text.transparent, text.fontFace),
            std::make_tuple(Kind::Text, std::wstring(L"Next step"), RGB(255, 0, 0), true, std::wstring(L"Segoe UI")));
  // The font model: a 12-pixel character height has a 15-pixel cell and 8-pixel bold characters; centred in 200.
  EXPECT_EQ(std::make_tuple(text.fontHeight, text.rect.left, text.rect.right), std::make_tuple(15, 64, 64 + 9 * 8));

  SetWindowTextW(label, L"Done");
  UpdateWindow(parent);
  list = simwin::DisplayList(label);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].text, L"Done");
  DestroyWindow(parent);
  DeleteObject(font);
  DeleteObject(brush);
}

TEST(SimwinPainting, ARoundRectRecordsTheSelectedBrushAndPen) {
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HDC dc = GetDC(hwnd);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  SelectObject(dc, brush);
  SelectObject(dc, GetStockObject(NULL_PEN));
  ASSERT_TRUE(RoundRect(dc, 0, 0, 120, 60, 16, 16));
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SelectObject(dc, GetStockObject(WHITE_PEN));
  ASSERT_TRUE(RoundRect(dc, 1, 1, 119, 59, 14, 14));
  ReleaseDC(hwnd, dc);
  const auto list = simwin::DisplayList(hwnd);
  ASSERT_EQ(list.size(), 2u);
  // Filled, its colour, outlined, its pen's colour, the corner's width.
  EXPECT_EQ(std::make_tuple(list[0].filled, list[0].color, list[0].outlined, list[0].corner.cx),
            std::make_tuple(true, RGB(10, 20, 30), false, 16L));
  EXPECT_EQ(std::make_tuple(list[1].filled, list[1].outlined, list[1].penColor),
            std::make_tuple(false, true, RGB(0xFF, 0xFF, 0xFF)));
  DeleteObject(brush);
  DestroyWindow(hwnd);
}

TEST(SimwinPainting, GdiObjectsAreCountedUntilDeletedOrReleasedWithTheirWindow) {
  const std::size_t before = simwin::LiveGdiObjectCount();
  HWND hwnd = CreateTestWindow(WS_POPUP);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  GetStockObject(DKGRAY_BRUSH);  // stock objects are not counted
  ASSERT_TRUE(SetWindowRgn(hwnd, CreateRoundRectRgn(0, 0, 40, 40, 8, 8), FALSE));
  EXPECT_EQ(simwin::LiveGdiObjectCount(), before + 3);
  HDC dc = GetDC(hwnd);
  SelectObject(dc, font);
  DeleteObject(font);  // still selected: lives on
  EXPECT_EQ(simwin::LiveGdiObjectCount(), before + 3);
  ReleaseDC(hwnd, dc);
  DeleteObject(brush);
  EXPECT_EQ(simwin::LiveGdiObjectCount(), before + 1);
  DestroyWindow(hwnd);  // takes its region along
  EXPECT_EQ(simwin::LiveGdiObjectCount(), before);
}

TEST(SimwinPainting, AnIconKeepsItsPixelsTopRowFirstAndAStaticDrawsIt) {
  // A 2x2 32-bit image: rows bottom-up, then a mask of two 4-byte rows.
  const DWORD bottom[2] = {0xFF000001, 0xFF000002};
  const DWORD top[2] = {0xFF000003, 0x80000004};
  std::vector<BYTE> bits(sizeof(BITMAPINFOHEADER) + 16 + 8, 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = 2;
  header.biHeight = 4;
  header.biPlanes = 1;
  header.biBitCount = 32;
  std::memcpy(bits.data(), &header, sizeof(header));
  std::memcpy(bits.data() + sizeof(header), bottom, 8);
  std::memcpy(bits.data() + sizeof(header) + 8, top, 8);
  const std::size_t before = simwin::LiveIconCount();
  HICON icon = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000, 0, 0, 0);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(simwin::LiveIconCount(), before + 1);
  const auto image = simwin::IconPixels(icon);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(std::make_pair(image->width, image->height), std::make_pair(2, 2));
  EXPECT_EQ(image->argb, (std::vector<uint32_t>{0xFF000003, 0x80000004, 0xFF000001, 0xFF000002}));

  HWND parent = CreateTestWindow(WS_POPUP | WS_VISIBLE);
  HWND statik = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 3, 3, 40, 40, parent, nullptr,
                                nullptr, nullptr);
  SendMessageW(statik, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  UpdateWindow(parent);
  const auto list = simwin::DisplayList(statik);
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(std::make_tuple(list.back().kind, list.back().icon, list.back().rect.right),
            std::make_tuple(Kind::Icon, icon, 2L));
  DestroyWindow(parent);
  DestroyIcon(icon);
  EXPECT_EQ(simwin::LiveIconCount(), before);
  EXPECT_FALSE(simwin::IconPixels(icon).has_value());
}

}  // namespace
