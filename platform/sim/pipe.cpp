// simwin named pipes: names and instances, the server's calls, and clients opening a pipe. Behaviours that Microsoft
// documents cite the page; the others follow Wine's conformance tests (dlls/kernel32/tests/pipe.c in the Wine
// repository), which pass on Windows.
#include <algorithm>

#include "platform/sim/pipe_internal.h"

namespace simwin::detail {
namespace {

uint64_t g_listenCounter = 0;

template <class T>
std::shared_ptr<T> ResolveAs(HANDLE h, const std::shared_ptr<ThreadState>& self) {
  return std::dynamic_pointer_cast<T>(ResolveHandle(h, self));
}

void StartListening(Instance& instance) {
  instance.state = Instance::State::Listening;
  instance.listeningSince = ++g_listenCounter;
  G().cv.notify_all();  // WaitNamedPipeW
}

bool AnyListening(const PipeName& pipe) {
  return std::any_of(pipe.instances.begin(), pipe.instances.end(),
                     [](auto& i) { return i->state == Instance::State::Listening; });
}

// The server end leaves its connection: the client's pending writes fail with `error`, the server's own pending
// reads too, and the bytes not read are gone.
void LeaveConnection(Instance& instance, Connection::Server how, DWORD error) {
  auto conn = std::move(instance.conn);
  if (!conn) return;
  conn->server = how;
  DropInbound(*conn, error);
  for (auto& read : conn->reads) Complete(read, error, 0);
  conn->reads.clear();
}

}  // namespace

std::unordered_map<std::wstring, std::shared_ptr<PipeName>>& Pipes() {
  static auto* pipes = new std::unordered_map<std::wstring, std::shared_ptr<PipeName>>;
  return *pipes;
}

std::wstring PipeKey(LPCWSTR path) {
  static const std::wstring prefix = L"\\\\.\\pipe\\";
  if (!path) return {};
  std::wstring folded = FoldCase(path);
  if (folded.size() <= prefix.size() || folded.compare(0, prefix.size(), prefix) != 0) return {};
  return folded.substr(prefix.size());
}

ServerEnd::~ServerEnd() {
  Lock lk(G().mu);
  if (instance->connect) {
    Complete(instance->connect, ERROR_BROKEN_PIPE, 0);
    instance->connect = nullptr;
  }
  // Wine's tests: a client's pending write fails with ERROR_BROKEN_PIPE once the server closes its end.
  LeaveConnection(*instance, Connection::Server::Closed, ERROR_BROKEN_PIPE);
  auto& name = *instance->name;
  name.instances.erase(std::remove(name.instances.begin(), name.instances.end(), instance), name.instances.end());
  // The name lives as long as one of its instances.
  if (name.instances.empty()) Pipes().erase(name.key);
  G().cv.notify_all();
}

ClientEnd::~ClientEnd() {
  Lock lk(G().mu);
  // Wine's tests: the bytes of a write still pending when its handle goes are never read.
  auto& in = conn->inbound;
  for (auto it = in.begin(); it != in.end();) {
    if (it->write && it->write->end == this) {
      Complete(it->write, ERROR_BROKEN_PIPE, 0);
      it = in.erase(it);
    } else {
      ++it;
    }
  }
  conn->clientOpen = false;
  Pump(*conn);
  G().cv.notify_all();
}

}  // namespace simwin::detail

using namespace simwin::detail;

