// One top-level window of the installer and the pattern processors matched against it.
// Each machine re-matches after every burst of structure changes of its window, on a
// resampler thread of its own.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/message_window.h"
#include "common/option.h"
#include "common/subscription.h"
#include "platform/win32.h"
#include "uielement/ui_element.h"
#include "watch/event_resampler.h"
#include "watch/pattern_processor.h"
#include "watch/silent_pattern_processor.h"

namespace installation_assistant {

// The wait of the probe a pass starts with: a window whose thread does not answer WM_NULL in
// time (or at once, when the system already takes it for hung) is not looked at.
inline constexpr UINT kHungProbeTimeoutMs = 200;
// While the window does not answer, it is probed again after these delays, doubling, even if
// no event comes: the state it ends in once it recovers is still acted on.
inline constexpr DWORD kFirstReprobeDelayMs = 250;
inline constexpr DWORD kMaxReprobeDelayMs = 1000;
// What the end of a run waits, for all machines together, for passes to stop. A pass stuck in
// a call into a hung installer is left behind rather than holding the host's thread.
inline constexpr DWORD kMachineShutdownWaitMs = 500;

class MachineBase : public std::enable_shared_from_this<MachineBase> {
 public:
  virtual ~MachineBase() = default;
  MachineBase(const MachineBase&) = delete;
  MachineBase& operator=(const MachineBase&) = delete;

  // One matching pass; runs on the machine's resampler thread.
  virtual void Matcher() = 0;
  virtual void FlushStatistics() {}
  // The window is gone (or the engine ends): whatever watches its controls goes.
  virtual void ReleaseWatches() {}

  // Unsubscribes, stops and joins the resampler, flushes statistics. Once shut down, a
  // subscription still posted to the engine thread is never made. Not from the machine's
  // own resampler thread. Waits at most kMachineShutdownWaitMs for a pass.
  void Shutdown();
  // The two halves of Shutdown, so that many machines stop together: the first never waits;
  // the second waits at most `ms` for the pass, and one that does not end is left running
  // (it keeps the machine alive) without the statistics flush, which would wait for it.
  void BeginShutdown();
  void FinishShutdown(DWORD ms);

  HWND Window() const { return window_; }
  const std::wstring& Description() const { return description_; }
  // Called once, from a pass, when the pass finds the window gone. The event that told the watcher of the window's
  // end may have come while the window was still being destroyed: without this notice the machine would wait for
  // the installer's next window event to be dropped.
  void SetWindowGoneHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> guard(windowGoneLock_);
    windowGone_ = std::move(handler);
  }
  bool IsSubscribed() const;

 protected:
  MachineBase(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
              std::shared_ptr<MessageWindow> messageWindow, const wchar_t* kind);
  // Right after construction, before the machine is shared with any other thread.
  void Init();
  void FireResampler() { resampler_->Fire(); }
  // An event about the window or a window inside it; on the engine thread.
  virtual void OnWindowEvent(DWORD /*event*/, HWND /*hwnd*/) { FireResampler(); }
  // At the start of a pass, on the resampler thread: false when the window does not answer;
  // the pass is skipped and a later one is already asked for.
  bool WindowResponds();
  // Set by Shutdown before it waits for the pass: a pass in progress ends at its next node test.
  const std::atomic<bool>& Stopping() const { return stopping_; }
  // Set when the shutdown stopped waiting for the pass: the run has ended, its actions would come too late.
  bool Abandoned() const { return abandoned_; }
  // From a pass that found the window gone: tells the handler, once.
  void NotifyWindowGone() {
    std::function<void()> handler;
    {
      std::lock_guard<std::mutex> guard(windowGoneLock_);
      handler = windowGone_;
    }
    if (handler && !windowGoneTold_.exchange(true)) handler();
  }
  const ElementResolver& Resolver() const { return resolver_; }

 private:
  void SubscribeToStructureChanged();

