#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/engine_test_support.h"
#include "watch/machines_test_support.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using testing::kUncheckOfferPattern;
using testing::OfferPage;
using testing::PumpUntil;
using testing::Recorders;

constexpr char kNoActions[] = "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Setup\") { Pane { } }\n";
constexpr char kExactWithoutActions[] =
    "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Setup\") { Pane { CheckBox (text=\"Install the toolbar\") "
    "CheckBox (text=\"Make it my home page\") Button (text=\"Next >\") } }\n";
constexpr char kBlock[] =
    "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Setup\") { AnyLevel { Button (text=\"Next >\") { block } } }\n";
constexpr char kNeverMatches[] =
    "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Elsewhere\") { AnyLevel { CheckBox (text=\"x\") { off } } }\n";

// The engine's actions processors are recorders that act on the controls.
class PatternIntakeTest : public EngineRunFixture {
 protected:
  EnginePtr Create(CreateEngineFunction factory = &CreateEngine2) {
    EnginePtr engine = EngineRunFixture::Create(factory);
    if (engine) {
      Of(engine).SetActionsProcessorFactory([this](const ActionsProcessorParameters& p) { return recorders_.Make(p); });
    }
    return engine;
  }

  Recorders recorders_{true};
};

TEST_F(PatternIntakeTest, RejectionsAreReportedWithTheirFields) {
  struct Case {
    const char* name;
    std::string text;
    bool silent;
    int code;  // 0: accepted, nothing reported
    std::string version;
    const wchar_t* trace;
  };
  const Case cases[] = {
      {"newer version", "EngineVersion = \"1.6.0.0\"\nMSAA: Window { }\n", false, 6, "1.6.0.0",
       L"Engine::AddPatternCore\tUnsupported pattern version: 1.6.0.0"},
      {"newest supported", "EngineVersion = 1.5.99.99\nMSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"x\") { off } } }\n",
       false, 0, "", L"Engine::AddPatternCore\tPattern version: 1.5.99.99"},
      {"no header", "MSAA: Window { }\n", false, 7, "", L"Engine::AddPatternCore\tVersion parsing failed."},
      {"three-part version", "EngineVersion = \"1.5.0\"\nMSAA: Window { }\n", false, 7, "",
       L"TraceException\tError: AddPattern: Unable to parse engine version"},
      {"body does not parse", "EngineVersion = \"1.5.0.0\"\nMSAA: Window { CheckBox }\n", false, 7, "",
       L"Engine::AddPatternCore\tPattern parsing failed."},
      {"no actions", kNoActions, false, 8, "1.5.0.0", L"Engine::AddPatternCore\tPattern contains no actions."},
      {"silent without actions", kNoActions, true, 0, "", L"Engine::AddPatternCore\tParsing complete"},
  };
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  int id = 40;
  for (const Case& c : cases) {
    host_.Clear();
    engine->AddPattern(++id, c.text.c_str(), c.silent);
    EXPECT_EQ(TraceCount(c.trace), 1u) << c.name;
    // Never a null text: the host reads them as C strings.
    const std::string report = "ReportItem patternId=" + std::to_string(id) + " resultCode=" + std::to_string(c.code) +
                               " genericPattern=0 elementType=0 controlData=null controlPath=\"\" userAction=\"\" "
                               "desiredState=\"\" patternVersion=\"" + c.version + "\"\n";
    EXPECT_EQ(host_.FormatCalls(), c.code == 0 ? "" : report) << c.name;
  }
}

TEST_F(PatternIntakeTest, BlockPatternAddedOnlyForTheEngineWithoutNotifications) {
  struct Case {
    CreateEngineFunction factory;
    const char* text;
    bool silent;
    std::size_t calls;
  };
  const Case cases[] = {
      {&CreateEngine2, kBlock, false, 1},
      {&CreateEngine2, kBlock, true, 0},
      {&CreateEngine2, kUncheckOfferPattern, false, 0},
      {&CreateEngine, kBlock, false, 0},
  };
  for (const Case& c : cases) {
    host_.Clear();
    EnginePtr engine = Create(c.factory);
    ASSERT_NE(engine, nullptr);
    engine->AddPattern(1, c.text, c.silent);
    EXPECT_EQ(host_.Count(HostCall::Kind::BlockPatternAdded), c.calls) << c.text << c.silent;
  }
}

