#include "inproc/inproc_connection.h"

#include <sstream>
#include <stdexcept>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

// Whoever creates the pipe name first would receive the request, learn the event name and
// could fake the user's answer: only the installer's own pipe is written to.
bool ServedByInstaller(HANDLE pipe, DWORD installerProcessId) {
  ULONG server = 0;
  if (!GetNamedPipeServerProcessId(pipe, &server)) {
    const DWORD error = GetLastError();
    TRACE(Error) << "Cannot tell the Inproc pipe's server process (error " << error << "); message dropped";
    return false;
  }
  if (server != installerProcessId) {
    TRACE(Error) << "Inproc pipe served by process " << server << ", not by the installer " << installerProcessId
                 << "; message dropped";
    return false;
  }
  return true;
}

}  // namespace

std::wstring InprocConnectionName(DWORD processId) { return std::to_wstring(processId) + kInprocPipeSuffix; }

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const std::uint32_t chunk = (std::uint32_t{bytes[i]} << 16) | (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
    text += kAlphabet[(chunk >> 18) & 63];
    text += kAlphabet[(chunk >> 12) & 63];
    text += left > 1 ? kAlphabet[(chunk >> 6) & 63] : '=';
    text += left > 2 ? kAlphabet[chunk & 63] : '=';
  }
  return text;
}

std::string FormatMessageBoxOnButton(const MessageBoxRequest& request) {
  std::ostringstream line;
  const auto field = [&line](const auto& value) {
    line << '|' << value;
    if (!line) throw std::logic_error("Protocol error");
  };
  line << "MessageBoxOnButton";
  field(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(request.window)));
  field(request.title);
  field(request.description);
  field(request.okButton);
  field(request.cancelButton);
  field(request.eventName);
  field(Base64(request.icon));
  line << '\n';
  if (!line) throw std::logic_error("Protocol error");
  return line.str();
}

void PipeConnection::Post(const std::string& line) {
  TRACE(Info) << "PostMessage: " << line;
  auto buffer = std::make_shared<const std::string>(line);
  std::shared_ptr<AsyncPipe> pipe = pipe_;
  pipe_->WritePipe(buffer, [pipe](DWORD error, DWORD bytes, const std::shared_ptr<const std::string>& written) {
    if (error != 0) throw Win32Error(error, "Write pipe failed");
    if (bytes != written->size()) throw std::logic_error("Write pipe failed, invalid message size");
  });
}

InprocConnection::InprocConnection(std::wstring name, DWORD installerProcessId)
    : name_(std::move(name)),
      path_(kPipePrefix + name_),
      installerProcessId_(installerProcessId),
      stopEvent_(MakeSharedHandle(CreateEventHandle(true, false))) {}

InprocConnection::~InprocConnection() {
  if (!SetEvent(stopEvent_.get())) {
    try {
      throw LastWin32Error("Failed to fire Inproc connection stop event");
    } catch (...) {
      TraceException("InprocConnection::~InprocConnection");
    }
  }
  try {
    service_.Stop();
  } catch (...) {
    TraceException("InprocConnection::~InprocConnection");
  }
}

void InprocConnection::MessageBoxOnButton(const MessageBoxRequest& request) {
  std::string line = FormatMessageBoxOnButton(request);
  // The request holds what it needs, not the connection, so that the connection's
  // destructor (which stops the waiting) can always run.
  IOService* service = &service_;
  service_.Post([path = path_, stop = stopEvent_, installer = installerProcessId_, service, line = std::move(line)] {
    UniqueHandle handle = TryWaitPipe(path, stop.get(), kNoTimeout);
    if (!handle) return;
    if (!ServedByInstaller(handle.Get(), installer)) return;
    PipeConnection(AsyncPipe::Create(*service, std::move(handle)), *service).Post(line);
  });
}

UniqueHandle InprocConnection::TryWaitPipe(const std::wstring& path, HANDLE stopEvent, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (bool first = true;; first = false) {
    if (!first && timeout != kNoTimeout && GetTickCount() - start >= timeout) {
      TRACE(Info) << "Waiting for Inproc pipe aborted, timeout";
      return UniqueHandle();
    }
    // An explicit short wait: NMPWAIT_USE_DEFAULT_WAIT would wait as long as the
    // installer's server chose (Microsoft's WaitNamedPipeW documentation).
    if (WaitNamedPipeW(path.c_str(), kPipeProbeMs)) {
      TRACE(Info) << "Inproc pipe available";
      UniqueHandle handle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                      nullptr));
      if (handle) return handle;
      const DWORD error = GetLastError();
      // Another client took the free instance first, or the server just closed it.
      if (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) throw Win32Error(error, "Failed to open pipe");
    } else {
      const DWORD error = GetLastError();
      if (error != ERROR_SEM_TIMEOUT && error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) {
        throw Win32Error(error, "Failed to wait pipe");
      }
    }
    TRACE(Info) << "Waiting for Inproc pipe";
    const DWORD waited = WaitForSingleObject(stopEvent, kPipePollMs);
    if (waited == WAIT_OBJECT_0) {
      TRACE(Info) << "Waiting for Inproc pipe aborted, stop requested";
      return UniqueHandle();
    }
    if (waited != WAIT_TIMEOUT) throw LastWin32Error("Wait for Inproc pipe failed");
  }
}

}  // namespace installation_assistant
