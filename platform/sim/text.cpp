// simwin text: DrawTextW and measuring with simwin's font model (simwin.h, FontCellHeight/FontCharWidth): every
// character of a font has one width, so where text lands follows from its length alone.
#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "platform/sim/gdi_internal.h"

namespace simwin {

int FontCellHeight(const LOGFONTW& font) {
  if (font.lfHeight > 0) return font.lfHeight;
  if (font.lfHeight < 0) return -font.lfHeight + (-font.lfHeight + 2) / 4;
  return 16;
}

int FontCharWidth(const LOGFONTW& font) {
  if (font.lfWidth > 0) return font.lfWidth;
  return std::max(1, FontCellHeight(font) / 2) + (font.lfWeight >= FW_BOLD ? 1 : 0);
}

}  // namespace simwin

namespace {

using namespace simwin::detail;

// The text as shown: '&' marks the next character as a mnemonic and is not drawn, "&&" draws one '&'.
std::wstring Shown(const std::wstring& text, UINT format) {
  if (format & DT_NOPREFIX) return text;
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    else if (text[i] == L'&') continue;
    out += text[i];
  }
  return out;
}

// Lines as DrawText breaks them: at line feeds (a carriage return before one is dropped) and, with DT_WORDBREAK, at
// the last space that keeps a line within `width`; a word wider than the line stays whole.
std::vector<std::wstring> BreakLines(const std::wstring& text, UINT format, int width, int charWidth) {
  if (format & DT_SINGLELINE) return {text};
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find(L'\n', start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    const size_t fit = static_cast<size_t>(std::max(1, width / charWidth));
    while ((format & DT_WORDBREAK) && line.size() > fit) {
      size_t cut = line.rfind(L' ', fit);
      if (cut == std::wstring::npos || cut == 0) cut = line.find(L' ', fit);
      if (cut == std::wstring::npos) break;
      lines.push_back(line.substr(0, cut));
      line = line.substr(cut + 1);
    }
    lines.push_back(line);
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  if (!lpchText || !lprc) return 0;
  const std::wstring text = Shown(
      cchText < 0 ? std::wstring(lpchText) : std::wstring(lpchText, static_cast<size_t>(cchText)), format);
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  if (!dc) return 0;
  const LOGFONTW font = DcFont(*dc);
  const int lineHeight = simwin::FontCellHeight(font);
  const int charWidth = simwin::FontCharWidth(font);
  const auto lines = BreakLines(text, format, lprc->right - lprc->left, charWidth);
  int widest = 0;
  for (const auto& line : lines) widest = std::max(widest, static_cast<int>(line.size()) * charWidth);
  const int height = static_cast<int>(lines.size()) * lineHeight;
  if (format & DT_CALCRECT) {
    lprc->right = lprc->left + widest;
    lprc->bottom = lprc->top + height;
    return height;
  }
  // Vertical placement applies to a single line only ("DrawText function", Microsoft Learn).
  int top = lprc->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = lprc->top + (lprc->bottom - lprc->top - lineHeight) / 2;
    if (format & DT_BOTTOM) top = lprc->bottom - lineHeight;
  }
  for (const auto& line : lines) {
    const int width = static_cast<int>(line.size()) * charWidth;
    int left = lprc->left;
    if (format & DT_CENTER) left = lprc->left + (lprc->right - lprc->left - width) / 2;
    if (format & DT_RIGHT) left = lprc->right - width;
    simwin::DrawOp op;
    op.kind = simwin::DrawOp::Kind::Text;
    op.rect = RECT{left, top, left + width, top + lineHeight};
    op.color = dc->text;
    op.text = line;
    op.fontFace = font.lfFaceName;
    op.fontHeight = lineHeight;
    op.fontWeight = font.lfWeight;
    op.transparent = dc->bkMode == TRANSPARENT;
    op.background = dc->bk;
    RecordDraw(hdc, op);
    top += lineHeight;
  }
  // With DT_VCENTER or DT_BOTTOM, the offset from the top to the bottom of the text.
  return (format & (DT_VCENTER | DT_BOTTOM)) ? top - lprc->top : height;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  if (!psizl || (c > 0 && !lpString) || c < 0) return FALSE;
  Lock lk(G().mu);
  auto* dc = FindDc(hdc);
  if (!dc) return FALSE;
  const LOGFONTW font = DcFont(*dc);
  *psizl = SIZE{c * simwin::FontCharWidth(font), simwin::FontCellHeight(font)};
  return TRUE;
}