TEST_F(PatternIntakeTest, FactoriesMakeOneProcessorPerMachineAndRegisterRegularOnes) {
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, OfferPage());
  EnginePtr engine = Create();
  ASSERT_NE(engine, nullptr);
  engine->AddPattern(5, kNeverMatches, false);
  engine->AddPattern(6, "EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\".*\") } }\n", true);
  engine->AddPattern(7, kExactWithoutActions, true);  // exact and silent: a regular processor, flagged silent
  ASSERT_TRUE(PumpUntil([&] { return TraceCount(L" created for pattern #") == 3; }));
  EXPECT_EQ(TraceCount(L"Adding silent pattern processor: 0x"), 2u);
  EXPECT_EQ(recorders_.Of(5).size(), 1u);
  EXPECT_EQ(recorders_.Of(6).size(), 0u);  // silent processors have no actions processor
  ASSERT_TRUE(PumpUntil([&] { return recorders_.Of(7).size() == 1 && recorders_.Of(7)[0]->Matches() == 1; }));
  // A second pass of the silent machine starts only when its first pass is over.
  auto silentPasses = [&] {
    std::size_t passes = 0;
    for (const std::wstring& trace : host_.TracesContaining(L" starts matching")) {
      passes += trace.find(L"\tSilentMachine(") != std::wstring::npos ? 1 : 0;
    }
    return passes;
  };
  ASSERT_TRUE(PumpUntil([&] { return silentPasses() >= 1; }));
  simwin::Click(dialog.Control(testing::kOtherBox));
  ASSERT_TRUE(PumpUntil([&] { return silentPasses() >= 2; }));

  host_.Clear();
  installer_.Exit();
  engine->Run();
  // One result per collected pattern; the silent one sent its statistics instead. The installer's exit closes
  // the window, so the watcher may shut its machines down (and send the statistics) before or after the results.
  std::vector<std::tuple<int, int, int>> results;  // id, code, generic
  int statistics = 0;
  for (const auto& report : Reports()) {
    if (report.patternId == 6) {
      ++statistics;
      EXPECT_EQ(report.resultCode, 0);
      EXPECT_EQ(report.genericPattern, 1);
    } else {
      results.emplace_back(report.patternId, report.resultCode, report.genericPattern);
    }
  }
  EXPECT_EQ(results, (std::vector<std::tuple<int, int, int>>{{5, 1, 1}, {7, 0, 0}}));
  EXPECT_EQ(statistics, 1);
  EXPECT_TRUE(Of(engine).Watcher()->IsShutDown());

  // After the run, patterns change nothing.
  const std::size_t made = recorders_.Count();
  engine->AddPattern(8, kUncheckOfferPattern, false);
  EXPECT_EQ(recorders_.Count(), made);
}

TEST_F(PatternIntakeTest, ReleaseWithoutRunStopsTheWaiterTheWatcherAndItsMachines) {
  simwin::CreateDialogFromLayout(installer_, OfferPage());
  EnginePtr engine = Create(&CreateEngine);
  ASSERT_NE(engine, nullptr);
  ASSERT_TRUE(host_.WaitForTrace(L"waiting for process"));
  engine->AddPattern(3, kUncheckOfferPattern, false);
  ASSERT_TRUE(PumpUntil([&] { return !recorders_.ActionsOf(3).empty(); }));
  engine.reset();

  // Still here: no thread was destroyed while running; the stop event woke the waiter, not the installer.
  EXPECT_EQ(TraceCount(L"Destroying unjoined thread"), 0u);
  EXPECT_EQ(TraceCount(L"without a join"), 0u);
  EXPECT_EQ(TraceCount(L"Machine shut down"), 2u);
  EXPECT_EQ(TraceCount(L"ProcessWaiter::~ProcessWaiter\tWaiting for pid waiter to exit"), 1u);
  EXPECT_EQ(TraceCount(L"ProcessWaiter::WaiterThread\tFinishing pid waiter"), 1u);
  EXPECT_EQ(host_.Traces().back(), L"Engine::Release\tEngine stopped");
  EXPECT_FALSE(installer_.HasExited());
  EXPECT_EQ(host_.Count(HostCall::Kind::ReportItem), 0u);
  EXPECT_EQ(host_.Count(HostCall::Kind::ReportProcessedTotal), 0u);
}

}  // namespace
}  // namespace installation_assistant::engine
