// The installer-side component the engine talks to through a named pipe: it serves the pipe named after its
// process, reads one line per connection, hands each message box request to the host program, and sets the
// request's event once the host says the user has answered. Win32 API only: the same code runs in a simulated
// installer on simwin and inside tools/setup-sample.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win32.h"

namespace inproc {

// `\\.\pipe\<pid>{72A5D8AA-57E8-4C84-A170-6E4E924C03C9}`: the pipe of the component in process `pid`.
std::wstring PipeName(DWORD pid);

// One line: MessageBoxOnButton|<button>|<title>|<description>|<ok text>|<cancel text>|<event name>|<icon base64>
struct MessageBoxRequest {
  std::string line;    // as received, without its line break
  bool valid = false;  // eight fields: "MessageBoxOnButton", a signed 32-bit button, ..., an event name, ...
  int32_t button = 0;  // the button's window handle
  std::string title, description, okText, cancelText, eventName, iconBase64;  // UTF-8
};
MessageBoxRequest ParseRequest(const std::string& line);

// Sets the request's event (a manual-reset event the engine created): the user has answered. False if no event of
// that name exists.
bool Answer(const MessageBoxRequest& request);

// What tests set to make the component slow or hostile.
struct ComponentOptions {
  DWORD startDelayMs = 0;            // the pipe appears only after this long
  bool keepBusy = false;             // the pipe exists, but its one instance stays taken: no client gets in
  bool closeWithoutReading = false;  // each connection's server end is closed before anything is read
  DWORD inBufferSize = 64 * 1024;    // a client's write waits while it does not fit
  DWORD defaultTimeoutMs = 1000;     // what WaitNamedPipeW(NMPWAIT_USE_DEFAULT_WAIT) waits
};

class Component {
 public:
  // Called on the component's thread for each line read, valid or not; it may call Answer at once or keep the
  // request for later.
  using Handler = std::function<void(const MessageBoxRequest&)>;

  explicit Component(Handler handler, ComponentOptions options = {});
  ~Component();  // stops
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // Serves the pipe of the calling thread's process on a new thread of that process; false if it cannot start.
  bool Start();
  // Ends the thread promptly, whatever it waits for; no handler call follows. Not from the handler.
  void Stop();
  const std::wstring& Pipe() const { return pipe_; }
  // Why serving ended, if it ended by itself (the pipe could not be created): a Win32 error; 0 otherwise.
  DWORD Failure() const { return failure_; }

 private:
  enum class Wait { Done, Failed, Stopped };
  static DWORD WINAPI ThreadMain(LPVOID self);
  void Serve();
  HANDLE NewInstance();
  Wait Await(HANDLE pipe, OVERLAPPED& ov, DWORD& bytes);
  Wait Accept(HANDLE pipe);
  Wait ReadLine(HANDLE pipe, std::string& line);

  Handler handler_;
  ComponentOptions options_;
  std::wstring pipe_;
  HANDLE stop_ = nullptr;
  HANDLE io_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD failure_ = 0;
};

}  // namespace inproc
