// simwin GDI: objects (stock and created), window DCs, regions and the drawing calls, recorded per window as its
// display list instead of being rendered.
#include <algorithm>
#include <cstring>

#include "platform/sim/gdi_internal.h"

namespace simwin::detail {

namespace {

constexpr uintptr_t kStockBase = 0x8A0000;  // stock objects: kStockBase + 4 * index

GdiObject MakeStock(int index) {
  GdiObject o;
  o.stock = true;
  switch (index) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH: {
      static const BYTE gray[] = {0xFF, 0xC0, 0x80, 0x40, 0x00};
      o.type = OBJ_BRUSH;
      o.color = RGB(gray[index], gray[index], gray[index]);
      return o;
    }
    case NULL_BRUSH:
      o.type = OBJ_BRUSH;
      o.hollow = true;
      return o;
    case WHITE_PEN:
    case BLACK_PEN:
      o.type = OBJ_PEN;
      o.color = index == WHITE_PEN ? RGB(0xFF, 0xFF, 0xFF) : 0;
      return o;
    case NULL_PEN:
      o.type = OBJ_PEN;
      o.hollow = true;
      return o;
    case SYSTEM_FONT:
      o.type = OBJ_FONT;
      o.font.lfHeight = 16;
      o.font.lfWeight = FW_BOLD;
      std::wcscpy(o.font.lfFaceName, L"System");
      return o;
    case DEFAULT_GUI_FONT:
      o.type = OBJ_FONT;
      o.font.lfHeight = -11;
      o.font.lfWeight = FW_NORMAL;
      std::wcscpy(o.font.lfFaceName, L"MS Shell Dlg");
      return o;
    default:
      o.type = 0;
      return o;
  }
}

HGDIOBJ AddObject(GdiObject o) {
  auto& s = Gdi();
  const uintptr_t h = s.nextHandle;
  s.nextHandle += 4;
  s.objects[h] = std::move(o);
  return reinterpret_cast<HGDIOBJ>(h);
}

HGDIOBJ StockLocked(int index) {
  auto& s = Gdi();
  const uintptr_t h = kStockBase + 4 * static_cast<uintptr_t>(index);
  if (!s.objects.count(h)) {
    GdiObject o = MakeStock(index);
    if (!o.type) return nullptr;
    s.objects[h] = o;
  }
  return reinterpret_cast<HGDIOBJ>(h);
}

// Frees an object whose deletion waited for it to be deselected (lock held).
void Deselected(HGDIOBJ h) {
  auto* o = FindObject(h);
  if (!o || --o->selected > 0 || !o->deletePending) return;
  Gdi().objects.erase(reinterpret_cast<uintptr_t>(h));
}

HGDIOBJ& Slot(DcState& dc, DWORD type) {
  switch (type) {
    case OBJ_FONT:
      return dc.font;
    case OBJ_BRUSH:
      return dc.brush;
    default:
      return dc.pen;
  }
}

}  // namespace

GdiState& Gdi() {
  static GdiState* state = new GdiState;
  return *state;
}

GdiObject* FindObject(HGDIOBJ h) {
  auto& objects = Gdi().objects;
  auto it = objects.find(reinterpret_cast<uintptr_t>(h));
  return it == objects.end() ? nullptr : &it->second;
}

DcState* FindDc(HDC hdc) {
  auto& dcs = Gdi().dcs;
  auto it = dcs.find(reinterpret_cast<uintptr_t>(hdc));
  return it == dcs.end() ? nullptr : &it->second;
}

HDC NewDc(HWND hwnd, bool paint) {
  auto& s = Gdi();
  DcState dc;
  dc.hwnd = hwnd;
  dc.paint = paint;
  for (auto [index, slot] : {std::pair{SYSTEM_FONT, &dc.font}, {WHITE_BRUSH, &dc.brush}, {BLACK_PEN, &dc.pen}}) {
    *slot = StockLocked(index);
    ++FindObject(*slot)->selected;
  }
  const uintptr_t h = s.nextHandle;
  s.nextHandle += 4;
  s.dcs[h] = dc;
  return reinterpret_cast<HDC>(h);
}

