#include "common/handles.h"

#include <stdexcept>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {

SharedHandle MakeSharedHandle(UniqueHandle handle) {
  // shared_ptr calls the deleter itself if its control block cannot be allocated.
  return SharedHandle(handle.Release(), [](HANDLE raw) { UniqueHandle closer(raw); });
}

bool UniqueWindow::OnOwnerThread() const {
  return !IsWindow(window_) || GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId();
}

void UniqueWindow::Reset() noexcept {
  const HWND window = std::exchange(window_, nullptr);
  if (window == nullptr || !IsWindow(window)) return;
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return;
  DestroyWindow(window);
}

UniqueHandle CreateEventHandle(bool manualReset, bool initialState) {
  UniqueHandle event(CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr));
  if (!event) throw LastWin32Error("Failed to create event");
  return event;
}

WindowClass::WindowClass(const wchar_t* name, WNDPROC procedure, HINSTANCE instance)
    : name_(name), instance_(instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = name_.c_str();
  if (RegisterClassExW(&windowClass) == 0) throw std::runtime_error("Failed to register window class");
}

WindowClass::~WindowClass() { UnregisterClassW(name_.c_str(), instance_); }

ComInitialization::ComInitialization(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}

ComInitialization::~ComInitialization() {
  if (SUCCEEDED(result_)) CoUninitialize();
}

UniqueWinEventHook& UniqueWinEventHook::operator=(UniqueWinEventHook&& other) noexcept {
  if (this != &other) {
    Reset();
    hook_ = std::exchange(other.hook_, nullptr);
    thread_ = other.thread_;
  }
  return *this;
}

void UniqueWinEventHook::Reset() {
  HWINEVENTHOOK hook = std::exchange(hook_, nullptr);
  if (hook == nullptr) return;
  if (GetCurrentThreadId() != thread_) {
    TRACE(Warning) << "Hook 0x" << hook << " cannot be removed off its thread 0x" << std::hex << thread_
                   << "; it stays until that thread ends";
    return;
  }
  if (!UnhookWinEvent(hook)) TRACE(Warning) << "UnhookWinEvent failed for hook 0x" << hook;
}

}  // namespace installation_assistant
