#include "watch/event_resampler.h"

#include <mutex>
#include <vector>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

// Workers that could not be joined stay here: they end on their own, and a Thread object
// destroyed while its thread runs would end the process.
std::mutex unjoinedLock;
std::vector<std::unique_ptr<Thread>>& UnjoinedWorkers() {
  static auto* unjoined = new std::vector<std::unique_ptr<Thread>>();
  return *unjoined;
}

void KeepUnjoinedWorker(std::unique_ptr<Thread> worker) {
  std::lock_guard<std::mutex> guard(unjoinedLock);
  UnjoinedWorkers().push_back(std::move(worker));
}

}  // namespace

EventResampler::EventResampler(std::function<void()> action) : shared_(std::make_shared<Shared>()) {
  shared_->action = std::move(action);
  shared_->fireEvent = CreateEventHandle(false, false);
  shared_->stopEvent = CreateEventHandle(false, false);
  // The worker keeps the events and the action alive itself, so that an owner released on
  // the worker (by its own action) cannot pull them away under it.
  worker_ = std::make_unique<Thread>([shared = shared_] { DoWork(*shared); });
}

EventResampler::~EventResampler() {
  if (joined_ || !worker_) return;
  Stop();
  if (worker_->Id() == GetCurrentThreadId()) {
    // The action dropped the last reference to its owner. The worker cannot wait for
    // itself, and destroying a running Thread ends the process: let it end on its own.
    const DWORD id = worker_->Id();
    KeepUnjoinedWorker(std::move(worker_));
    TRACE(Warning) << "Resampler released by its own worker 0x" << std::hex << id << "; the thread ends without a join";
    return;
  }
  try {
    Join();
  } catch (...) {
    TraceException("EventResampler::~EventResampler");
    KeepUnjoinedWorker(std::move(worker_));
  }
}

void JoinUnjoinedResamplerWorkers() {
  std::vector<std::unique_ptr<Thread>> workers;
  {
    std::lock_guard<std::mutex> guard(unjoinedLock);
    workers.swap(UnjoinedWorkers());
  }
  for (auto& worker : workers) {
    if (worker->Id() == GetCurrentThreadId()) {
      KeepUnjoinedWorker(std::move(worker));
      continue;
    }
    worker->Join();
  }
}

std::size_t UnjoinedResamplerWorkerCount() {
  std::lock_guard<std::mutex> guard(unjoinedLock);
  return UnjoinedWorkers().size();
}

void EventResampler::Fire() { SetEvent(shared_->fireEvent.Get()); }

void EventResampler::FireAfter(DWORD ms) {
  {
    std::lock_guard<std::mutex> guard(shared_->retryLock);
    shared_->retryPending = true;
    shared_->retryFrom = GetTickCount();
    shared_->retryDelay = ms;
  }
}

void EventResampler::Stop() { SetEvent(shared_->stopEvent.Get()); }

void EventResampler::Join() {
  if (joined_) return;
  worker_->Join();
  joined_ = true;
}

bool EventResampler::Join(DWORD ms) {
  if (joined_) return true;
  joined_ = true;
  if (worker_->Join(ms)) return true;
  KeepUnjoinedWorker(std::move(worker_));
  return false;
}

void EventResampler::DoWork(Shared& shared) {
  // Accessibility calls need an apartment; the creating thread's (perhaps single-threaded)
  // one is not this thread's.
  ComInitialization com(COINIT_MULTITHREADED);
  if (FAILED(com.Result())) {
    TRACE(Error) << "CoInitializeEx failed: 0x" << std::hex << static_cast<std::uint32_t>(com.Result());
  }
  try {
    const HANDLE events[] = {shared.fireEvent.Get(), shared.stopEvent.Get()};
    for (;;) {
      DWORD wait = INFINITE;
      {
        std::lock_guard<std::mutex> guard(shared.retryLock);
        if (shared.retryPending) {
          const DWORD elapsed = GetTickCount() - shared.retryFrom;
          wait = elapsed >= shared.retryDelay ? 0 : shared.retryDelay - elapsed;
        }
      }
      const DWORD result = WaitForMultipleObjects(2, events, FALSE, wait);
      if (result == WAIT_OBJECT_0 + 1) return;
      if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) throw LastWin32Error("WaitForMultipleObjects");
      {
        std::lock_guard<std::mutex> guard(shared.retryLock);
        shared.retryPending = false;
      }
      shared.action();
    }
  } catch (...) {
    TraceException("EventResampler::DoWork");
  }
}

}  // namespace installation_assistant
