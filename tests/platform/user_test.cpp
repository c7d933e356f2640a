// Conformance of window classes, windows and message queues.
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Event;
using conformance::Handler;
using conformance::kLongWait;
using conformance::TestThread;

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

WNDCLASSEXW PlainClass(LPCWSTR name) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &PlainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name;
  return wc;
}

// --- Classes
// --------------------------------------------------------------------------------

TEST(Classes, SecondRegistrationFailsUntilUnregistered) {
  WNDCLASSEXW wc = PlainClass(L"ConformanceTwice");
  ASSERT_NE(RegisterClassExW(&wc), 0);
  SetLastError(0);
  EXPECT_EQ(RegisterClassExW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  HWND hwnd = CreateWindowExW(0, L"ConformanceTwice", L"", WS_OVERLAPPED, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  wchar_t name[64] = {};
  EXPECT_EQ(GetClassNameW(hwnd, name, 64), 16);
  EXPECT_EQ(std::wstring(name), L"ConformanceTwice");
  SetLastError(0);
  EXPECT_FALSE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(hwnd);

  EXPECT_TRUE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
  SetLastError(0);
  EXPECT_FALSE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  EXPECT_NE(RegisterClassExW(&wc), 0);
  EXPECT_TRUE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
}

TEST(Classes, UnknownClassCannotMakeAWindow) {
  EXPECT_EQ(CreateWindowExW(0, L"ConformanceNoSuchClass", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr),
            nullptr);
}

TEST(Classes, UnknownClassIsReportedAsNotFound) {
  SKIP_UNDER_WINE(
      "CreateWindowExW reports ERROR_CLASS_DOES_NOT_EXIST where "
      "Windows reports "
      "ERROR_CANNOT_FIND_WND_CLASS");
  SetLastError(0);
  EXPECT_EQ(CreateWindowExW(0, L"ConformanceNoSuchClass", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

// --- Windows
// --------------------------------------------------------------------------------

TEST(Windows, CreationSendsNcCreateThenCreateAndCanBeRefused) {
  struct Case {
    UINT refuse;
    LRESULT result;
  };
  for (const Case c : {Case{0, 0}, Case{WM_NCCREATE, FALSE}, Case{WM_CREATE, -1}}) {
    std::vector<UINT> seen;
    Handler h = [&](HWND, UINT msg, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
      if (msg == WM_NCCREATE || msg == WM_CREATE) {
        seen.push_back(msg);
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        EXPECT_EQ(std::wstring(cs->lpszName), L"title");
        EXPECT_EQ(static_cast<DWORD>(cs->style) & WS_CHILD, 0u);
      }
      if (c.refuse && msg == c.refuse) return c.result;
      return std::nullopt;
    };
    HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h, L"title");
    if (c.refuse) {
      EXPECT_EQ(hwnd, nullptr) << c.refuse;
    } else {
      ASSERT_NE(hwnd, nullptr);
      wchar_t text[16] = {};
      EXPECT_EQ(GetWindowTextW(hwnd, text, 16), 5) << "DefWindowProc's WM_NCCREATE stores the title";
      EXPECT_EQ(std::wstring(text), L"title");
      DestroyWindow(hwnd);
    }
    std::vector<UINT> expected = {WM_NCCREATE};
    if (c.refuse != WM_NCCREATE) expected.push_back(WM_CREATE);
    EXPECT_EQ(seen, expected) << c.refuse;
  }
}

TEST(Windows, DestroySendsDestroyParentFirstAndNcDestroyChildFirst) {
  std::vector<std::pair<HWND, UINT>> log;
  Handler h = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_DESTROY || msg == WM_NCDESTROY) {
      EXPECT_TRUE(IsWindow(hwnd));
      log.emplace_back(hwnd, msg);
    }
    return std::nullopt;
  };
  HWND parent = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
  HWND child = CreateTestWindow(WS_CHILD, parent, &h);
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(DestroyWindow(parent));
  std::vector<std::pair<HWND, UINT>> expected = {
      {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(log, expected);
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(parent));
}

TEST(Windows, DestroyingADestroyedWindowIsAnInvalidHandle) {
  SKIP_UNDER_WINE(
      "DestroyWindow reports ERROR_ACCESS_DENIED for a handle that "
      "is no window");
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  DestroyWindow(hwnd);
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Windows, OnlyTheOwnerThreadDestroys) {
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  ASSERT_NE(hwnd, nullptr);
  TestThread other([&]() -> DWORD {
    SetLastError(0);
    BOOL ok = DestroyWindow(hwnd);
    return ok ? 0 : GetLastError();
  });
  EXPECT_EQ(other.Join(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(hwnd));
  DestroyWindow(hwnd);
}

TEST(Windows, ThreadEndDestroysItsWindows) {
  HWND made = nullptr;
  HWND child = nullptr;
  TestThread t([&]() -> DWORD {
    made = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
    child = CreateTestWindow(WS_CHILD, made);
    return 0;
  });
  t.Join();
  ASSERT_NE(child, nullptr);
  EXPECT_FALSE(IsWindow(made));
  EXPECT_FALSE(IsWindow(child));
}

TEST(Windows, GetParentFollowsStyle) {
  HWND owner = CreateTestWindow(WS_OVERLAPPED);
  ASSERT_NE(owner, nullptr);
  HWND child = CreateTestWindow(WS_CHILD, owner);
  HWND popup = CreateTestWindow(WS_POPUP, owner);
  HWND overlapped = CreateTestWindow(WS_OVERLAPPED, owner);
  HWND grandchild = CreateTestWindow(WS_CHILD, child);
  // An owned window's owner is the top-level window, even when a child was named.
  HWND popupOfChild = CreateTestWindow(WS_POPUP, child);
  struct Case {
    const char* name;
    HWND hwnd;
    HWND parent;
    HWND owner;
  };
  const Case cases[] = {
      {"top-level", owner, nullptr, nullptr},           {"child", child, owner, nullptr},
      {"grandchild", grandchild, child, nullptr},       {"owned popup", popup, owner, owner},
      {"owned overlapped", overlapped, nullptr, owner}, {"popup owned through a child", popupOfChild, owner, owner},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetParent(c.hwnd), c.parent) << c.name;
    EXPECT_EQ(GetWindow(c.hwnd, GW_OWNER), c.owner) << c.name;
  }
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(popup)) << "owned windows go with their owner";
  EXPECT_FALSE(IsWindow(overlapped));
}

TEST(Windows, LaterChildrenGoBelowEarlierOnes) {
  HWND parent = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  HWND c1 = CreateTestWindow(WS_CHILD, parent);
  HWND c2 = CreateTestWindow(WS_CHILD, parent);
  HWND c3 = CreateTestWindow(WS_CHILD, parent);
  EXPECT_EQ(GetWindow(parent, GW_CHILD), c1);
  EXPECT_EQ(GetWindow(c1, GW_HWNDNEXT), c2);
  EXPECT_EQ(GetWindow(c2, GW_HWNDNEXT), c3);
  EXPECT_EQ(GetWindow(c3, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(c3, GW_HWNDPREV), c2);
  EXPECT_EQ(GetWindow(c2, GW_HWNDFIRST), c1);
  EXPECT_EQ(GetWindow(c1, GW_HWNDLAST), c3);
  EXPECT_EQ(GetWindow(c1, GW_CHILD), nullptr);
  DestroyWindow(parent);
}

TEST(Windows, MessageOnlyWindowsAreNeverVisibleNorChildrenOfTheDesktop) {
  HWND hwnd = CreateTestWindow(WS_POPUP | WS_VISIBLE, HWND_MESSAGE);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(GetParent(hwnd), nullptr);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  HWND desktop = GetDesktopWindow();
  for (HWND w = GetWindow(desktop, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    ASSERT_NE(w, hwnd) << "a message-only window is not a child of the desktop";
  }
  DestroyWindow(hwnd);
}

TEST(Windows, EnumThreadWindowsGivesTopLevelWindowsOfThatThreadOnly) {
  std::vector<HWND> mine;
  Event made(true);
  Event done(true);
  HWND top = nullptr, popup = nullptr, child = nullptr, messageOnly = nullptr;
  TestThread t([&]() -> DWORD {
    top = CreateTestWindow(WS_OVERLAPPED);
    popup = CreateTestWindow(WS_POPUP, top);
    child = CreateTestWindow(WS_CHILD, top);
    messageOnly = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
    made.Set();
    done.Wait();
    return 0;
  });
  ASSERT_TRUE(made.Wait());
  std::vector<HWND> seen;
  EXPECT_TRUE(EnumThreadWindows(
      t.Id(),
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&seen)));
  // Not an exact count: Windows (and wine) give a GUI thread a default IME window too.
  EXPECT_NE(std::find(seen.begin(), seen.end(), top), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), popup), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), child), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), messageOnly), seen.end()) << "message-only windows are not enumerated";
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(top, &pid), t.Id());
  EXPECT_EQ(pid, GetCurrentProcessId());
  done.Set();
  t.Join();
  EXPECT_FALSE(IsWindow(top));
}

