// The calling thread's message queue, for tests that must leave it empty.
#pragma once

#include "platform/win32.h"

namespace installation_assistant::testing {

// Dispatches everything queued; true when a WM_QUIT was among it.
inline bool QuitQueued() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return true;
    DispatchMessageW(&message);
  }
  return false;
}

}  // namespace installation_assistant::testing
