// The picture writer: one top-level window, drawn from simwin's state in screen coordinates on a canvas that also
// holds the stickers near it.
#include "snapshot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <memory>
#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/sim/simwin.h"
#include "snapshot_text.h"

namespace iae_snapshot {

using namespace detail;
using installation_assistant::WideToUtf8;

namespace {

constexpr COLORREF kDesktop = RGB(0xE4, 0xE8, 0xEE);
constexpr COLORREF kFace = RGB(0xF0, 0xF0, 0xF0);  // COLOR_BTNFACE, as simwin answers it
constexpr COLORREF kText = RGB(0x1A, 0x1A, 0x1A);
constexpr COLORREF kGreyText = RGB(0x8A, 0x8A, 0x8A);
constexpr COLORREF kCaption = RGB(0xD7, 0xE4, 0xF2);
constexpr COLORREF kFrame = RGB(0x6E, 0x7F, 0x92);
constexpr COLORREF kBorder = RGB(0x70, 0x70, 0x70);
constexpr COLORREF kDefault = RGB(0x00, 0x66, 0xCC);
constexpr COLORREF kElement = RGB(0x5A, 0x7F, 0xA8);
constexpr int kMaxSide = 8192;

bool SameClass(const std::wstring& a, const wchar_t* b) {
  std::wstring lower;
  for (wchar_t c : a) lower += static_cast<wchar_t>(std::towlower(c));
  std::wstring other;
  for (; *b; ++b) other += static_cast<wchar_t>(std::towlower(*b));
  return lower == other;
}

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

void Rect(cairo_t* cr, double l, double t, double r, double b) { cairo_rectangle(cr, l, t, r - l, b - t); }

void Fill(cairo_t* cr, const RECT& r, COLORREF colour) {
  SetColour(cr, colour);
  Rect(cr, r.left, r.top, r.right, r.bottom);
  cairo_fill(cr);
}

// A one-pixel outline on the pixels just inside the rectangle.
void Outline(cairo_t* cr, const RECT& r, COLORREF colour, double width = 1) {
  SetColour(cr, colour);
  cairo_set_line_width(cr, width);
  Rect(cr, r.left + width / 2, r.top + width / 2, r.right - width / 2, r.bottom - width / 2);
  cairo_stroke(cr);
}

void RoundedPath(cairo_t* cr, double l, double t, double r, double b, double rx, double ry) {
  rx = std::min(rx, (r - l) / 2);
  ry = std::min(ry, (b - t) / 2);
  if (rx <= 0 || ry <= 0) {
    Rect(cr, l, t, r, b);
    return;
  }
  cairo_new_path(cr);
  const double corners[4][3] = {{r - rx, t + ry, -M_PI / 2}, {r - rx, b - ry, 0}, {l + rx, b - ry, M_PI / 2},
                                {l + rx, t + ry, M_PI}};
  for (const auto& c : corners) {
    cairo_save(cr);
    cairo_translate(cr, c[0], c[1]);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, c[2], c[2] + M_PI / 2);
    cairo_restore(cr);
  }
  cairo_close_path(cr);
}

// An icon's 32-bit pixels scaled into the rectangle; an icon without them (or none) is a placeholder.
void DrawIcon(cairo_t* cr, HICON icon, const RECT& r) {
  const std::optional<simwin::IconImage> image = icon ? simwin::IconPixels(icon) : std::nullopt;
  if (!image || image->argb.empty() || image->width <= 0 || image->height <= 0) {
    RoundedPath(cr, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, 3, 3);
    SetColour(cr, RGB(0x4C, 0x9A, 0x4C));
    cairo_fill(cr);
    return;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image->width, image->height);
  auto* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < image->height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < image->width; ++x) {
      // cairo wants premultiplied alpha.
      const uint32_t p = image->argb[static_cast<std::size_t>(y * image->width + x)];
      const uint32_t a = p >> 24;
      const auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (scale((p >> 16) & 0xFF) << 16) | (scale((p >> 8) & 0xFF) << 8) | scale(p & 0xFF);
    }
  }
  cairo_surface_mark_dirty(surface);
  cairo_save(cr);
  cairo_translate(cr, r.left, r.top);
  cairo_scale(cr, static_cast<double>(r.right - r.left) / image->width,
              static_cast<double>(r.bottom - r.top) / image->height);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

