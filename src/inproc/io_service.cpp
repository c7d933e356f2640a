#include "inproc/io_service.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/trace.h"
#include "common/win32_error.h"

namespace installation_assistant {
namespace {

// After the stop, how long cancelled writes get to deliver their completions, so that
// their requests and pipes are freed rather than left behind.
constexpr DWORD kCompletionGraceMs = 1000;
constexpr DWORD kCompletionPollMs = 10;

}  // namespace

struct IOService::Registration::Registry {
  std::mutex lock;
  std::vector<ICancellable*> objects;
};

IOService::Registration::~Registration() {
  std::lock_guard<std::mutex> guard(registry_->lock);
  auto found = std::find(registry_->objects.begin(), registry_->objects.end(), object_);
  if (found == registry_->objects.end()) return;  // a destructor must not throw "Cancellation not found"
  registry_->objects.erase(found);
  TRACE(Info) << "IOService removing cancellation object 0x" << static_cast<void*>(object_);
}

IOService::IOService()
    : requestEvent_(MakeSharedHandle(CreateEventHandle(false, false))),
      stopEvent_(MakeSharedHandle(CreateEventHandle(true, false))),
      registry_(std::make_shared<Registration::Registry>()) {
  worker_ = std::make_unique<Thread>([this] { ThreadProc(); });
}

IOService::~IOService() {
  try {
    Stop();
  } catch (...) {
    TraceException("IOService::~IOService");
  }
}

void IOService::Post(Request request) {
  if (stopping_) throw std::logic_error("Cannot post via stopping IOService");
  const std::uint32_t number = ++requestCounter_;
  TRACE(Debug) << "IOService posting request #" << number;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.emplace_back(number, std::move(request));
  }
  if (!SetEvent(requestEvent_.get())) throw LastWin32Error("Failed to fire IOService stop event");
}

std::unique_ptr<IOService::Registration> IOService::RegisterIOCancellation(ICancellable* object) {
  TRACE(Info) << "IOService registering cancellation object 0x" << static_cast<void*>(object);
  if (stopping_) throw std::logic_error("Cannot register cancellation for stopping IOService");
  std::lock_guard<std::mutex> guard(registry_->lock);
  registry_->objects.push_back(object);
  return std::unique_ptr<Registration>(new Registration(registry_, object));
}

void IOService::Stop() {
  stopping_ = true;
  if (!worker_) return;
  if (!SetEvent(stopEvent_.get())) throw LastWin32Error("Failed to fire IOService stop event");
  worker_->Join();
  worker_.reset();
}

bool IOService::IsWorkerThread() const { return worker_ && worker_->Id() == GetCurrentThreadId(); }

void IOService::ThreadProc() {
  TRACE(Info) << "IOService start";
  try {
    Run();
  } catch (...) {
    TraceException("IOService::Run");
  }
  TRACE(Info) << "IOService finish";
}

bool IOService::TakeRequest(std::pair<std::uint32_t, Request>& taken) {
  std::lock_guard<std::mutex> guard(queueLock_);
  if (queue_.empty()) return false;
  taken = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

void IOService::Run() {
  const HANDLE handles[] = {requestEvent_.get(), stopEvent_.get()};
  for (bool running = true; running;) {
    const DWORD result = WaitForMultipleObjectsEx(2, handles, FALSE, INFINITE, TRUE);
    switch (result) {
      case WAIT_OBJECT_0: {
        std::pair<std::uint32_t, Request> request;
        while (TakeRequest(request)) {
          TRACE(Debug) << "IOService executing request #" << request.first;
          // One bad request must not end the worker: later ones would queue for ever.
          try {
            request.second();
          } catch (...) {
            TraceException("IOService request");
          }
          request.second = nullptr;
        }
        break;
      }
      case WAIT_OBJECT_0 + 1:
        running = false;
        break;
      case WAIT_IO_COMPLETION:
        break;
      default:
        throw std::system_error(static_cast<int>(GetLastError()), Win32Category(),
                                "Invalid WaitResult: " + std::to_string(result));
    }
  }
  TRACE(Info) << "IOService stop received";
  CancelRegistered();
  for (DWORD waited = 0; pendingWrites_ > 0 && waited < kCompletionGraceMs; waited += kCompletionPollMs) {
    SleepEx(kCompletionPollMs, TRUE);
  }
  if (pendingWrites_ > 0) TRACE(Warning) << "IOService leaves " << pendingWrites_.load() << " writes uncompleted";
  TRACE(Info) << "IOService stopped";
}

void IOService::CancelRegistered() {
  std::lock_guard<std::mutex> guard(registry_->lock);
  for (ICancellable* object : registry_->objects) {
    TRACE(Info) << "IOService cancelling object 0x" << static_cast<void*>(object);
    try {
      object->Cancel();
    } catch (...) {
      TraceException("IOService cancel");
    }
  }
}

}  // namespace installation_assistant
