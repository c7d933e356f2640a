// The component's thread: one pipe instance, overlapped, so that every wait also watches the stop event.
#include "inproc_component.h"

namespace inproc {
namespace {

constexpr DWORD kReadChunk = 4096;
constexpr size_t kLongestLine = 16 * 1024 * 1024;  // a client that never ends its line is dropped here

}  // namespace

Component::Component(Handler handler, ComponentOptions options)
    : handler_(std::move(handler)), options_(options) {}

Component::~Component() { Stop(); }

bool Component::Start() {
  if (thread_) return true;
  pipe_ = PipeName(GetCurrentProcessId());
  failure_ = 0;
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  io_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Created from the calling thread, the serving thread belongs to its process: the pipe's server process.
  thread_ = stop_ && io_ ? CreateThread(nullptr, 0, &Component::ThreadMain, this, 0, nullptr) : nullptr;
  if (!thread_) Stop();
  return thread_ != nullptr;
}

void Component::Stop() {
  if (thread_) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  for (HANDLE* event : {&stop_, &io_}) {
    if (*event) CloseHandle(*event);
    *event = nullptr;
  }
}

DWORD WINAPI Component::ThreadMain(LPVOID self) {
  static_cast<Component*>(self)->Serve();
  return 0;
}

HANDLE Component::NewInstance() {
  HANDLE pipe = CreateNamedPipeW(pipe_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, options_.inBufferSize,
                                 options_.defaultTimeoutMs, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    failure_ = GetLastError();
    return nullptr;
  }
  return pipe;
}

void Component::Serve() {
  if (options_.startDelayMs && WaitForSingleObject(stop_, options_.startDelayMs) == WAIT_OBJECT_0) return;
  HANDLE pipe = NewInstance();
  if (!pipe) return;
  if (options_.keepBusy) {
    // Its own client takes the only instance: the name exists, no client gets in.
    HANDLE squatter = CreateFileW(pipe_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    WaitForSingleObject(stop_, INFINITE);
    if (squatter != INVALID_HANDLE_VALUE) CloseHandle(squatter);
    CloseHandle(pipe);
    return;
  }
  for (;;) {
    const Wait accepted = Accept(pipe);
    if (accepted == Wait::Stopped) break;
    if (accepted == Wait::Failed || options_.closeWithoutReading) {
      // The server end goes: a write still pending fails, later ones find the pipe gone. A fresh instance follows.
      CloseHandle(pipe);
      pipe = NewInstance();
      if (!pipe) return;
      continue;
    }
    std::string line;
    const Wait read = ReadLine(pipe, line);
    if (read == Wait::Stopped) break;
    DisconnectNamedPipe(pipe);
    if (read == Wait::Done) handler_(ParseRequest(line));
  }
  CloseHandle(pipe);
}

Component::Wait Component::Await(HANDLE pipe, OVERLAPPED& ov, DWORD& bytes) {
  HANDLE events[] = {stop_, io_};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
    // The operation must be over before its OVERLAPPED goes.
    CancelIo(pipe);
    GetOverlappedResult(pipe, &ov, &bytes, TRUE);
    return Wait::Stopped;
  }
  return GetOverlappedResult(pipe, &ov, &bytes, FALSE) ? Wait::Done : Wait::Failed;
}

Component::Wait Component::Accept(HANDLE pipe) {
  OVERLAPPED ov{};
  ov.hEvent = io_;
  if (ConnectNamedPipe(pipe, &ov)) return Wait::Done;
  DWORD bytes = 0;
  switch (GetLastError()) {
    case ERROR_IO_PENDING:
      return Await(pipe, ov, bytes);
    case ERROR_PIPE_CONNECTED:  // the client came first
    case ERROR_NO_DATA:         // and has even gone already: what it wrote is still there
      return Wait::Done;
    default:
      return Wait::Failed;
  }
}

Component::Wait Component::ReadLine(HANDLE pipe, std::string& line) {
  char buffer[kReadChunk];
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = io_;
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, kReadChunk, &got, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING) return line.empty() ? Wait::Failed : Wait::Done;  // the client left
      const Wait wait = Await(pipe, ov, got);
      if (wait == Wait::Stopped) return wait;
      if (wait == Wait::Failed) return line.empty() ? Wait::Failed : Wait::Done;
    }
    line.append(buffer, got);
    const size_t end = line.find('\n');
    if (end != std::string::npos) {
      line.resize(end);
      return Wait::Done;
    }
    if (line.size() > kLongestLine) return Wait::Failed;
  }
}

}  // namespace inproc
