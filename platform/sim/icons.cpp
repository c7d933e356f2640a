// simwin icons: picking an image from an icon directory, making an icon from one image, drawing it (recorded).
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/sim/gdi_internal.h"

namespace {

using namespace simwin::detail;

std::map<uintptr_t, simwin::IconImage>& Icons() {  // lock held
  static auto* icons = new std::map<uintptr_t, simwin::IconImage>;
  return *icons;
}
uintptr_t nextIcon = 0x7C0010;

WORD Word(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Dword(const BYTE* p) { return Word(p) | (static_cast<DWORD>(Word(p + 2)) << 16); }
DWORD BigEndian(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (p[2] << 8) | p[3];
}

}  // namespace

namespace simwin::detail {

bool IconSizeLocked(HICON icon, SIZE& size) {
  auto it = Icons().find(reinterpret_cast<uintptr_t>(icon));
  if (it == Icons().end()) return false;
  size = SIZE{it->second.width, it->second.height};
  return true;
}

}  // namespace simwin::detail

int WINAPI LookupIconIdFromDirectoryEx(PBYTE presbits, BOOL fIcon, int cxDesired, int cyDesired, UINT) {
  // The directory: reserved, type (1 icon, 2 cursor), count; then 14-byte entries ending in the image's id
  // ("LookupIconIdFromDirectoryEx function", "GRPICONDIRENTRY", Microsoft Learn).
  if (!presbits || Word(presbits) != 0 || Word(presbits + 2) != (fIcon ? 1 : 2)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int cx = cxDesired ? cxDesired : 32;
  const int cy = cyDesired ? cyDesired : 32;
  int best = 0;
  long bestScore = -1;
  int bestDepth = -1;
  for (WORD i = 0; i < Word(presbits + 4); ++i) {
    const BYTE* e = presbits + 6 + 14 * i;
    int width, height;
    if (fIcon) {
      width = e[0] ? e[0] : 256;
      height = e[1] ? e[1] : 256;
    } else {
      width = Word(e);
      height = Word(e + 2) / 2;
    }
    const int depth = Word(e + 6);
    const long score = std::labs(width - cx) + std::labs(height - cy);
    if (bestScore < 0 || score < bestScore || (score == bestScore && depth > bestDepth && depth <= 32)) {
      best = Word(e + 12);
      bestScore = score;
      bestDepth = depth;
    }
  }
  return best;
}

int WINAPI LookupIconIdFromDirectory(PBYTE presbits, BOOL fIcon) {
  return LookupIconIdFromDirectoryEx(presbits, fIcon, 0, 0, LR_DEFAULTCOLOR);
}

HICON WINAPI CreateIconFromResourceEx(PBYTE presbits, DWORD dwResSize, BOOL fIcon, DWORD, int cxDesired,
                                      int cyDesired, UINT Flags) {
  if (!presbits || (!fIcon && dwResSize < 4)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!fIcon) {  // a cursor's image starts with its hot spot
    presbits += 4;
    dwResSize -= 4;
  }
  simwin::IconImage source;
  static const BYTE kPng[] = {0x89, 'P', 'N', 'G'};
  if (dwResSize >= 24 && std::memcmp(presbits, kPng, 4) == 0) {
    source.width = static_cast<int>(BigEndian(presbits + 16));
    source.height = static_cast<int>(BigEndian(presbits + 20));
  } else {
    if (dwResSize < sizeof(BITMAPINFOHEADER) || Dword(presbits) < sizeof(BITMAPINFOHEADER)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const DWORD header = Dword(presbits);
    source.width = static_cast<int>(Dword(presbits + 4));
    source.height = static_cast<int>(Dword(presbits + 8)) / 2;
    const WORD depth = Word(presbits + 14);
    const size_t pixels = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
    if (source.width <= 0 || source.height <= 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    if (depth == 32 && header + pixels * 4 <= dwResSize) {
      // Bottom-up rows of little-endian BGRA, which read as 0xAARRGGBB.
      source.argb.resize(pixels);
      for (int y = 0; y < source.height; ++y) {
        const BYTE* row = presbits + header + static_cast<size_t>(source.height - 1 - y) * source.width * 4;
        for (int x = 0; x < source.width; ++x) source.argb[static_cast<size_t>(y) * source.width + x] = Dword(row + 4 * x);
      }
    }
  }
  // Zero asks for the image's own size, or the system's with LR_DEFAULTSIZE ("CreateIconFromResourceEx function",
  // Microsoft Learn); another size scales the image (nearest pixel).
  simwin::IconImage icon;
  icon.width = cxDesired ? cxDesired : ((Flags & LR_DEFAULTSIZE) ? 32 : source.width);
  icon.height = cyDesired ? cyDesired : ((Flags & LR_DEFAULTSIZE) ? 32 : source.height);
  if (!source.argb.empty()) {
    icon.argb.resize(static_cast<size_t>(icon.width) * icon.height);
    for (int y = 0; y < icon.height; ++y) {
      for (int x = 0; x < icon.width; ++x) {
        icon.argb[static_cast<size_t>(y) * icon.width + x] =
            source.argb[static_cast<size_t>(y * source.height / icon.height) * source.width +
                        x * source.width / icon.width];
      }
    }
  }
  Lock lk(G().mu);
  const uintptr_t h = nextIcon;
  nextIcon += 4;
  Icons()[h] = std::move(icon);
  return reinterpret_cast<HICON>(h);
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  const auto id = reinterpret_cast<ULONG_PTR>(lpCursorName);
  // System cursor ids run from 32512 (IDC_ARROW) to 32651 ("LoadCursorW function", Microsoft Learn).
  if (hInstance != nullptr || !IS_INTRESOURCE(lpCursorName) || id < 32512 || id > 32651) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  // Shared cursors are never destroyed; a handle outside the icon table keeps DestroyIcon from taking them.
  return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x7F000000u + id));
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  Lock lk(G().mu);
  if (!Icons().erase(reinterpret_cast<uintptr_t>(hIcon))) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT, HBRUSH, UINT) {
  Lock lk(G().mu);
  SIZE size{};
  if (!FindDc(hdc) || !IconSizeLocked(hIcon, size)) return FALSE;
  simwin::DrawOp op;
  op.kind = simwin::DrawOp::Kind::Icon;
  op.rect = RECT{xLeft, yTop, xLeft + (cxWidth ? cxWidth : size.cx), yTop + (cyWidth ? cyWidth : size.cy)};
  op.icon = hIcon;
  RecordDraw(hdc, op);
  return TRUE;
}

std::optional<simwin::IconImage> simwin::IconPixels(HICON icon) {
  Lock lk(G().mu);
  auto it = Icons().find(reinterpret_cast<uintptr_t>(icon));
  if (it == Icons().end()) return std::nullopt;
  return it->second;
}

std::size_t simwin::LiveIconCount() {
  Lock lk(G().mu);
  return Icons().size();
}
