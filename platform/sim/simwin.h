// simwin's driving API: what a test, the demo or a benchmark does to the simulated
// Windows from outside (start an installer process, act as the user, inspect state).
// Engine code never includes this header.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/win32.h"

namespace simwin {

// A logical process with one UI thread that pumps its own messages (GetMessageW loop)
// until the process exits. Windows created inside Invoke belong to that UI thread.
class Process {
 public:
  explicit Process(std::wstring imageName = L"setup.exe");
  ~Process();  // exits with code 0 if still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD Id() const;
  DWORD UiThreadId() const;
  const std::wstring& ImageName() const;

  // Runs work on the UI thread (as a posted thread message) and waits until it has run.
  // An exception thrown by work is rethrown here.
  void Invoke(std::function<void()> work);
  // Runs work on the UI thread without waiting.
  void Post(std::function<void()> work);

  // Ends the process: its UI thread leaves its loop and is joined, its remaining windows
  // are destroyed (with their WinEvents), then the process is marked ended with the code
  // and its handles are signalled.
  void Exit(DWORD exitCode = 0);
  bool HasExited() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Id of the root process: the one every native thread that simwin has not seen belongs to.
DWORD RootProcessId();

// What TerminateProcess of the root process does instead of ending the Linux process.
// Returns the previous handler; an empty handler restores _exit.
using TerminateHandler = std::function<void(UINT exitCode)>;
TerminateHandler SetTerminateHandler(TerminateHandler handler);

// Clears the ended state of the root process after a test observed a TerminateProcess.
void ResetRootProcess();

// Number of WinEvent hooks currently set, by any thread.
std::size_t LiveWinEventHookCount();

// Number of windows that currently exist (for leak checks).
std::size_t LiveWindowCount();

// Registered classes of the calling thread's process with that name: true if present.
bool IsClassRegistered(const std::wstring& className);

}  // namespace simwin
