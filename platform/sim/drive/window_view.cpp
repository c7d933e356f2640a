// simwin driving API: a window's state as a picture writer reads it, without sending the window a message.
#include "platform/sim/gdi_internal.h"

namespace simwin {

using namespace detail;

std::optional<WindowView> ViewWindow(HWND hwnd) {
  const HWND desktop = GetDesktopWindow();
  Lock lk(G().mu);
  auto w = hwnd == desktop ? FindWindowLocked(hwnd) : UserWindow(hwnd);
  if (!w) return std::nullopt;
  WindowView v;
  v.children = w->children;
  if (IsRoot(w->hwnd)) return v;
  v.className = w->cls ? w->cls->name : L"";
  v.text = w->text;
  v.style = w->style;
  v.exStyle = w->exStyle;
  v.processId = w->thread && w->thread->process ? w->thread->process->pid : 0;
  v.buttonState = w->buttonState;
  v.icon = w->staticIcon;
  if (const GdiObject* font = w->font ? FindObject(w->font) : nullptr; font && font->type == OBJ_FONT) {
    v.font = font->font;
  }
  // The rectangle is relative to the parent's client area: add the client origins up the chain.
  POINT origin{0, 0};
  for (auto p = FindWindowLocked(w->parent); p && !IsRoot(p->hwnd); p = FindWindowLocked(p->parent)) {
    origin.x += p->rect.left + p->frame.left;
    origin.y += p->rect.top + p->frame.top;
  }
  v.window = RECT{origin.x + w->rect.left, origin.y + w->rect.top, origin.x + w->rect.right, origin.y + w->rect.bottom};
  v.client = RECT{v.window.left + w->frame.left, v.window.top + w->frame.top, v.window.right - w->frame.right,
                  v.window.bottom - w->frame.bottom};
  return v;
}

}  // namespace simwin