TEST(Windows, VisibilityNeedsEveryAncestor) {
  HWND parent = CreateTestWindow(WS_POPUP);
  HWND child = CreateTestWindow(WS_CHILD | WS_VISIBLE, parent);
  EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_FALSE(ShowWindow(parent, SW_SHOWNA)) << "returns the previous visibility";
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(ShowWindow(parent, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(parent));
  EXPECT_FALSE(ShowWindow(parent, SW_HIDE));
  DestroyWindow(parent);
}

TEST(Windows, LongsTextAndSubclassing) {
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, nullptr, L"first");
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(SetWindowTextW(hwnd, L"second"));
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 6);
  wchar_t text[4] = {};
  EXPECT_EQ(GetWindowTextW(hwnd, text, 4), 3) << "truncated to the buffer";
  EXPECT_EQ(std::wstring(text), L"sec");

  static std::atomic<int> subclassed{0};
  subclassed = 0;
  static WNDPROC previous = nullptr;
  previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  ASSERT_NE(previous, nullptr);
  WNDPROC sub = [](HWND w, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_USER + 5) {
      ++subclassed;
      return 99;
    }
    return CallWindowProcW(previous, w, msg, wParam, lParam);
  };
  EXPECT_EQ(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sub)),
            reinterpret_cast<LONG_PTR>(previous));
  EXPECT_EQ(SendMessageW(hwnd, WM_USER + 5, 0, 0), 99);
  EXPECT_EQ(subclassed.load(), 1);
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 6) << "other messages reach the previous procedure";
  DestroyWindow(hwnd);
}

