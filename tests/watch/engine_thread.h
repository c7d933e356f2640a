// The test's own thread as the engine thread: a published message window and ways to
// pump until posted work or a process's WinEvents have all been handled, without timing.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/handles.h"
#include "common/message_window.h"
#include "common/trace_capture.h"
#include "platform/sim/simwin.h"
#include "platform/win32.h"

namespace installation_assistant::testing {

// An application event id that nothing else raises.
inline constexpr DWORD kMarkerEvent = 0x0000A0FF;

class EngineThread {
 public:
  EngineThread() : window_(std::make_shared<MessageWindow>(GetModuleHandleW(nullptr))) {
    PublishMessageWindow(window_);
  }
  ~EngineThread() {
    RetractMessageWindow(window_.get());
    window_.reset();
  }
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  const std::shared_ptr<MessageWindow>& Window() const { return window_; }
  void DestroyWindow() {
    RetractMessageWindow(window_.get());
    window_.reset();
  }

  // Everything posted to the message window before this call has run when it returns.
  void DrainPosted() {
    bool done = false;
    window_->Post([&done] { done = true; });
    Pump(done);
  }

  // Raises a marker event from the process's UI thread and pumps until it arrives: the
  // process's earlier events have then all been delivered to this thread's hooks.
  void DrainEventsOf(simwin::Process& process, HWND window) {
    markerSeen_ = false;
    HWINEVENTHOOK hook = SetWinEventHook(kMarkerEvent, kMarkerEvent, nullptr, &OnMarker, process.Id(), 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    ASSERT_NE(hook, nullptr);
    process.Invoke([window] { NotifyWinEvent(kMarkerEvent, window, OBJID_WINDOW, CHILDID_SELF); });
    Pump(markerSeen_);
    UnhookWinEvent(hook);
  }

  // GetMessageW would go on waiting after delivering a WinEvent; WaitMessage returns.
  template <typename Predicate>
  static void PumpUntil(Predicate done) {
    MSG message;
    while (!done()) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ASSERT_NE(message.message, static_cast<UINT>(WM_QUIT)) << "WM_QUIT while pumping";
        DispatchMessageW(&message);
      }
      if (!done()) WaitMessage();
    }
  }

 private:
  static void Pump(const bool& done) {
    PumpUntil([&done] { return done; });
  }
  static void CALLBACK OnMarker(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { markerSeen_ = true; }

  static inline bool markerSeen_ = false;
  std::shared_ptr<MessageWindow> window_;
};

// A top-level window of its own class, made on the process's UI thread (a second window of
// the class finds it registered).
struct WindowOptions {
  const wchar_t* className = L"WatchTestWindow";
  HWND parent = nullptr;
  DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  WNDPROC procedure = &DefWindowProcW;
  RECT rect = {10, 10, 310, 210};
};

inline HWND CreateInstallerWindow(simwin::Process& process, const WindowOptions& options = {}) {
  HWND window = nullptr;
  process.Invoke([&] {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = options.procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = options.className;
    RegisterClassExW(&windowClass);
    const RECT& r = options.rect;
    window = CreateWindowExW(0, options.className, L"Setup", options.style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, options.parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  });
  return window;
}

// The test's thread as the engine thread, its traces captured, and an installer process.
class EngineThreadTest : public ::testing::Test {
 protected:
  std::size_t TraceCount(const std::wstring& text) const { return host_.TracesContaining(text).size(); }

  ComInitialization com_;
  simwin::RecordingHost host_;
  TraceCapture capture_{host_};
  EngineThread engine_;
  simwin::Process installer_;
};

}  // namespace installation_assistant::testing
