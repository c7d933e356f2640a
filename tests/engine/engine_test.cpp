#include "engine/engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "common/message_window.h"
#include "common/text.h"
#include "common/trace_capture.h"
#include "platform/sim/recording_host.h"
#include "platform/sim/simwin.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;
using testing::TraceCapture;

struct ReleaseEngine {
  void operator()(IEngine* engine) const { engine->Release(); }
};
using EnginePtr = std::unique_ptr<IEngine, ReleaseEngine>;

struct Factory {
  const char* name;
  CreateEngineFunction create;
};
const Factory kNotifying{"CreateEngine", &CreateEngine};
const Factory kDirect{"CreateEngine2", &CreateEngine2};

constexpr long kNeverExisted = 0x7FFFFFF0;

bool QuitQueued() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return true;
    DispatchMessageW(&message);
  }
  return false;
}

class FixedResult final : public IMatchingResult {
 public:
  explicit FixedResult(int code) : code_(code) {}
  int MatchingResult() const override { return code_; }

 private:
  int code_;
};

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

  // Runs the engine on this thread and ends the installer once the loop is running.
  void RunUntilInstallerExits(IEngine& engine) {
    std::thread exiter([this] {
      host.WaitForTrace(L"Engine::Run\tStarting message loop");
      installer.Exit();
    });
    engine.Run();
    exiter.join();
  }

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