// What the window drew, recorded in its client coordinates. A Static's text boxes take its background: Windows'
// Static gets its text background from WM_CTLCOLORSTATIC, which DefWindowProc answers with the system colours
// ("WM_CTLCOLORSTATIC message", Microsoft Learn), while simwin's leaves the DC's white. Its text without a font of its
// own is in the dialog font a dialog gives its controls.
void DrawOps(cairo_t* cr, const std::vector<simwin::DrawOp>& ops, POINT origin, bool isStatic = false) {
  cairo_save(cr);
  cairo_translate(cr, origin.x, origin.y);
  for (const simwin::DrawOp& op : ops) {
    const RECT& r = op.rect;
    switch (op.kind) {
      case simwin::DrawOp::Kind::Fill:
        Fill(cr, r, op.color);
        break;
      case simwin::DrawOp::Kind::RoundRect:
        RoundedPath(cr, r.left + 0.5, r.top + 0.5, r.right - 0.5, r.bottom - 0.5, op.corner.cx / 2.0,
                    op.corner.cy / 2.0);
        if (op.filled) {
          SetColour(cr, op.color);
          cairo_fill_preserve(cr);
        }
        if (op.outlined) {
          SetColour(cr, op.penColor);
          cairo_set_line_width(cr, 1);
          cairo_stroke_preserve(cr);
        }
        cairo_new_path(cr);
        break;
      case simwin::DrawOp::Kind::Text:
        if (!op.transparent && !isStatic) Fill(cr, r, op.background);
        SetColour(cr, op.color);
        DrawLine(cr, isStatic && op.fontFace == L"System" ? ControlFont(std::nullopt, 0)
                                                          : CellFont(op.fontHeight, op.fontWeight),
                 WideToUtf8(op.text), r.left, r.right, r.top, r.bottom - r.top);
        break;
      case simwin::DrawOp::Kind::Icon:
        DrawIcon(cr, op.icon, r);
        break;
    }
  }
  cairo_restore(cr);
}

// An element of a custom accessible or UI Automation tree, as the picture shows it.
struct Element {
  int depth = 0;
  std::wstring name;
  RECT location{};  // screen; empty: stacked
  std::string marker;  // "[x] ", "( ) "
  bool button = false;
  bool disabled = false;
  bool hidden = false;
};