// A window without a frame has its client area at its corner; a child's is offset by its parent's.
TEST(Windows, ScreenAndClientCoordinatesOfFramelessWindows) {
  HWND parent = CreateTestWindow(WS_POPUP);
  ASSERT_TRUE(MoveWindow(parent, 300, 200, 200, 100, FALSE));
  HWND child = CreateTestWindow(WS_CHILD, parent);
  ASSERT_TRUE(MoveWindow(child, 10, 20, 50, 30, FALSE));
  struct Case {
    HWND window;
    POINT screen;
    POINT client;
  };
  for (const Case& c : {Case{parent, {320, 230}, {20, 30}}, Case{child, {320, 230}, {10, 10}},
                        Case{parent, {0, 0}, {-300, -200}}}) {
    POINT point = c.screen;
    ASSERT_TRUE(ScreenToClient(c.window, &point));
    EXPECT_EQ(point.x, c.client.x);
    EXPECT_EQ(point.y, c.client.y);
    ASSERT_TRUE(ClientToScreen(c.window, &point));
    EXPECT_EQ(point.x, c.screen.x);
    EXPECT_EQ(point.y, c.screen.y);
  }
  DestroyWindow(parent);
  POINT point{1, 1};
  EXPECT_FALSE(ScreenToClient(parent, &point)) << "a destroyed window";
  EXPECT_EQ(point.x, 1);
}

// --- Messages
// -------------------------------------------------------------------------------

TEST(Messages, QuitComesAfterEveryPostedMessage) {
  DrainQueue();
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 1, 0, 0);
  PostQuitMessage(7);
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 2, 0, 0);
  MSG msg{};
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2)) << "posted after the quit, still retrieved before it";
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit flag is cleared once retrieved";
}

