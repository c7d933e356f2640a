// simwin's driving API: logical installer processes with a UI thread, and inspection.
#include <condition_variable>
#include <future>
#include <stdexcept>

#include "platform/sim/internal.h"

namespace simwin {

using namespace detail;

struct Process::State {
  std::shared_ptr<ProcessState> process;
  std::shared_ptr<ThreadState> uiThread;
  std::thread native;
  std::mutex workMu;  // guards work only; never held while calling into simwin
  std::deque<std::function<void()>> work;
  // An extra UI thread of AddUiThread: its end is not the process's.
  bool extraThread = false;
  // Guard the hang only; never held while calling into simwin.
  std::mutex hangMu;
  std::condition_variable hangCv;
  bool hanging = false;
  bool endHang = false;
  uint64_t hangsBegun = 0;
};

Process::Process(std::wstring imageName) : state_(std::make_shared<State>()) {
  {
    Lock lk(G().mu);
    auto process = std::make_shared<ProcessState>();
    process->pid = NewClientId();
    process->imageName = std::move(imageName);
    G().processes[process->pid] = process;
    G().liveProcesses.push_back(process);
    state_->process = process;
    state_->uiThread = NewThreadState(process);
    state_->uiThread->processUiThread = true;
  }
  StartUiThread();
}

Process::Process(std::shared_ptr<State> state) : state_(std::move(state)) { StartUiThread(); }

std::unique_ptr<Process> Process::AddUiThread() {
  auto state = std::make_shared<State>();
  state->extraThread = true;
  {
    Lock lk(G().mu);
    state->process = state_->process;
    state->uiThread = NewThreadState(state_->process);
  }
  return std::unique_ptr<Process>(new Process(std::move(state)));
}

void Process::StartUiThread() {
  auto runLoop = [](const std::shared_ptr<State>& state) -> DWORD {
    MSG msg;
    for (;;) {
      BOOL r = GetMessageW(&msg, nullptr, 0, 0);
      if (r == 0) {
        if (state->extraThread) return static_cast<DWORD>(msg.wParam);
        // The installer's message loop ended: its process exits with the quit code.
        Lock lk(G().mu);
        EndProcessLocked(state->process, static_cast<DWORD>(msg.wParam));
        return static_cast<DWORD>(msg.wParam);
      }
      if (r < 0) return 1;
      if (!msg.hwnd && msg.message == kStopMessage) return 0;
      if (!msg.hwnd && msg.message == kRunWorkMessage) {
        std::function<void()> work;
        {
          std::lock_guard<std::mutex> guard(state->workMu);
          if (state->work.empty()) continue;
          work = std::move(state->work.front());
          state->work.pop_front();
        }
        work();
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  };
  auto state = state_;
  state_->native = SpawnThread(state_->uiThread, [state, runLoop] { return runLoop(state); });
}

Process::~Process() {
  if (state_->native.joinable()) Exit(0);
}

DWORD Process::Id() const { return state_->process->pid; }
DWORD Process::UiThreadId() const { return state_->uiThread->tid; }
const std::wstring& Process::ImageName() const { return state_->process->imageName; }

void Process::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(state_->workMu);
    state_->work.push_back(std::move(work));
  }
  if (!PostThreadMessageW(state_->uiThread->tid, kRunWorkMessage, 0, 0)) {
    throw std::runtime_error("simwin::Process: the UI thread has ended");
  }
}

void Process::Invoke(std::function<void()> work) {
  if (GetCurrentThreadId() == state_->uiThread->tid) {
    work();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> result = done->get_future();
  Post([work = std::move(work), done] {
    try {
      work();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  // A UI thread that ends before running the work drops it: the promise breaks.
  result.get();
}

void Process::Hang(DWORD ms) {
  auto state = state_;
  auto hang = [state, ms] {
    std::unique_lock<std::mutex> lock(state->hangMu);
    state->hanging = true;
    state->endHang = false;
    ++state->hangsBegun;
    state->hangCv.notify_all();
    state->hangCv.wait_for(lock, std::chrono::milliseconds(ms), [&state] { return state->endHang; });
    state->hanging = false;
    state->endHang = false;
  };
  if (GetCurrentThreadId() == state_->uiThread->tid) {
    hang();
    return;
  }
  uint64_t begun;
  {
    std::lock_guard<std::mutex> guard(state_->hangMu);
    begun = state_->hangsBegun;
  }
  Post(hang);
  std::unique_lock<std::mutex> lock(state_->hangMu);
  state_->hangCv.wait(lock, [&] { return state_->hangsBegun > begun; });
}

void Process::EndHang() {
  std::lock_guard<std::mutex> guard(state_->hangMu);
  if (!state_->hanging) return;
  state_->endHang = true;
  state_->hangCv.notify_all();
}

void Process::Exit(DWORD exitCode) {
  EndHang();
  {
    Lock lk(G().mu);
    auto& ui = state_->uiThread;
    if (!ui->ended) {
      MSG m{};
      m.message = kStopMessage;
      m.time = NowTicks();
      ui->posted.push_back(m);
      G().cv.notify_all();
    }
  }
  if (state_->native.joinable()) {
    if (std::this_thread::get_id() == state_->native.get_id()) {
      state_->native.detach();
    } else {
      state_->native.join();
    }
  }
  {
    std::lock_guard<std::mutex> guard(state_->workMu);
    state_->work.clear();
  }
  if (state_->extraThread) return;
  Lock lk(G().mu);
  EndProcessLocked(state_->process, exitCode);
}

bool Process::HasExited() const {
  Lock lk(G().mu);
  return state_->process->ended;
}

DWORD RootProcessId() {
  Lock lk(G().mu);
  return G().root->pid;
}

TerminateHandler SetTerminateHandler(TerminateHandler handler) {
  Lock lk(G().mu);
  std::swap(G().terminateHandler, handler);
  return handler;
}

void ResetRootProcess() {
  Lock lk(G().mu);
  G().root->ended = false;
  G().root->exitCode = STILL_ACTIVE;
}

DWORD SetHungAppTimeout(DWORD ms) {
  Lock lk(G().mu);
  return static_cast<DWORD>(std::exchange(G().hungAppTimeoutMs, ms));
}

void FailSetWinEventHookAfter(int successes, DWORD error) {
  Lock lk(G().mu);
  G().hookSuccessesBeforeFailure = successes;
  G().hookFailureError = error;
}

std::size_t TakeWinEventQueuePeak() {
  Lock lk(G().mu);
  return std::exchange(G().winEventQueuePeak, 0);
}

std::size_t LiveWinEventHookCount() {
  Lock lk(G().mu);
  return G().hooks.size();
}

std::size_t LiveWindowCount() {
  Lock lk(G().mu);
  FindWindowLocked(nullptr);
  return G().windows.size() - 2;  // the desktop and the message-only root are not counted
}

bool IsClassRegistered(const std::wstring& className) {
  auto self = Self();
  Lock lk(G().mu);
  return self->process->classes.count(FoldCase(className)) != 0;
}

}  // namespace simwin
