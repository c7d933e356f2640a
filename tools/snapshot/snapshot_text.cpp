// Text for the pictures: cairo's own font selection with a sans face; sizes follow simwin's font model (simwin.h).
#include "snapshot_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/sim/simwin.h"

namespace iae_snapshot::detail {

namespace {

constexpr double kDialogFontSize = 12;  // 8 pt at 96 dpi with room for a wider face

void Select(cairo_t* cr, const Font& font) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font.size);
}

}  // namespace

Font ControlFont(const std::optional<LOGFONTW>& font, int height) {
  Font f;
  if (font) f = CellFont(simwin::FontCellHeight(*font), font->lfWeight);
  if (!font) f.size = kDialogFontSize;
  if (height > 4) f.size = std::min(f.size, height - 4.0);
  f.size = std::max(f.size, 7.0);
  return f;
}

Font CellFont(int cellHeight, int weight) { return Font{cellHeight * 0.8, weight >= FW_SEMIBOLD}; }

void SetColour(cairo_t* cr, COLORREF colour) {
  cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0, GetBValue(colour) / 255.0);
}

std::wstring WithoutPrefixes(const std::wstring& text) {
  std::wstring shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

double TextWidth(cairo_t* cr, const Font& font, const std::string& text) {
  Select(cr, font);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

void DrawLine(cairo_t* cr, const Font& font, const std::string& text, double left, double right, double top,
              double height, Align align) {
  Select(cr, font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double width = TextWidth(cr, font, text);
  double x = left;
  if (align == Align::Centre) x = left + (right - left - width) / 2;
  if (align == Align::Right) x = right - width;
  const double baseline = top + (height + fe.ascent - fe.descent) / 2;
  cairo_move_to(cr, std::round(x), std::round(baseline));
  cairo_show_text(cr, text.c_str());
  cairo_new_path(cr);  // show_text leaves the current point after the text
}

double DrawWrapped(cairo_t* cr, const Font& font, const std::string& text, double left, double right, double top,
                   Align align) {
  Select(cr, font);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double lineHeight = std::ceil(fe.height);
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find_first_of(" \n", at), text.size());
    const std::string word = text.substr(at, end - at);
    const std::string joined = line.empty() ? word : line + " " + word;
    if (!line.empty() && TextWidth(cr, font, joined) > right - left) {
      lines.push_back(line);
      line = word;
    } else {
      line = joined;
    }
    if (end < text.size() && text[end] == '\n') {
      lines.push_back(line);
      line.clear();
    }
    at = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  double y = top;
  for (const std::string& l : lines) {
    DrawLine(cr, font, l, left, right, y, lineHeight, align);
    y += lineHeight;
  }
  return y - top;
}

}  // namespace iae_snapshot::detail