std::vector<Element> AccessibleElements(HWND hwnd) {
  std::vector<Element> out;
  for (const auto& [depth, n] : simwin::AccessibleTreeNow(hwnd)) {
    Element e{depth, n.name, n.location};
    const bool mixed = n.state & STATE_SYSTEM_MIXED;
    const bool checked = n.state & STATE_SYSTEM_CHECKED;
    if (n.role == ROLE_SYSTEM_CHECKBUTTON) e.marker = mixed ? "[-] " : checked ? "[x] " : "[ ] ";
    if (n.role == ROLE_SYSTEM_RADIOBUTTON) e.marker = checked ? "(o) " : "( ) ";
    e.button = n.role == ROLE_SYSTEM_PUSHBUTTON;
    e.disabled = n.state & STATE_SYSTEM_UNAVAILABLE;
    e.hidden = n.state & STATE_SYSTEM_INVISIBLE;
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<Element> AutomationElements(HWND hwnd) {
  std::vector<Element> out;
  for (const auto& [depth, n] : simwin::AutomationTreeNow(hwnd)) {
    Element e{depth, n.name, n.bounds};
    if (n.toggle) {
      e.marker = *n.toggle == ToggleState_On ? "[x] " : *n.toggle == ToggleState_Off ? "[ ] " : "[-] ";
    }
    if (n.selected) e.marker = *n.selected ? "(o) " : "( ) ";
    e.button = n.controlType == UIA_ButtonControlTypeId;
    e.disabled = !n.enabled;
    e.hidden = n.offscreen;
    out.push_back(std::move(e));
  }
  return out;
}

class Painter {
 public:
  Painter(cairo_t* cr, const PictureOptions& options) : cr_(cr), options_(options) {}

  // A top-level window: the frame and title bar, then its client area.
  void TopLevel(HWND hwnd, const simwin::WindowView& v, bool sticker) {
    const RECT& w = v.window;
    const RECT& c = v.client;
    if (w.left != c.left || w.top != c.top || w.right != c.right || w.bottom != c.bottom) {
      Fill(cr_, w, kFrame);
      const RECT inner{w.left + 1, w.top + 1, w.right - 1, w.bottom - 1};
      Fill(cr_, inner, kCaption);
      if (v.style & WS_CAPTION) {
        SetColour(cr_, kText);
        DrawLine(cr_, Font{12, true}, WideToUtf8(v.text), c.left + 6, c.right - 6, inner.top, c.top - inner.top);
      }
    }
    const std::vector<simwin::DrawOp> ops = simwin::DisplayList(hwnd);
    // A sticker shapes itself with what it paints; it shows its own background only while it has painted nothing.
    if (!sticker || ops.empty()) Fill(cr_, c, sticker ? RGB(0xF8, 0xF8, 0xF8) : kFace);
    Client(hwnd, v, ops);
    Elements(AccessibleElements(hwnd), v);
    Elements(AutomationElements(hwnd), v);
  }

 private:
  // What the window painted, then its children from the bottom of the z-order up.
  void Client(HWND, const simwin::WindowView& v, const std::vector<simwin::DrawOp>& ops) {
    DrawOps(cr_, ops, POINT{v.client.left, v.client.top});
    for (auto it = v.children.rbegin(); it != v.children.rend(); ++it) {
      const std::optional<simwin::WindowView> child = simwin::ViewWindow(*it);
      if (!child || !(child->style & WS_VISIBLE)) continue;
      Control(*it, *child);
    }
  }

  void Control(HWND hwnd, const simwin::WindowView& v) {
    const auto standard = options_.standardClasses.find(hwnd);
    const std::wstring& cls = standard != options_.standardClasses.end() ? standard->second : v.className;
    const std::vector<simwin::DrawOp> ops = simwin::DisplayList(hwnd);
    const bool disabled = v.style & WS_DISABLED;
    const Font font = ControlFont(v.font, v.client.bottom - v.client.top);
    const std::string text = WideToUtf8(WithoutPrefixes(v.text));
    const RECT& r = v.client;
    if (SameClass(cls, L"Button")) {
      Button(v, font, text, disabled);
    } else if (SameClass(cls, L"Static")) {
      if (!ops.empty()) {
        DrawOps(cr_, ops, POINT{r.left, r.top}, true);
      } else if ((v.style & SS_TYPEMASK) == SS_ICON) {
        // The control takes its icon's size; without an icon it is empty.
        if (v.icon != nullptr && r.right > r.left && r.bottom > r.top) DrawIcon(cr_, v.icon, r);
      } else {
        const DWORD type = v.style & SS_TYPEMASK;
        SetColour(cr_, disabled ? kGreyText : kText);
        DrawWrapped(cr_, font, WideToUtf8(v.style & SS_NOPREFIX ? v.text : WithoutPrefixes(v.text)), r.left, r.right,
                    r.top, type == SS_CENTER ? Align::Centre : type == SS_RIGHT ? Align::Right : Align::Left);
      }
    } else if (SameClass(cls, L"Edit")) {
      Fill(cr_, r, disabled ? kFace : RGB(0xFF, 0xFF, 0xFF));
      Outline(cr_, r, RGB(0x7A, 0x7A, 0x7A));
      const std::string shown = v.style & ES_PASSWORD ? std::string(v.text.size() * 3, '*') : WideToUtf8(v.text);
      SetColour(cr_, disabled ? kGreyText : kText);
      DrawLine(cr_, font, shown, r.left + 4, r.right - 4, r.top, r.bottom - r.top);
    } else if (!ops.empty()) {
      DrawOps(cr_, ops, POINT{r.left, r.top});
    } else {
      // A class this writer does not know: where it is and what it says.
      cairo_set_dash(cr_, std::vector<double>{3, 2}.data(), 2, 0);
      Outline(cr_, r, RGB(0xA0, 0xA0, 0xA0));
      cairo_set_dash(cr_, nullptr, 0, 0);
      SetColour(cr_, disabled ? kGreyText : kText);
      DrawLine(cr_, font, text, r.left + 3, r.right - 3, r.top, r.bottom - r.top, Align::Centre);
    }
    Client(hwnd, v, {});
  }

  void Button(const simwin::WindowView& v, const Font& font, const std::string& text, bool disabled) {
    const RECT& r = v.client;
    const UINT type = v.style & BS_TYPEMASK;
    const COLORREF ink = disabled ? kGreyText : kText;
    const double mid = (r.top + r.bottom) / 2.0;
    const UINT check = v.buttonState & (BST_CHECKED | BST_INDETERMINATE);
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
      const double top = std::round(mid - 6.5);
      const RECT box{r.left, static_cast<LONG>(top), r.left + 13, static_cast<LONG>(top) + 13};
      Fill(cr_, box, disabled ? kFace : RGB(0xFF, 0xFF, 0xFF));
      Outline(cr_, box, disabled ? kGreyText : RGB(0x33, 0x33, 0x33));
      SetColour(cr_, ink);
      if (check & BST_INDETERMINATE) {
        Rect(cr_, box.left + 3, box.top + 3, box.right - 3, box.bottom - 3);
        cairo_fill(cr_);
      } else if (check & BST_CHECKED) {
        cairo_set_line_width(cr_, 2);
        cairo_move_to(cr_, box.left + 2.5, box.top + 6.5);
        cairo_line_to(cr_, box.left + 5.5, box.top + 9.5);
        cairo_line_to(cr_, box.left + 10.5, box.top + 3.5);
        cairo_stroke(cr_);
      }
      SetColour(cr_, ink);
      DrawLine(cr_, font, text, r.left + 18, r.right, r.top, r.bottom - r.top);
    } else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
      cairo_new_path(cr_);
      cairo_arc(cr_, r.left + 6.5, mid, 6, 0, 2 * M_PI);
      SetColour(cr_, disabled ? kFace : RGB(0xFF, 0xFF, 0xFF));
      cairo_fill_preserve(cr_);
      SetColour(cr_, disabled ? kGreyText : RGB(0x33, 0x33, 0x33));
      cairo_set_line_width(cr_, 1);
      cairo_stroke(cr_);
      if (check & BST_CHECKED) {
        SetColour(cr_, ink);
        cairo_new_path(cr_);
        cairo_arc(cr_, r.left + 6.5, mid, 3, 0, 2 * M_PI);
        cairo_fill(cr_);
      }
      SetColour(cr_, ink);
      DrawLine(cr_, font, text, r.left + 18, r.right, r.top, r.bottom - r.top);
    } else if (type == BS_GROUPBOX) {
      const double half = std::round(font.size / 2 + 1);
      Outline(cr_, RECT{r.left, r.top + static_cast<LONG>(half), r.right, r.bottom}, RGB(0xB8, 0xB8, 0xB8));
      if (text.empty()) return;
      const double width = TextWidth(cr_, font, text);
      const auto labelRight = r.left + 10 + static_cast<LONG>(std::ceil(width));
      Fill(cr_, RECT{r.left + 6, r.top, labelRight, r.top + 2 * static_cast<LONG>(half)}, kFace);
      SetColour(cr_, ink);
      DrawLine(cr_, font, text, r.left + 8, r.right, r.top, 2 * half);
    } else {
      // A push button, raised; the default one has a thicker, coloured border.
      const bool pushed = v.buttonState & BST_PUSHED;
      Fill(cr_, r, pushed ? RGB(0xCC, 0xE4, 0xF7) : RGB(0xE1, 0xE1, 0xE1));
      const bool isDefault = type == BS_DEFPUSHBUTTON && !disabled;
      Outline(cr_, r, isDefault ? kDefault : disabled ? RGB(0xBF, 0xBF, 0xBF) : RGB(0xAD, 0xAD, 0xAD),
              isDefault ? 2 : 1);
      SetColour(cr_, ink);
      DrawLine(cr_, font, text, r.left + 2, r.right - 2, r.top, r.bottom - r.top, Align::Centre);
    }
  }

  // Elements without windows of their own: outlined boxes with their names, at their locations or stacked.
  void Elements(const std::vector<Element>& elements, const simwin::WindowView& v) {
    const RECT& c = v.client;
    double stacked = c.top + 8;
    int hiddenBelow = -1;  // the depth of a hidden element whose subtree is being skipped
    for (std::size_t i = 0; i < elements.size(); ++i) {
      const Element& e = elements[i];
      if (hiddenBelow >= 0 && e.depth > hiddenBelow) continue;
      hiddenBelow = e.hidden ? e.depth : -1;
      if (e.hidden || e.depth == 0) continue;  // the root is the window itself
      // A container's name is a small caption along its top, clear of its children.
      const bool container = i + 1 < elements.size() && elements[i + 1].depth > e.depth;
      RECT r = e.location;
      if (IsEmpty(r)) {
        const LONG indent = 12 * (e.depth - 1);
        r = RECT{c.left + 8 + indent, static_cast<LONG>(stacked), c.right - 8, static_cast<LONG>(stacked) + 22};
        stacked += 26;
      }
      const std::string text = e.marker + WideToUtf8(e.name);
      if (e.button) Fill(cr_, r, RGB(0xE1, 0xE1, 0xE1));
      Outline(cr_, r, e.disabled ? RGB(0xC0, 0xC0, 0xC0) : kElement);
      SetColour(cr_, e.disabled ? kGreyText : kText);
      const Font font{container ? 9.0 : 12.0, false};
      const double height = container ? 11 : std::min<double>(r.bottom - r.top, 20);
      DrawLine(cr_, font, text, r.left + 4, r.right - 4, r.top + (container ? 1 : 0), height,
               e.button ? Align::Centre : Align::Left);
    }
  }

  cairo_t* cr_;
  const PictureOptions& options_;
};

