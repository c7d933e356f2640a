#include "watch/machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/trace_capture.h"
#include "common/wait.h"
#include "watch/engine_thread.h"
#include "watch/machines_test_support.h"
#include "watch/regular_pattern_windows_watcher_implementation.h"
#include "watch/silent_pattern_processor.h"

namespace installation_assistant::testing {
namespace {

constexpr char kUncheckOther[] =
    "EngineVersion = \"1.5.0.0\"\n"
    "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Make it my home page\") { off } } }\n";
constexpr char kNeverThere[] = "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Never there\") { off } } }\n";

struct Built {
  std::shared_ptr<PatternProcessor> processor;
  std::shared_ptr<RecordingActionsProcessor> recorder;
};

class MachineTest : public EngineThreadTest {
 protected:
  void SetUp() override { dialog_ = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Setup", true, offerEnabled_)); }
  void TearDown() override {
    for (const auto& machine : machines_) machine->Shutdown();
  }

  // Only passes that the test runs itself see the window: the machine's own passes (fired
  // by AddPattern) then change nothing but the drain, and each case is one known sequence.
  std::shared_ptr<Machine> MakeMachine() {
    const HWND window = dialog_.hwnd;
    ElementResolver real = MakeElementResolver(window);
    const std::thread::id testThread = std::this_thread::get_id();
    ElementResolver gated = [real, testThread](const Option<PatternRoot>& root) {
      if (std::this_thread::get_id() != testThread) return Option<std::shared_ptr<UIElement>>::None();
      return real(root);
    };
    auto machine = Machine::Create(window, CreateMSAARootElement(window), gated, engine_.Window());
    machines_.push_back(machine);
    return machine;
  }

  static Built Processor(const std::string& text, bool act = false) {
    std::shared_ptr<Pattern> pattern = ParseOrFail(text);
    auto recorder = std::make_shared<RecordingActionsProcessor>(pattern, act);
    auto processor = std::make_shared<PatternProcessor>(pattern->GetRoots(), recorder, recorder, MakeMatcherFor(*pattern));
    return Built{processor, recorder};
  }

  bool offerEnabled_ = true;
  simwin::Dialog dialog_;
  std::vector<std::shared_ptr<MachineBase>> machines_;
};

// Two patterns acting on one page: the second waits for the first's ticket instead of
// advancing without its actions, and acts as soon as the ticket is free.
TEST_F(MachineTest, ASecondMatchWaitsForTheTicketAndThenActs) {
  auto machine = MakeMachine();
  Built first = Processor(kUncheckOfferPattern);
  Built second = Processor(kUncheckOther);
  machine->AddPattern(first.processor, false);
  machine->AddPattern(second.processor, false);
  machine->Matcher();

  const auto acted = first.recorder->Actions();
  ASSERT_EQ(acted.size(), 1u);
  EXPECT_EQ(acted[0].operation, "UnsetCheckBox");
  EXPECT_EQ(acted[0].name, "Install the toolbar");
  EXPECT_EQ(first.recorder->Updates(), 1);
  EXPECT_EQ(TraceCount(L" waits for the ticket"), 1u);
  EXPECT_TRUE(second.recorder->Actions().empty());
  EXPECT_EQ(second.recorder->Matches(), 0);
  EXPECT_EQ(machine->ProcessorCount(), 1u);

  machine->Matcher();  // the freed ticket fired this pass (the fixture's own passes see nothing)
  ASSERT_EQ(second.recorder->Actions().size(), 1u);
  EXPECT_EQ(second.recorder->Matches(), 1);
  EXPECT_EQ(second.recorder->Updates(), 1);
  EXPECT_EQ(first.recorder->Actions().size(), 1u);
  EXPECT_EQ(machine->ProcessorCount(), 0u);
  EXPECT_FALSE(machine->HasTicketHolder());
}

TEST_F(MachineTest, ProcessorWithoutActionsDoesNotTakeTheTicket) {
  auto machine = MakeMachine();
  // Two roots: the first matches without actions, the second never does.
  Built quiet = Processor(std::string("EngineVersion = \"1.5.0.0\"\n") +
                          "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Install the toolbar\") } }\n" +
                          kNeverThere);
  Built acting = Processor(kUncheckOther);
  machine->AddPattern(quiet.processor, false);
  machine->AddPattern(acting.processor, false);
  machine->Matcher();

  EXPECT_EQ(quiet.recorder->Matches(), 1);
  ASSERT_EQ(acting.recorder->Actions().size(), 1u);
  EXPECT_EQ(acting.recorder->Actions()[0].name, "Make it my home page");
  EXPECT_EQ(machine->ProcessorCount(), 1u);  // the quiet one waits for its second root
}

class DisabledOfferTest : public MachineTest {
 protected:
  DisabledOfferTest() { offerEnabled_ = false; }
};

TEST_F(DisabledOfferTest, NewMatchOfTheHolderReplacesThePendingActions) {
  auto machine = MakeMachine();
  Built twoRoots = Processor(std::string(kUncheckOfferPattern) +
                             "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Make it my home page\") { off } } }\n");
  machine->AddPattern(twoRoots.processor, false);
  machine->Matcher();  // first root: its uncheck waits for the disabled box
  EXPECT_EQ(machine->PendingActionCount(), 2u);
  machine->Matcher();  // second root: the holder matches again

  EXPECT_EQ(TraceCount(L" 2 actions from previous match are not executed."), 1u);
  EXPECT_EQ(TraceCount(L"Cannot execute action Window\\Pane(0)\\CheckBox(0) is disabled"), 1u);
  const auto acted = twoRoots.recorder->Actions();
  ASSERT_EQ(acted.size(), 1u);
  EXPECT_EQ(acted[0].name, "Make it my home page");
  EXPECT_EQ(machine->PendingActionCount(), 0u);
  EXPECT_FALSE(machine->HasTicketHolder());
}

TEST_F(MachineTest, OnlyTheHolderReleasesTheTicket) {
  auto machine = MakeMachine();
  Built holder = Processor(std::string(kUncheckOther) + kNeverThere);
  Built silentEntry = Processor(kUncheckOfferPattern);
  machine->AddPattern(holder.processor, false);
  machine->AddPattern(silentEntry.processor, true);
  machine->Matcher();

  EXPECT_EQ(holder.recorder->Actions().size(), 1u);
  EXPECT_TRUE(silentEntry.recorder->Actions().empty());
  EXPECT_EQ(TraceCount(L"Skipping silent processor 0x"), 1u);
  EXPECT_EQ(TraceCount(L"Empty acting processor"), 1u);  // the silent entry's release ran
  EXPECT_TRUE(machine->HasTicketHolder());               // and left the holder alone

  // With the ticket still held between the holder's roots, another match keeps its root.
  Built late = Processor(kUncheckOfferPattern);
  machine->AddPattern(late.processor, false);
  machine->Matcher();
  EXPECT_EQ(late.recorder->Matches(), 0);
  EXPECT_TRUE(late.recorder->Actions().empty());
  EXPECT_EQ(machine->ProcessorCount(), 2u);
}

TEST_F(MachineTest, FailingProcessorDoesNotStopTheOthers) {
  auto machine = MakeMachine();
  Built broken = Processor("EngineVersion = \"1.5.0.0\"\nMSAA: Window (text=\"Setup (x86\") { AnyLevel { CheckBox (text=\".*\") { off } } }\n");
  Built offer = Processor(kUncheckOfferPattern);
  machine->AddPattern(broken.processor, false);
  machine->AddPattern(offer.processor, false);
  machine->Matcher();

  EXPECT_EQ(offer.recorder->Actions().size(), 1u);
  EXPECT_EQ(host_.TracesContaining(L": Matcher: ").size(), 1u);
  EXPECT_EQ(machine->ProcessorCount(), 1u);  // the broken one stays, and fails alone next time
}

// A pass that takes long (a slow installer) does not hold the host's AddPattern: the
// pattern waits for the next pass.
TEST_F(MachineTest, AddPatternDoesNotWaitForAPass) {
  UniqueHandle inPass = CreateEventHandle(true, false);
  UniqueHandle release = CreateEventHandle(true, false);
  const HWND window = dialog_.hwnd;
  ElementResolver real = MakeElementResolver(window);
  ElementResolver slow = [real, inPass = inPass.Get(), release = release.Get()](const Option<PatternRoot>& root) {
    SetEvent(inPass);
    WaitForSingleObject(release, 10000);  // the pass is busy until the test lets it go
    return real(root);
  };
  auto machine = Machine::Create(window, CreateMSAARootElement(window), slow, engine_.Window());
  machine->AddPattern(Processor(std::string("EngineVersion = \"1.5.0.0\"\n") + kNeverThere).processor, false);
  ASSERT_EQ(WaitForSingleObject(inPass.Get(), 10000), WAIT_OBJECT_0);
  const auto begin = std::chrono::steady_clock::now();
  machine->AddPattern(Processor(kUncheckOfferPattern).processor, false);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
  SetEvent(release.Get());
  machine->Shutdown();
}

// The watcher may hear of a window's end while it is still being destroyed and keep its machine: the machine's next
// pass finds the window gone and asks the watcher, once, for the pass that drops it.
TEST_F(MachineTest, AMachineThatFindsItsWindowGoneTellsTheWatcherOnce) {
  RegularPatternWindowsWatcherImplementation strategy(engine_.Window());
  std::atomic<int> told{0};
  strategy.SetWindowGoneHandler([&told] { ++told; });
  strategy.AddPattern([] { return Processor(std::string("EngineVersion = \"1.5.0.0\"\n") + kNeverThere).processor; },
                      false);
  ASSERT_TRUE(strategy.OnNewWindow(dialog_.hwnd, CreateMSAARootElement(dialog_.hwnd), nullptr));
  const std::shared_ptr<Machine> machine = strategy.Machines().front();
  installer_.Invoke([&] { DestroyWindow(dialog_.hwnd); });
  machine->Matcher();
  machine->Matcher();
  EXPECT_EQ(told, 1);
  strategy.DropClosedWindows();
  EXPECT_TRUE(strategy.Machines().empty());
}

// A look is one snapshot per access type: UI Automation's whole cache is built once, MSAA's window object taken once.
TEST_F(MachineTest, ALookTakesOneSnapshotPerAccessType) {
  for (const char* access : {"MSAA", "UIAutomation"}) {
    SCOPED_TRACE(access);
    const std::shared_ptr<Pattern> pattern =
        ParseOrFail(std::string("EngineVersion = \"1.5.0.0\"\n") + access + ": Window (text=\"Setup\") { * }\n");
    simwin::ResetAccessibilityCallCount();
    ASSERT_TRUE(MakeElementResolver(dialog_.hwnd)(Option<PatternRoot>::Some(pattern->GetRoots().front())).IsSome());
    const bool uia = std::string(access) == "UIAutomation";
    EXPECT_EQ(simwin::AccessibilityCallsAbout("BuildUpdatedCache", dialog_.hwnd), uia ? 1u : 0u);
    if (!uia) {
      EXPECT_EQ(simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", dialog_.hwnd), 1u);
    }
  }
}

// A machine looks again only on events about its own window: the installer's other windows cost it no pass. (The
// absence of a pass is waited for half a second: a slow machine can only hide a fault, never invent one.)
TEST_F(MachineTest, EventsOfAnotherWindowCauseNoPass) {
  const simwin::Dialog other = simwin::CreateDialogFromLayout(installer_, OfferPage(L"Other"));
  UniqueHandle looked = CreateEventHandle(false, false);
  const HWND window = dialog_.hwnd;
  ElementResolver real = MakeElementResolver(window);
  ElementResolver signalling = [real, looked = looked.Get()](const Option<PatternRoot>& root) {
    SetEvent(looked);
    return real(root);
  };
  auto machine = Machine::Create(window, CreateMSAARootElement(window), signalling, engine_.Window());
  machines_.push_back(machine);
  machine->AddPattern(Processor(std::string("EngineVersion = \"1.5.0.0\"\n") + kNeverThere).processor, false);
  engine_.DrainPosted();
  ASSERT_EQ(WaitForSingleObject(looked.Get(), 10000), WAIT_OBJECT_0);
  while (WaitForSingleObject(looked.Get(), 300) == WAIT_OBJECT_0) {
  }
  simwin::Click(other.Control(kOtherBox));
  engine_.DrainEventsOf(installer_, other.hwnd);
  EXPECT_EQ(WaitForSingleObject(looked.Get(), 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "a pass for another window";
  simwin::Click(dialog_.Control(kOtherBox));
  engine_.DrainEventsOf(installer_, window);
  EXPECT_EQ(WaitForSingleObject(looked.Get(), 10000), WAIT_OBJECT_0) << "no pass for its own window";
}

// The echo of the machine's own check and selection changes costs it no new look, yet is judged: a pattern that
// wants the box back matches on it. Any other event of the window looks again.
TEST_F(MachineTest, TheEchoOfItsOwnChangesIsJudgedOnTheLastLook) {
  for (const std::string access : {"MSAA", "UIAutomation"}) {
    SCOPED_TRACE(access);
    const auto pattern = [&access](const char* box, const char* state) {
      return "EngineVersion = \"1.5.0.0\"\n" + access + ": Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"" +
             box + "\") { " + state + " } } }\n";
    };
    const HWND window = dialog_.hwnd;
    auto looks = std::make_shared<std::atomic<int>>(0);
    ElementResolver counting = [real = MakeElementResolver(window), looks](const Option<PatternRoot>& root) {
      ++*looks;
      return real(root);
    };
    auto machine = Machine::Create(window, CreateMSAARootElement(window), counting, engine_.Window());
    machines_.push_back(machine);
    Built off = Processor(pattern("Install the toolbar", "off"), true);
    Built on = Processor(pattern("Install the toolbar", "on"), true);
    machine->AddPatterns(
        {{off.processor, false}, {on.processor, false}, {Processor(pattern("Never there", "off")).processor, false}});
    ASSERT_TRUE(WaitUntil([&] {
      engine_.DrainEventsOf(installer_, window);
      return on.recorder->Updates() == 1;
    }));
    // The echo of the second change too. (A slow machine can only hide a look here, never invent one.)
    for (int round = 0; round < 3; ++round) {
      engine_.DrainEventsOf(installer_, window);
      Sleep(100);
    }
    ASSERT_EQ(off.recorder->Actions().size(), 1u);
    ASSERT_EQ(on.recorder->Actions().size(), 1u);
    EXPECT_EQ(simwin::CheckState(dialog_.Control(kOfferBox)), BST_CHECKED);
    EXPECT_EQ(looks->load(), 1);

    simwin::Click(dialog_.Control(kOtherBox));
    engine_.DrainEventsOf(installer_, window);
    EXPECT_TRUE(WaitUntil([&] { return looks->load() >= 2; }));
    simwin::Click(dialog_.Control(kOtherBox));
    machine->Shutdown();
  }
}

TEST_F(MachineTest, ShutdownBeforeThePostedSubscriptionMeansNoSubscription) {
  const std::size_t hooksBefore = simwin::LiveWinEventHookCount();
  auto machine = MakeMachine();
  machine->Shutdown();
  engine_.DrainPosted();
  EXPECT_FALSE(machine->IsSubscribed());
  EXPECT_EQ(simwin::LiveWinEventHookCount(), hooksBefore);

  auto subscribed = MakeMachine();
  engine_.DrainPosted();
  EXPECT_TRUE(subscribed->IsSubscribed());
  EXPECT_GT(simwin::LiveWinEventHookCount(), hooksBefore);
  subscribed->Shutdown();
  EXPECT_EQ(simwin::LiveWinEventHookCount(), hooksBefore);
  EXPECT_EQ(TraceCount(L"Machine shut down"), 2u);
}

// Statistics of silent patterns: the largest subtree per root, ties keep the first. The record's codes:
// silent_survey.yaml.
TEST_F(MachineTest, SilentProcessorKeepsTheLargestMatchPerRoot) {
  auto dialogWith = [this](std::vector<const wchar_t*> names) {
    simwin::DialogLayout layout;
    for (const wchar_t* name : names) {
      const int top = 40 + 30 * static_cast<int>(layout.controls.size());
      layout.controls.push_back(
          {.style = BS_AUTOCHECKBOX, .text = name, .id = 300 + static_cast<int>(layout.controls.size()),
           .rect = {10, top, 200, top + 20}});
    }
    return simwin::CreateDialogFromLayout(installer_, layout).hwnd;
  };
  const HWND a = dialogWith({L"a1", L"a2"});
  const HWND b = dialogWith({L"b1", L"b2"});
  const HWND c = dialogWith({L"c1", L"c2", L"c3"});

  auto service = std::make_shared<engine::ServiceHolder>(host_.Service());
  const std::string any = "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\".*\") } }\n";
  auto make = [&](int id, const std::string& root) {
    std::shared_ptr<Pattern> pattern = ParseOrFail("EngineVersion = \"1.5.2.7\"\n" + root);
    return std::make_shared<SilentPatternProcessor>(id, pattern->GetRoots(), MakeMatcherFor(*pattern), "1.5.2.7",
                                                    service);
  };

  struct Case {
    int id;
    std::vector<HWND> windows;
    std::string kept;
    std::string dropped;
  };
  const Case cases[] = {
      {1, {a, b}, "a1", "b1"},  // equal size: the first dump stays
      {2, {a, c}, "c3", "a1"},  // larger: replaces
  };
  for (const Case& item : cases) {
    auto processor = make(item.id, any);
    for (HWND window : item.windows) processor->Match(MakeElementResolver(window));
    processor->FlushStatistics();
  }
  auto never = make(3, "MSAA: Window (text=\"Nope\") { AnyLevel { CheckBox (text=\".*\") } }\n");
  never->Match(MakeElementResolver(a));
  never->FlushStatistics();

  const auto reports = host_.CallsOf(simwin::HostCall::Kind::ReportItem);
  ASSERT_EQ(reports.size(), 2u);  // nothing from the processor that never matched
  for (std::size_t i = 0; i < 2; ++i) {
    const simwin::RecordedReport& report = reports[i].report;
    EXPECT_EQ(report.patternId, cases[i].id);
    ASSERT_TRUE(report.controlPath.has_value());
    EXPECT_NE(report.controlPath->find(cases[i].kept), std::string::npos) << *report.controlPath;
    EXPECT_EQ(report.controlPath->find(cases[i].dropped), std::string::npos) << *report.controlPath;
  }
}

}  // namespace
}  // namespace installation_assistant::testing
