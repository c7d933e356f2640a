// Conformance of icons made from resource bits built here: directory look-up, creation, a Static showing one.
#include <cstring>
#include <vector>

#include "conformance.h"

namespace {

void Put16(std::vector<BYTE>& out, WORD v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(std::vector<BYTE>& out, DWORD v) {
  Put16(out, static_cast<WORD>(v));
  Put16(out, static_cast<WORD>(v >> 16));
}

// One 32-bit icon image as a resource holds it: the header (height doubled for the mask), the colour pixels bottom
// row first, the AND mask in rows padded to four bytes.
std::vector<BYTE> IconImage(int size, DWORD argb) {
  std::vector<BYTE> out;
  Put32(out, sizeof(BITMAPINFOHEADER));
  Put32(out, static_cast<DWORD>(size));
  Put32(out, static_cast<DWORD>(2 * size));
  Put16(out, 1);
  Put16(out, 32);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  for (int i = 0; i < size * size; ++i) Put32(out, argb);
  out.resize(out.size() + static_cast<size_t>(size) * ((size + 31) / 32) * 4, 0);
  return out;
}

// A group icon directory: for each (size, id), an entry of a 32-bit image of that many bytes.
std::vector<BYTE> Directory(const std::vector<std::pair<int, WORD>>& entries, DWORD bytes) {
  std::vector<BYTE> out;
  Put16(out, 0);
  Put16(out, 1);  // icons
  Put16(out, static_cast<WORD>(entries.size()));
  for (const auto& [size, id] : entries) {
    out.push_back(static_cast<BYTE>(size));
    out.push_back(static_cast<BYTE>(size));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, bytes);
    Put16(out, id);
  }
  return out;
}

TEST(Icons, TheDirectoryEntryNearestTheSizeIsChosen) {
  auto one = Directory({{16, 7}}, 1128);
  EXPECT_EQ(LookupIconIdFromDirectory(one.data(), TRUE), 7);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(one.data(), TRUE, 16, 16, LR_DEFAULTCOLOR), 7);
  auto two = Directory({{16, 1}, {32, 2}}, 1128);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(two.data(), TRUE, 16, 16, LR_DEFAULTCOLOR), 1);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(two.data(), TRUE, 32, 32, LR_DEFAULTCOLOR), 2);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(two.data(), TRUE, 30, 30, LR_DEFAULTCOLOR), 2);
}

// An .ico file's 16-byte entries end in the image's offset where a resource directory's 14-byte entries end in the
// image's id: for one entry the look-up gives the image's offset in the file.
TEST(Icons, TheLookupOnAnIcoFileGivesItsOnlyImagesOffset) {
  auto file = Directory({{32, 6 + 16}}, 4264);
  file.push_back(0);  // the offset's high word: a 16-byte entry
  file.push_back(0);
  EXPECT_EQ(LookupIconIdFromDirectory(file.data(), TRUE), 6 + 16);
}

TEST(Icons, SystemCursorsAreSharedAndOnlyTheSystemsCanBeLoadedWithoutAModule) {
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  EXPECT_NE(arrow, nullptr);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), arrow);
  EXPECT_NE(LoadCursorW(nullptr, IDC_IBEAM), arrow);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
}

TEST(Icons, AnIconFromOneImageShowsInAStaticThatTakesItsSize) {
  auto bits = IconImage(16, 0xFF2080C0);
  HICON icon = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000, 16, 16,
                                        LR_DEFAULTCOLOR);
  ASSERT_NE(icon, nullptr);
  HWND parent = conformance::CreateTestWindow(WS_POPUP);
  HWND statik = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 4, 4, 50, 50, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(statik, nullptr);
  EXPECT_EQ(SendMessageW(statik, STM_GETICON, 0, 0), 0);
  EXPECT_EQ(SendMessageW(statik, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0), 0);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(statik, STM_GETICON, 0, 0)), icon);
  RECT r{};
  GetClientRect(statik, &r);
  EXPECT_EQ(r.right, 16);
  EXPECT_EQ(r.bottom, 16);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(statik, STM_SETICON, 0, 0)), icon);
  DestroyWindow(parent);
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(icon));
}

}  // namespace
