// The test's own thread as the engine thread: a published message window and ways to
// pump until posted work or a process's WinEvents have all been handled, without timing.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/message_window.h"
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

// A top-level window of a plain class, created on the process's UI thread.
inline HWND CreateInstallerWindow(simwin::Process& process, const wchar_t* text = L"Setup") {
  HWND window = nullptr;
  process.Invoke([&] {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WatchTestWindow";
    RegisterClassExW(&windowClass);  // a second window of the process finds it registered
    window = CreateWindowExW(0, L"WatchTestWindow", text, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  });
  return window;
}

}  // namespace installation_assistant::testing
