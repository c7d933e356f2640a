// A hidden message-only window through which any thread runs work on the thread that
// created it (the engine thread).
#pragma once

#include <functional>
#include <memory>

#include "common/handles.h"
#include "platform/win32.h"

namespace installation_assistant {

inline constexpr UINT kRunWorkMessage = WM_USER + 1;
inline constexpr wchar_t kMessageWindowClassName[] = L"zviaMessageWnd";

class MessageWindow {
 public:
  // Throws std::runtime_error "Failed to register window class" while another
  // MessageWindow exists in the process, or "Failed to create window".
  explicit MessageWindow(HINSTANCE instance);
  virtual ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Queues the work and returns at once.
  virtual void Post(std::function<void()> work);
  // Returns when the work has run; on the owner thread it runs at once.
  virtual void Send(std::function<void()> work);
  // As Send, but waits at most `timeoutMs` and not at all for an owner thread that looks hung or is gone. False
  // when the work has not run by then: it may still run later, once the owner thread gets to it.
  bool SendWithin(std::function<void()> work, UINT timeoutMs);

  HWND Handle() const { return window_.Get(); }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  WindowClass windowClass_;
  UniqueWindow window_;
};

// The process-wide current message window (for code that has no engine at hand).
std::shared_ptr<MessageWindow> CurrentMessageWindow();
void PublishMessageWindow(std::shared_ptr<MessageWindow> window);
// Clears the current window only if it is still this one.
void RetractMessageWindow(const MessageWindow* window);

}  // namespace installation_assistant
