#include "common/process_waiter.h"

#include <gtest/gtest.h>

#include "common/trace_capture.h"
#include "platform/sim/simwin.h"

namespace installation_assistant {
namespace {

using simwin::RecordingHost;
using testing::TraceCapture;

// Runs the calling thread's loop as Run does; returns when WM_QUIT arrives.
void PumpUntilQuit() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

class ProcessWaiterTest : public ::testing::Test {
 protected:
  RecordingHost host;
  TraceCapture capture{host};
  std::shared_ptr<MessageWindow> window = std::make_shared<MessageWindow>(GetModuleHandleW(nullptr));
};

TEST_F(ProcessWaiterTest, ProcessExitEndsTheLoop) {
  simwin::Process installer;
  ProcessWaiter waiter(installer.Id(), window);
  ASSERT_TRUE(host.WaitForTrace(L"waiting for process"));
  installer.Exit();
  PumpUntilQuit();

  const std::wstring prefix = L"ProcessWaiter::WaiterThread\t";
  const std::vector<std::wstring> expected = {
      prefix + L"Started pid waiter, waiting for process " + std::to_wstring(installer.Id()) + L" to exit",
      prefix + L"Pid waiter resumed", prefix + L"Stopped message processing", prefix + L"Finishing pid waiter"};
  ASSERT_TRUE(host.WaitForTrace(expected.back()));
  std::vector<std::wstring> waiterTraces = host.TracesContaining(prefix);
  EXPECT_EQ(waiterTraces, expected);
}

TEST_F(ProcessWaiterTest, ProcessThatNeverExistedEndsTheLoopAtOnce) {
  ProcessWaiter waiter(0x7FFFFFF0, window);
  PumpUntilQuit();
  EXPECT_EQ(host.TracesContaining(L"WaitForProcessToExit: Cannot open process: The parameter is incorrect.").size(), 1u);
}

}  // namespace
}  // namespace installation_assistant
