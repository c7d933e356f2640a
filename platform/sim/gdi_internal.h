// simwin GDI's shared state: objects and DCs by handle, under simwin's one mutex.
#pragma once

#include <map>

#include "platform/sim/internal.h"

namespace simwin::detail {

struct GdiObject {
  DWORD type = 0;  // OBJ_FONT, OBJ_BRUSH, OBJ_PEN, OBJ_REGION
  bool stock = false;
  COLORREF color = 0;   // brush, pen
  bool hollow = false;  // null brush, null pen
  LOGFONTW font{};
  RECT box{};    // region: its bounds (empty for a null region)
  SIZE corner{};  // region: the rounded corners' ellipse
  int selected = 0;  // DCs it is selected into
  bool deletePending = false;
};

struct DcState {
  HWND hwnd = nullptr;  // null: the screen, not recorded
  bool paint = false;   // from BeginPaint: EndPaint frees it, not ReleaseDC
  HGDIOBJ font = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  COLORREF text = 0;
  COLORREF bk = RGB(0xFF, 0xFF, 0xFF);
  int bkMode = OPAQUE;
};

struct GdiState {
  uintptr_t nextHandle = 0x1A0004;
  std::map<uintptr_t, GdiObject> objects;
  std::map<uintptr_t, DcState> dcs;
  std::map<int, HBRUSH> sysBrushes;
};

// All lock held.
GdiState& Gdi();
GdiObject* FindObject(HGDIOBJ h);
DcState* FindDc(HDC hdc);
HDC NewDc(HWND hwnd, bool paint);  // with the default objects selected
bool FreeDc(HDC hdc);              // deselects, then frees objects whose deletion waited
LOGFONTW DcFont(const DcState& dc);
COLORREF SysColor(int index);
bool IconSizeLocked(HICON icon, SIZE& size);  // false if no live icon

}  // namespace simwin::detail