HANDLE WINAPI CreateNamedPipeW(LPCWSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances, DWORD,
                               DWORD nInBufferSize, DWORD nDefaultTimeOut, LPSECURITY_ATTRIBUTES) {
  if (!lpName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::wstring key = PipeKey(lpName);
  if (key.empty()) {
    // Wine's tests: a name that is no path is invalid; measured under Wine: another device's path is not found.
    SetLastError(FoldCase(lpName).rfind(L"\\\\.\\", 0) == 0 ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD access = dwOpenMode & PIPE_ACCESS_DUPLEX;
  if (nMaxInstances == 0 || nMaxInstances > PIPE_UNLIMITED_INSTANCES || access == 0 ||
      ((dwPipeMode & PIPE_READMODE_MESSAGE) && !(dwPipeMode & PIPE_TYPE_MESSAGE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (access != PIPE_ACCESS_INBOUND || (dwOpenMode & ~(PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                                        FILE_FLAG_FIRST_PIPE_INSTANCE)) ||
      (dwPipeMode & ~PIPE_REJECT_REMOTE_CLIENTS)) {
    SetLastError(ERROR_NOT_SUPPORTED);  // only inbound byte pipes in blocking mode
    return INVALID_HANDLE_VALUE;
  }
  auto self = Self();
  Lock lk(G().mu);
  auto& slot = Pipes()[key];
  if (!slot) {
    slot = std::make_shared<PipeName>();
    slot->key = key;
    slot->maxInstances = nMaxInstances;
    slot->access = access;
    // CreateNamedPipeW: "A value of zero will result in a default time-out of 50 milliseconds."
    // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-createnamedpipew
    slot->defaultTimeout = nDefaultTimeOut ? nDefaultTimeOut : 50;
  } else {
    // CreateNamedPipeW: more instances than the first one allowed fail with ERROR_PIPE_BUSY (checked first, as
    // Wine does); a second instance with FILE_FLAG_FIRST_PIPE_INSTANCE fails with ERROR_ACCESS_DENIED, and so does
    // one with other access (Wine's tests).
    if (slot->maxInstances != PIPE_UNLIMITED_INSTANCES && slot->instances.size() >= slot->maxInstances) {
      SetLastError(ERROR_PIPE_BUSY);
      return INVALID_HANDLE_VALUE;
    }
    if ((dwOpenMode & FILE_FLAG_FIRST_PIPE_INSTANCE) || slot->access != access) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  }
  auto instance = std::make_shared<Instance>();
  instance->name = slot;
  instance->pid = self->process->pid;
  instance->quota = nInBufferSize;
  slot->instances.push_back(instance);
  StartListening(*instance);
  auto end = std::make_shared<ServerEnd>();
  end->instance = instance;
  end->overlapped = (dwOpenMode & FILE_FLAG_OVERLAPPED) != 0;
  return AddHandle(end);
}

BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED lpOverlapped) {
  auto self = Self();
  std::shared_ptr<KObject> object;  // released after the lock: it may be the last reference
  Lock lk(G().mu);
  object = ResolveHandle(hNamedPipe, self);
  auto end = std::dynamic_pointer_cast<ServerEnd>(object);
  if (!end) {
    SetLastError(std::dynamic_pointer_cast<ClientEnd>(object) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Instance& instance = *end->instance;
  if (instance.state == Instance::State::Connected) {
    // ConnectNamedPipe: a client that connected first gives ERROR_PIPE_CONNECTED; one that also closed already,
    // ERROR_NO_DATA (Wine's tests). Either way the server may read what it wrote.
    // https://learn.microsoft.com/windows/win32/api/namedpipeapi/nf-namedpipeapi-connectnamedpipe
    SetLastError(instance.conn->clientOpen ? ERROR_PIPE_CONNECTED : ERROR_NO_DATA);
    return FALSE;
  }
  if (instance.connect) {
    SetLastError(ERROR_PIPE_LISTENING);
    return FALSE;
  }
  if (instance.state == Instance::State::Disconnected) StartListening(instance);
  auto op = NewIo(IoOp::Kind::Connect, *end, self, lpOverlapped, nullptr);
  instance.connect = op;
  return FinishIo(lk, op, end->overlapped, false, nullptr);
}

BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe) {
  auto self = Self();
  std::shared_ptr<ServerEnd> end;
  Lock lk(G().mu);
  end = ResolveAs<ServerEnd>(hNamedPipe, self);
  if (!end) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Instance& instance = *end->instance;
  if (instance.state == Instance::State::Disconnected) {
    SetLastError(ERROR_PIPE_NOT_CONNECTED);
    return FALSE;
  }
  if (instance.connect) {
    Complete(instance.connect, ERROR_PIPE_NOT_CONNECTED, 0);
    instance.connect = nullptr;
  }
  // Wine's tests: the client's pending writes fail with ERROR_PIPE_NOT_CONNECTED, and so do its later calls.
  LeaveConnection(instance, Connection::Server::Disconnected, ERROR_PIPE_NOT_CONNECTED);
  instance.state = Instance::State::Disconnected;
  G().cv.notify_all();
  return TRUE;
}

BOOL WINAPI WaitNamedPipeW(LPCWSTR lpNamedPipeName, DWORD nTimeOut) {
  const std::wstring key = PipeKey(lpNamedPipeName);
  if (key.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return FALSE;
  }
  Lock lk(G().mu);
  bool deadlineSet = false;
  Clock::time_point deadline;
  for (;;) {
    auto it = Pipes().find(key);
    // WaitNamedPipeW: "If no instances of the specified named pipe exist, the WaitNamedPipe function returns
    // immediately, regardless of the time-out value"; it succeeds once an instance can be connected to, and
    // NMPWAIT_USE_DEFAULT_WAIT waits for the time-out the server gave CreateNamedPipe.
    // https://learn.microsoft.com/windows/win32/api/namedpipeapi/nf-namedpipeapi-waitnamedpipew
    if (it == Pipes().end()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    if (AnyListening(*it->second)) return TRUE;
    if (!deadlineSet) {
      const DWORD ms = nTimeOut == NMPWAIT_USE_DEFAULT_WAIT ? it->second->defaultTimeout : nTimeOut;
      deadline = ms == NMPWAIT_WAIT_FOREVER ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(ms);
      deadlineSet = true;
    }
    if (Clock::now() >= deadline) {
      SetLastError(ERROR_SEM_TIMEOUT);
      return FALSE;
    }
    if (deadline == Clock::time_point::max()) {
      G().cv.wait(lk);
    } else {
      G().cv.wait_until(lk, deadline);
    }
  }
}

BOOL WINAPI GetNamedPipeServerProcessId(HANDLE Pipe, ULONG* ServerProcessId) {
  auto self = Self();
  std::shared_ptr<KObject> object;
  Lock lk(G().mu);
  object = ResolveHandle(Pipe, self);
  auto server = std::dynamic_pointer_cast<ServerEnd>(object);
  auto client = std::dynamic_pointer_cast<ClientEnd>(object);
  if (!server && !client) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!ServerProcessId) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // GetNamedPipeServerProcessId: the process of the pipe's server, asked from either end; here the logical process
  // of the thread that created the instance.
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getnamedpipeserverprocessid
  // The server's process stays known to the client after the server closed its end; after DisconnectNamedPipe
  // Windows reports the client's end as not connected (Wine's tests, marked todo_wine: Wine still answers).
  if (client && client->conn->server == Connection::Server::Disconnected) {
    SetLastError(ERROR_PIPE_NOT_CONNECTED);
    return FALSE;
  }
  *ServerProcessId = server ? server->instance->pid : client->conn->serverPid;
  return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  const std::wstring key = PipeKey(lpFileName);
  if (key.empty()) {
    SetLastError(ERROR_NOT_SUPPORTED);  // simwin has pipes, no files
    return INVALID_HANDLE_VALUE;
  }
  Lock lk(G().mu);
  auto it = Pipes().find(key);
  if (it == Pipes().end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  PipeName& pipe = *it->second;
  // The client end of an inbound pipe can only write: asking to read is denied (measured under Wine).
  if (dwDesiredAccess & GENERIC_READ) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<Instance> instance;
  for (auto& candidate : pipe.instances) {
    if (candidate->state == Instance::State::Listening &&
        (!instance || candidate->listeningSince < instance->listeningSince)) {
      instance = candidate;
    }
  }
  if (!instance) {
    SetLastError(ERROR_PIPE_BUSY);
    return INVALID_HANDLE_VALUE;
  }
  auto conn = std::make_shared<Connection>();
  conn->serverPid = instance->pid;
  conn->quota = instance->quota;
  instance->conn = conn;
  instance->state = Instance::State::Connected;
  if (instance->connect) {
    Complete(instance->connect, ERROR_SUCCESS, 0);
    instance->connect = nullptr;
  }
  auto end = std::make_shared<ClientEnd>();
  end->conn = conn;
  end->overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
  G().cv.notify_all();
  SetLastError(ERROR_SUCCESS);
  return AddHandle(end);
}
