#include "common/thread.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/handles.h"
#include "common/trace_capture.h"
#include "platform/sim/simwin.h"

namespace installation_assistant {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;
using testing::TraceCapture;

std::wstring Hex(DWORD value) {
  std::wostringstream text;
  text << std::hex << value;
  return text.str();
}

// For a thread whose handle is gone: waits until the system no longer lists it, so
// that nothing of it (such as a trace in flight) outlives the test.
bool WaitForThreadToVanish(DWORD id) {
  for (int attempt = 0; attempt < 10000; ++attempt) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    bool listed = false;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
      listed = listed || entry.th32ThreadID == id;
    }
    if (!listed) return true;
    Sleep(1);
  }
  return false;
}

TEST(ThreadTest, DestroyedUnjoinedEndsTheProcessAfterFlushing) {
  RecordingHost host;
  TraceCapture capture(host);
  UniqueHandle started = CreateEventHandle(true, false);
  UniqueHandle release = CreateEventHandle(true, false);

  std::vector<UINT> exitCodes;
  RecordingHost::Calls callsAtTermination;
  simwin::TerminateHandler previous = simwin::SetTerminateHandler([&](UINT code) {
    exitCodes.push_back(code);
    callsAtTermination = host.AllCalls();
  });

  DWORD id = 0;
  {
    Thread thread([startedEvent = started.Get(), releaseEvent = release.Get()] {
      // The Thread object (and this closure) is gone once the process "ended" in
      // simwin, so only locals are used after the wait.
      const HANDLE wake = releaseEvent;
      SetEvent(startedEvent);
      WaitForSingleObject(wake, INFINITE);
    });
    id = thread.Id();
    ASSERT_EQ(WaitForSingleObject(started.Get(), INFINITE), WAIT_OBJECT_0);
  }
  simwin::SetTerminateHandler(previous);
  simwin::ResetRootProcess();
  SetEvent(release.Get());
  ASSERT_TRUE(WaitForThreadToVanish(id));
  EXPECT_EQ(host.TracesContaining(L"Thread finishing").size(), 1u);

  ASSERT_EQ(exitCodes, std::vector<UINT>{0x35A5BD60u});
  ASSERT_GE(callsAtTermination.size(), 2u);
  const HostCall& flush = callsAtTermination.back();
  const HostCall& record = callsAtTermination[callsAtTermination.size() - 2];
  EXPECT_EQ(flush.kind, HostCall::Kind::TraceFlush);
  EXPECT_EQ(record.kind, HostCall::Kind::TraceWrite);
  EXPECT_EQ(record.level, 4);
  EXPECT_EQ(record.trace, L"Thread::~Thread\tDestroying unjoined thread 0x" + Hex(id) +
                              L", terminating process with result: 0x35a5bd60");
}

}  // namespace
}  // namespace installation_assistant
