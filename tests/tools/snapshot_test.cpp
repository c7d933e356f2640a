// Pictures of `iae sim run --snapshots` and the sticker composed into them.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/simwin.h"
#include "scenario_runner.h"
#include "snapshot.h"
#include "tools/temp_dir.h"

namespace iae_tool {
namespace {

namespace fs = std::filesystem;
using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Surface ReadPng(const fs::path& path) {
  return Surface(cairo_image_surface_create_from_png(path.c_str()), &cairo_surface_destroy);
}

struct Rgb {
  int r, g, b;
};
Rgb Pixel(cairo_surface_t* surface, int x, int y) {
  cairo_surface_flush(surface);
  const auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
  return Rgb{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
}

TEST(Snapshots, ExampleRunPicturesEachPageWhenShownAfterActionsAndAtTheEnd) {
  const std::string file = std::string(IAE_EXAMPLES_DIR) + "/scenarios/wizard.yaml";
  const Scenario scenario = LoadScenario(file);
  TempDir dir;
  ScenarioRunOptions options;
  options.snapshotDir = (dir.path() / "made/here").string();
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunScenario(scenario, options, out, err), kScenarioAsExpected) << out.str() << err.str();

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(options.snapshotDir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  std::vector<std::string> moments;
  const std::regex pattern(R"((\d\d)-([a-z]+)-(shown|after-actions-\d+|final)\.png)");
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(names[i], match, pattern)) << names[i];
    EXPECT_EQ(std::stoul(match[1]), i + 1) << names[i];  // numbered in the order written
    moments.push_back(match[2].str() + "-" + match[3].str());
    EXPECT_NE(out.str().find(names[i]), std::string::npos) << "the story tells of " << names[i];

    const auto page = std::find_if(scenario.installer.pages.begin(), scenario.installer.pages.end(),
                                   [&](const ScenarioPage& p) { return p.name == match[2].str(); });
    ASSERT_NE(page, scenario.installer.pages.end()) << names[i];
    const Surface png = ReadPng(fs::path(options.snapshotDir) / names[i]);
    ASSERT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS) << names[i];
    EXPECT_EQ(cairo_image_surface_get_width(png.get()), page->rect.right - page->rect.left) << names[i];
    // The host shows stickers: one below the window grows the picture by its height and gap.
    const int height = cairo_image_surface_get_height(png.get());
    const int pageHeight = page->rect.bottom - page->rect.top;
    EXPECT_TRUE(height == pageHeight || (height > pageHeight + 5 && height <= pageHeight + 5 + 42)) << names[i];
  }
  for (const char* expected : {"welcome-shown", "options-shown", "type-shown", "finish-shown", "finish-final"}) {
    EXPECT_EQ(std::count(moments.begin(), moments.end(), expected), 1) << expected;
  }
  EXPECT_TRUE(std::any_of(moments.begin(), moments.end(),
                          [](const std::string& m) { return m.find("after-actions-") != std::string::npos; }));
}

TEST(Snapshots, UnwritableFolderFailsTheRunWithAMessage) {
  TempDir dir;
  const fs::path blocker = dir.path() / "a-file";
  { std::ofstream(blocker) << "x"; }
  ScenarioRunOptions options;
  options.snapshotDir = (blocker / "pictures").string();
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunScenario(LoadScenario(std::string(IAE_EXAMPLES_DIR) + "/scenarios/offer_page.yaml"), options, out, err),
            kScenarioFailed);
  EXPECT_NE(out.str().find("cannot write pictures in " + options.snapshotDir), std::string::npos) << out.str();
}

// The engine's sticker as it makes it: a layered popup of the host's thread painting a rounded box, with an icon and a
// text; invisible until its opacity is set.
LRESULT CALLBACK StickerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wParam, lParam);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x40, 0xC0));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xA0, 0xC8, 0xA0));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, 0, 0, client.right, client.bottom, 8, 8);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
  EndPaint(hwnd, &ps);
  return 0;
}

struct StickerCase {
  const char* name;
  POINT offset;  // of the sticker from the window's bottom left corner
  bool layered;  // SetLayeredWindowAttributes called
  bool composed;
};
void PrintTo(const StickerCase& c, std::ostream* os) { *os << c.name; }

class StickerTest : public testing::TestWithParam<StickerCase> {};

