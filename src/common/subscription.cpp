#include "common/subscription.h"

#include <map>
#include <mutex>
#include <sstream>

#include "common/message_window.h"
#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

// Keyed by hook, not by subscription: two subscriptions on one process each get the
// events of their own hooks only.
std::mutex& HookRegistryLock() {
  static std::mutex hookRegistryLock;
  return hookRegistryLock;
}

std::map<HWINEVENTHOOK, WinEventHandler>& HookRegistry() {
  static std::map<HWINEVENTHOOK, WinEventHandler> registry;
  return registry;
}

void CALLBACK WinEventHookProc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG, LONG, DWORD, DWORD) {
  try {
    WinEventHandler handler;
    {
      std::lock_guard<std::mutex> lock(HookRegistryLock());
      auto found = HookRegistry().find(hook);
      if (found == HookRegistry().end()) return;  // its subscription is gone
      handler = found->second;
    }
    // Called without the lock: a handler may create or destroy subscriptions.
    handler(event, window);
  } catch (...) {
    TraceException("WinEventHookProc error");
  }
}

std::string DescribeSubscription(const void* self, DWORD processId, const std::vector<DWORD>& events) {
  std::ostringstream text;
  text << "Subscription(" << self << ") pid=" << processId << ", events:";
  for (DWORD event : events) text << " 0x" << std::hex << event << std::dec;
  return text.str();
}

// The message window through which another thread reaches this one, if it has one.
std::weak_ptr<MessageWindow> MessageWindowOfThisThread() {
  std::shared_ptr<MessageWindow> window = CurrentMessageWindow();
  if (window && GetWindowThreadProcessId(window->Handle(), nullptr) == GetCurrentThreadId()) return window;
  return {};
}

}  // namespace

Subscription::Subscription(DWORD processId, const std::vector<DWORD>& events, WinEventHandler handler)
    : description_(DescribeSubscription(this, processId, events)), hookingThreadWindow_(MessageWindowOfThisThread()) {
  TRACE(Info) << "Creating " << description_;
  const DWORD thread = GetCurrentThreadId();
  // The engine's own events never count. A hook filtered on another process never receives them anyway
  // (SetWinEventHook, Microsoft Learn: idProcess names the process the events come from), and wine delivers nothing
  // at all to such a hook when it also skips its own process; so that flag is passed only where it changes what is
  // delivered: no filter, or the filter names this process.
  DWORD flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNTHREAD;
  if (processId == 0 || processId == GetCurrentProcessId()) flags |= WINEVENT_SKIPOWNPROCESS;
  try {
    for (DWORD event : events) {
      HWINEVENTHOOK hook = SetWinEventHook(event, event, nullptr, &WinEventHookProc, processId, 0, flags);
      if (hook == nullptr) throw LastWin32Error("SetWinEventHook");
      hooks_.emplace_back(event, UniqueWinEventHook(hook, thread));
      std::lock_guard<std::mutex> lock(HookRegistryLock());
      HookRegistry()[hook] = handler;
    }
  } catch (...) {
    // The destructor does not run for a failed construction.
    ReleaseHooks();
    throw;
  }
}

Subscription::~Subscription() {
  TRACE(Info) << "Deleting " << description_;
  ReleaseHooks();
}

std::vector<std::pair<DWORD, HWINEVENTHOOK>> Subscription::Hooks() const {
  std::vector<std::pair<DWORD, HWINEVENTHOOK>> hooks;
  for (const auto& [event, hook] : hooks_) hooks.emplace_back(event, hook.Get());
  return hooks;
}

void Subscription::ReleaseHooks() noexcept {
  if (hooks_.empty()) return;
  auto owned = std::make_shared<std::vector<UniqueWinEventHook>>();
  {
    std::lock_guard<std::mutex> lock(HookRegistryLock());
    for (auto& [event, hook] : hooks_) {
      HookRegistry().erase(hook.Get());
      owned->push_back(std::move(hook));
    }
  }
  hooks_.clear();
  if (GetCurrentThreadId() == owned->front().HookingThread()) {
    owned->clear();
    return;
  }
  // Released by a worker: only the hooking thread can unhook. Whether the posted work runs
  // or the window frees it unrun, it is destroyed on that thread, and so are the hooks.
  if (auto window = hookingThreadWindow_.lock()) {
    try {
      window->Post([owned = std::move(owned)]() mutable { owned.reset(); });
      return;
    } catch (...) {
      TraceException("Subscription::ReleaseHooks");
    }
  }
  // Nothing leads back to that thread; the hooks stay (silent: no registry entry) until it
  // ends, and each one says so.
}

std::shared_ptr<Subscription> SubscribeForWindow(HWND window, const std::vector<DWORD>& events,
                                                 WinEventHandler handler) {
  DWORD processId = 0;
  // Process id 0 would hook every process in the session.
  if (GetWindowThreadProcessId(window, &processId) == 0 || processId == 0) {
    throw LastWin32Error("GetWindowThreadProcessId");
  }
  return std::make_shared<Subscription>(processId, events, std::move(handler));
}

std::size_t RegisteredHookCount() {
  std::lock_guard<std::mutex> lock(HookRegistryLock());
  return HookRegistry().size();
}

}  // namespace installation_assistant