struct Sticker {
  HWND hwnd;
  simwin::WindowView view;
  double alpha;
};

// The visible stickers, with their opacity, that touch `area` or lie within `reach` of it.
std::vector<Sticker> StickersNear(const RECT& area, const PictureOptions& options) {
  std::vector<Sticker> found;
  const std::optional<simwin::WindowView> desktop = simwin::ViewWindow(GetDesktopWindow());
  if (!desktop || options.stickerClass.empty()) return found;
  const RECT reach{area.left - options.stickerReach, area.top - options.stickerReach,
                   area.right + options.stickerReach, area.bottom + options.stickerReach};
  // Bottom of the z-order first, so the topmost is composited last.
  for (auto it = desktop->children.rbegin(); it != desktop->children.rend(); ++it) {
    std::optional<simwin::WindowView> v = simwin::ViewWindow(*it);
    if (!v || !SameClass(v->className, options.stickerClass.c_str()) || !(v->style & WS_VISIBLE)) continue;
    BYTE alpha = 255;
    DWORD flags = 0;
    // A layered window shows nothing until its attributes are first set.
    if ((v->exStyle & WS_EX_LAYERED) && !GetLayeredWindowAttributes(*it, nullptr, &alpha, &flags)) continue;
    if (!(flags & LWA_ALPHA)) alpha = 255;
    const RECT& r = v->window;
    if (r.left >= reach.right || r.right <= reach.left || r.top >= reach.bottom || r.bottom <= reach.top) continue;
    found.push_back(Sticker{*it, std::move(*v), alpha / 255.0});
  }
  return found;
}

}  // namespace