bool FreeDc(HDC hdc) {
  auto* dc = FindDc(hdc);
  if (!dc) return false;
  for (HGDIOBJ h : {dc->font, dc->brush, dc->pen}) Deselected(h);
  Gdi().dcs.erase(reinterpret_cast<uintptr_t>(hdc));
  return true;
}

LOGFONTW DcFont(const DcState& dc) {
  const auto* o = FindObject(dc.font);
  return o ? o->font : LOGFONTW{};
}

void RecordDraw(HDC hdc, simwin::DrawOp op) {
  auto* dc = FindDc(hdc);
  if (!dc || !dc->hwnd) return;
  if (auto w = FindWindowLocked(dc->hwnd)) w->displayList.push_back(std::move(op));
}

COLORREF SysColor(int index) {
  switch (index) {
    case COLOR_WINDOW:
      return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
      return 0;
    case COLOR_BTNFACE:
      return RGB(0xF0, 0xF0, 0xF0);
    default:
      return RGB(0x80, 0x80, 0x80);
  }
}

void ReleaseWindowResources(Window& w) {
  if (w.thread) RemoveWindowTimers(*w.thread, w.hwnd);
  if (w.region) Gdi().objects.erase(reinterpret_cast<uintptr_t>(w.region));
  w.region = nullptr;
}

}  // namespace simwin::detail

using namespace simwin::detail;

HGDIOBJ WINAPI GetStockObject(int i) {
  Lock lk(G().mu);
  return StockLocked(i);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  auto* o = FindObject(h);
  if (!dc || !o || o->deletePending || (o->type != OBJ_FONT && o->type != OBJ_BRUSH && o->type != OBJ_PEN)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ& slot = Slot(*dc, o->type);
  HGDIOBJ previous = slot;
  if (previous == h) return previous;
  ++o->selected;
  slot = h;
  Deselected(previous);
  return previous;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  if (!dc || (type != OBJ_FONT && type != OBJ_BRUSH && type != OBJ_PEN)) return nullptr;
  return Slot(*dc, type);
}

// A stock object is never deleted; an object still selected into a DC is deleted when it is deselected, and
// DeleteObject answers TRUE at once, as Windows NT does (Wine's gdi32 DeleteObject delays it the same way).
BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  Lock lk(G().mu);
  auto* o = FindObject(ho);
  if (!o) return FALSE;
  if (o->stock) return TRUE;
  if (o->selected > 0) {
    o->deletePending = true;
    return TRUE;
  }
  Gdi().objects.erase(reinterpret_cast<uintptr_t>(ho));
  return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  Lock lk(G().mu);
  if (FindDc(static_cast<HDC>(h))) return OBJ_DC;
  auto* o = FindObject(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return o->type;
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  Lock lk(G().mu);
  auto* o = FindObject(h);
  if (!o || o->type != OBJ_FONT) return 0;
  if (!pv) return sizeof(LOGFONTW);
  const int n = std::min<int>(c, sizeof(LOGFONTW));
  std::memcpy(pv, &o->font, static_cast<size_t>(n));
  return n;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
  if (!lplf) return nullptr;
  GdiObject o;
  o.type = OBJ_FONT;
  o.font = *lplf;
  o.font.lfFaceName[LF_FACESIZE - 1] = 0;
  Lock lk(G().mu);
  return static_cast<HFONT>(AddObject(o));
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                         DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                         DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = static_cast<BYTE>(bItalic);
  lf.lfUnderline = static_cast<BYTE>(bUnderline);
  lf.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
  lf.lfCharSet = static_cast<BYTE>(iCharSet);
  lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  lf.lfQuality = static_cast<BYTE>(iQuality);
  lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  if (pszFaceName) {
    for (int i = 0; i < LF_FACESIZE - 1 && pszFaceName[i]; ++i) lf.lfFaceName[i] = pszFaceName[i];
  }
  return CreateFontIndirectW(&lf);
}

HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                         DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                         DWORD iQuality, DWORD iPitchAndFamily, LPCSTR pszFaceName) {
  WCHAR face[LF_FACESIZE] = {};
  // Face names are ASCII in practice: widened byte by byte.
  for (int i = 0; pszFaceName && i < LF_FACESIZE - 1 && pszFaceName[i]; ++i) {
    face[i] = static_cast<unsigned char>(pszFaceName[i]);
  }
  return CreateFontW(cHeight, cWidth, cEscapement, cOrientation, cWeight, bItalic, bUnderline, bStrikeOut, iCharSet,
                     iOutPrecision, iClipPrecision, iQuality, iPitchAndFamily, face);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  GdiObject o;
  o.type = OBJ_BRUSH;
  o.color = color & 0xFFFFFF;
  Lock lk(G().mu);
  return static_cast<HBRUSH>(AddObject(o));
}

