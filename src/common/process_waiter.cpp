#include "common/process_waiter.h"

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {

ProcessWaiter::ProcessWaiter(DWORD processId, std::shared_ptr<MessageWindow> messageWindow)
    : stopEvent_(MakeSharedHandle(CreateEventHandle(false, false))),
      messageWindow_(std::move(messageWindow)),
      thread_([this, processId] { WaiterThread(processId); }) {}

ProcessWaiter::~ProcessWaiter() {
  SetEvent(stopEvent_.get());
  TRACE(Info) << "Waiting for pid waiter to exit";
  try {
    thread_.Join();
  } catch (...) {
    TraceException("ProcessWaiter::~ProcessWaiter");
  }
  messageWindow_.reset();
  stopEvent_.reset();
}

void ProcessWaiter::WaiterThread(DWORD processId) {
  bool processGone = false;
  try {
    TRACE(Info) << "Started pid waiter, waiting for process " << processId << " to exit";
    UniqueHandle process(OpenProcess(SYNCHRONIZE, TRUE, processId));
    if (!process) {
      const DWORD error = GetLastError();
      processGone = error == ERROR_INVALID_PARAMETER;
      throw Win32Error(error, "Cannot open process");
    }
    const HANDLE handles[] = {process.Get(), stopEvent_.get()};
    WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    TRACE(Info) << "Pid waiter resumed";
    PostQuitRequest();
    TRACE(Info) << "Stopped message processing";
    process.Reset();
    TRACE(Info) << "Finishing pid waiter";
  } catch (...) {
    TraceException("WaitForProcessToExit");
    // No such process means the installer has already ended: the run is over all the
    // same, and without this request Run would never return.
    if (processGone) {
      try {
        PostQuitRequest();
      } catch (...) {
        TraceException("WaitForProcessToExit");
      }
    }
  }
}

void ProcessWaiter::PostQuitRequest() {
  messageWindow_->Post([] { PostQuitMessage(0); });
}

}  // namespace installation_assistant
