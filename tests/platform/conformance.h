// Helpers for the platform conformance tests. Win32 API only: the same source runs against simwin on Linux and against
// Windows (wine) as the judge.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/win32.h"

namespace conformance {

inline bool RunningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

// Where wine departs from Windows, a test asserts what Windows does and, under wine, what wine is known to do
// instead (a "todo under wine"): the test keeps checking under wine, and a change in wine fails it with a message
// that says so rather than going unnoticed.
//   WINE_DEPARTS("no STATECHANGE after BM_SETCHECK");
//   EXPECT_EQ(count, conformance::WindowsOr(1, /*wine*/ 0));
#define WINE_DEPARTS(reason)                                                                                   \
  SCOPED_TRACE(::conformance::RunningUnderWine()                                                              \
                   ? std::string("wine departs from Windows (") + (reason) +                                  \
                         "); the test expects wine 8's behaviour: a failure here means wine changed"        \
                   : std::string("as on Windows"))

template <class T>
T WindowsOr(T windows, T wine) {
  return RunningUnderWine() ? wine : windows;
}

// Generous bound for waits that must end; never a timing assertion.
constexpr DWORD kLongWait = 20000;

// A thread started with CreateThread running a lambda; joined on destruction.
class TestThread {
 public:
  explicit TestThread(std::function<DWORD()> body) : body_(std::move(body)) {
    handle_ = CreateThread(nullptr, 0, &TestThread::Start, this, 0, &id_);
  }
  ~TestThread() {
    if (handle_) {
      Join();
      CloseHandle(handle_);
    }
  }
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  HANDLE Handle() const { return handle_; }
  DWORD Id() const { return id_; }
  // Waits for the end and gives the exit code.
  DWORD Join() {
    EXPECT_EQ(WaitForSingleObject(handle_, kLongWait), WAIT_OBJECT_0) << "thread did not end";
    DWORD code = 0;
    GetExitCodeThread(handle_, &code);
    return code;
  }

 private:
  static DWORD WINAPI Start(LPVOID self) { return static_cast<TestThread*>(self)->body_(); }
  std::function<DWORD()> body_;
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

// An event handle closed on destruction.
class Event {
 public:
  explicit Event(bool manualReset = false, bool initial = false, LPCWSTR name = nullptr)
      : h_(CreateEventW(nullptr, manualReset, initial, name)) {}
  ~Event() {
    if (h_) CloseHandle(h_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE get() const { return h_; }
  void Set() const { SetEvent(h_); }
  bool Wait(DWORD ms = kLongWait) const { return WaitForSingleObject(h_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE h_;
};

// A window whose procedure calls `handler` first; DefWindowProcW handles the rest.
using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

inline LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* handler = reinterpret_cast<Handler*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (handler && *handler) {
    if (auto r = (*handler)(hwnd, msg, wParam, lParam)) return *r;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Registered on first use in the calling process (classes are per process).
inline LPCWSTR TestClassName() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &TestWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ConformanceTestWindow";
  if (!RegisterClassExW(&wc)) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  }
  return wc.lpszClassName;
}

inline HWND CreateTestWindow(DWORD style, HWND parent = nullptr, Handler* handler = nullptr, LPCWSTR text = L"",
                             DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, TestClassName(), text, style, 0, 0, 100, 50, parent, nullptr,
                         GetModuleHandleW(nullptr), handler);
}

// Retrieves and dispatches messages until pred() holds (or a generous bound passes).
inline bool PumpUntil(const std::function<bool()>& pred, DWORD bound = kLongWait) {
  DWORD start = GetTickCount();
  MSG msg;
  while (!pred()) {
    if (GetTickCount() - start > bound) return false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (pred()) break;
    Sleep(1);
  }
  return true;
}

// Removes whatever is still queued for the calling thread (a test leaves a clean queue).
inline void DrainQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace conformance
