// Polling for threads that pump no messages: the bound only keeps a broken build from hanging.
#pragma once

#include <functional>

#include "platform/win32.h"

namespace installation_assistant::testing {

// False if `done` still does not hold after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(5)) {
    if (GetTickCount() - start > timeoutMs) return false;
  }
  return true;
}

}  // namespace installation_assistant::testing
