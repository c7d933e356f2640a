// The engine's side of the message-box channel against the installer-side component in a
// simulated installer, over simwin's pipes.
#include "inproc/inproc_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/trace_capture.h"
#include "common/wait.h"
#include "inproc_component.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"

namespace installation_assistant {
namespace {

constexpr DWORD kLongWait = 10000;

// What the component in the installer received.
class Received {
 public:
  void Add(const inproc::MessageBoxRequest& request) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
  }
  std::vector<inproc::MessageBoxRequest> WaitFor(std::size_t count, DWORD timeout = kLongWait) {
    testing::WaitUntil([&] { return Requests().size() >= count; }, timeout);
    return Requests();
  }
  std::vector<inproc::MessageBoxRequest> Requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }

 private:
  std::mutex lock_;
  std::vector<inproc::MessageBoxRequest> requests_;
};

MessageBoxRequest Request(const std::string& title) {
  MessageBoxRequest request;
  request.window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(0x10020));
  request.title = title;
  request.description = "Really?";
  request.okButton = "OK";
  request.cancelButton = "Cancel";
  request.eventName = "{00000000-0000-0000-0000-000000000001}";
  return request;
}

TEST(MessageLine, ExactBytes) {
  MessageBoxRequest request = Request("Title");
  EXPECT_EQ(FormatMessageBoxOnButton(request),
            "MessageBoxOnButton|65568|Title|Really?|OK|Cancel|{00000000-0000-0000-0000-000000000001}|\n");
  request.window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
  request.title = "a|b";  // not escaped: the receiver sees an extra field
  request.icon = {0x00, 0x01, 0xFE, 0xFF};
  EXPECT_EQ(FormatMessageBoxOnButton(request),
            "MessageBoxOnButton|-2|a|b|Really?|OK|Cancel|{00000000-0000-0000-0000-000000000001}|AAH+/w==\n");
  const std::pair<std::vector<std::uint8_t>, std::string> base64[] = {
      {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"}, {{'f', 'o', 'o', 'b'}, "Zm9vYg=="}};
  for (const auto& [bytes, text] : base64) EXPECT_EQ(Base64(bytes), text);
}

TEST(IOServiceTest, RequestsRunInOrderAndOneThatRaisesDoesNotEndTheWorker) {
  simwin::RecordingHost host;
  testing::TraceCapture capture(host);
  std::mutex lock;
  std::vector<int> ran;
  auto record = [&](int n) {
    std::lock_guard<std::mutex> guard(lock);
    ran.push_back(n);
  };
  {
    IOService service;
    service.Post([&] { record(1); });
    service.Post([] { throw std::runtime_error("bad request"); });
    service.Post([&] { record(3); });
    testing::WaitUntil([&] {
      std::lock_guard<std::mutex> guard(lock);
      return ran.size() == 2;
    });
    service.Stop();
    EXPECT_THROW(service.Post([] {}), std::logic_error);
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
  EXPECT_EQ(host.TracesContaining(L"bad request").size(), 1u);
}

class InprocConnectionTest : public ::testing::Test {
 protected:
  void TearDown() override { testing::TraceCapture::Restore(); }

  // The component serving in `process` (the installer unless said otherwise).
  std::unique_ptr<inproc::Component> Serve(simwin::Process& process, inproc::ComponentOptions options = {}) {
    auto component =
        std::make_unique<inproc::Component>([this](const inproc::MessageBoxRequest& r) { received_.Add(r); }, options);
    process.Invoke([&] { EXPECT_TRUE(component->Start()); });
    return component;
  }
  std::unique_ptr<InprocConnection> Connect() {
    return std::make_unique<InprocConnection>(InprocConnectionName(installer_.Id()), installer_.Id());
  }
  std::size_t Traces(const wchar_t* text) const { return host_.TracesContaining(text).size(); }

  simwin::RecordingHost host_;
  testing::TraceCapture capture_{host_};
  simwin::Process installer_{L"setup.exe"};
  Received received_;
};

TEST_F(InprocConnectionTest, APipeThatAppearsLaterGetsTheLine) {
  auto connection = Connect();
  connection->MessageBoxOnButton(Request("late"));
  Sleep(200);
  auto component = Serve(installer_);
  const auto requests = received_.WaitFor(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].line + "\n", FormatMessageBoxOnButton(Request("late")));
  EXPECT_GE(Traces(L"Waiting for Inproc pipe"), 2u);
  EXPECT_EQ(Traces(L"Inproc pipe available"), 1u);
  connection.reset();
  EXPECT_EQ(Traces(L"PostMessage: MessageBoxOnButton|65568|late|"), 1u);
}

// Whoever creates the pipe name first would learn the event name and could fake the answer.
TEST_F(InprocConnectionTest, APipeServedByAnotherProcessGetsNothing) {
  simwin::Process squatter(L"squatter.exe");
  HANDLE squatted = INVALID_HANDLE_VALUE;
  squatter.Invoke([&] {
    squatted = CreateNamedPipeW(inproc::PipeName(installer_.Id()).c_str(), PIPE_ACCESS_INBOUND,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  });
  ASSERT_NE(squatted, INVALID_HANDLE_VALUE);
  auto connection = Connect();
  connection->MessageBoxOnButton(Request("secret"));
  testing::WaitUntil([&] { return Traces(L"not by the installer") > 0; });
  connection.reset();
  EXPECT_EQ(Traces(L"not by the installer"), 1u);
  EXPECT_EQ(Traces(L"PostMessage:"), 0u);
  squatter.Invoke([&] {
    char byte = 0;
    DWORD read = 0;
    EXPECT_FALSE(ReadFile(squatted, &byte, 1, &read, nullptr));  // the engine left without a byte
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    CloseHandle(squatted);
  });
}

// A pipe whose only instance never frees must not hold the connection's destruction.
TEST_F(InprocConnectionTest, ABusyPipeDoesNotHoldTheStop) {
  inproc::ComponentOptions busy;
  busy.keepBusy = true;
  busy.defaultTimeoutMs = INFINITE;
  auto component = Serve(installer_, busy);
  auto connection = Connect();
  connection->MessageBoxOnButton(Request("one"));
  connection->MessageBoxOnButton(Request("two"));  // queued behind the first
  Sleep(150);
  const auto begin = std::chrono::steady_clock::now();
  connection.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
  EXPECT_EQ(Traces(L"Waiting for Inproc pipe aborted, stop requested"), 2u);
  EXPECT_TRUE(received_.WaitFor(1, 0).empty());
}

// The component closes the pipe before the write completes: the completion reports the
// error, and the next request still goes through.
TEST_F(InprocConnectionTest, AFailedWriteIsTracedAndTheNextRequestGoesThrough) {
  inproc::ComponentOptions closing;
  closing.closeWithoutReading = true;
  closing.inBufferSize = 8;  // the line does not fit: the write is pending when the server closes
  auto hostile = Serve(installer_, closing);
  auto connection = Connect();
  connection->MessageBoxOnButton(Request("first"));
  // The server may close before the write starts (WriteFileEx fails at once) or while it
  // waits (its completion gets the error): either way it is traced, once.
  const auto failures = [this] { return Traces(L"Failed to write pipe") + Traces(L"Write pipe failed"); };
  testing::WaitUntil([&] { return failures() > 0; });
  EXPECT_EQ(failures(), 1u);
  hostile.reset();
  auto component = Serve(installer_);
  connection->MessageBoxOnButton(Request("second"));
  const auto requests = received_.WaitFor(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].title, "second");
}

}  // namespace
}  // namespace installation_assistant
