#include "common/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/message_queue.h"
#include "common/trace_capture.h"

namespace installation_assistant {
namespace {

using simwin::RecordingHost;
using testing::QuitQueued;
using testing::TraceCapture;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

TEST(MessageWindowTest, PostedAndSentWorkRunsOnTheOwnerThread) {
  auto window = std::make_shared<MessageWindow>(Instance());
  std::vector<int> posted;
  std::vector<DWORD> threads;
  std::atomic<bool> sentRan{false};
  bool sentHadRunWhenSendReturned = false;
  std::thread other([&] {
    window->Post([&] { posted.push_back(1), threads.push_back(GetCurrentThreadId()); });
    window->Post([&] { posted.push_back(2), threads.push_back(GetCurrentThreadId()); });
    window->Send([&] { sentRan = true, threads.push_back(GetCurrentThreadId()); });
    sentHadRunWhenSendReturned = sentRan.load();
    window->Post([] { PostQuitMessage(0); });
  });
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);  // until the posted WM_QUIT
  other.join();
  EXPECT_TRUE(sentHadRunWhenSendReturned);
  EXPECT_EQ(posted, (std::vector<int>{1, 2}));
  EXPECT_EQ(threads, std::vector<DWORD>(3, GetCurrentThreadId()));
  bool ranAtOnce = false;  // sent on the owner thread
  window->Send([&ranAtOnce] { ranAtOnce = true; });
  EXPECT_TRUE(ranAtOnce);
}

TEST(MessageWindowTest, DestructionFreesQueuedWorkWithoutEndingTheLoop) {
  auto window = std::make_unique<MessageWindow>(Instance());
  const HWND handle = window->Handle();
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  bool ran = false;
  window->Post([token, &ran] { ran = true; });
  window->Post([token] { PostQuitMessage(0); });
  token.reset();
  ASSERT_FALSE(watch.expired());

  window.reset();
  EXPECT_TRUE(watch.expired());  // both items were freed, neither ran
  EXPECT_FALSE(ran);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(QuitQueued());
}

TEST(MessageWindowTest, ExceptionInWorkIsTracedAndDoesNotLeaveTheWindowProcedure) {
  RecordingHost host;
  TraceCapture capture(host);
  MessageWindow window(Instance());
  window.Send([] { throw std::runtime_error("boom"); });
  EXPECT_EQ(host.TracesContaining(L"Error: MessageWindow::WindowProcedure: boom").size(), 1u);
}

}  // namespace
}  // namespace installation_assistant
