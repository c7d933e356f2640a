// RAII owners, one per handle kind.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/win32.h"

namespace installation_assistant {

// A kernel handle closed with CloseHandle (events, processes, threads).
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  // Null and INVALID_HANDLE_VALUE both mean "no handle": Win32 uses either for failure.
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return IsValid(); }
  HANDLE Release() { return std::exchange(handle_, nullptr); }
  void Reset(HANDLE handle = nullptr) {
    if (IsValid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A handle that several owners keep open; closed when the last one lets go.
using SharedHandle = std::shared_ptr<void>;
SharedHandle MakeSharedHandle(UniqueHandle handle);

// Unnamed event; throws std::system_error when it cannot be created.
UniqueHandle CreateEventHandle(bool manualReset, bool initialState);

// A registered window class, unregistered by its owner.
class WindowClass {
 public:
  // Throws std::runtime_error "Failed to register window class".
  WindowClass(const wchar_t* name, WNDPROC procedure, HINSTANCE instance);
  ~WindowClass();
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;

  const wchar_t* Name() const { return name_.c_str(); }
  HINSTANCE Instance() const { return instance_; }

 private:
  std::wstring name_;
  HINSTANCE instance_;
};

// A window. DestroyWindow works only on the window's own thread, so the owner destroys
// it there and elsewhere leaves it (the system destroys it with its thread).
class UniqueWindow {
 public:
  UniqueWindow() = default;
  explicit UniqueWindow(HWND window) : window_(window) {}
  UniqueWindow(UniqueWindow&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
  UniqueWindow& operator=(UniqueWindow&& other) noexcept {
    if (this != &other) {
      Reset();
      window_ = std::exchange(other.window_, nullptr);
    }
    return *this;
  }
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;
  ~UniqueWindow() { Reset(); }

  HWND Get() const { return window_; }
  // True when the calling thread may destroy the window (it owns it, or it is gone).
  bool OnOwnerThread() const;
  void Reset() noexcept;

 private:
  HWND window_ = nullptr;
};

// COM for the calling thread; balanced only when this object's call succeeded.
class ComInitialization {
 public:
  explicit ComInitialization(DWORD model = COINIT_MULTITHREADED);
  ~ComInitialization();
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// An out-of-context hook handle. UnhookWinEvent only works on the thread that called
// SetWinEventHook, so the owner remembers that thread and unhooks only there.
class UniqueWinEventHook {
 public:
  UniqueWinEventHook() = default;
  UniqueWinEventHook(HWINEVENTHOOK hook, DWORD hookingThread) : hook_(hook), thread_(hookingThread) {}
  UniqueWinEventHook(UniqueWinEventHook&& other) noexcept
      : hook_(std::exchange(other.hook_, nullptr)), thread_(other.thread_) {}
  UniqueWinEventHook& operator=(UniqueWinEventHook&& other) noexcept;
  UniqueWinEventHook(const UniqueWinEventHook&) = delete;
  UniqueWinEventHook& operator=(const UniqueWinEventHook&) = delete;
  // Off the hooking thread the hook cannot be removed: it is left to the system, which
  // removes it when that thread ends, and a Warning says so.
  ~UniqueWinEventHook() { Reset(); }

  HWINEVENTHOOK Get() const { return hook_; }
  DWORD HookingThread() const { return thread_; }
  void Reset();

 private:
  HWINEVENTHOOK hook_ = nullptr;
  DWORD thread_ = 0;
};

}  // namespace installation_assistant
