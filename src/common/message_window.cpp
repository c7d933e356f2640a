#include "common/message_window.h"

#include <mutex>
#include <stdexcept>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

using Work = std::function<void()>;

// Set while the owner itself destroys its window, so that WM_DESTROY does not end the
// message loop of the host's thread, which goes on after the engine is gone.
thread_local HWND windowBeingRetired = nullptr;

std::mutex currentWindowMutex;
std::shared_ptr<MessageWindow> currentWindow;

}  // namespace

MessageWindow::MessageWindow(HINSTANCE instance)
    : windowClass_(kMessageWindowClassName, &MessageWindow::WindowProcedure, instance) {
  window_ = UniqueWindow(
      CreateWindowExW(0, windowClass_.Name(), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
  if (window_.Get() == nullptr) throw std::runtime_error("Failed to create window");
  ShowWindow(window_.Get(), SW_HIDE);
}

MessageWindow::~MessageWindow() {
  // The window and its class go with the engine, so that a later engine in the same
  // process can register the class again. Only the owner thread can drain its queue
  // and destroy the window; elsewhere both stay, as they always did.
  const HWND window = window_.Get();
  if (!IsWindow(window)) return;  // someone else destroyed it
  if (!window_.OnOwnerThread()) {
    TRACE(Warning) << "Message window 0x" << window << " released off its thread; left in place";
    return;
  }
  // Nobody can post any more (this was the last reference), so what is queued now is
  // all there is; those work items would otherwise leak or run after the engine.
  MSG message;
  while (PeekMessageW(&message, window, kRunWorkMessage, kRunWorkMessage, PM_REMOVE)) {
    delete reinterpret_cast<Work*>(message.lParam);
  }
  windowBeingRetired = window;
  window_.Reset();
  windowBeingRetired = nullptr;
  // windowClass_ unregisters the class now that it has no window.
}

void MessageWindow::Post(std::function<void()> work) {
  auto item = std::make_unique<Work>(std::move(work));
  if (!PostMessageW(window_.Get(), kRunWorkMessage, 0, reinterpret_cast<LPARAM>(item.get()))) {
    throw LastWin32Error("Failed to post work");
  }
  item.release();  // the window procedure frees it
}

void MessageWindow::Send(std::function<void()> work) {
  auto item = std::make_unique<Work>(std::move(work));
  SendMessageW(window_.Get(), kRunWorkMessage, 0, reinterpret_cast<LPARAM>(item.release()));
}

bool MessageWindow::SendWithin(std::function<void()> work, UINT timeoutMs) {
  auto item = std::make_unique<Work>(std::move(work));
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window_.Get(), kRunWorkMessage, 0, reinterpret_cast<LPARAM>(item.get()),
                          SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &result)) {
    item.release();  // the window procedure freed it
    return true;
  }
  // A message that timed out may still be handled, and then freed, by the window procedure; one that never got
  // there (no window any more) is ours to free.
  if (IsWindow(window_.Get())) item.release();
  return false;
}

LRESULT CALLBACK MessageWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      if (window != windowBeingRetired) PostQuitMessage(0);
      return 0;
    case kRunWorkMessage:
      if (lParam != 0) {
        std::unique_ptr<Work> work(reinterpret_cast<Work*>(lParam));
        // An exception must not unwind through the system's dispatch code.
        try {
          (*work)();
        } catch (...) {
          TraceException("MessageWindow::WindowProcedure");
        }
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

std::shared_ptr<MessageWindow> CurrentMessageWindow() {
  std::lock_guard<std::mutex> lock(currentWindowMutex);
  return currentWindow;
}

void PublishMessageWindow(std::shared_ptr<MessageWindow> window) {
  std::shared_ptr<MessageWindow> replaced;
  std::lock_guard<std::mutex> lock(currentWindowMutex);
  replaced = std::exchange(currentWindow, std::move(window));
  // replaced is destroyed after the lock is released (declared first).
}

void RetractMessageWindow(const MessageWindow* window) {
  // A dead engine's window must not stay current: it would keep the window and its
  // class alive, and hand work to a window nobody pumps any more.
  std::shared_ptr<MessageWindow> retracted;
  std::lock_guard<std::mutex> lock(currentWindowMutex);
  if (currentWindow.get() == window) retracted = std::move(currentWindow);
}

}  // namespace installation_assistant
