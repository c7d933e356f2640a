// simwin kernel: handles, events, waits, APCs, threads, logical processes, tool help.
#include <unistd.h>

#include <algorithm>
#include <cwctype>
#include <thread>

#include "platform/sim/internal.h"

namespace simwin::detail {
namespace {

thread_local DWORD t_lastError = 0;

// Owns the calling native thread's registration; ends it when the native thread ends without passing through
// EndCurrentThread (a std::thread, gtest's main thread at exit).
struct ThreadSlot {
  std::shared_ptr<ThreadState> state;
  ~ThreadSlot() {
    if (state && !state->ended) EndCurrentThread(0);
  }
};
thread_local ThreadSlot t_slot;

struct Snapshot : KObject {
  std::vector<THREADENTRY32> entries;
  size_t next = 0;
};

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

template <class T>
std::shared_ptr<T> ResolveAs(HANDLE h, const std::shared_ptr<ThreadState>& self) {
  return std::dynamic_pointer_cast<T>(ResolveHandle(h, self));
}

// Runs every queued APC of the calling thread (lock held, released around each call).
void RunApcs(Lock& lk, ThreadState& self) {
  while (!self.apcs.empty()) {
    auto apc = self.apcs.front();
    self.apcs.pop_front();
    lk.unlock();
    apc.first(apc.second);
    lk.lock();
  }
}

}  // namespace

Globals& G() {
  // Never destroyed: native threads may still run simwin calls while the program exits.
  static Globals* g = [] {
    auto* globals = new Globals;
    auto root = std::make_shared<ProcessState>();
    root->pid = globals->nextClientId;
    globals->nextClientId += 4;
    root->imageName = L"root.exe";
    globals->root = root;
    globals->processes[root->pid] = root;
    globals->liveProcesses.push_back(root);
    return globals;
  }();
  return *g;
}

DWORD NowTicks() {
  // Windows' tick count starts at boot; start at an arbitrary non-zero value so that nothing depends on it being small.
  return static_cast<DWORD>(0x100000 + ClockMs());
}

DWORD NewClientId() {
  DWORD id = G().nextClientId;
  G().nextClientId += 4;
  return id;
}

HANDLE AddHandle(std::shared_ptr<KObject> obj) {
  uintptr_t value = G().nextHandle;
  G().nextHandle += 4;
  G().handles[value] = std::move(obj);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KObject> ResolveHandle(HANDLE h, const std::shared_ptr<ThreadState>& self) {
  if (h == kCurrentProcess) return self->process;
  if (h == kCurrentThread) return self;
  auto it = G().handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == G().handles.end()) return nullptr;
  return it->second;
}

std::shared_ptr<ThreadState> NewThreadState(std::shared_ptr<ProcessState> process) {
  auto state = std::make_shared<ThreadState>();
  state->tid = NewClientId();
  state->process = std::move(process);
  state->lastPumpMs = ClockMs();
  G().threads[state->tid] = state;
  return state;
}

std::shared_ptr<ThreadState> Self() {
  if (!t_slot.state) {
    Lock lk(G().mu);
    t_slot.state = NewThreadState(G().root);
  }
  return t_slot.state;
}

std::thread SpawnThread(std::shared_ptr<ThreadState> state, std::function<DWORD()> body) {
  return std::thread([state = std::move(state), body = std::move(body)]() mutable {
    t_slot.state = std::move(state);
    DWORD code = body();
    body = nullptr;
    EndCurrentThread(code);
  });
}

void EndCurrentThread(DWORD exitCode) {
  auto self = t_slot.state;
  if (!self || self->ended) return;
  DestroyThreadWindows(*self);
  Lock lk(G().mu);
  RemoveThreadHooks(*self);
  self->ended = true;
  self->exitCode = exitCode;
  // A sender blocked on this thread gets 0, as from a thread that died.
  for (auto& sm : self->sent) sm->done = true;
  self->sent.clear();
  self->posted.clear();
  self->events.clear();
  self->apcs.clear();
  G().threads.erase(self->tid);
  G().cv.notify_all();
}

std::wstring FoldCase(const std::wstring& s) {
  std::wstring out = s;
  for (auto& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

}  // namespace simwin::detail

using namespace simwin::detail;

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == kCurrentProcess || hObject == kCurrentThread) return TRUE;
  std::shared_ptr<KObject> doomed;  // released after the lock: its destructor may be heavy
  {
    Lock lk(G().mu);
    auto it = G().handles.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == G().handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    doomed = std::move(it->second);
    G().handles.erase(it);
    if (auto ev = std::dynamic_pointer_cast<EventObj>(doomed); ev && !ev->name.empty() && ev.use_count() == 2) {
      // Last handle of a named event: the name disappears with it (the map holds a weak_ptr that would expire anyway;
      // erase it now so the map does not grow).
      G().namedEvents.erase(ev->name);
    }
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------------------
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  Lock lk(G().mu);
  if (lpName && *lpName) {
    auto it = G().namedEvents.find(lpName);
    if (it != G().namedEvents.end()) {
      if (auto existing = it->second.lock()) {
        HANDLE h = AddHandle(existing);
        SetLastError(ERROR_ALREADY_EXISTS);
        return h;
      }
    }
  }
  auto ev = std::make_shared<EventObj>();
  ev->manualReset = bManualReset != FALSE;
  ev->signaled = bInitialState != FALSE;
  if (lpName && *lpName) {
    ev->name = lpName;
    G().namedEvents[ev->name] = ev;
  }
  HANDLE h = AddHandle(ev);
  SetLastError(ERROR_SUCCESS);
  return h;
}

HANDLE WINAPI OpenEventW(DWORD, BOOL, LPCWSTR lpName) {
  if (!lpName || !*lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Lock lk(G().mu);
  auto it = G().namedEvents.find(lpName);
  std::shared_ptr<EventObj> ev = it == G().namedEvents.end() ? nullptr : it->second.lock();
  if (!ev) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return AddHandle(ev);
}

static BOOL SetEventState(HANDLE hEvent, bool signaled) {
  auto self = Self();
  Lock lk(G().mu);
  auto ev = ResolveAs<EventObj>(hEvent, self);
  if (!ev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ev->signaled = signaled;
  if (signaled) G().cv.notify_all();
  return TRUE;
}

BOOL WINAPI SetEvent(HANDLE hEvent) { return SetEventState(hEvent, true); }
BOOL WINAPI ResetEvent(HANDLE hEvent) { return SetEventState(hEvent, false); }

// ---------------------------------------------------------------------------------------
// Waits
// ---------------------------------------------------------------------------------------
DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds,
                                      BOOL bAlertable) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  auto self = Self();
  Lock lk(G().mu);
  std::vector<std::shared_ptr<KObject>> objects(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    objects[i] = ResolveHandle(lpHandles[i], self);
    if (!objects[i] || !objects[i]->Waitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  for (;;) {
    if (bWaitAll) {
      if (std::all_of(objects.begin(), objects.end(), [](auto& o) { return o->Signaled(); })) {
        for (auto& o : objects) o->Acquire();
        return WAIT_OBJECT_0;
      }
    } else {
      for (DWORD i = 0; i < nCount; ++i) {
        if (objects[i]->Signaled()) {
          objects[i]->Acquire();
          return WAIT_OBJECT_0 + i;
        }
      }
    }
    // Signalled objects win over pending APCs, as in the NT wait: APCs run only when the wait would otherwise block.
    if (bAlertable && !self->apcs.empty()) {
      RunApcs(lk, *self);
      return WAIT_IO_COMPLETION;
    }
    if (dwMilliseconds == 0) return WAIT_TIMEOUT;
    if (dwMilliseconds == INFINITE) {
      G().cv.wait(lk);
    } else if (G().cv.wait_until(lk, deadline) == std::cv_status::timeout) {
      // One last look: the object may have been signalled right at the deadline.
      dwMilliseconds = 0;
    }
  }
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  return WaitForMultipleObjectsEx(nCount, lpHandles, bWaitAll, dwMilliseconds, FALSE);
}

DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable) {
  return WaitForMultipleObjectsEx(1, &hHandle, FALSE, dwMilliseconds, bAlertable);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjectsEx(1, &hHandle, FALSE, dwMilliseconds, FALSE);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
  }
}

DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable) {
  if (!bAlertable) {
    Sleep(dwMilliseconds);
    return 0;
  }
  auto self = Self();
  Lock lk(G().mu);
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  for (;;) {
    if (!self->apcs.empty()) {
      RunApcs(lk, *self);
      return WAIT_IO_COMPLETION;
    }
    if (dwMilliseconds == 0) return 0;
    if (dwMilliseconds == INFINITE) {
      G().cv.wait(lk);
    } else if (G().cv.wait_until(lk, deadline) == std::cv_status::timeout) {
      dwMilliseconds = 0;
    }
  }
}

