#include "common/process_waiter.h"

#include <gtest/gtest.h>

#include "common/trace_capture.h"
#include "platform/sim/simwin.h"

namespace installation_assistant {
namespace {

// An installer that exits ends Run: EngineTest.RunReturnsWhenTheInstallerExitedBeforeAndReportsTheTotal. A process
// that is gone altogether by the time the waiter starts ends the loop as well.
TEST(ProcessWaiterTest, ProcessThatNeverExistedEndsTheLoopAtOnce) {
  simwin::RecordingHost host;
  testing::TraceCapture capture(host);
  ProcessWaiter waiter(0x7FFFFFF0, std::make_shared<MessageWindow>(GetModuleHandleW(nullptr)));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  EXPECT_EQ(host.TracesContaining(L"WaitForProcessToExit: Cannot open process: The parameter is incorrect.").size(), 1u);
}

}  // namespace
}  // namespace installation_assistant
