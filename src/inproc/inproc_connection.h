// The link to the component inside the installer process: a named pipe it serves, one
// line of text per connection, written by the engine and never read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/handles.h"
#include "inproc/async_pipe.h"
#include "inproc/io_service.h"
#include "platform/win32.h"

namespace installation_assistant {

inline constexpr wchar_t kInprocPipeSuffix[] = L"{72A5D8AA-57E8-4C84-A170-6E4E924C03C9}";
inline constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
// How often a request looks for the pipe, and how long each look may wait on it.
inline constexpr DWORD kPipePollMs = 50;
inline constexpr DWORD kPipeProbeMs = 1;
inline constexpr DWORD kNoTimeout = INFINITE;

// The process id in decimal, then the braced identifier.
std::wstring InprocConnectionName(DWORD processId);

struct MessageBoxRequest {
  HWND window = nullptr;
  std::vector<std::uint8_t> icon;  // the notification icon entry 1; may be empty
  std::string title;
  std::string description;
  std::string okButton;
  std::string cancelButton;
  std::string eventName;
};

// "MessageBoxOnButton|<window>|<title>|<description>|<ok>|<cancel>|<event>|<icon>\n",
// the icon in standard Base64. Texts go as they are ("|" is not escaped). Throws
// std::logic_error "Protocol error" when the line cannot be built.
std::string FormatMessageBoxOnButton(const MessageBoxRequest& request);
std::string Base64(const std::vector<std::uint8_t>& bytes);

// One write of one line on one opened pipe.
class PipeConnection {
 public:
  PipeConnection(std::shared_ptr<AsyncPipe> pipe, IOService& service) : pipe_(std::move(pipe)), service_(service) {}
  // On the service's worker. A failed or short write is traced when it completes.
  void Post(const std::string& line);

 private:
  std::shared_ptr<AsyncPipe> pipe_;
  IOService& service_;
};

class InprocConnection {
 public:
  // name: InprocConnectionName of the installer, whose process must serve the pipe.
  // Starts the connection's I/O service.
  InprocConnection(std::wstring name, DWORD installerProcessId);
  // Stops waiting requests within one poll, then stops the I/O service.
  ~InprocConnection();
  InprocConnection(const InprocConnection&) = delete;
  InprocConnection& operator=(const InprocConnection&) = delete;

  // Builds the line on the calling thread and returns at once; the worker waits for the
  // pipe (until the connection goes), opens it and writes the line.
  void MessageBoxOnButton(const MessageBoxRequest& request);

  const std::wstring& Path() const { return path_; }

  // Waits for the pipe until it opens, the time-out (ms, or kNoTimeout) passes or the
  // stop event is set. Every wait inside is short: neither the installer's default
  // time-out nor a pipe whose instances are all busy can hold it past the stop.
  static UniqueHandle TryWaitPipe(const std::wstring& path, HANDLE stopEvent, DWORD timeout);

 private:
  const std::wstring name_;
  const std::wstring path_;
  const DWORD installerProcessId_;
  // Manual reset: every request still queued at the stop must see it, not just the first.
  SharedHandle stopEvent_;
  IOService service_;
};

}  // namespace installation_assistant
