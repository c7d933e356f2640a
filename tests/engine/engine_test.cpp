#include "engine/engine.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "common/message_queue.h"
#include "common/message_window.h"
#include "common/text.h"
#include "engine/engine_test_support.h"
#include "watch/event_resampler.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;
using testing::QuitQueued;
using testing::TraceCapture;

struct Factory {
  const char* name;
  CreateEngineFunction create;
};
const Factory kNotifying{"CreateEngine", &CreateEngine};
const Factory kDirect{"CreateEngine2", &CreateEngine2};

constexpr long kNeverExisted = 0x7FFFFFF0;

class EngineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TraceCapture::Restore();
    QuitQueued();  // nothing one test leaves behind reaches the next
  }

  EnginePtr Create(const Factory& factory, long processId, unsigned int threshold = 0) {
    return EnginePtr(factory.create(host.Service(), processId, threshold, host.Writer()));
  }
  EnginePtr Create(const Factory& factory) { return Create(factory, static_cast<long>(installer.Id())); }

  std::vector<int> Totals() const {
    std::vector<int> totals;
    for (const HostCall& call : host.CallsOf(HostCall::Kind::ReportProcessedTotal)) totals.push_back(call.count);
    return totals;
  }

  RecordingHost host;
  simwin::Process installer;
};

TEST_F(EngineTest, NullTraceSinkChangesNothing) {
  RecordingHost previous;
  TraceCapture capture(previous, TraceLevel::Warning);
  const std::shared_ptr<TraceSink> sinkBefore = CurrentTraceSink();

  EXPECT_EQ(CreateEngine(host.Service(), static_cast<long>(installer.Id()), 2, nullptr), nullptr);
  EXPECT_EQ(CurrentTraceSink(), sinkBefore);
  EXPECT_EQ(TraceThreshold(), TraceLevel::Warning);
  const auto writes = previous.CallsOf(HostCall::Kind::TraceWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].trace, L"TraceException\tLogic error: CreateEngine: Tracer parmeter is invalid");
  EXPECT_EQ(writes[0].level, 4);
  EXPECT_TRUE(host.AllCalls().empty());
}

// ... and its threshold, mapped as MapTraceLevel does (trace_test.cpp).
TEST_F(EngineTest, NullServiceStillInstallsTheSink) {
  struct Case {
    Factory factory;
    unsigned int threshold;
    TraceLevel level;
  };
  for (const Case& c : {Case{kNotifying, 3, TraceLevel::Warning}, Case{kDirect, 7, TraceLevel::All}}) {
    const Factory& factory = c.factory;
    RecordingHost previous;
    TraceCapture capture(previous);
    SetTraceThreshold(TraceLevel::Error);
    RecordingHost writer;
    EXPECT_EQ(factory.create(nullptr, static_cast<long>(installer.Id()), c.threshold, writer.Writer()), nullptr);
    EXPECT_EQ(TraceThreshold(), c.level) << factory.name;

    const auto writes = writer.CallsOf(HostCall::Kind::TraceWrite);
    ASSERT_EQ(writes.size(), 1u) << factory.name;
    EXPECT_EQ(writes[0].trace,
              L"TraceException\tLogic error: " + Utf8ToWide(factory.name) + L": Service parameter is invalid");
    EXPECT_EQ(writes[0].level, 4);
    // The replaced writer is released by the failed call; the new one stays installed.
    EXPECT_EQ(previous.Count(HostCall::Kind::TraceRelease), 1u);
    EXPECT_EQ(writer.Count(HostCall::Kind::TraceRelease), 0u);
    TraceCapture::Restore();
    EXPECT_EQ(writer.Count(HostCall::Kind::TraceRelease), 1u);
  }
}

// The version record is an Info one: traced at threshold 2, not at 3.
TEST_F(EngineTest, FactoryAnnouncesVersion) {
  for (unsigned int threshold : {2u, 3u}) {
    host.Clear();
    EnginePtr engine = Create(kDirect, static_cast<long>(installer.Id()), threshold);
    ASSERT_NE(engine, nullptr);
    const auto versions = host.CallsOf(HostCall::Kind::SetEngineVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0].version, "1.5.0.3");
    EXPECT_EQ(host.TracesContaining(L"CreateEngineImpl\tEngine version: 1.5.0.3").size(), threshold == 2 ? 1u : 0u);
  }
}

TEST_F(EngineTest, SecondEngineInTheProcessFailsWhileTheFirstLives) {
  EnginePtr first = Create(kDirect);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Create(kNotifying), nullptr);
  EXPECT_EQ(host.TracesContaining(L"TraceException\tError: CreateEngine: Failed to register window class").size(), 1u);
  EXPECT_NE(CurrentMessageWindow(), nullptr);  // the failed call did not take the first engine's window away
}

// The window and its class go with the engine, so the host can serve the next
// installer from the same process and its own loop is not told to quit.
TEST_F(EngineTest, ReleaseTakesTheWindowAlongAndAllowsANewEngine) {
  for (const Factory& factory : {kNotifying, kDirect, kNotifying}) {
    EnginePtr engine = Create(factory);
    ASSERT_NE(engine, nullptr) << factory.name;
    ASSERT_TRUE(simwin::IsClassRegistered(kMessageWindowClassName));
    ASSERT_TRUE(host.WaitForTrace(L"waiting for process"));
    engine.reset();
    EXPECT_FALSE(simwin::IsClassRegistered(kMessageWindowClassName));
    EXPECT_EQ(CurrentMessageWindow(), nullptr);
    EXPECT_FALSE(QuitQueued()) << factory.name;
    host.Clear();
  }
}

