// simwin pipe I/O: reads on the server end, writes on the client end, synchronous or overlapped, completion through
// events and APCs, cancellation.
#include <algorithm>
#include <cstring>

#include "platform/sim/pipe_internal.h"

namespace simwin::detail {
namespace {

// The NTSTATUS kept in OVERLAPPED::Internal for each error an operation completes with.
struct StatusCode {
  DWORD error;
  ULONG_PTR status;
};
constexpr StatusCode kStatuses[] = {
    {ERROR_SUCCESS, 0x00000000},             // STATUS_SUCCESS
    {ERROR_OPERATION_ABORTED, 0xC0000120},   // STATUS_CANCELLED
    {ERROR_BROKEN_PIPE, 0xC000014B},         // STATUS_PIPE_BROKEN
    {ERROR_PIPE_NOT_CONNECTED, 0xC00000B0},  // STATUS_PIPE_DISCONNECTED
    {ERROR_NO_DATA, 0xC00000B1},             // STATUS_PIPE_CLOSING
};
constexpr ULONG_PTR kUnsuccessful = 0xC0000001;

ULONG_PTR StatusOf(DWORD error) {
  for (const auto& s : kStatuses) {
    if (s.error == error) return s.status;
  }
  return kUnsuccessful;
}

DWORD ErrorOf(ULONG_PTR status) {
  for (const auto& s : kStatuses) {
    if (s.status == status) return s.error;
  }
  return ERROR_GEN_FAILURE;
}

// Completed operations whose routine waits for an alertable wait of its thread, by the key its APC carries. Kept
// here, not in the APC, so that an APC dropped with its thread leaks nothing.
std::unordered_map<ULONG_PTR, std::shared_ptr<IoOp>>& QueuedRoutines() {
  static auto* routines = new std::unordered_map<ULONG_PTR, std::shared_ptr<IoOp>>;
  return *routines;
}

void WINAPI RunCompletionRoutine(ULONG_PTR key) {
  std::shared_ptr<IoOp> op;
  {
    Lock lk(G().mu);
    auto it = QueuedRoutines().find(key);
    if (it == QueuedRoutines().end()) return;
    op = std::move(it->second);
    QueuedRoutines().erase(it);
  }
  op->routine(op->error, op->bytes, op->ov);
}

size_t Unread(const Connection& conn) {
  size_t n = 0;
  for (const auto& chunk : conn.inbound) n += chunk.Unread();
  return n;
}

// Moves up to `size` buffered bytes into `buffer`; a write whose bytes are all read completes.
DWORD Take(Connection& conn, char* buffer, DWORD size) {
  DWORD taken = 0;
  while (taken < size && !conn.inbound.empty()) {
    Chunk& chunk = conn.inbound.front();
    const size_t n = std::min<size_t>(size - taken, chunk.Unread());
    std::memcpy(buffer + taken, chunk.data.data() + chunk.readPos, n);
    chunk.readPos += n;
    taken += static_cast<DWORD>(n);
    if (chunk.Unread() == 0) {
      if (chunk.write) Complete(chunk.write, ERROR_SUCCESS, static_cast<DWORD>(chunk.data.size()));
      conn.inbound.pop_front();
    }
  }
  return taken;
}

template <class T>
std::shared_ptr<T> As(const std::shared_ptr<KObject>& object) {
  return std::dynamic_pointer_cast<T>(object);
}

// Issues a write of the client end: fails at once if the server has gone, else pending until its bytes fit.
BOOL Write(HANDLE hFile, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED ov,
           LPOVERLAPPED_COMPLETION_ROUTINE routine) {
  if (written) *written = 0;
  auto self = Self();
  std::shared_ptr<KObject> object;  // released after the lock: it may be the last reference
  Lock lk(G().mu);
  object = ResolveHandle(hFile, self);
  auto end = As<ClientEnd>(object);
  if (!end) {
    SetLastError(As<ServerEnd>(object) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Connection& conn = *end->conn;
  // Wine's tests: writing once the server disconnected fails with ERROR_PIPE_NOT_CONNECTED, once it closed its end
  // with ERROR_NO_DATA; nothing is queued to complete.
  if (conn.server != Connection::Server::Connected) {
    SetLastError(conn.server == Connection::Server::Closed ? ERROR_NO_DATA : ERROR_PIPE_NOT_CONNECTED);
    return FALSE;
  }
  auto op = NewIo(IoOp::Kind::Write, *end, self, ov, routine);
  op->size = size;
  if (size == 0) {
    Complete(op, ERROR_SUCCESS, 0);
  } else {
    Chunk chunk;
    chunk.data.assign(static_cast<const char*>(buffer), static_cast<const char*>(buffer) + size);
    chunk.write = op;
    conn.inbound.push_back(std::move(chunk));
    Pump(conn);
  }
  return FinishIo(lk, op, end->overlapped, routine != nullptr, written);
}

}  // namespace

std::shared_ptr<IoOp> NewIo(IoOp::Kind kind, const KObject& end, const std::shared_ptr<ThreadState>& self,
                            LPOVERLAPPED ov, LPOVERLAPPED_COMPLETION_ROUTINE routine) {
  auto op = std::make_shared<IoOp>();
  op->kind = kind;
  op->end = &end;
  op->thread = self;
  op->ov = ov;
  op->routine = routine;
  if (ov) {
    ov->Internal = STATUS_PENDING;
    // A reused OVERLAPPED's event is reset when the operation starts, as Windows does for its I/O.
    if (ov->hEvent) {
      if (auto ev = std::dynamic_pointer_cast<EventObj>(ResolveHandle(ov->hEvent, self))) ev->signaled = false;
    }
  }
  return op;
}

void Complete(const std::shared_ptr<IoOp>& op, DWORD error, DWORD bytes) {
  if (op->done) return;
  op->done = true;
  op->error = error;
  op->bytes = bytes;
  if (op->ov) {
    op->ov->Internal = StatusOf(error);
    op->ov->InternalHigh = bytes;
    if (op->ov->hEvent) {
      if (auto ev = std::dynamic_pointer_cast<EventObj>(ResolveHandle(op->ov->hEvent, op->thread))) {
        ev->signaled = true;
      }
    }
  }
  // WriteFileEx: the routine is called when the issuing thread is in an alertable wait, whenever the write completed.
  // https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-writefileex
  if (op->routine && !op->thread->ended) {
    const auto key = reinterpret_cast<ULONG_PTR>(op.get());
    QueuedRoutines()[key] = op;
    op->thread->apcs.emplace_back(&RunCompletionRoutine, key);
  }
  G().cv.notify_all();
}

void Pump(Connection& conn) {
  while (!conn.reads.empty() && Unread(conn) > 0) {
    auto read = conn.reads.front();
    conn.reads.pop_front();
    Complete(read, ERROR_SUCCESS, Take(conn, read->buffer, read->size));
  }
  // Wine's tests: a write completes once its bytes and those queued before them fit the server's input buffer.
  size_t queued = 0;
  for (auto& chunk : conn.inbound) {
    queued += chunk.Unread();
    if (chunk.write && queued <= conn.quota) {
      Complete(chunk.write, ERROR_SUCCESS, static_cast<DWORD>(chunk.data.size()));
      chunk.write = nullptr;
    }
  }
  if (!conn.clientOpen && conn.inbound.empty()) {
    for (auto& read : conn.reads) Complete(read, ERROR_BROKEN_PIPE, 0);
    conn.reads.clear();
  }
}

void DropInbound(Connection& conn, DWORD error) {
  for (auto& chunk : conn.inbound) {
    if (chunk.write) Complete(chunk.write, error, 0);
  }
  conn.inbound.clear();
}

BOOL FinishIo(Lock& lk, const std::shared_ptr<IoOp>& op, bool overlappedHandle, bool exCall, LPDWORD bytes) {
  if (!op->done) {
    if (op->ov && overlappedHandle) {
      if (exCall) return TRUE;
      SetLastError(ERROR_IO_PENDING);
      return FALSE;
    }
    G().cv.wait(lk, [&] { return op->done; });
  }
  if (bytes) *bytes = op->bytes;
  if (op->error != ERROR_SUCCESS && !exCall) {
    SetLastError(op->error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace simwin::detail

using namespace simwin::detail;

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto self = Self();
  std::shared_ptr<KObject> object;  // released after the lock: it may be the last reference
  Lock lk(G().mu);
  object = ResolveHandle(hFile, self);
  auto end = As<ServerEnd>(object);
  if (!end) {
    SetLastError(As<ClientEnd>(object) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Instance& instance = *end->instance;
  // Wine's tests: before a client came, ERROR_PIPE_LISTENING; after DisconnectNamedPipe, ERROR_PIPE_NOT_CONNECTED.
  if (instance.state != Instance::State::Connected) {
    SetLastError(instance.state == Instance::State::Listening ? ERROR_PIPE_LISTENING : ERROR_PIPE_NOT_CONNECTED);
    return FALSE;
  }
  Connection& conn = *instance.conn;
  if (Unread(conn) == 0 && !conn.clientOpen) {
    SetLastError(ERROR_BROKEN_PIPE);  // the client is gone and everything it wrote has been read
    return FALSE;
  }
  auto op = NewIo(IoOp::Kind::Read, *end, self, lpOverlapped, nullptr);
  op->buffer = static_cast<char*>(lpBuffer);
  op->size = nNumberOfBytesToRead;
  conn.reads.push_back(op);
  Pump(conn);
  return FinishIo(lk, op, end->overlapped, false, lpNumberOfBytesRead);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  return Write(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped, nullptr);
}

BOOL WINAPI WriteFileEx(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPOVERLAPPED lpOverlapped,
                        LPOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  if (!lpOverlapped || !lpCompletionRoutine) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Write(hFile, lpBuffer, nNumberOfBytesToWrite, nullptr, lpOverlapped, lpCompletionRoutine);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
  auto self = Self();
  std::shared_ptr<KObject> object;  // released after the lock: it may be the last reference
  Lock lk(G().mu);
  object = ResolveHandle(hFile, self);
  auto server = As<ServerEnd>(object);
  auto client = As<ClientEnd>(object);
  if (!server && !client) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // CancelIo: only what the calling thread issued on this handle; each completes with ERROR_OPERATION_ABORTED.
  // https://learn.microsoft.com/windows/win32/api/ioapiset/nf-ioapiset-cancelio
  auto mine = [&](const std::shared_ptr<IoOp>& op) {
    return op && !op->done && op->end == object.get() && op->thread == self;
  };
  if (server) {
    Instance& instance = *server->instance;
    if (mine(instance.connect)) {
      Complete(instance.connect, ERROR_OPERATION_ABORTED, 0);
      instance.connect = nullptr;
    }
    if (instance.conn) {
      auto& reads = instance.conn->reads;
      for (auto& read : reads) {
        if (mine(read)) Complete(read, ERROR_OPERATION_ABORTED, 0);
      }
      reads.erase(std::remove_if(reads.begin(), reads.end(), [](auto& r) { return r->done; }), reads.end());
    }
  } else {
    // Wine's tests: a cancelled write takes its unread bytes with it; those after it may fit now.
    auto& in = client->conn->inbound;
    for (auto it = in.begin(); it != in.end();) {
      if (mine(it->write)) {
        Complete(it->write, ERROR_OPERATION_ABORTED, 0);
        it = in.erase(it);
      } else {
        ++it;
      }
    }
    Pump(*client->conn);
  }
  return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
  if (!lpOverlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lk(G().mu);
  if (lpOverlapped->Internal == STATUS_PENDING) {
    if (!bWait) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    G().cv.wait(lk, [&] { return lpOverlapped->Internal != STATUS_PENDING; });
  }
  if (lpNumberOfBytesTransferred) *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
  if (lpOverlapped->Internal != 0) {
    SetLastError(ErrorOf(lpOverlapped->Internal));
    return FALSE;
  }
  return TRUE;
}
