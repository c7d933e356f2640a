// Turns any number of change signals into single runs of an action on a worker thread.
// A latch, not a clock: no timer, no delay.
#pragma once

#include <functional>
#include <memory>

#include "common/handles.h"
#include "common/thread.h"

namespace installation_assistant {

class EventResampler {
 public:
  // Starts the worker at once. The worker joins the multithreaded COM apartment for its
  // life, whatever apartment the creating thread is in.
  explicit EventResampler(std::function<void()> action);
  // Stops and joins the worker if the owner has not.
  ~EventResampler();
  EventResampler(const EventResampler&) = delete;
  EventResampler& operator=(const EventResampler&) = delete;

  // Any thread; never blocks. Fires between two runs coalesce into one run.
  void Fire();
  // Tells the worker to end after the run in progress (and one more if a fire is pending).
  void Stop();
  // Waits for the worker to end; call after Stop. Not from the action itself.
  void Join();

 private:
  struct Shared {
    std::function<void()> action;
    UniqueHandle fireEvent;
    UniqueHandle stopEvent;
  };
  static void DoWork(Shared& shared);

  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Thread> worker_;
  bool joined_ = false;
};

// Joins the workers of resamplers that were released by their own action (those end on
// their own once stopped); for module shutdown.
void JoinUnjoinedResamplerWorkers();
// Workers parked so, not joined yet (for leak checks).
std::size_t UnjoinedResamplerWorkerCount();

}  // namespace installation_assistant