HPEN WINAPI CreatePen(int iStyle, int, COLORREF color) {
  GdiObject o;
  o.type = OBJ_PEN;
  o.color = color & 0xFFFFFF;
  o.hollow = iStyle == PS_NULL;
  Lock lk(G().mu);
  return static_cast<HPEN>(AddObject(o));
}

namespace {

template <class T>
T SwapDcValue(HDC hdc, T DcState::*field, T value, T failure) {
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  if (!dc) return failure;
  T old = dc->*field;
  dc->*field = value;
  return old;
}

template <class T>
T DcValue(HDC hdc, T DcState::*field, T failure) {
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  return dc ? dc->*field : failure;
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  return SwapDcValue(hdc, &DcState::text, color, static_cast<COLORREF>(CLR_INVALID));
}
COLORREF WINAPI GetTextColor(HDC hdc) { return DcValue(hdc, &DcState::text, static_cast<COLORREF>(CLR_INVALID)); }
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  return SwapDcValue(hdc, &DcState::bk, color, static_cast<COLORREF>(CLR_INVALID));
}
COLORREF WINAPI GetBkColor(HDC hdc) { return DcValue(hdc, &DcState::bk, static_cast<COLORREF>(CLR_INVALID)); }
int WINAPI SetBkMode(HDC hdc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return SwapDcValue(hdc, &DcState::bkMode, mode, 0);
}
int WINAPI GetBkMode(HDC hdc) { return DcValue(hdc, &DcState::bkMode, 0); }

DWORD WINAPI GetSysColor(int nIndex) { return SysColor(nIndex); }

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  Lock lk(G().mu);
  auto& brushes = Gdi().sysBrushes;
  auto it = brushes.find(nIndex);
  if (it != brushes.end()) return it->second;
  GdiObject o;
  o.type = OBJ_BRUSH;
  o.stock = true;  // system colour brushes are never deleted
  o.color = SysColor(nIndex);
  return brushes[nIndex] = static_cast<HBRUSH>(AddObject(o));
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (!lprc) return 0;
  // A class background may be given as a system colour index plus one ("WNDCLASSEXW", Microsoft Learn).
  const auto value = reinterpret_cast<uintptr_t>(hbr);
  if (value > 0 && value <= 31) hbr = GetSysColorBrush(static_cast<int>(value - 1));
  Lock lk(G().mu);
  auto* o = FindObject(hbr);
  if (!FindDc(hDC) || !o || o->type != OBJ_BRUSH) return 0;
  if (o->hollow) return 1;
  simwin::DrawOp op;
  op.kind = simwin::DrawOp::Kind::Fill;
  op.rect = *lprc;
  op.color = o->color;
  RecordDraw(hDC, op);
  return 1;
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  if (!dc) return FALSE;
  const auto* brush = FindObject(dc->brush);
  const auto* pen = FindObject(dc->pen);
  simwin::DrawOp op;
  op.kind = simwin::DrawOp::Kind::RoundRect;
  op.rect = RECT{left, top, right, bottom};
  op.filled = brush && !brush->hollow;
  op.color = brush ? brush->color : 0;
  op.outlined = pen && !pen->hollow;
  op.penColor = pen ? pen->color : 0;
  op.corner = SIZE{width, height};
  RecordDraw(hdc, op);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Regions: a rectangle, possibly with rounded corners
