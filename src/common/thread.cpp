#include "common/thread.h"

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {

Thread::Thread(std::function<void()> work) : work_(std::move(work)) {
  handle_.Reset(CreateThread(nullptr, 0, &Thread::ThreadStartRoutine, this, 0, &id_));
  if (!handle_) throw LastWin32Error("Failed to start thread");
  TRACE(Debug) << "Thread 0x" << std::hex << id_ << " started";
}

Thread::~Thread() {
  if (WaitForSingleObject(handle_.Get(), 0) != WAIT_OBJECT_0) {
    // The work still uses this object: ending the process is the only safe way out.
    TRACE(Error) << "Destroying unjoined thread 0x" << std::hex << id_
                 << ", terminating process with result: 0x" << kUnjoinedThreadExitCode;
    FlushTrace();
    TerminateProcess(GetCurrentProcess(), kUnjoinedThreadExitCode);
    WaitForSingleObject(GetCurrentProcess(), INFINITE);
  }
}

void Thread::Join() {
  TRACE(Debug) << "Joining thread 0x" << std::hex << id_;
  if (WaitForSingleObject(handle_.Get(), INFINITE) != WAIT_OBJECT_0) throw LastWin32Error("Failed to join thread");
  TRACE(Debug) << "Thread 0x" << std::hex << id_ << " finished";
}

bool Thread::Join(DWORD ms) {
  const DWORD result = WaitForSingleObject(handle_.Get(), ms);
  if (result == WAIT_TIMEOUT) return false;
  if (result != WAIT_OBJECT_0) throw LastWin32Error("Failed to join thread");
  TRACE(Debug) << "Thread 0x" << std::hex << id_ << " finished";
  return true;
}

DWORD WINAPI Thread::ThreadStartRoutine(LPVOID parameter) {
  auto* self = static_cast<Thread*>(parameter);
  TRACE(Debug) << "Thread started";
  self->work_();
  TRACE(Debug) << "Thread finishing";
  return 0;
}

}  // namespace installation_assistant
