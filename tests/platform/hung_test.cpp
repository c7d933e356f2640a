// Sending to a window whose thread stops pumping: SendMessageTimeoutW's time-out, SMTO_ABORTIFHUNG and SMTO_BLOCK, and
// IsHungAppWindow ("SendMessageTimeoutW function", "IsHungAppWindow function", Microsoft Learn: a thread that has not
// retrieved messages for 5 seconds and is not waiting for input is hung).
#include <atomic>

#include "conformance.h"

namespace {

using conformance::Event;
using conformance::TestThread;

constexpr UINT kStall = WM_APP + 1;    // posted: the thread blocks until `release`, not pumping
constexpr UINT kCounted = WM_APP + 2;  // sent: counted when handled
constexpr UINT kSendBack = WM_APP + 3;  // sent: the thread sends kAnswer to the sender's window
constexpr UINT kAnswer = WM_APP + 4;

class HungWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    // simwin's threshold is the one thing a test may shorten; Windows' stays at 5 seconds.
    previousTimeout_ = simwin::SetHungAppTimeout(kHungTimeout);
#endif
    thread_ = std::make_unique<TestThread>([this]() -> DWORD {
      handler_ = [this](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == kStall) {
          stalled_.Set();
          WaitForSingleObject(release_.get(), conformance::kLongWait);
          return 0;
        }
        if (msg == kCounted) {
          ++counted_;
          return 7;
        }
        if (msg == kSendBack) {
          DWORD_PTR answer = 0;
          sentBack_ = SendMessageTimeoutW(sender_, kAnswer, 0, 0, SMTO_NORMAL, 300, &answer) != 0;
          return 0;
        }
        return std::nullopt;
      };
      window_ = conformance::CreateTestWindow(WS_OVERLAPPEDWINDOW, nullptr, &handler_);
      ready_.Set();
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      DestroyWindow(window_);
      return 0;
    });
    ASSERT_TRUE(ready_.Wait());
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    release_.Set();
    PostThreadMessageW(thread_->Id(), WM_QUIT, 0, 0);
    thread_.reset();
#ifndef _WIN32
    simwin::SetHungAppTimeout(previousTimeout_);
#endif
  }

  void Stall() {
    ASSERT_TRUE(PostMessageW(window_, kStall, 0, 0));
    ASSERT_TRUE(stalled_.Wait());
  }

  struct Sent {
    LRESULT returned;
    DWORD error;
    DWORD_PTR result;
    DWORD elapsed;
  };
  Sent SendTimeout(UINT msg, UINT flags, UINT timeout) {
    DWORD_PTR result = 0xDEAD;
    SetLastError(0xBEEF);
    const DWORD start = GetTickCount();
    const LRESULT returned = SendMessageTimeoutW(window_, msg, 0, 0, flags, timeout, &result);
    const DWORD error = GetLastError();
    return Sent{returned, error, result, GetTickCount() - start};
  }

#ifdef _WIN32
  static constexpr DWORD kHungTimeout = 5000;
#else
  static constexpr DWORD kHungTimeout = 300;
  DWORD previousTimeout_ = 0;
#endif
  conformance::Handler handler_;
  HWND window_ = nullptr;
  HWND sender_ = nullptr;
  Event ready_;
  Event stalled_;
  Event release_{true};
  std::atomic<int> counted_{0};
  std::atomic<bool> sentBack_{false};
  std::unique_ptr<TestThread> thread_;
};

// A message the thread never received before the time-out is taken back ("What happens to a sent message when
// SendMessageTimeout reaches its timeout?", The Old New Thing, Microsoft devblogs).
TEST_F(HungWindowTest, ATimedOutMessageThatWasNeverReceivedIsNeverHandled) {
  const Sent answered = SendTimeout(kCounted, SMTO_NORMAL, 2000);
  EXPECT_EQ(answered.returned, 1);
  EXPECT_EQ(answered.result, 7u);

  Stall();
  EXPECT_FALSE(IsHungAppWindow(window_));
  // Busy for less than the hung time-out: not hung, so SMTO_ABORTIFHUNG waits out the time-out too.
  for (UINT flags : {static_cast<UINT>(SMTO_NORMAL), static_cast<UINT>(SMTO_ABORTIFHUNG | SMTO_BLOCK)}) {
    SCOPED_TRACE(flags);
    const Sent timedOut = SendTimeout(kCounted, flags, 100);
    EXPECT_EQ(timedOut.returned, 0);
    EXPECT_EQ(timedOut.error, static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_GE(timedOut.elapsed, 80u);
  }
  release_.Set();
  EXPECT_EQ(SendTimeout(kCounted, SMTO_NORMAL, 2000).returned, 1) << "the thread pumps again";
  EXPECT_EQ(counted_, 2) << "the two timed-out messages were not delivered";
}

TEST_F(HungWindowTest, AThreadThatStopsPumpingIsHungAfterTheTimeOutButAnIdleOneIsNot) {
  // Idle in GetMessage for longer than the time-out: waiting for input, not hung.
  Sleep(kHungTimeout + 300);
  EXPECT_FALSE(IsHungAppWindow(window_));
  EXPECT_EQ(SendTimeout(WM_NULL, SMTO_ABORTIFHUNG | SMTO_BLOCK, 200).returned, 1);

  Stall();
  // Counted from the thread's last look for messages, which a loaded machine delays: a margin to spare.
  Sleep(kHungTimeout + kHungTimeout / 4);
  EXPECT_TRUE(IsHungAppWindow(window_));
  // Returns at once rather than after the time-out.
  const Sent aborted = SendTimeout(kCounted, SMTO_ABORTIFHUNG | SMTO_BLOCK, 3000);
  EXPECT_EQ(aborted.returned, 0);
  EXPECT_EQ(aborted.error, static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_LT(aborted.elapsed, 1000u);
  // Without the flag the sender still waits for the whole time-out.
  const Sent waited = SendTimeout(kCounted, SMTO_NORMAL, 100);
  EXPECT_EQ(waited.returned, 0);
  EXPECT_GE(waited.elapsed, 80u);

  release_.Set();
  EXPECT_TRUE(conformance::PumpUntil([this] { return !IsHungAppWindow(window_); }));
  EXPECT_EQ(counted_, 0) << "neither message reached the stuck thread, and neither comes later";
  const Sent recovered = SendTimeout(WM_NULL, SMTO_ABORTIFHUNG | SMTO_BLOCK, 200);
  EXPECT_EQ(recovered.returned, 1);
  EXPECT_EQ(recovered.result, 0u);
}

TEST_F(HungWindowTest, OnlySmtoBlockKeepsTheSenderFromHandlingWhatIsSentToIt) {
  int answers = 0;
  conformance::Handler answering = [&answers](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != kAnswer) return std::nullopt;
    ++answers;
    return 1;
  };
  sender_ = conformance::CreateTestWindow(WS_OVERLAPPEDWINDOW, nullptr, &answering);

  EXPECT_EQ(SendTimeout(kSendBack, SMTO_NORMAL, 3000).returned, 1);
  EXPECT_TRUE(sentBack_);
  EXPECT_EQ(answers, 1);

  // Blocked, the sender cannot answer: the nested send times out, then the outer one returns.
  EXPECT_EQ(SendTimeout(kSendBack, SMTO_BLOCK, 3000).returned, 1);
  EXPECT_FALSE(sentBack_);
  // The nested message timed out before the blocked sender could receive it: it is taken back.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_EQ(answers, 1);
  DestroyWindow(sender_);
}

}  // namespace
