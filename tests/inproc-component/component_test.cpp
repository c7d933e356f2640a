// The component in a simulated installer, a plain client (CreateFileW + WriteFile) in the test's own process.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/wait.h"
#include "inproc_component.h"
#include "platform/sim/simwin.h"

namespace {

constexpr DWORD kLongWait = 20000;

using installation_assistant::testing::WaitUntil;

// Waits until the pipe exists (the component may start late); false if it never does.
bool PipeExists(const std::wstring& pipe) {
  return WaitUntil([&] { return WaitNamedPipeW(pipe.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND; },
                   kLongWait);
}

// Opens the pipe as the engine does, once it exists and an instance is free.
HANDLE Open(const std::wstring& pipe, DWORD flags = 0) {
  if (!PipeExists(pipe) || !WaitNamedPipeW(pipe.c_str(), kLongWait)) return INVALID_HANDLE_VALUE;
  return CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

class InprocComponent : public ::testing::Test {
 protected:
  // Starts a component inside the installer process.
  void Start(inproc::ComponentOptions options = {}) {
    component_ = std::make_unique<inproc::Component>(
        [this](const inproc::MessageBoxRequest& request) {
          std::lock_guard<std::mutex> guard(mu_);
          requests_.push_back(request);
        },
        options);
    installer_.Invoke([&] { ASSERT_TRUE(component_->Start()); });
  }
  void TearDown() override { component_.reset(); }
  std::vector<inproc::MessageBoxRequest> Received(size_t count) {
    WaitUntil([&] { return Requests().size() >= count; }, kLongWait);
    return Requests();
  }
  std::vector<inproc::MessageBoxRequest> Requests() {
    std::lock_guard<std::mutex> guard(mu_);
    return requests_;
  }

  simwin::Process installer_{L"setup.exe"};
  std::unique_ptr<inproc::Component> component_;
  std::mutex mu_;
  std::vector<inproc::MessageBoxRequest> requests_;
};

TEST_F(InprocComponent, ServesTheInstallersPipeOneConnectionAfterAnother) {
  Start();
  EXPECT_EQ(component_->Pipe(), inproc::PipeName(installer_.Id()));
  const std::string lines[] = {"MessageBoxOnButton|-66|Setup|Decline \xE2\x9C\x93|OK|Cancel|{EVT}|iVBOR\n",
                               "hello without a line break"};
  for (const std::string& line : lines) {
    HANDLE client = Open(component_->Pipe());
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
    ULONG pid = 0;
    EXPECT_TRUE(GetNamedPipeServerProcessId(client, &pid));
    EXPECT_EQ(pid, installer_.Id()) << "the installer serves, not the test's process";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(client, line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    CloseHandle(client);
  }
  const auto requests = Received(2);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].valid);
  EXPECT_EQ(requests[0].line, lines[0].substr(0, lines[0].size() - 1));
  EXPECT_EQ(requests[0].button, -66);
  EXPECT_EQ(requests[0].description, "Decline \xE2\x9C\x93");
  EXPECT_EQ(requests[0].eventName, "{EVT}");
  EXPECT_FALSE(requests[1].valid);
  EXPECT_EQ(requests[1].line, lines[1]) << "a client that leaves ends its line";

  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "{EVT}");
  EXPECT_TRUE(inproc::Answer(requests[0]));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
  EXPECT_FALSE(inproc::Answer(requests[0])) << "its event is gone";
}

TEST(InprocRequest, ParsesEightFields) {
  struct Case {
    std::string line;
    bool valid;
    int32_t button;
  };
  const Case cases[] = {
      {"MessageBoxOnButton|2147483647|T|D|O|C|{E}|", true, 2147483647},
      {"MessageBoxOnButton|-2147483648|T|D|O|C|{E}|AAAA", true, INT32_MIN},
      {"MessageBoxOnButton|2147483648|T|D|O|C|{E}|", false, 0},
      {"MessageBoxOnButton|0x10|T|D|O|C|{E}|", false, 0},
      {"MessageBoxOnButton|1|T|D|O|C|{E}", false, 0},     // seven fields
      {"MessageBoxOnButton|1|T|x|D|O|C|{E}|", false, 0},  // nine
      {"MessageBoxOnButton|1|T|D|O|C||", false, 0},       // no event
      {"MessageBox|1|T|D|O|C|{E}|", false, 0},
  };
  for (const auto& c : cases) {
    const auto request = inproc::ParseRequest(c.line);
    EXPECT_EQ(request.valid, c.valid) << c.line;
    if (c.valid) {
      EXPECT_EQ(request.button, c.button) << c.line;
    }
  }
}

TEST_F(InprocComponent, LateBusyAndRudeComponentsNeverHoldTheClient) {
  inproc::ComponentOptions late;
  late.startDelayMs = 200;
  Start(late);
  EXPECT_FALSE(WaitNamedPipeW(component_->Pipe().c_str(), kLongWait));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no pipe yet, no wait";
  EXPECT_TRUE(PipeExists(component_->Pipe()));

  inproc::ComponentOptions busy;
  busy.keepBusy = true;
  Start(busy);
  ASSERT_TRUE(PipeExists(component_->Pipe()));
  WaitUntil([&] { return !WaitNamedPipeW(component_->Pipe().c_str(), 1); }, kLongWait);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT)) << "taken by the component itself";
  EXPECT_EQ(CreateFileW(component_->Pipe().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));

  inproc::ComponentOptions rude;
  rude.closeWithoutReading = true;
  rude.inBufferSize = 16;
  Start(rude);
  HANDLE client = Open(component_->Pipe(), FILE_FLAG_OVERLAPPED);
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
  static DWORD completion;
  completion = 0xDEAD;
  OVERLAPPED ov{};
  const std::string line(64, 'x');
  const BOOL started = WriteFileEx(client, line.data(), 64, &ov, [](DWORD error, DWORD, LPOVERLAPPED) {
    completion = error;
  });
  const DWORD error = started ? (SleepEx(kLongWait, TRUE), completion) : GetLastError();
  EXPECT_TRUE(error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) << error;
  CloseHandle(client);
  EXPECT_TRUE(Received(0).empty());
}

TEST_F(InprocComponent, StopsPromptlyWhileAClientSaysNothing) {
  Start();
  HANDLE client = Open(component_->Pipe());
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
  const DWORD start = GetTickCount();
  component_->Stop();
  EXPECT_LT(GetTickCount() - start, 5000u);
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(client, "late\n", 5, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  CloseHandle(client);
  EXPECT_TRUE(Received(0).empty());
}

}  // namespace
