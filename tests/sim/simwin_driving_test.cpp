// simwin-only facts: the driving API and what wine cannot judge in one test process (a second logical process,
// TerminateProcess of the caller, cross-process reads).
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "platform/conformance.h"
#include "platform/sim/simwin.h"

using conformance::CreateTestWindow;
using conformance::Handler;
using conformance::kLongWait;
using conformance::TestThread;

namespace {

TEST(SimwinProcess, HasItsOwnIdsAndUiThread) {
  simwin::Process p(L"installer.exe");
  EXPECT_NE(p.Id(), GetCurrentProcessId());
  EXPECT_EQ(p.ImageName(), L"installer.exe");
  DWORD tid = 0, pid = 0, threadOfCreated = 0;
  p.Invoke([&] {
    tid = GetCurrentThreadId();
    pid = GetCurrentProcessId();
    TestThread t([&]() -> DWORD {
      threadOfCreated = GetCurrentProcessId();
      return 0;
    });
  });
  EXPECT_EQ(tid, p.UiThreadId());
  EXPECT_EQ(pid, p.Id());
  EXPECT_EQ(threadOfCreated, p.Id()) << "a created thread belongs to its creator's process";
  EXPECT_EQ(simwin::RootProcessId(), GetCurrentProcessId());
}

// However a process ends, its handle is signalled with the first exit code, its windows are gone once Exit returns, and
// an open handle keeps its id valid until closed.
TEST(SimwinProcess, EndIsObservedThroughOpenProcess) {
  const struct Case {
    const char* name;
    DWORD code;
    std::function<void(simwin::Process&)> end;
  } cases[] = {
      {"Exit", 3, [](simwin::Process& p) { p.Exit(3); }},
      {"TerminateProcess of itself", 9,
       [](simwin::Process& p) { p.Invoke([] { EXPECT_TRUE(TerminateProcess(GetCurrentProcess(), 9)); }); }},
      {"quit message of the UI thread", 4, [](simwin::Process& p) { p.Post([] { PostQuitMessage(4); }); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto p = std::make_unique<simwin::Process>();
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p->Id());
    ASSERT_NE(h, nullptr);
    HWND hwnd = nullptr;
    p->Invoke([&] { hwnd = CreateTestWindow(WS_OVERLAPPED | WS_VISIBLE, nullptr, nullptr, L"Setup"); });
    EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    c.end(*p);
    EXPECT_EQ(WaitForSingleObject(h, kLongWait), WAIT_OBJECT_0);
    EXPECT_TRUE(p->HasExited());
    p->Exit(0);
    EXPECT_FALSE(IsWindow(hwnd)) << "remaining windows are destroyed";
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, c.code) << "the first exit code stays";
    const DWORD pid = p->Id();
    p.reset();
    HANDLE again = OpenProcess(SYNCHRONIZE, FALSE, pid);
    EXPECT_NE(again, nullptr);
    CloseHandle(again);
    CloseHandle(h);
    SetLastError(0);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, pid), nullptr) << "no live process and no handle left";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(SimwinRoot, TerminateProcessGoesToTheHandler) {
  UINT got = 0;
  auto previous = simwin::SetTerminateHandler([&](UINT code) { got = code; });
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
  EXPECT_TRUE(TerminateProcess(GetCurrentProcess(), 17));
  EXPECT_EQ(got, 17u);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  simwin::ResetRootProcess();
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  simwin::SetTerminateHandler(previous);
  CloseHandle(h);
}

TEST(SimwinWindows, CrossProcessTextIsReadWithoutAMessage) {
  simwin::Process p;
  std::atomic<int> getTexts{0};
  Handler h = [&](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_GETTEXT) ++getTexts;
    return std::nullopt;
  };
  HWND hwnd = nullptr;
  p.Invoke([&] { hwnd = CreateTestWindow(WS_OVERLAPPED, nullptr, &h, L"Welcome"); });
  // The installer's thread is busy: a message would block, the stored text does not.
  std::atomic<bool> release{false};
  p.Post([&] {
    while (!release) Sleep(1);
  });
  wchar_t text[32] = {};
  EXPECT_EQ(GetWindowTextW(hwnd, text, 32), 7);
  EXPECT_EQ(std::wstring(text), L"Welcome");
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 7);
  release = true;
  p.Invoke([&] {
    wchar_t same[32] = {};
    EXPECT_EQ(GetWindowTextW(hwnd, same, 32), 7);
  });
  EXPECT_EQ(getTexts.load(), 1) << "only the same-process read sends WM_GETTEXT";
}

TEST(SimwinWindows, ClassesArePerProcess) {
  simwin::Process a, b;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &DefWindowProcW;
  wc.lpszClassName = L"SharedName";
  ATOM inA = 0, inB = 0;
  a.Invoke([&] { inA = RegisterClassExW(&wc); });
  b.Invoke([&] { inB = RegisterClassExW(&wc); });
  EXPECT_NE(inA, 0);
  EXPECT_NE(inB, 0);
  bool registered = false;
  a.Invoke([&] { registered = simwin::IsClassRegistered(L"sharedname"); });
  EXPECT_TRUE(registered) << "class names ignore case";
  EXPECT_FALSE(simwin::IsClassRegistered(L"SharedName"));
}

TEST(SimwinWinEvents, ProcessExitRaisesDestroyForItsWindows) {
  static std::vector<HWND> destroyed;
  destroyed.clear();
  auto p = std::make_unique<simwin::Process>();
  HWINEVENTHOOK hook = SetWinEventHook(
      EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY, nullptr,
      [](HWINEVENTHOOK, DWORD, HWND hwnd, LONG, LONG, DWORD, DWORD) { destroyed.push_back(hwnd); }, p->Id(), 0,
      WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  HWND hwnd = nullptr;
  p->Invoke([&] { hwnd = CreateTestWindow(WS_OVERLAPPED); });
  p->Exit();
  ASSERT_TRUE(conformance::PumpUntil([&] { return !destroyed.empty(); }));
  EXPECT_EQ(destroyed, std::vector<HWND>{hwnd});
  UnhookWinEvent(hook);
}

TEST(SimwinHandles, WindowHandlesFitIn32BitsAndThreadIdsAreMultiplesOfFour) {
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  EXPECT_LE(reinterpret_cast<uintptr_t>(hwnd), 0xFFFFFFFFu);
  EXPECT_EQ(GetCurrentThreadId() % 4, 0u);
  DestroyWindow(hwnd);
}

}  // namespace