DWORD WINAPI QueueUserAPC(PAPCFUNC pfnAPC, HANDLE hThread, ULONG_PTR dwData) {
  auto self = Self();
  Lock lk(G().mu);
  auto thread = ResolveAs<ThreadState>(hThread, self);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!pfnAPC || thread->ended) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  thread->apcs.emplace_back(pfnAPC, dwData);
  G().cv.notify_all();
  return 1;
}

// ---------------------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------------------
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto self = Self();
  std::shared_ptr<ThreadState> state;
  HANDLE h;
  {
    Lock lk(G().mu);
    state = NewThreadState(self->process);
    h = AddHandle(state);
  }
  if (lpThreadId) *lpThreadId = state->tid;
  SpawnThread(state, [lpStartAddress, lpParameter] { return lpStartAddress(lpParameter); }).detach();
  return h;
}

HANDLE WINAPI GetCurrentThread(void) { return kCurrentThread; }
DWORD WINAPI GetCurrentThreadId(void) { return Self()->tid; }

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto self = Self();
  Lock lk(G().mu);
  auto thread = ResolveAs<ThreadState>(hThread, self);
  if (!thread || !lpExitCode) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = thread->ended ? thread->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI GetThreadId(HANDLE Thread) {
  auto self = Self();
  Lock lk(G().mu);
  auto thread = ResolveAs<ThreadState>(Thread, self);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return thread->tid;
}

