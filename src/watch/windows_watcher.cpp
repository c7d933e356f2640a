#include "watch/windows_watcher.h"

#include <cstring>
#include <set>
#include <utility>

#include "common/handles.h"
#include "common/trace.h"
#include "common/win32_error.h"
#include "watch/regular_pattern_windows_watcher_implementation.h"

namespace installation_assistant {
namespace {

constexpr wchar_t kNotificationWindowClass[] = L"QuorvantaUncheckerNotification";
constexpr wchar_t kShadowWindowClass[] = L"SysShadow";

std::vector<DWORD> EnumerateThreads(DWORD processId) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) throw LastWin32Error("EnumerateThreads::CreateToolhelp32Snapshot");
  // Older systems fill in less than the whole entry; the owner's id must be among it.
  constexpr DWORD kEntrySize = 28;
  constexpr DWORD kOwnerFieldEnd = 16;
  std::vector<DWORD> threads;
  THREADENTRY32 entry = {};
  entry.dwSize = kEntrySize;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.dwSize >= kOwnerFieldEnd && entry.th32OwnerProcessID == processId) threads.push_back(entry.th32ThreadID);
    entry.dwSize = kEntrySize;
  }
  return threads;
}

BOOL CALLBACK AppendWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

bool IsChildOf(HWND window, HWND parent) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (child == window) return true;
  }
  return false;
}

}  // namespace

std::vector<HWND> EnumerateWindows(DWORD processId) {
  std::vector<HWND> found;
  for (DWORD thread : EnumerateThreads(processId)) {
    EnumThreadWindows(thread, &AppendWindow, reinterpret_cast<LPARAM>(&found));
  }
  const std::set<HWND> windows(found.begin(), found.end());
  std::vector<HWND> result;
  for (HWND window : windows) {
    const HWND parent = GetParent(window);
    // An owned top-level window has its owner as "parent" too; only a true child goes.
    if (windows.count(parent) != 0 && IsChildOf(window, parent)) continue;
    result.push_back(window);
  }
  return result;
}

WindowsWatcher::WindowsWatcher(DWORD processId, std::shared_ptr<MessageWindow> messageWindow)
    : messageWindow_(std::move(messageWindow)), processId_(processId) {}

std::shared_ptr<WindowsWatcher> WindowsWatcher::Create(DWORD processId, std::shared_ptr<MessageWindow> messageWindow) {
  std::shared_ptr<WindowsWatcher> watcher(new WindowsWatcher(processId, std::move(messageWindow)));
  watcher->Start();
  return watcher;
}

void WindowsWatcher::Start() {
  std::weak_ptr<WindowsWatcher> weak = weak_from_this();
  auto resampler = std::make_shared<EventResampler>([weak] {
    if (auto watcher = weak.lock()) watcher->UpdateWindowListCore();
  });
  {
    std::lock_guard<std::mutex> guard(resamplerLock_);
    resampler_ = resampler;
  }
  std::weak_ptr<EventResampler> weakResampler = resampler;
  try {
    subscription_ = std::make_shared<Subscription>(processId_, kWindowEventSet, [weakResampler](DWORD, HWND) {
      TRACE(Debug) << "Fire WindowWatcher Resampler";
      if (auto target = weakResampler.lock()) target->Fire();
    });
  } catch (...) {
    resampler->Stop();
    resampler->Join();
    throw;
  }
  resampler->Fire();
}

RegularPatternWindowsWatcherImplementation& WindowsWatcher::EnsureStrategy() {
  if (!strategy_) {
    strategy_ = std::make_shared<RegularPatternWindowsWatcherImplementation>(messageWindow_);
    // A machine that finds its window gone asks for a pass that drops it.
    strategy_->SetWindowGoneHandler([weak = weak_from_this()] {
      if (auto watcher = weak.lock()) watcher->FireResampler();
    });
  }
  return *strategy_;
}

void WindowsWatcher::AddRegularPattern(PatternProcessorFactory factory, bool silent) {
  std::lock_guard<std::mutex> guard(lock_);
  if (shutDown_) return;
  EnsureStrategy().AddPattern(std::move(factory), silent);
  FireResampler();
}

void WindowsWatcher::AddSilentPattern(SilentPatternProcessorFactory factory) {
  std::lock_guard<std::mutex> guard(lock_);
  if (shutDown_) return;
  EnsureStrategy().AddPattern(std::move(factory));
  FireResampler();
}

void WindowsWatcher::FireResampler() {
  std::shared_ptr<EventResampler> resampler;
  {
    std::lock_guard<std::mutex> guard(resamplerLock_);
    resampler = resampler_;
  }
  if (resampler) resampler->Fire();
}

