// Keeps track of the top-level windows of the installer process and hands each new one
// to the strategy. Passes run on a resampler thread after every burst of window events.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "common/message_window.h"
#include "common/subscription.h"
#include "platform/win32.h"
#include "watch/event_resampler.h"
#include "watch/machine.h"
#include "watch/regular_pattern_windows_watcher_implementation.h"

namespace installation_assistant {

// Failed passes retried at once, in a row; after them the watcher waits for the next event.
inline constexpr int kMaxWatchRetries = 3;
// A new window that does not answer gets its machines on a later pass, at the latest this long after.
inline constexpr DWORD kUnresponsiveWindowRetryMs = 500;
// What the watcher's shutdown waits for its own pass (one stuck making a machine for a window that hung).
inline constexpr DWORD kWatcherShutdownWaitMs = 500;

class WindowsWatcher : public std::enable_shared_from_this<WindowsWatcher> {
 public:
  // On the engine thread, which must pump messages for the window events to arrive.
  // Scans the windows that already exist without waiting for an event.
  static std::shared_ptr<WindowsWatcher> Create(DWORD processId, std::shared_ptr<MessageWindow> messageWindow);
  // Owners call Shutdown first: only it flushes the machines' statistics. Without it the
  // members still stop and join their own threads.
  ~WindowsWatcher() = default;
  WindowsWatcher(const WindowsWatcher&) = delete;
  WindowsWatcher& operator=(const WindowsWatcher&) = delete;

  // Strategy exceptions pass to the caller. After Shutdown a pattern changes nothing.
  void AddRegularPattern(PatternProcessorFactory factory, bool silent);
  void AddSilentPattern(SilentPatternProcessorFactory factory);

  // On the engine thread. Joins the pass thread, unhooks, shuts every machine down; later
  // patterns are accepted and change nothing. Safe to call again.
  void Shutdown();
  bool IsShutDown() const;

  // Snapshots of the machines the strategy holds (empty before the first pattern).
  std::vector<std::shared_ptr<Machine>> Machines() const;
  std::vector<std::shared_ptr<SilentMachine>> SilentMachines() const;

 private:
  WindowsWatcher(DWORD processId, std::shared_ptr<MessageWindow> messageWindow);
  void Start();
  void UpdateWindowListCore();
  // False when the window needs machines but does not answer: a later pass tries again.
  bool OfferWindow(HWND window);
  void FireResampler();
  RegularPatternWindowsWatcherImplementation& EnsureStrategy();

  std::shared_ptr<RegularPatternWindowsWatcherImplementation> strategy_;
  mutable std::mutex lock_;
  std::shared_ptr<MessageWindow> messageWindow_;
  // Guards the pointer only: any thread fires, the engine thread releases it.
  mutable std::mutex resamplerLock_;
  std::shared_ptr<EventResampler> resampler_;
  std::shared_ptr<Subscription> subscription_;
  DWORD processId_;
  bool shutDown_ = false;
  // Touched only by passes, which run one at a time on the resampler thread.
  int failedPassesInRow_ = 0;
  std::set<HWND> unresponsive_;
};

// The process's top-level windows in ascending handle order, true child windows of another
// listed window left out. Throws std::system_error when the thread snapshot fails.
std::vector<HWND> EnumerateWindows(DWORD processId);

}  // namespace installation_assistant