  std::shared_ptr<EventResampler> resampler_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> abandoned_{false};
  std::mutex windowGoneLock_;
  std::function<void()> windowGone_;
  std::atomic<bool> windowGoneTold_{false};
  ElementResolver resolver_;
  std::shared_ptr<MessageWindow> messageWindow_;
  std::shared_ptr<UIElement> root_;
  HWND window_;
  std::wstring description_;
  // Touched by passes; a pass run by hand (tests, a first pass) may overlap the resampler's.
  std::atomic<bool> notResponding_{false};
  std::atomic<DWORD> reprobeDelay_{kFirstReprobeDelayMs};

  // Guards the subscription against a shutdown on another thread than the engine thread.
  mutable std::mutex subscriptionLock_;
  std::shared_ptr<Subscription> subscription_;
  bool shutDown_ = false;
};

class Machine final : public MachineBase {
 public:
  static std::shared_ptr<Machine> Create(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                                         std::shared_ptr<MessageWindow> messageWindow);

  struct Entry {
    std::shared_ptr<PatternProcessor> processor;
    bool silent;
  };

  void AddPattern(std::shared_ptr<PatternProcessor> processor, bool silent);
  // All at once: a new window's first pass has all its patterns.
  void AddPatterns(std::vector<Entry> entries);
  void Matcher() override;

  std::size_t ProcessorCount() const;
  std::size_t PendingActionCount() const;
  bool HasTicketHolder() const;
  void ReleaseWatches() override;

 private:

  struct PendingAction {
    QueuedAction action;
    // The look the action was built on.
    std::uint64_t look = 0;
  };
  // The last look, while the window has changed since only by this machine's own check and selection actions:
  // the echo of those changes is judged on it, with those controls' states read again, instead of a new look.
  struct StandingLook {
    ElementResolver resolve;
    std::uint64_t id = 0;
    std::vector<std::pair<std::shared_ptr<UIElement>, ElementType>> changed;
  };

  Machine(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
          std::shared_ptr<MessageWindow> messageWindow);
  void OnWindowEvent(DWORD event, HWND hwnd) override;
  // The pass's look: the standing one when only echoes fired it, else a new one.
  const ElementResolver& Look(bool fresh);
  // Before one of the machine's own actions runs: whether the look still stands once it has.
  void NoteAction(const PendingAction& pending);
  void DropLook();
  // False when the entry matched but must wait for another processor's ticket.
  bool MatchEntry(const Entry& entry, const ElementResolver& resolve);
  void Drain();

  // Patterns added while a pass runs wait here, so that AddPattern never waits for a pass.
  mutable std::mutex incomingLock_;
  std::vector<Entry> incoming_;
  mutable std::mutex lock_;
  std::optional<StandingLook> look_;
  std::uint64_t looks_ = 0;
  // Set by the events since the last pass: the echoes, and all others.
  std::atomic<bool> echoHeard_{false};
  std::atomic<bool> lookNeeded_{false};
  // The own windows of the controls the standing look's changes were made to; read by the event handler.
  std::mutex echoLock_;
  std::vector<HWND> echoWindows_;
  std::deque<PendingAction> pending_;
  Option<Continuation> continuation_;
  std::shared_ptr<PatternProcessor> ticketHolder_;
  std::vector<Entry> processors_;
  // Processors whose roots have all matched: their actions processors watch the user's changes until the window goes.
  std::vector<std::shared_ptr<PatternProcessor>> finishedProcessors_;
};

class SilentMachine final : public MachineBase {
 public:
  static std::shared_ptr<SilentMachine> Create(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                                               std::shared_ptr<MessageWindow> messageWindow);

  void AddPattern(std::shared_ptr<SilentPatternProcessor> processor);
  void AddPatterns(std::vector<std::shared_ptr<SilentPatternProcessor>> processors);
  void Matcher() override;
  void FlushStatistics() override;

  std::size_t ProcessorCount() const;

 private:
  SilentMachine(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                std::shared_ptr<MessageWindow> messageWindow);

  mutable std::mutex incomingLock_;
  std::vector<std::shared_ptr<SilentPatternProcessor>> incoming_;
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<SilentPatternProcessor>> processors_;
};

// "{ Handle: <hex>, Class: '<class>' }"
std::wstring DescribeMachineWindow(HWND window);

}  // namespace installation_assistant
