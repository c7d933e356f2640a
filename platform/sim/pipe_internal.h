// simwin's named pipes: the state shared by the server side (pipe.cpp) and the I/O calls (pipe_io.cpp). Everything
// here is guarded by G().mu.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/internal.h"

namespace simwin::detail {

// One read, write or connect. It completes once: the caller's OVERLAPPED gets the status and byte count, its event
// is set, and a completion routine is queued as an APC to the issuing thread.
struct IoOp {
  enum class Kind { Connect, Read, Write };
  Kind kind = Kind::Read;
  const void* end = nullptr;  // the handle's object, for CancelIo; never dereferenced
  std::shared_ptr<ThreadState> thread;
  LPOVERLAPPED ov = nullptr;
  LPOVERLAPPED_COMPLETION_ROUTINE routine = nullptr;
  bool done = false;
  DWORD error = ERROR_SUCCESS;
  DWORD bytes = 0;
  char* buffer = nullptr;  // a read's destination
  DWORD size = 0;          // a read's capacity, a write's length
};

// Bytes a client wrote, and the write that stays pending until they fit the server's buffer.
struct Chunk {
  std::vector<char> data;
  size_t readPos = 0;
  std::shared_ptr<IoOp> write;  // null once the write has completed
  size_t Unread() const { return data.size() - readPos; }
};

// What a client connected to: it outlives the server's handle and DisconnectNamedPipe, which the client end then
// reports.
struct Connection {
  enum class Server { Connected, Disconnected, Closed };
  DWORD serverPid = 0;
  DWORD quota = 0;  // the server's input buffer
  std::deque<Chunk> inbound;
  std::deque<std::shared_ptr<IoOp>> reads;  // the server's pending reads, in order
  bool clientOpen = true;
  Server server = Server::Connected;
};

struct PipeName;

// One instance, created by CreateNamedPipeW: listening (from creation, or from ConnectNamedPipe after a
// disconnection) until a client opens it, connected until DisconnectNamedPipe.
struct Instance {
  enum class State { Listening, Connected, Disconnected };
  std::shared_ptr<PipeName> name;
  State state = State::Listening;
  uint64_t listeningSince = 0;  // clients take the instance that has listened longest
  std::shared_ptr<Connection> conn;
  std::shared_ptr<IoOp> connect;  // a pending ConnectNamedPipe
  DWORD pid = 0;
  DWORD quota = 0;
};

struct PipeName {
  std::wstring key;  // case-folded
  DWORD maxInstances = 1;
  DWORD defaultTimeout = 50;
  DWORD access = PIPE_ACCESS_INBOUND;
  std::vector<std::shared_ptr<Instance>> instances;
};

struct ServerEnd : KObject {
  std::shared_ptr<Instance> instance;
  bool overlapped = false;
  ~ServerEnd() override;  // closing the handle: takes the lock
};

struct ClientEnd : KObject {
  std::shared_ptr<Connection> conn;
  bool overlapped = false;
  ~ClientEnd() override;  // closing the handle: takes the lock
};

// Pipes by case-folded name (without the `\\.\pipe\` prefix).
std::unordered_map<std::wstring, std::shared_ptr<PipeName>>& Pipes();
// The name after `\\.\pipe\`, case-folded; empty if `path` has no such prefix or nothing after it.
std::wstring PipeKey(LPCWSTR path);

// Completes `op` (see IoOp). Lock held.
void Complete(const std::shared_ptr<IoOp>& op, DWORD error, DWORD bytes);
// Hands buffered bytes to the server's pending reads, completes the writes whose bytes now fit the server's buffer,
// and fails the reads that can get nothing more. Lock held.
void Pump(Connection& conn);
// Fails every pending write of the connection and drops the bytes not yet read. Lock held.
void DropInbound(Connection& conn, DWORD error);

// What an I/O call returns for `op` once issued: done at once, pending on an overlapped handle (ERROR_IO_PENDING, or
// TRUE for the Ex calls), or else waited for, not alertably. Lock held.
BOOL FinishIo(Lock& lk, const std::shared_ptr<IoOp>& op, bool overlappedHandle, bool exCall, LPDWORD bytes);
// A new operation of the calling thread on the handle's object; a given OVERLAPPED is marked pending. Lock held.
std::shared_ptr<IoOp> NewIo(IoOp::Kind kind, const KObject& end, const std::shared_ptr<ThreadState>& self,
                            LPOVERLAPPED ov, LPOVERLAPPED_COMPLETION_ROUTINE routine);

}  // namespace simwin::detail
