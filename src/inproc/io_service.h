// One worker thread for all pipe work. It waits alertably, so the completion routines of
// the overlapped writes it starts run on it, and it never blocks the engine thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "common/thread.h"
#include "platform/win32.h"

namespace installation_assistant {

// What the service cancels when it stops (a pipe's pending I/O).
class ICancellable {
 public:
  virtual ~ICancellable() = default;
  virtual void Cancel() = 0;
};

class IOService {
 public:
  using Request = std::function<void()>;

  // Removes its object from the service's registry when destroyed; may outlive the service.
  class Registration {
   public:
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration();

   private:
    friend class IOService;
    struct Registry;
    Registration(std::shared_ptr<Registry> registry, ICancellable* object)
        : registry_(std::move(registry)), object_(object) {}
    std::shared_ptr<Registry> registry_;
    ICancellable* object_;
  };

  // Starts the worker at once. Throws std::system_error "Failed to create event".
  IOService();
  // Stops and joins the worker.
  ~IOService();
  IOService(const IOService&) = delete;
  IOService& operator=(const IOService&) = delete;

  // Queues the request for the worker; requests run one at a time, in posting order.
  // Throws std::logic_error "Cannot post via stopping IOService" once the stop is requested.
  void Post(Request request);
  // The object is cancelled when the worker's loop ends, unless the token went first.
  std::unique_ptr<Registration> RegisterIOCancellation(ICancellable* object);
  // Idempotent; pending writes are cancelled and their completions given a moment to run.
  void Stop();

  // Overlapped writes whose completion routine has not run yet (kept by the pipes).
  void WriteStarted() { ++pendingWrites_; }
  void WriteCompleted() { --pendingWrites_; }
  // On the worker thread (for the pipes, whose writes must start there).
  bool IsWorkerThread() const;

 private:
  void ThreadProc();
  void Run();
  bool TakeRequest(std::pair<std::uint32_t, Request>& taken);
  void CancelRegistered();

  SharedHandle requestEvent_;
  SharedHandle stopEvent_;
  std::mutex queueLock_;
  std::deque<std::pair<std::uint32_t, Request>> queue_;
  std::shared_ptr<Registration::Registry> registry_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint32_t> requestCounter_{0};
  std::atomic<int> pendingWrites_{0};
  std::unique_ptr<Thread> worker_;
};

}  // namespace installation_assistant
