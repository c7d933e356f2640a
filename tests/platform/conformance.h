// Helpers for the platform conformance tests. Win32 API only: the same source runs against simwin on Linux and against
// Windows (wine) as the judge.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "platform/win32.h"
#ifndef _WIN32
#include "platform/sim/simwin.h"
#endif

namespace conformance {

// The major version of the wine the test runs under; 0 on Windows and on simwin.
inline int WineMajor() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  using Version = const char*(CDECL*)();
  const FARPROC found = ntdll ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
  auto version = reinterpret_cast<Version>(reinterpret_cast<void (*)()>(found));
  return version ? std::max(1, std::atoi(version())) : 0;
#else
  return 0;
#endif
}

inline bool RunningUnderWine() { return WineMajor() != 0; }

// Under a wine older than `fixedIn`, or under every wine when it is 0.
inline bool OldWine(int fixedIn = 0) { return RunningUnderWine() && (fixedIn == 0 || WineMajor() < fixedIn); }

// Where wine departs from Windows, a test asserts what Windows does and, under wine, what wine is known to do
// instead (a "todo under wine"): the test keeps checking under wine, and a change in wine fails it with a message
// that says so rather than going unnoticed.
// A departure that a later wine mends names that version (`fixedIn`).
//   WINE_DEPARTS("no STATECHANGE after BM_SETCHECK");
//   EXPECT_EQ(count, conformance::WindowsOr(1, /*wine before 10*/ 0, 10));
#define WINE_DEPARTS(reason)                                                                                   \
  SCOPED_TRACE(::conformance::RunningUnderWine()                                                              \
                   ? std::string("wine departs from Windows (") + (reason) +                                  \
                         "); the test expects wine's known behaviour: a failure here means wine changed"    \
                   : std::string("as on Windows"))

template <class T>
T WindowsOr(T windows, T wine, int fixedIn = 0) {
  return OldWine(fixedIn) ? wine : windows;
}

// Expects `call` to fail (a false or null result) and leave `error` as the thread's last error.
#define EXPECT_FAILS_WITH(call, error) \
  EXPECT_TRUE(::conformance::FailsWith([&]() -> bool { return !(call); }, #call, (error)))

template <class Call>
::testing::AssertionResult FailsWith(const Call& failed, const char* text, DWORD error) {
  SetLastError(0xDEAD);
  const bool didFail = failed();
  const DWORD got = GetLastError();
  if (didFail && got == error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text << (didFail ? " failed" : " succeeded") << ", last error " << got
                                       << " where " << error << " was expected";
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

// A COM apartment of the calling thread for the scope.
struct Apartment {
  explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED) { EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, model))); }
  ~Apartment() { CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
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

// Expects it made.
inline HWND CreateTestWindow(DWORD style, HWND parent = nullptr, Handler* handler = nullptr, LPCWSTR text = L"",
                             DWORD exStyle = 0) {
  HWND h = CreateWindowExW(exStyle, TestClassName(), text, style, 0, 0, 100, 50, parent, nullptr,
                           GetModuleHandleW(nullptr), handler);
  EXPECT_NE(h, nullptr) << "no test window";
  return h;
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

// Another process that runs `body` on its main thread and then ends. On Windows it is this test program started again
// with --conformance-child=NAME, which runs the body registered under NAME (ChildBody, at static initialisation, so
// before any test) and exits; simwin has no CreateProcessW and gives a logical process instead. The process is made
// before the body starts, so that the caller can set up what watches it first.
using ChildMain = void (*)();

inline bool ChildBody(const wchar_t* name, ChildMain body) {
#ifdef _WIN32
  const std::wstring flag = std::wstring(L"--conformance-child=") + name;
  const wchar_t* at = wcsstr(GetCommandLineW(), flag.c_str());
  if (at && (at[flag.size()] == 0 || at[flag.size()] == L' ')) {
    body();
    ExitProcess(0);
  }
#else
  (void)name;
  (void)body;
#endif
  return true;
}

class ChildProcess {
 public:
  ChildProcess(const wchar_t* name, ChildMain body) {
#ifdef _WIN32
    (void)body;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(path) + L"\" --conformance-child=" + name;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                               &pi_));
#else
    (void)name;
    body_ = body;
#endif
  }
  ~ChildProcess() {
#ifdef _WIN32
    if (pi_.hProcess) {
      if (WaitForSingleObject(pi_.hProcess, kLongWait) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 1);
      CloseHandle(pi_.hThread);
      CloseHandle(pi_.hProcess);
    }
#endif
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

#ifdef _WIN32
  DWORD Id() const { return pi_.dwProcessId; }
  DWORD MainThreadId() const { return pi_.dwThreadId; }
  void Start() { ResumeThread(pi_.hThread); }
  bool Wait() { return WaitForSingleObject(pi_.hProcess, kLongWait) == WAIT_OBJECT_0; }

 private:
  PROCESS_INFORMATION pi_{};
#else
  DWORD Id() const { return process_.Id(); }
  DWORD MainThreadId() const { return process_.UiThreadId(); }
  void Start() { process_.Post(body_); }
  bool Wait() {
    process_.Invoke([] {});  // after the body: posted work runs in order
    process_.Exit();
    return true;
  }

 private:
  ChildMain body_ = nullptr;
  simwin::Process process_{L"conformance-child.exe"};
#endif
};

// Removes whatever is still queued for the calling thread (a test leaves a clean queue).
inline void DrainQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace conformance
