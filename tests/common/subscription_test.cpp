#include "common/subscription.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/trace_capture.h"
#include "watch/engine_thread.h"

namespace installation_assistant {
namespace {

using testing::CreateInstallerWindow;
using testing::EngineThread;

struct Seen {
  DWORD event;
  HWND window;
  bool operator==(const Seen&) const = default;
};

void Raise(simwin::Process& process, DWORD event, HWND window) {
  process.Invoke([=] { NotifyWinEvent(event, window, OBJID_CLIENT, CHILDID_SELF); });
}

class SubscriptionTest : public testing::EngineThreadTest {
 protected:
  void SetUp() override {
    window_ = CreateInstallerWindow(installer_);
    ASSERT_NE(window_, nullptr);
    engine_.DrainEventsOf(installer_, window_);  // the window's own creation events
    baseline_ = simwin::LiveWinEventHookCount();
    registered_ = RegisteredHookCount();
  }
  void ExpectNoHooksLeft() {
    EXPECT_EQ(simwin::LiveWinEventHookCount(), baseline_);
    EXPECT_EQ(RegisteredHookCount(), registered_);
  }

  HWND window_ = nullptr;
  std::size_t baseline_ = 0;
  std::size_t registered_ = 0;
};

TEST_F(SubscriptionTest, EachSubscriptionGetsOnlyTheEventsOfItsOwnHooks) {
  std::vector<Seen> first, second, third;
  auto a = SubscribeForWindow(window_, kStateEventSet, [&](DWORD e, HWND w) { first.push_back({e, w}); });
  auto b = SubscribeForWindow(window_, kStateEventSet, [&](DWORD e, HWND w) { second.push_back({e, w}); });
  auto c = SubscribeForWindow(window_, {EVENT_OBJECT_NAMECHANGE}, [&](DWORD e, HWND w) { third.push_back({e, w}); });

  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  Raise(installer_, EVENT_OBJECT_NAMECHANGE, window_);
  Raise(installer_, EVENT_OBJECT_LOCATIONCHANGE, window_);
  engine_.DrainEventsOf(installer_, window_);

  const std::vector<Seen> state = {{EVENT_OBJECT_STATECHANGE, window_}};
  EXPECT_EQ(first, state);
  EXPECT_EQ(second, state);
  EXPECT_EQ(third, (std::vector<Seen>{{EVENT_OBJECT_NAMECHANGE, window_}}));
}

TEST_F(SubscriptionTest, HooksFollowTheEventListAndGoWithTheSubscription) {
  for (const std::vector<DWORD>& events : {kStructureEventSet, std::vector<DWORD>{}}) {
    SCOPED_TRACE(events.size());
    {
      auto subscription = SubscribeForWindow(window_, events, [](DWORD, HWND) {});
      const auto hooks = subscription->Hooks();
      ASSERT_EQ(hooks.size(), events.size());
      for (std::size_t i = 0; i < hooks.size(); ++i) {
        EXPECT_EQ(hooks[i].first, events[i]);
        EXPECT_NE(hooks[i].second, nullptr);
      }
      EXPECT_EQ(simwin::LiveWinEventHookCount(), baseline_ + events.size());
    }
    ExpectNoHooksLeft();
  }
}

TEST_F(SubscriptionTest, EventsOfTheEnginesOwnProcessAreNotDelivered) {
  int calls = 0;
  Subscription subscription(GetCurrentProcessId(), kStateEventSet, [&](DWORD, HWND) { ++calls; });
  // A witness without the skip flags, queued on this thread next to the subscription's.
  static int witnessed = 0;
  witnessed = 0;
  HWINEVENTHOOK witness = SetWinEventHook(
      EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr,
      [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { ++witnessed; }, GetCurrentProcessId(), 0,
      WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(witness, nullptr);
  std::thread other([] { NotifyWinEvent(EVENT_OBJECT_STATECHANGE, nullptr, OBJID_CLIENT, CHILDID_SELF); });
  other.join();
  NotifyWinEvent(EVENT_OBJECT_STATECHANGE, nullptr, OBJID_CLIENT, CHILDID_SELF);
  EngineThread::PumpUntil([] { return witnessed >= 2; });
  UnhookWinEvent(witness);
  EXPECT_EQ(witnessed, 2);
  EXPECT_EQ(calls, 0);
}

TEST_F(SubscriptionTest, HandlerThatDestroysItsOwnSubscriptionDoesNotDeadlock) {
  std::shared_ptr<Subscription> subscription;
  int calls = 0;
  subscription = SubscribeForWindow(window_, kStateEventSet, [&](DWORD, HWND) {
    ++calls;
    subscription.reset();  // takes the registry lock from inside the hook procedure
    // and may create one, too
    auto replacement = SubscribeForWindow(window_, {EVENT_OBJECT_NAMECHANGE}, [](DWORD, HWND) {});
  });
  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  engine_.DrainEventsOf(installer_, window_);
  EXPECT_EQ(calls, 1);  // the second event found no registry entry
  EXPECT_EQ(subscription, nullptr);
  ExpectNoHooksLeft();
}

TEST_F(SubscriptionTest, HandlerExceptionIsTracedAndLaterEventsStillArrive) {
  int calls = 0;
  auto subscription = SubscribeForWindow(window_, kStateEventSet, [&](DWORD, HWND) {
    if (++calls == 1) throw std::runtime_error("handler failed");
  });
  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  engine_.DrainEventsOf(installer_, window_);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(TraceCount(L"Error: WinEventHookProc error: handler failed"), 1u);
}

TEST_F(SubscriptionTest, FailingSetWinEventHookLeavesNoHookAndNoRegistryEntry) {
  // The third hook of the structure set fails: the two made before it must go too.
  simwin::FailSetWinEventHookAfter(2, ERROR_NOT_ENOUGH_MEMORY);
  int calls = 0;
  try {
    auto subscription = SubscribeForWindow(window_, kStructureEventSet, [&](DWORD, HWND) { ++calls; });
    ADD_FAILURE() << "the subscription was created";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(std::string(error.what()).find("SetWinEventHook"), std::string::npos) << error.what();
  }
  ExpectNoHooksLeft();
  Raise(installer_, EVENT_OBJECT_CREATE, window_);
  engine_.DrainEventsOf(installer_, window_);
  EXPECT_EQ(calls, 0);
}

TEST_F(SubscriptionTest, WindowThatDoesNotExistIsRefusedWithoutHooks) {
  HWND gone = window_;
  installer_.Invoke([gone] { DestroyWindow(gone); });
  EXPECT_THROW(SubscribeForWindow(gone, kStructureEventSet, [](DWORD, HWND) {}), std::system_error);
  ExpectNoHooksLeft();
}

// Machines release their subscriptions on their own worker threads; only the hooking
// thread can unhook.
TEST_F(SubscriptionTest, SubscriptionsReleasedOnWorkersUnhookOnTheEngineThread) {
  constexpr int kWorkers = 4;
  constexpr int kPerWorker = 25;
  std::atomic<int> calls{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < kPerWorker; ++i) {
        std::shared_ptr<Subscription> subscription;
        // Created on the engine thread, as machines do.
        engine_.Window()->Send([&] {
          subscription = SubscribeForWindow(window_, kStructureEventSet, [&](DWORD, HWND) { ++calls; });
        });
        subscription.reset();
      }
    });
  }
  // The workers' sends need this thread to pump; every one of them is answered before
  // the marker below, which is posted after they all ended.
  std::atomic<int> finished{0};
  std::thread joiner([&] {
    for (auto& worker : workers) worker.join();
    engine_.Window()->Post([&finished] { finished = 1; });
  });
  EngineThread::PumpUntil([&finished] { return finished != 0; });
  joiner.join();
  engine_.DrainPosted();

  ExpectNoHooksLeft();
  EXPECT_TRUE(host_.TracesContaining(L"cannot be removed").empty());
  // No handler of a released subscription runs any more.
  const int before = calls;
  Raise(installer_, EVENT_OBJECT_SHOW, window_);
  engine_.DrainEventsOf(installer_, window_);
  EXPECT_EQ(calls, before);
}

TEST_F(SubscriptionTest, UnhookingPostedToAWindowThatIsDestroyedUnrunStillUnhooks) {
  int calls = 0;
  auto subscription = SubscribeForWindow(window_, kStateEventSet, [&](DWORD, HWND) { ++calls; });
  std::thread([&] { subscription.reset(); }).join();
  // Registry entries are gone at once, before the engine thread has unhooked.
  EXPECT_EQ(RegisteredHookCount(), registered_);
  Raise(installer_, EVENT_OBJECT_STATECHANGE, window_);
  engine_.DestroyWindow();  // frees the queued unhook work on this thread without running it
  EXPECT_EQ(simwin::LiveWinEventHookCount(), baseline_);
  engine_.DrainEventsOf(installer_, window_);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace installation_assistant
