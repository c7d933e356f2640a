#include "watch/event_resampler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "common/trace_capture.h"

namespace installation_assistant {
namespace {

using simwin::RecordingHost;
using testing::TraceCapture;

// An auto-reset event the test waits on or signals; long waits only guard against a hang.
class Signal {
 public:
  Signal() : event_(CreateEventHandle(false, false)) {}
  void Set() { SetEvent(event_.Get()); }
  bool Wait() { return WaitForSingleObject(event_.Get(), 30000) == WAIT_OBJECT_0; }

 private:
  UniqueHandle event_;
};

// An action that reports each run's start and then waits until the test lets it finish,
// so that fires can be placed exactly "during a run".
struct GatedAction {
  std::atomic<int> runs{0};
  Signal started;
  Signal proceed;
  void operator()() {
    ++runs;
    started.Set();
    proceed.Wait();
  }
};

TEST(EventResamplerTest, FiresDuringARunCoalesceIntoExactlyOneMoreRun) {
  struct Case {
    const char* name;
    int firesDuringRun;
    bool stopWithThem;
    int expectedRuns;
  };
  const Case cases[] = {
      {"five fires", 5, false, 2},
      {"one fire", 1, false, 2},
      {"no fire", 0, false, 1},
      {"stop and fire together", 1, true, 2},
      {"stop alone", 0, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto action = std::make_shared<GatedAction>();
    EventResampler resampler([action] { (*action)(); });
    resampler.Fire();
    ASSERT_TRUE(action->started.Wait());
    for (int i = 0; i < c.firesDuringRun; ++i) resampler.Fire();
    if (c.stopWithThem) resampler.Stop();
    action->proceed.Set();
    if (c.expectedRuns == 2) {
      ASSERT_TRUE(action->started.Wait());
      action->proceed.Set();
    }
    resampler.Stop();
    resampler.Join();
    EXPECT_EQ(action->runs, c.expectedRuns);
  }
}

TEST(EventResamplerTest, ActionExceptionEndsTheWorkerAfterATrace) {
  RecordingHost host;
  TraceCapture capture(host);
  std::atomic<int> runs{0};
  EventResampler resampler([&runs] {
    ++runs;
    throw std::runtime_error("pass failed");
  });
  resampler.Fire();
  resampler.Join();  // ends without Stop
  resampler.Fire();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(host.TracesContaining(L"Error: EventResampler::DoWork: pass failed").size(), 1u);
}

// A machine's pass holds the machine through a weak reference; when the machine is
// dropped meanwhile, the pass's reference is the last and the resampler dies on its own
// worker, which cannot join itself.
TEST(EventResamplerTest, ReleasedByItsOwnActionTheWorkerEndsWithoutEndingTheProcess) {
  RecordingHost host;
  TraceCapture capture(host);
  struct Owner {
    std::unique_ptr<EventResampler> resampler;
  };
  auto owner = std::make_shared<Owner>();
  Signal started, proceed;
  std::weak_ptr<Owner> weak = owner;
  owner->resampler = std::make_unique<EventResampler>([weak, &started, &proceed] {
    std::shared_ptr<Owner> self = weak.lock();
    started.Set();
    proceed.Wait();
  });
  owner->resampler->Fire();
  ASSERT_TRUE(started.Wait());
  owner.reset();
  proceed.Set();
  EXPECT_TRUE(host.WaitForTrace(L"Resampler released by its own worker"));
  JoinUnjoinedResamplerWorkers();  // returns: the worker ended on its own
  EXPECT_EQ(host.TracesContaining(L"Thread finishing").size(), 1u);
  EXPECT_TRUE(host.TracesContaining(L"Destroying unjoined thread").empty());
}

TEST(EventResamplerTest, WorkerJoinsTheMultithreadedApartmentWhateverItsCreatorIs) {
  ComInitialization singleThreaded(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(singleThreaded.Result(), S_OK);
  std::atomic<HRESULT> seen{E_FAIL};
  EventResampler resampler([&seen] {
    // S_FALSE: the thread is already in the multithreaded apartment.
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result)) CoUninitialize();
    seen = result;
  });
  resampler.Fire();
  resampler.Stop();
  resampler.Join();
  EXPECT_EQ(seen, S_FALSE);
}

}  // namespace
}  // namespace installation_assistant