PictureResult WriteWindowPicture(HWND window, const std::string& path, const PictureOptions& options) {
  PictureResult result;
  const std::optional<simwin::WindowView> view = simwin::ViewWindow(window);
  if (!view || view->className.empty()) {
    result.error = "the window no longer exists";
    return result;
  }
  const std::vector<Sticker> stickers = StickersNear(view->window, options);
  RECT canvas = view->window;
  for (const Sticker& s : stickers) canvas = Union(canvas, s.view.window);
  result.width = canvas.right - canvas.left;
  result.height = canvas.bottom - canvas.top;
  if (result.width <= 0 || result.height <= 0 || result.width > kMaxSide || result.height > kMaxSide) {
    result.error = "the window is " + std::to_string(result.width) + "x" + std::to_string(result.height) +
                   " pixels: nothing to draw";
    return result;
  }
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, result.width, result.height), &cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), &cairo_destroy);
  cairo_translate(cr.get(), -canvas.left, -canvas.top);
  Fill(cr.get(), canvas, kDesktop);
  Painter painter(cr.get(), options);
  painter.TopLevel(window, *view, false);
  for (const Sticker& s : stickers) {
    cairo_push_group(cr.get());
    painter.TopLevel(s.hwnd, s.view, true);
    cairo_pop_group_to_source(cr.get());
    cairo_paint_with_alpha(cr.get(), s.alpha);
  }
  cr.reset();
  const cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    result.error = std::string("cannot write ") + path + ": " + cairo_status_to_string(status);
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace iae_snapshot
