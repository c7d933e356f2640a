#include "inproc/async_pipe.h"

#include <stdexcept>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

struct WriteRequest {
  OVERLAPPED overlapped{};
  AsyncPipe::Completion completion;
  std::shared_ptr<const std::string> buffer;
  std::shared_ptr<AsyncPipe> pipe;
  IOService* service = nullptr;
};

}  // namespace

std::shared_ptr<AsyncPipe> AsyncPipe::Create(IOService& service, UniqueHandle handle) {
  if (handle.Get() == INVALID_HANDLE_VALUE) throw std::logic_error("Invalid pipe handle");
  return std::shared_ptr<AsyncPipe>(new AsyncPipe(service, std::move(handle)));
}

AsyncPipe::AsyncPipe(IOService& service, UniqueHandle handle)
    : service_(service), handle_(std::move(handle)), registration_(service.RegisterIOCancellation(this)) {}

void AsyncPipe::Cancel() {
  if (!CancelIo(handle_.Get())) throw LastWin32Error("Failed to cancel IO");
}

void AsyncPipe::WritePipe(std::shared_ptr<const std::string> buffer, Completion completion) {
  // Completion routines are queued to the thread that started the write.
  if (!service_.IsWorkerThread()) throw std::logic_error("WritePipe called off the IOService worker");
  auto request = std::make_unique<WriteRequest>();
  request->completion = std::move(completion);
  request->buffer = std::move(buffer);
  request->pipe = shared_from_this();
  request->service = &service_;
  // WriteFileEx leaves hEvent to the caller (Microsoft's WriteFileEx documentation): it
  // carries the request to the completion routine.
  request->overlapped.hEvent = request.get();
  if (!WriteFileEx(handle_.Get(), request->buffer->data(), static_cast<DWORD>(request->buffer->size()),
                   &request->overlapped, &AsyncPipe::OnComplete)) {
    throw LastWin32Error("Failed to write pipe");
  }
  service_.WriteStarted();
  WriteRequest* started = request.release();
  TRACE(Debug) << "Start WritePipe: #" << static_cast<void*>(started);
}

void CALLBACK AsyncPipe::OnComplete(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
  std::unique_ptr<WriteRequest> request(static_cast<WriteRequest*>(overlapped->hEvent));
  request->service->WriteCompleted();
  // Nothing may unwind through the system's APC dispatch.
  try {
    if (error != 0) {
      TRACE(Error) << "IO #" << static_cast<void*>(request.get()) << " completing with result: 0x" << std::hex
                   << error;
    } else {
      TRACE(Debug) << "IO #" << static_cast<void*>(request.get()) << " completing";
    }
    if (!request->completion) throw std::bad_function_call();
    request->completion(error, bytes, request->buffer);
  } catch (...) {
    TraceException("AsyncPipe::OnComplete");
  }
}

}  // namespace installation_assistant
