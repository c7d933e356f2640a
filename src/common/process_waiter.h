// Ends the engine's message loop when the installer process exits.
#pragma once

#include <memory>

#include "common/handles.h"
#include "common/message_window.h"
#include "common/thread.h"
#include "platform/win32.h"

namespace installation_assistant {

class ProcessWaiter {
 public:
  // Starts waiting at once.
  ProcessWaiter(DWORD processId, std::shared_ptr<MessageWindow> messageWindow);
  // Wakes the waiter through the stop event and joins it.
  ~ProcessWaiter();
  ProcessWaiter(const ProcessWaiter&) = delete;
  ProcessWaiter& operator=(const ProcessWaiter&) = delete;

 private:
  void WaiterThread(DWORD processId);
  void PostQuitRequest();

  SharedHandle stopEvent_;
  std::shared_ptr<MessageWindow> messageWindow_;
  Thread thread_;
};

}  // namespace installation_assistant