TEST_P(StickerTest, IsComposedAtItsOffsetWithItsOpacity) {
  const StickerCase& c = GetParam();
  constexpr RECT kWindow{100, 100, 500, 400};
  constexpr SIZE kSticker{200, 60};
  constexpr BYTE kAlpha = 128;
  simwin::Process installer;
  simwin::DialogLayout layout;
  layout.rect = kWindow;
  layout.controls.push_back({L"Button", BS_AUTOCHECKBOX, L"An offer", 1, RECT{20, 20, 300, 40}, BST_CHECKED});
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, layout);

  WNDCLASSEXW cls{};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = &StickerProc;
  cls.lpszClassName = L"QuorvantaUncheckerNotification";
  RegisterClassExW(&cls);
  const POINT at{kWindow.left + c.offset.x, kWindow.bottom + c.offset.y};
  HWND sticker = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, cls.lpszClassName, L"", WS_POPUP | WS_CLIPCHILDREN,
                                 at.x, at.y, kSticker.cx, kSticker.cy, nullptr, nullptr, nullptr, nullptr);
  HWND icon = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 8, 8, 32, 32, sticker, nullptr,
                              nullptr, nullptr);
  std::vector<BYTE> bits(sizeof(BITMAPINFOHEADER) + 16 * 16 * 4 + 16 * 4, 0);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bits.data());
  *header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, 32, 1, 32};
  std::fill_n(reinterpret_cast<uint32_t*>(bits.data() + sizeof(BITMAPINFOHEADER)), 16 * 16, 0xFF30A030u);
  HICON image = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x30000, 0, 0, 0);
  SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(image), 0);
  HWND text = CreateWindowExW(0, L"Static", L"Offers declined", WS_CHILD | WS_VISIBLE, 48, 8, 140, 20, sticker,
                              nullptr, nullptr, nullptr);
  LOGFONTW font{};
  font.lfHeight = -12;
  HFONT hfont = CreateFontIndirectW(&font);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), TRUE);
  if (c.layered) SetLayeredWindowAttributes(sticker, 0, kAlpha, LWA_ALPHA);
  ShowWindow(sticker, SW_SHOWNOACTIVATE);
  UpdateWindow(sticker);

  TempDir dir;
  const auto picture = [&](const char* name) {
    const fs::path path = dir.path() / name;
    EXPECT_TRUE(iae_snapshot::WriteWindowPicture(dialog.hwnd, path.string()).written);
    return ReadPng(path);
  };
  const Surface with = picture("with.png");
  ShowWindow(sticker, SW_HIDE);
  const Surface without = picture("without.png");
  DestroyWindow(sticker);
  DeleteObject(hfont);
  DestroyIcon(image);
  UnregisterClassW(cls.lpszClassName, nullptr);

  ASSERT_EQ(cairo_surface_status(with.get()), CAIRO_STATUS_SUCCESS);
  const RECT canvas{std::min(kWindow.left, at.x), kWindow.top, std::max(kWindow.right, at.x + kSticker.cx),
                    std::max(kWindow.bottom, at.y + kSticker.cy)};
  const bool grows = c.composed && (canvas.right > kWindow.right || canvas.bottom > kWindow.bottom);
  EXPECT_EQ(cairo_image_surface_get_width(with.get()), grows ? canvas.right - canvas.left : 400);
  EXPECT_EQ(cairo_image_surface_get_height(with.get()), grows ? canvas.bottom - canvas.top : 300);
  EXPECT_EQ(cairo_image_surface_get_height(without.get()), 300);
  if (!c.composed) return;
  // Inside the sticker, clear of its statics and outline: its fill over what lies below at its opacity. Below the
  // window that is the desktop, as in the canvas's far corner.
  const POINT probe{at.x + kSticker.cx - 10 - canvas.left, at.y + kSticker.cy / 2 - canvas.top};
  const bool overWindow = at.y + kSticker.cy / 2 < kWindow.bottom;
  const Rgb below = overWindow ? Pixel(without.get(), probe.x, probe.y)
                               : Pixel(with.get(), canvas.right - canvas.left - 1, canvas.bottom - canvas.top - 1);
  const Rgb seen = Pixel(with.get(), probe.x, probe.y);
  const auto blend = [&](int fill, int under) { return (fill * kAlpha + under * (255 - kAlpha)) / 255; };
  EXPECT_NEAR(seen.r, blend(0x20, below.r), 2);
  EXPECT_NEAR(seen.g, blend(0x40, below.g), 2);
  EXPECT_NEAR(seen.b, blend(0xC0, below.b), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Sticker, StickerTest,
    testing::Values(StickerCase{"BelowTheWindow", {0, 5}, true, true},
                    StickerCase{"OverItsLowerPart", {180, -80}, true, true},
                    StickerCase{"BeforeItsOpacityIsSet", {0, 5}, false, false},
                    StickerCase{"FarFromTheWindow", {0, 150}, true, false}),
    [](const testing::TestParamInfo<StickerCase>& info) { return info.param.name; });

}  // namespace
}  // namespace iae_tool