// A host may release the engine from another thread than the one that made it: while that thread still pumps, and
// after it has ended. Either way nothing of the engine stays (window, class, hooks, parked workers), no quit reaches
// the engine thread's loop, and the next engine can be made.
TEST_F(EngineTest, ReleaseFromAnotherThreadLeavesNothingBehind) {
  constexpr WPARAM kHostsOwnQuit = 77;
  const std::size_t hooks = simwin::LiveWinEventHookCount();
  for (const bool engineThreadEnds : {false, true}) {
    // A resampler released by its own pass leaves its worker parked until someone joins it.
    struct Owner {
      std::unique_ptr<EventResampler> resampler;
    };
    auto owner = std::make_shared<Owner>();
    std::weak_ptr<Owner> weakOwner = owner;
    std::promise<void> started, proceed;
    owner->resampler = std::make_unique<EventResampler>([weakOwner, &started, &proceed] {
      std::shared_ptr<Owner> self = weakOwner.lock();
      started.set_value();
      proceed.get_future().wait();
    });
    owner->resampler->Fire();
    started.get_future().wait();
    owner.reset();
    proceed.set_value();
    while (UnjoinedResamplerWorkerCount() == 0) std::this_thread::yield();

    std::promise<IEngine*> made;
    std::promise<DWORD> threadId;
    WPARAM quitCode = 0;
    std::thread engineThread([&] {
      made.set_value(kNotifying.create(host.Service(), static_cast<long>(installer.Id()), 0, host.Writer()));
      threadId.set_value(GetCurrentThreadId());
      if (engineThreadEnds) return;
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
      quitCode = message.wParam;
    });
    IEngine* engine = made.get_future().get();
    const DWORD engineThreadId = threadId.get_future().get();
    ASSERT_NE(engine, nullptr);
    if (engineThreadEnds) engineThread.join();
    engine->Release();
    EXPECT_FALSE(simwin::IsClassRegistered(kMessageWindowClassName)) << engineThreadEnds;
    EXPECT_EQ(simwin::LiveWinEventHookCount(), hooks) << engineThreadEnds;
    EXPECT_EQ(UnjoinedResamplerWorkerCount(), 0u) << engineThreadEnds;
    EXPECT_NE(Create(kDirect), nullptr) << engineThreadEnds;
    if (!engineThreadEnds) {
      PostThreadMessageW(engineThreadId, WM_QUIT, kHostsOwnQuit, 0);
      engineThread.join();
      EXPECT_EQ(quitCode, kHostsOwnQuit) << "the engine's window told the host's loop to quit";
    }
    TraceCapture::Restore();
  }
}

TEST_F(EngineTest, FactoryRefusesAProcessThatNeverExisted) {
  for (const Factory& factory : {kNotifying, kDirect}) {
    SCOPED_TRACE(factory.name);
    host.Clear();
    EnginePtr engine = Create(factory, kNeverExisted);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(host.TracesContaining(L"The parameter is incorrect.").size(), 1u);
    EXPECT_EQ(host.Count(HostCall::Kind::SetEngineVersion), 0u);
    EXPECT_FALSE(QuitQueued());
  }
}

TEST_F(EngineTest, RunReturnsWhenTheInstallerExitedBeforeAndReportsTheTotal) {
  struct Case {
    Factory factory;
    bool exitBeforeFactory;  // else after it, and the engine has seen it before Run
    int processed;
    std::vector<int> totals;
  };
  const Case cases[] = {
      {kNotifying, false, 3, {3}},
      {kNotifying, true, 0, {}},
      {kDirect, true, 3, {0}},
      {kDirect, false, 0, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.factory.name) + (c.exitBeforeFactory ? " exited before" : " exited after"));
    host.Clear();
    simwin::Process run;
    if (c.exitBeforeFactory) run.Exit();
    EnginePtr engine = Create(c.factory, static_cast<long>(run.Id()));
    ASSERT_NE(engine, nullptr);
    if (c.processed > 0) static_cast<Engine*>(engine.get())->Reporter()->ReportProcessed(0x2A, c.processed);
    if (!c.exitBeforeFactory) {
      run.Exit();
      ASSERT_TRUE(host.WaitForTrace(L"Stopped message processing"));
    }
    engine->Run();
    EXPECT_EQ(Totals(), c.totals);
  }
}

TEST_F(EngineTest, NotificationOperationsKeepTheHostSafe) {
  EnginePtr engine = Create(kDirect);
  ASSERT_NE(engine, nullptr);
  const auto& reporter = static_cast<Engine*>(engine.get())->Reporter();

  NotificationData data = {};
  data.title = "Kept";
  data.description = "";
  data.okButton = "OK";
  data.cancelButton = "Cancel";
  engine->SetNotificationsData(&data);
  data.title = nullptr;
  data.description = nullptr;
  engine->SetNotificationsData(&data);
  engine->SetNotificationsData(nullptr);
  engine->ShowNotification(reinterpret_cast<HWND>(0x1234), "text");
  engine->ShowNotification(reinterpret_cast<HWND>(0x1234), nullptr);

  EXPECT_EQ(reporter->StoredNotificationData().Get().title, "Kept");
  EXPECT_EQ(host.TracesContaining(L"TraceException\tLogic error: SetNotificationsData: Invalid title").size(), 1u);
  EXPECT_EQ(host.TracesContaining(L"TraceException\tLogic error: SetNotificationsData: ").size(), 2u);
  EXPECT_EQ(host.TracesContaining(L"TraceException\tLogic error: ShowNotification: ").size(), 1u);
  EXPECT_TRUE(host.TracesContaining(L"sticker").empty());  // notifications off: nothing to show
}

}  // namespace
}  // namespace installation_assistant::engine
