// WinEvent hooks on one process, each event routed to one handler on the thread that set
// the hooks (the engine thread, which pumps messages).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "platform/win32.h"

namespace installation_assistant {

class MessageWindow;

// (event id, window handle)
using WinEventHandler = std::function<void(DWORD event, HWND window)>;

// Top-level windows of the watched process coming and going.
inline const std::vector<DWORD> kWindowEventSet = {EVENT_OBJECT_CREATE, EVENT_OBJECT_PARENTCHANGE, EVENT_OBJECT_SHOW,
                                                   EVENT_OBJECT_DESTROY};
// Anything that can change the element tree of a window.
inline const std::vector<DWORD> kStructureEventSet = {EVENT_OBJECT_CREATE,      EVENT_OBJECT_DESTROY,
                                                      EVENT_OBJECT_HIDE,        EVENT_OBJECT_PARENTCHANGE,
                                                      EVENT_OBJECT_SHOW,        EVENT_OBJECT_STATECHANGE,
                                                      EVENT_OBJECT_FOCUS,       EVENT_OBJECT_REORDER};
// Check and selection changes of controls.
inline const std::vector<DWORD> kStateEventSet = {EVENT_OBJECT_STATECHANGE};

class Subscription {
 public:
  // Sets one hook per event id, in order, on the calling thread; that thread must pump
  // messages for the handler to run. Throws std::system_error ("SetWinEventHook") and
  // leaves no hook behind when one cannot be set.
  Subscription(DWORD processId, const std::vector<DWORD>& events, WinEventHandler handler);
  // No handler call starts after this returns. Released on another thread than the
  // hooking one, the unhooking is posted to the hooking thread's message window.
  virtual ~Subscription();
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;

  const std::string& Description() const { return description_; }
  std::vector<std::pair<DWORD, HWINEVENTHOOK>> Hooks() const;

 private:
  void ReleaseHooks() noexcept;

  std::string description_;
  std::vector<std::pair<DWORD, UniqueWinEventHook>> hooks_;
  // The message window of the hooking thread, if it has one: the way back to that thread.
  std::weak_ptr<MessageWindow> hookingThreadWindow_;
};

// The subscription for the process that owns the window.
std::shared_ptr<Subscription> SubscribeForWindow(HWND window, const std::vector<DWORD>& events,
                                                 WinEventHandler handler);

// Hooks currently in the module's registry (for leak checks).
std::size_t RegisteredHookCount();

}  // namespace installation_assistant
