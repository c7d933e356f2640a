// Text and colour helpers of the picture writer (snapshot.cpp).
#pragma once

#include <cairo.h>

#include <optional>
#include <string>

#include "platform/win32.h"

namespace iae_snapshot::detail {

struct Font {
  double size = 12;  // pixels
  bool bold = false;
};

// The font a control shows: its WM_SETFONT font at that size, else the dialog font; never larger than fits `height`.
Font ControlFont(const std::optional<LOGFONTW>& font, int height);
// A display list's text: its cell height holds the character height plus a quarter of leading.
Font CellFont(int cellHeight, int weight);

void SetColour(cairo_t* cr, COLORREF colour);
// Without '&' mnemonic prefixes ("&&" is one '&').
std::wstring WithoutPrefixes(const std::wstring& text);

double TextWidth(cairo_t* cr, const Font& font, const std::string& text);
enum class Align { Left, Centre, Right };
// One line, vertically centred in [top, top + height), aligned in [left, right).
void DrawLine(cairo_t* cr, const Font& font, const std::string& text, double left, double right, double top,
              double height, Align align = Align::Left);
// Word-wrapped into the width, lines from `top` down (past the bottom if the text needs it); returns the height used.
double DrawWrapped(cairo_t* cr, const Font& font, const std::string& text, double left, double right, double top,
                   Align align = Align::Left);

}  // namespace iae_snapshot::detail