// ---------------------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------------------
HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }
DWORD WINAPI GetCurrentProcessId(void) { return Self()->process->pid; }

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
  Lock lk(G().mu);
  auto it = G().processes.find(dwProcessId);
  std::shared_ptr<ProcessState> process = it == G().processes.end() ? nullptr : it->second.lock();
  if (!process) {
    // Windows reports an unknown process id as a bad parameter, not a bad handle.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return AddHandle(process);
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto self = Self();
  Lock lk(G().mu);
  auto process = ResolveAs<ProcessState>(hProcess, self);
  if (!process || !lpExitCode) {
    SetLastError(process ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = process->ended ? process->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
  auto self = Self();
  Lock lk(G().mu);
  auto process = ResolveAs<ProcessState>(Process, self);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return process->pid;
}

namespace simwin::detail {
bool EndProcessLocked(const std::shared_ptr<ProcessState>& process, DWORD exitCode) {
  if (process->ended) return false;
  process->ended = true;
  process->exitCode = exitCode;
  auto& live = G().liveProcesses;
  if (process != G().root) live.erase(std::remove(live.begin(), live.end(), process), live.end());
  for (auto& [tid, thread] : G().threads) {
    if (thread->process == process && thread->processUiThread) {
      MSG m{};
      m.message = kStopMessage;
      m.time = NowTicks();
      thread->posted.push_back(m);
    }
  }
  G().cv.notify_all();
  return true;
}
}  // namespace simwin::detail

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto self = Self();
  simwin::TerminateHandler handler;
  {
    Lock lk(G().mu);
    auto process = ResolveAs<ProcessState>(hProcess, self);
    if (!process) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (!EndProcessLocked(process, uExitCode)) {
      SetLastError(ERROR_ACCESS_DENIED);  // what Windows reports for a process
                                          // that has ended
      return FALSE;
    }
    if (process != G().root) return TRUE;
    handler = G().terminateHandler;
  }
  if (!handler) _exit(static_cast<int>(uExitCode));
  handler(uExitCode);
  return TRUE;
}

DWORD WINAPI GetTickCount(void) { return NowTicks(); }
ULONGLONG WINAPI GetTickCount64(void) { return 0x100000 + ClockMs(); }

// ---------------------------------------------------------------------------------------
// Tool help
// ---------------------------------------------------------------------------------------
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD) {
  if (!(dwFlags & TH32CS_SNAPTHREAD)) {
    // Only the thread snapshot exists here.
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  Lock lk(G().mu);
  auto snapshot = std::make_shared<Snapshot>();
  std::vector<std::shared_ptr<ThreadState>> threads;
  for (auto& [tid, thread] : G().threads) threads.push_back(thread);
  std::sort(threads.begin(), threads.end(), [](auto& a, auto& b) { return a->tid < b->tid; });
  for (auto& thread : threads) {
    THREADENTRY32 e{};
    e.dwSize = sizeof(e);
    e.th32ThreadID = thread->tid;
    e.th32OwnerProcessID = thread->process->pid;
    e.tpBasePri = 8;
    snapshot->entries.push_back(e);
  }
  return AddHandle(snapshot);
}

static BOOL ThreadEntry(HANDLE hSnapshot, LPTHREADENTRY32 lpte, bool first) {
  auto self = Self();
  Lock lk(G().mu);
  auto snapshot = ResolveAs<Snapshot>(hSnapshot, self);
  if (!snapshot) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpte || lpte->dwSize < sizeof(THREADENTRY32)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (first) snapshot->next = 0;
  if (snapshot->next >= snapshot->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  DWORD size = lpte->dwSize;
  *lpte = snapshot->entries[snapshot->next++];
  lpte->dwSize = size;
  return TRUE;
}

BOOL WINAPI Thread32First(HANDLE hSnapshot, LPTHREADENTRY32 lpte) { return ThreadEntry(hSnapshot, lpte, true); }
BOOL WINAPI Thread32Next(HANDLE hSnapshot, LPTHREADENTRY32 lpte) { return ThreadEntry(hSnapshot, lpte, false); }

namespace simwin {

std::size_t LiveKernelHandleCount() {
  detail::Lock lk(detail::G().mu);
  return detail::G().handles.size();
}

}  // namespace simwin
