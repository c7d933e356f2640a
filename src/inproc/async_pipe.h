// A pipe handle opened for overlapped I/O, written with WriteFileEx on the I/O service's
// worker, whose alertable waits run the completion routines.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/handles.h"
#include "inproc/io_service.h"
#include "platform/win32.h"

namespace installation_assistant {

class AsyncPipe final : public ICancellable, public std::enable_shared_from_this<AsyncPipe> {
 public:
  // (Windows error code, bytes transferred, the buffer written).
  using Completion = std::function<void(DWORD error, DWORD bytes, const std::shared_ptr<const std::string>& buffer)>;

  // Registers with the service, which cancels the pipe's I/O when it stops. Throws
  // std::logic_error "Invalid pipe handle" for INVALID_HANDLE_VALUE. The service must
  // outlive the pipe's pending writes (its worker runs their completions).
  static std::shared_ptr<AsyncPipe> Create(IOService& service, UniqueHandle handle);
  ~AsyncPipe() override = default;
  AsyncPipe(const AsyncPipe&) = delete;
  AsyncPipe& operator=(const AsyncPipe&) = delete;

  // CancelIo; throws std::system_error "Failed to cancel IO".
  void Cancel() override;
  // On the service's worker only. The completion runs there, during an alertable wait;
  // the request keeps the buffer and the pipe alive until then. Throws std::system_error
  // "Failed to write pipe" when the write cannot start.
  void WritePipe(std::shared_ptr<const std::string> buffer, Completion completion);

  HANDLE Handle() const { return handle_.Get(); }

 private:
  AsyncPipe(IOService& service, UniqueHandle handle);
  static void CALLBACK OnComplete(DWORD error, DWORD bytes, LPOVERLAPPED overlapped);

  IOService& service_;
  UniqueHandle handle_;
  // Declared after the handle: the registration goes first, then the handle is closed.
  std::unique_ptr<IOService::Registration> registration_;
};

}  // namespace installation_assistant
