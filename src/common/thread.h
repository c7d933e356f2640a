// A joinable worker thread that refuses to be destroyed while it still runs.
#pragma once

#include <functional>

#include "common/handles.h"
#include "platform/win32.h"

namespace installation_assistant {

// Exit code of the process when a Thread is destroyed before its thread has ended.
inline constexpr UINT kUnjoinedThreadExitCode = 0x35A5BD60;

class Thread {
 public:
  // Starts the thread at once. The work must catch its own exceptions.
  explicit Thread(std::function<void()> work);
  // Ends the whole process if the thread is still running: owners Join first.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void Join();
  // Waits at most `ms`: false if the thread still runs.
  bool Join(DWORD ms);
  DWORD Id() const { return id_; }

 private:
  static DWORD WINAPI ThreadStartRoutine(LPVOID parameter);

  std::function<void()> work_;
  UniqueHandle handle_;
  DWORD id_ = 0;
};

}  // namespace installation_assistant
