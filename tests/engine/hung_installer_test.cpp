// An installer window whose thread stops pumping: the engine's other windows, AddPattern and the end of Run go on
// without it, and what it ends in is still acted on once it answers again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "common/wait.h"
#include "engine/engine_test_support.h"
#include "watch/event_resampler.h"
#include "watch/machine.h"
#include "watch/machines_test_support.h"

namespace installation_assistant::engine {
namespace {

using Clock = std::chrono::steady_clock;
using testing::kOfferBox;
using testing::kOtherBox;
using testing::OfferPage;
using testing::WaitUntil;

constexpr char kUncheckOtherPattern[] =
    "EngineVersion = \"1.5.0.0\"\n"
    "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Make it my home page\") { off } } }\n";

// The options page runs on a second UI thread of the installer, so that it can hang alone. The hung time-out is
// shortened so that probes answer at once rather than after their own wait.
class HungInstallerTest : public EngineRunFixture {
 protected:
  void SetUp() override { previousTimeout_ = simwin::SetHungAppTimeout(100); }
  void TearDown() override {
    options_->Exit();
    simwin::SetHungAppTimeout(previousTimeout_);
    EngineRunFixture::TearDown();
  }

  std::size_t NotRespondingTraces(HWND window) const {
    return TraceCount(L"Machine(" + DescribeMachineWindow(window) + L") does not respond");
  }

  std::unique_ptr<simwin::Process> options_ = installer_.AddUiThread();
  DWORD previousTimeout_ = 0;
};

TEST_F(HungInstallerTest, AHungPageWaitsWhileTheOthersGoOnAndIsActedOnOnceItAnswers) {
  const simwin::Dialog welcome = simwin::CreateDialogFromLayout(installer_, OfferPage());
  const simwin::Dialog page = simwin::CreateDialogFromLayout(*options_, OfferPage());
  EnginePtr engine = Create();
  engine->AddPattern(1, testing::kUncheckOfferPattern, false);
  std::thread user([&] {
    host_.WaitForTrace(L"Engine::Run\tStarting message loop");
    ASSERT_TRUE(WaitUntil([&] {
      return simwin::CheckState(welcome.Control(kOfferBox)) == BST_UNCHECKED &&
             simwin::CheckState(page.Control(kOfferBox)) == BST_UNCHECKED;
    }));
    // Both machines done with their actions: the hang comes between passes.
    ASSERT_TRUE(WaitUntil([&] { return TraceCount(L"there is 0 in the rest") == 2; }));

    options_->Hang(20000);
    const Clock::time_point adding = Clock::now();
    engine->AddPattern(2, kUncheckOtherPattern, false);
    EXPECT_LT(Clock::now() - adding, std::chrono::milliseconds(500));
    EXPECT_TRUE(WaitUntil([&] { return simwin::CheckState(welcome.Control(kOtherBox)) == BST_UNCHECKED; }));
    EXPECT_TRUE(WaitUntil([&] { return NotRespondingTraces(page.hwnd) == 1; }));
    // More events about the hung page: each pass is skipped, without a new trace.
    for (int i = 0; i < 5; ++i) {
      installer_.Invoke([&] { NotifyWinEvent(EVENT_OBJECT_REORDER, page.hwnd, OBJID_CLIENT, CHILDID_SELF); });
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(simwin::CheckState(welcome.Control(kOfferBox)), static_cast<UINT>(BST_UNCHECKED));

    // No event follows the recovery: the machine's own re-probe finds it.
    options_->EndHang();
    EXPECT_TRUE(WaitUntil([&] { return simwin::CheckState(page.Control(kOtherBox)) == BST_UNCHECKED; }));
    installer_.Exit();
  });
  engine->Run();
  user.join();
  EXPECT_EQ(NotRespondingTraces(page.hwnd), 1u);
  EXPECT_EQ(NotRespondingTraces(welcome.hwnd), 0u);

}

TEST_F(HungInstallerTest, RunEndsSoonAfterTheInstallerExitsWhileAMachineIsStuckInIt) {
  std::atomic<bool> hung{false};
  simwin::DialogLayout layout = OfferPage();
  // The page hangs in the middle of the engine's click: the pass waits in its next read.
  layout.onCommand = [this, &hung](WORD id, WORD, HWND) {
    if (id == kOfferBox && !hung.exchange(true)) options_->Hang(20000);
  };
  const simwin::Dialog page = simwin::CreateDialogFromLayout(*options_, layout);
  EnginePtr engine = Create();
  engine->AddPattern(1, testing::kUncheckOfferPattern, false);
  Clock::time_point exited;
  std::thread user([&] {
    ASSERT_TRUE(WaitUntil([&] { return hung.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    exited = Clock::now();
    installer_.Exit();
  });
  engine->Run();
  const Clock::time_point returned = Clock::now();
  user.join();
  EXPECT_LT(returned - exited, std::chrono::seconds(1));
  EXPECT_EQ(TraceCount(L"is still in a pass after the shutdown wait"), 1u);

  // Once the page answers, the pass left behind ends on its own, without telling the host any more, even after
  // Release (the host's service may be gone by then).
  engine.reset();
  const std::size_t calls = host_.ServiceCalls().size();
  options_->EndHang();
  JoinUnjoinedResamplerWorkers();
  EXPECT_EQ(host_.ServiceCalls().size(), calls);
}

}  // namespace
}  // namespace installation_assistant::engine
