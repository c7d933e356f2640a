// simwin COM apartments: each thread's CoInitializeEx / CoUninitialize bookkeeping.
#include "platform/sim/acc_internal.h"

namespace {

struct ComState {
  int count = 0;
  DWORD model = 0;
};
thread_local ComState t_com;

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_com.count > 0) {
    if (t_com.model != model) return RPC_E_CHANGED_MODE;
    ++t_com.count;
    return S_FALSE;
  }
  t_com.model = model;
  t_com.count = 1;
  return S_OK;
}

void WINAPI CoUninitialize(void) {
  if (t_com.count > 0) --t_com.count;
}

namespace simwin::detail {
bool ComInitializedOnThisThread() { return t_com.count > 0; }
}  // namespace simwin::detail