TEST(Messages, PeekCanLeaveAMessageInTheQueue) {
  DrainQueue();
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 3, 11, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 11u);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(Messages, PostingToNothingFails) {
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  DestroyWindow(hwnd);
  SetLastError(0);
  EXPECT_FALSE(PostMessageW(hwnd, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  TestThread ended([]() -> DWORD { return 0; });
  DWORD tid = ended.Id();
  ended.Join();
  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageW(tid, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

// A message-only window gets its posted messages like any other.
TEST(Messages, PostedMessagesAreDispatchedToTheirWindow) {
  DrainQueue();
  std::vector<WPARAM> got;
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER) got.push_back(wParam);
    return std::nullopt;
  };
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
  PostMessageW(hwnd, WM_USER, 1, 0);
  PostMessageW(hwnd, WM_USER, 2, 0);
  PostQuitMessage(0);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  EXPECT_EQ(got, (std::vector<WPARAM>{1, 2}));
  DestroyWindow(hwnd);
}

TEST(Messages, CrossThreadSendBlocksUntilTheOwnerRetrievesMessages) {
  DrainQueue();
  const DWORD owner = GetCurrentThreadId();
  std::atomic<DWORD> handledOn{0};
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER + 7) {
      handledOn = GetCurrentThreadId();
      return static_cast<LRESULT>(wParam * 2);
    }
    return std::nullopt;
  };
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
  Event returned(true);
  std::atomic<LRESULT> result{0};
  TestThread sender([&]() -> DWORD {
    result = SendMessageW(hwnd, WM_USER + 7, 21, 0);
    returned.Set();
    PostThreadMessageW(owner, WM_USER + 8, 0, 0);
    return 0;
  });
  // A kernel wait does not handle sent messages: the sender stays blocked.
  EXPECT_EQ(WaitForSingleObject(returned.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(handledOn.load(), 0u);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_USER + 8) DispatchMessageW(&msg);
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(handledOn.load(), owner);
  sender.Join();
  DestroyWindow(hwnd);
}

TEST(Messages, ABlockedSenderHandlesWhatIsSentToIt) {
  const DWORD self = GetCurrentThreadId();
  std::atomic<DWORD> backOn{0};
  Handler mineHandler = [&](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER + 1) {
      backOn = GetCurrentThreadId();
      return 41;
    }
    return std::nullopt;
  };
  HWND mine = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &mineHandler);
  HWND theirs = nullptr;
  Handler theirHandler = [&](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER) return SendMessageW(mine, WM_USER + 1, 0, 0) + 1;
    return std::nullopt;
  };
  Event ready(true);
  TestThread other([&]() -> DWORD {
    theirs = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &theirHandler);
    ready.Set();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
  });
  ASSERT_TRUE(ready.Wait());
  EXPECT_EQ(SendMessageW(theirs, WM_USER, 0, 0), 42);
  EXPECT_EQ(backOn.load(), self);
  PostThreadMessageW(other.Id(), WM_QUIT, 0, 0);
  other.Join();
  DestroyWindow(mine);
}

// A window whose thread never retrieves messages: a send with a time-out gives up, a plain
// send returns 0 once the thread ends.
TEST(Messages, SendToAThreadThatDoesNotPumpTimesOutOrReturnsZeroAtItsEnd) {
  HWND hwnd = nullptr;
  Handler h = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER) return 99;
    return std::nullopt;
  };
  Event ready(true), go(true);
  TestThread owner([&]() -> DWORD {
    hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
    ready.Set();
    go.Wait();
    return 0;
  });
  ASSERT_TRUE(ready.Wait());
  DWORD_PTR timedOut = 123;
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(hwnd, WM_USER, 0, 0, SMTO_NORMAL, 50, &timedOut), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));

  std::atomic<LRESULT> result{-1};
  Event sent(true);
  TestThread sender([&]() -> DWORD {
    sent.Set();
    result = SendMessageW(hwnd, WM_USER, 0, 0);
    return 0;
  });
  ASSERT_TRUE(sent.Wait());
  Sleep(50);  // let the send reach the owner's queue (a late send fails the same way)
  go.Set();
  owner.Join();
  sender.Join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Messages, WaitMessageReturnsForAPostedMessage) {
  DrainQueue();
  const DWORD self = GetCurrentThreadId();
  TestThread poster([&]() -> DWORD {
    PostThreadMessageW(self, WM_USER + 9, 0, 0);
    return 0;
  });
  EXPECT_TRUE(WaitMessage());
  poster.Join();
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
}

}  // namespace