bool WindowsWatcher::OfferWindow(HWND window) {
  if (!IsWindowVisible(window)) {
    TRACE(Debug) << "Window skipped by visibility " << DescribeWindow(window);
    return true;
  }
  wchar_t className[1024] = {};
  const int length = GetClassNameW(window, className, 1024);
  if (length == 0) {
    if (!IsWindow(window)) return true;  // closed since the enumeration; the next pass drops it
    throw LastWin32Error("GetClassNameW");
  }
  const std::wstring name(className, static_cast<std::size_t>(length));
  if (name == kNotificationWindowClass || name == kShadowWindowClass) {
    TRACE(Debug) << "Window skipped by class name " << DescribeWindow(window);
    return true;
  }
  RegularPatternWindowsWatcherImplementation::Needs needs;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (shutDown_ || !strategy_) return true;
    needs = strategy_->NeedsOf(window);
  }
  if (!needs.Any()) return true;
  // The roots are calls into the window: made without the lock, so that patterns come in meanwhile, and only once
  // the window answers, so that a hung one cannot hold up the windows after it.
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kHungProbeTimeoutMs, &result) == 0) {
    if (!IsWindow(window)) return true;
    if (unresponsive_.insert(window).second) {
      TRACE(Info) << "Window does not respond, its machines wait: " << DescribeWindow(window);
    }
    return false;
  }
  unresponsive_.erase(window);
  std::shared_ptr<UIElement> root = needs.machine ? CreateMSAARootElement(window) : nullptr;
  std::shared_ptr<UIElement> silentRoot = needs.silentMachine ? CreateMSAARootElement(window) : nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  if (shutDown_ || !strategy_) return true;
  if (strategy_->OnNewWindow(window, std::move(root), std::move(silentRoot))) {
    TRACE(Info) << "Window detected: " << DescribeWindow(window);
  }
  return true;
}

void WindowsWatcher::UpdateWindowListCore() {
  TRACE(Debug) << "UpdateWindowListCore";
  bool failed = false;
  bool waiting = false;
  try {
    const std::vector<HWND> windows = EnumerateWindows(processId_);
    for (HWND window : windows) {
      // A window whose handling fails must not keep the later ones from their machines.
      try {
        if (!OfferWindow(window)) waiting = true;
      } catch (...) {
        failed = true;
        TraceException("UpdateWindowListCore");
      }
    }
  } catch (...) {
    failed = true;
    TraceException("UpdateWindowListCore");
  }

  if (!failed) {
    failedPassesInRow_ = 0;
  } else if (++failedPassesInRow_ <= kMaxWatchRetries) {
    TRACE(Info) << "Retry watch";
    FireResampler();
  } else if (failedPassesInRow_ == kMaxWatchRetries + 1) {
    // A failure that repeats would otherwise spin a core and flood the trace.
    TRACE(Warning) << "Watch failed " << failedPassesInRow_ << " times in a row; waiting for the next window event";
  }

  if (waiting) {
    std::shared_ptr<EventResampler> resampler;
    {
      std::lock_guard<std::mutex> guard(resamplerLock_);
      resampler = resampler_;
    }
    if (resampler) resampler->FireAfter(kUnresponsiveWindowRetryMs);
  }
  std::erase_if(unresponsive_, [](HWND window) { return !IsWindow(window); });

  try {
    std::lock_guard<std::mutex> guard(lock_);
    if (strategy_) strategy_->DropClosedWindows();
  } catch (...) {
    TraceException("UpdateWindowListCore");
  }
}

void WindowsWatcher::Shutdown() {
  std::shared_ptr<EventResampler> resampler;
  {
    std::lock_guard<std::mutex> guard(resamplerLock_);
    resampler = resampler_;
  }
  // No pass may run while the machines are shut down; one stuck in a call into a hung window
  // finds the watcher shut down when it returns, and builds nothing.
  if (resampler) {
    resampler->Stop();
    if (!resampler->Join(kWatcherShutdownWaitMs)) {
      TRACE(Warning) << "Windows watcher still in a pass after the shutdown wait; left to end on its own";
    }
  }
  std::lock_guard<std::mutex> guard(lock_);
  subscription_.reset();
  {
    std::lock_guard<std::mutex> resamplerGuard(resamplerLock_);
    resampler_.reset();
  }
  if (strategy_) strategy_->ShutdownMachines();
  strategy_.reset();
  shutDown_ = true;
}

bool WindowsWatcher::IsShutDown() const {
  std::lock_guard<std::mutex> guard(lock_);
  return shutDown_;
}

std::vector<std::shared_ptr<Machine>> WindowsWatcher::Machines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return strategy_ ? strategy_->Machines() : std::vector<std::shared_ptr<Machine>>();
}

std::vector<std::shared_ptr<SilentMachine>> WindowsWatcher::SilentMachines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return strategy_ ? strategy_->SilentMachines() : std::vector<std::shared_ptr<SilentMachine>>();
}

}  // namespace installation_assistant