TEST_F(EngineTest, NullServiceStillInstallsTheSink) {
  for (const Factory& factory : {kNotifying, kDirect}) {
    RecordingHost previous;
    TraceCapture capture(previous);
    RecordingHost writer;
    EXPECT_EQ(factory.create(nullptr, static_cast<long>(installer.Id()), 0, writer.Writer()), nullptr);

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

TEST_F(EngineTest, ThresholdArgumentIsMapped) {
  const std::pair<unsigned int, TraceLevel> cases[] = {
      {0, TraceLevel::All}, {3, TraceLevel::Warning}, {6, TraceLevel::Off}, {7, TraceLevel::All}, {1000, TraceLevel::All},
  };
  for (const auto& [argument, level] : cases) {
    SetTraceThreshold(TraceLevel::Error);
    EXPECT_EQ(CreateEngine2(nullptr, 1, argument, host.Writer()), nullptr);
    EXPECT_EQ(TraceThreshold(), level) << argument;
  }
}

TEST_F(EngineTest, FactoryAnnouncesVersion) {
  struct Case {
    unsigned int threshold;
    bool versionTraced;
  };
  for (const Case c : {Case{0, true}, Case{2, true}, Case{3, false}}) {
    host.Clear();
    EnginePtr engine = Create(kDirect, static_cast<long>(installer.Id()), c.threshold);
    ASSERT_NE(engine, nullptr);
    const auto versions = host.CallsOf(HostCall::Kind::SetEngineVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0].version, "1.5.0.3");
    const auto traces = host.TracesContaining(L"CreateEngineImpl\tEngine version: 1.5.0.3");
    EXPECT_EQ(traces.size(), c.versionTraced ? 1u : 0u) << c.threshold;
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

TEST_F(EngineTest, RunReturnsWhenTheInstallerExits) {
  EnginePtr engine = Create(kDirect);
  ASSERT_NE(engine, nullptr);
  RunUntilInstallerExits(*engine);
  EXPECT_EQ(Totals(), std::vector<int>{0});
}

TEST_F(EngineTest, RunReturnsWhenTheInstallerExitedBeforeRun) {
  EnginePtr engine = Create(kDirect);
  ASSERT_NE(engine, nullptr);
  installer.Exit();
  ASSERT_TRUE(host.WaitForTrace(L"Stopped message processing"));
  engine->Run();
  EXPECT_EQ(Totals(), std::vector<int>{0});
}

TEST_F(EngineTest, RunReturnsWhenTheInstallerExitedBeforeTheFactory) {
  installer.Exit();
  EnginePtr engine = Create(kDirect);
  ASSERT_NE(engine, nullptr);
  engine->Run();
  EXPECT_EQ(Totals(), std::vector<int>{0});
}

TEST_F(EngineTest, RunReturnsForAProcessThatNeverExisted) {
  EnginePtr engine = Create(kDirect, kNeverExisted);
  ASSERT_NE(engine, nullptr);
  engine->Run();
  EXPECT_EQ(
      host.TracesContaining(L"TraceException\tError: WaitForProcessToExit: Cannot open process: The parameter is incorrect.")
          .size(),
      1u);
  EXPECT_EQ(Totals(), std::vector<int>{0});
}

TEST_F(EngineTest, ReleaseWithoutRunStopsTheWaiter) {
  EnginePtr engine = Create(kNotifying);
  ASSERT_NE(engine, nullptr);
  ASSERT_TRUE(host.WaitForTrace(L"waiting for process"));
  engine.reset();

  EXPECT_FALSE(installer.HasExited());  // the stop event woke the waiter, not the installer
  const std::vector<std::wstring> traces = host.Traces();
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.back(), L"Engine::Release\tEngine stopped");
  EXPECT_EQ(host.TracesContaining(L"ProcessWaiter::~ProcessWaiter\tWaiting for pid waiter to exit").size(), 1u);
  EXPECT_EQ(host.TracesContaining(L"ProcessWaiter::WaiterThread\tFinishing pid waiter").size(), 1u);
  EXPECT_EQ(host.Count(HostCall::Kind::ReportItem), 0u);
  EXPECT_TRUE(Totals().empty());
}

TEST_F(EngineTest, EndOfRunReportsResultsThenTotal) {
  EnginePtr engine = Create(kDirect);
  ASSERT_NE(engine, nullptr);
  auto& results = *static_cast<Engine*>(engine.get())->Results();
  results.Add(7, ResultEntry{false, "1.0.0.7", std::make_shared<FixedResult>(kNeverMatched)});
  results.Add(4, ResultEntry{true, "1.0.0.4", std::make_shared<FixedResult>(kMatchedSomeRoots)});
  results.Add(4, ResultEntry{true, "1.0.0.5", std::make_shared<FixedResult>(kMatchedAllRoots)});
  host.Clear();
  RunUntilInstallerExits(*engine);

  std::vector<std::string> lines;
  for (const HostCall& call : host.AllCalls()) {
    if (call.kind == HostCall::Kind::TraceWrite) {
      if (call.trace.find(L"::lambda_line_") == std::wstring::npos) continue;
      const std::wstring message = call.trace.substr(call.trace.find(L'\t') + 1);
      EXPECT_EQ(call.trace.rfind(L"Engine::Run::lambda_line_", 0), 0u);
      lines.push_back("trace " + std::string(message.begin(), message.end()));
    } else {
      lines.push_back(RecordingHost::Format(call));
    }
  }
  const std::vector<std::string> expected = {
      "trace Reporting results",
      "ReportItem patternId=4 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" "
      "userAction=\"\" desiredState=\"\" patternVersion=\"1.0.0.5\"",
      "ReportItem patternId=7 resultCode=1 genericPattern=0 elementType=0 controlData=null controlPath=\"\" "
      "userAction=\"\" desiredState=\"\" patternVersion=\"1.0.0.7\"",
      "trace Shutting down windows watcher",
      "trace Report processed items",
      "ReportProcessedTotal count=0",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(EngineTest, ProcessedTotalAtTheEndOfRun) {
  struct Case {
    Factory factory;
    int processed;
    std::vector<int> totals;
  };
  const Case cases[] = {
      {kNotifying, 3, {3}},
      {kNotifying, 0, {}},
      {kDirect, 3, {0}},
  };
  for (const Case& c : cases) {
    host.Clear();
    simwin::Process run;
    EnginePtr engine = EnginePtr(c.factory.create(host.Service(), static_cast<long>(run.Id()), 0, host.Writer()));
    ASSERT_NE(engine, nullptr);
    if (c.processed > 0) static_cast<Engine*>(engine.get())->Reporter()->ReportProcessed(0x2A, c.processed);
    run.Exit();
    engine->Run();
    EXPECT_EQ(Totals(), c.totals) << c.factory.name << " " << c.processed;
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