// ---------------------------------------------------------------------------------------
namespace {

HRGN AddRegion(RECT box, int w, int h) {
  GdiObject o;
  o.type = OBJ_REGION;
  // Normalised as Windows does with swapped corners.
  o.box = RECT{std::min(box.left, box.right), std::min(box.top, box.bottom), std::max(box.left, box.right),
               std::max(box.top, box.bottom)};
  o.corner = SIZE{std::abs(w), std::abs(h)};
  if (o.box.left == o.box.right || o.box.top == o.box.bottom) o.box = RECT{};
  Lock lk(G().mu);
  return static_cast<HRGN>(AddObject(o));
}

int RegionType(const GdiObject& o) {
  if (o.box.left == o.box.right) return NULLREGION;
  return o.corner.cx > 0 && o.corner.cy > 0 ? COMPLEXREGION : SIMPLEREGION;
}

const GdiObject* RegionLocked(HRGN h) {
  const auto* o = FindObject(h);
  return o && o->type == OBJ_REGION ? o : nullptr;
}

}  // namespace

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) { return AddRegion(RECT{x1, y1, x2, y2}, 0, 0); }

HRGN WINAPI CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  return AddRegion(RECT{x1, y1, x2, y2}, w, h);
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
  Lock lk(G().mu);
  const auto* o = RegionLocked(hrgn);
  if (!o || !lprc) return ERROR;
  *lprc = o->box;
  return RegionType(*o);
}

BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  Lock lk(G().mu);
  const auto* a = RegionLocked(hrgn1);
  const auto* b = RegionLocked(hrgn2);
  if (!a || !b) return ERROR;
  return EqualRect(&a->box, &b->box) && RegionType(*a) == RegionType(*b) &&
         (RegionType(*a) != COMPLEXREGION || (a->corner.cx == b->corner.cx && a->corner.cy == b->corner.cy));
}

int WINAPI SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return 0;
  if (hRgn && !RegionLocked(hRgn)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  // The system owns the region from now on and deletes the one it replaces ("SetWindowRgn function", Microsoft
  // Learn).
  if (w->region && w->region != hRgn) Gdi().objects.erase(reinterpret_cast<uintptr_t>(w->region));
  w->region = hRgn;
  return 1;
}

int WINAPI GetWindowRgn(HWND hWnd, HRGN hRgn) {
  Lock lk(G().mu);
  auto w = UserWindow(hWnd);
  if (!w) return ERROR;
  auto* target = FindObject(hRgn);
  const auto* source = RegionLocked(w->region);
  if (!source || !target || target->type != OBJ_REGION) return ERROR;
  target->box = source->box;
  target->corner = source->corner;
  return RegionType(*target);
}

// ---------------------------------------------------------------------------------------
// Window DCs and the driving API
// ---------------------------------------------------------------------------------------
HDC WINAPI GetDC(HWND hWnd) {
  Lock lk(G().mu);
  if (hWnd && !UserWindow(hWnd)) return nullptr;
  return NewDc(hWnd, false);
}

int WINAPI ReleaseDC(HWND, HDC hDC) {
  Lock lk(G().mu);
  auto* dc = FindDc(hDC);
  if (!dc || dc->paint) return 0;
  return FreeDc(hDC) ? 1 : 0;
}

std::vector<simwin::DrawOp> simwin::DisplayList(HWND hwnd) {
  Lock lk(G().mu);
  auto w = FindWindowLocked(hwnd);
  return w ? w->displayList : std::vector<DrawOp>{};
}

std::size_t simwin::LiveGdiObjectCount() {
  Lock lk(G().mu);
  return static_cast<std::size_t>(std::count_if(Gdi().objects.begin(), Gdi().objects.end(),
                                                [](const auto& entry) { return !entry.second.stock; }));
}
