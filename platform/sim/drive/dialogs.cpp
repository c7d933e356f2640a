// simwin driving API: dialogs with standard controls made from plain data, and acting as the user on them.
#include <map>
#include <mutex>

#include "platform/sim/internal.h"

namespace simwin {

namespace {

struct DialogRecord {
  WNDPROC previous = nullptr;
  std::vector<Command> commands;
  std::function<void(WORD, WORD, HWND)> onCommand;
};
std::mutex g_dialogMu;
std::map<HWND, DialogRecord> g_dialogs;

// Subclass of dialogs made from a layout: records WM_COMMAND, then lets the dialog class handle everything.
LRESULT CALLBACK RecordingDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = nullptr;
  std::function<void(WORD, WORD, HWND)> onCommand;
  {
    std::lock_guard<std::mutex> guard(g_dialogMu);
    auto it = g_dialogs.find(hwnd);
    if (it == g_dialogs.end()) return DefWindowProcW(hwnd, msg, wParam, lParam);
    previous = it->second.previous;
    if (msg == WM_COMMAND) {
      it->second.commands.push_back(Command{LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
      onCommand = it->second.onCommand;
    } else if (msg == WM_NCDESTROY) {
      g_dialogs.erase(it);
    }
  }
  if (onCommand) onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
  return CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}

}  // namespace

HWND Dialog::Control(int id) const {
  for (HWND c : controls) {
    if (GetWindowLongW(c, GWLP_ID) == id) return c;
  }
  return nullptr;
}

Dialog CreateDialogFromLayout(Process& process, const DialogLayout& layout) {
  Dialog d;
  process.Invoke([&] {
    const RECT& r = layout.rect;
    // A template's DS_MODALFRAME gives the dialog the modal frame ("Dialog Box Styles", Microsoft Learn), which the
    // dialog manager sets as WS_EX_DLGMODALFRAME.
    const DWORD exStyle = (layout.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0;
    d.hwnd = CreateWindowExW(exStyle, L"#32770", layout.title.c_str(), layout.style & ~static_cast<DWORD>(WS_VISIBLE),
                             r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    if (!d.hwnd) return;
    {
      std::lock_guard<std::mutex> guard(g_dialogMu);
      auto& rec = g_dialogs[d.hwnd];
      rec.previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(d.hwnd, GWLP_WNDPROC));
      rec.onCommand = layout.onCommand;
    }
    SetWindowLongPtrW(d.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingDialogProc));
    for (const ControlLayout& c : layout.controls) {
      DWORD style = (c.style | WS_CHILD) & ~static_cast<DWORD>(WS_VISIBLE);
      if (c.visible) style |= WS_VISIBLE;
      HWND h = CreateWindowExW(0, c.className.c_str(), c.text.c_str(), style, c.rect.left, c.rect.top,
                               c.rect.right - c.rect.left, c.rect.bottom - c.rect.top, d.hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), nullptr, nullptr);
      if (h && c.check != BST_UNCHECKED) SendMessageW(h, BM_SETCHECK, c.check, 0);
      if (h && !c.enabled) EnableWindow(h, FALSE);
      d.controls.push_back(h);
    }
    if (layout.visible) ShowWindow(d.hwnd, SW_SHOW);
  });
  return d;
}

std::vector<Command> ReceivedCommands(HWND dialog) {
  std::lock_guard<std::mutex> guard(g_dialogMu);
  auto it = g_dialogs.find(dialog);
  return it == g_dialogs.end() ? std::vector<Command>{} : it->second.commands;
}

void Click(HWND control) { SendMessageW(control, BM_CLICK, 0, 0); }
UINT ButtonState(HWND control) { return static_cast<UINT>(SendMessageW(control, BM_GETSTATE, 0, 0)); }
UINT CheckState(HWND control) { return static_cast<UINT>(SendMessageW(control, BM_GETCHECK, 0, 0)); }

void SetEnabled(Process& process, HWND hwnd, bool enabled) {
  process.Invoke([&] { EnableWindow(hwnd, enabled ? TRUE : FALSE); });
}

}  // namespace simwin
