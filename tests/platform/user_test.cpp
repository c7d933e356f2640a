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
using conformance::TestThread;

namespace {

TEST(Classes, SecondRegistrationFailsUntilUnregisteredAndAnUnknownClassMakesNoWindow) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ConformanceTwice";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  EXPECT_FAILS_WITH(RegisterClassExW(&wc), ERROR_CLASS_ALREADY_EXISTS);

  HWND hwnd = CreateWindowExW(0, L"ConformanceTwice", L"", WS_OVERLAPPED, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  wchar_t name[64] = {};
  EXPECT_EQ(GetClassNameW(hwnd, name, 64), 16);
  EXPECT_EQ(std::wstring(name), L"ConformanceTwice");
  EXPECT_FAILS_WITH(UnregisterClassW(L"ConformanceTwice", wc.hInstance), ERROR_CLASS_HAS_WINDOWS);
  DestroyWindow(hwnd);

  EXPECT_TRUE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
  EXPECT_FAILS_WITH(UnregisterClassW(L"ConformanceTwice", wc.hInstance), ERROR_CLASS_DOES_NOT_EXIST);
  EXPECT_NE(RegisterClassExW(&wc), 0);
  EXPECT_TRUE(UnregisterClassW(L"ConformanceTwice", wc.hInstance));
  EXPECT_EQ(CreateWindowExW(0, L"ConformanceNoSuchClass", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr),
            nullptr);
}

// A window is counted until it is gone, WM_DESTROY and WM_NCDESTROY included: its class outlives it.
TEST(Classes, AWindowCannotUnregisterItsClassWhileBeingDestroyed) {
  static int tries = 0;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_DESTROY || msg == WM_NCDESTROY) {
      ++tries;
      EXPECT_FAILS_WITH(UnregisterClassW(L"ConformanceSelfUnregistering", GetModuleHandleW(nullptr)),
                        ERROR_CLASS_HAS_WINDOWS) << msg;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  };
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ConformanceSelfUnregistering";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                              nullptr);
  ASSERT_NE(hwnd, nullptr);
  DestroyWindow(hwnd);
  EXPECT_EQ(tries, 2);
  EXPECT_TRUE(UnregisterClassW(wc.lpszClassName, wc.hInstance));
}

TEST(Windows, FindWindowFindsTopLevelWindowsByClassAndTitle) {
  HWND top = CreateTestWindow(WS_POPUP, nullptr, nullptr, L"Find me");
  CreateTestWindow(WS_CHILD, top, nullptr, L"Child of it");
  wchar_t className[64] = {};
  GetClassNameW(top, className, 64);
  EXPECT_EQ(FindWindowW(nullptr, L"Find me"), top);
  EXPECT_EQ(FindWindowW(className, L"Find me"), top);
  EXPECT_EQ(FindWindowW(nullptr, L"Child of it"), nullptr) << "children are not looked at";
  EXPECT_EQ(FindWindowW(L"ConformanceNoSuchClass", nullptr), nullptr);
  DestroyWindow(top);
  EXPECT_EQ(FindWindowW(nullptr, L"Find me"), nullptr);
}

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
    HWND hwnd = CreateWindowExW(0, conformance::TestClassName(), L"title", WS_POPUP, 0, 0, 10, 10, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), &h);
    if (c.refuse) {
      EXPECT_EQ(hwnd, nullptr) << c.refuse;
    } else {
      ASSERT_NE(hwnd, nullptr);
      wchar_t text[4] = {};
      EXPECT_EQ(GetWindowTextW(hwnd, text, 4), 3) << "DefWindowProc's WM_NCCREATE stores the title";
      EXPECT_EQ(std::wstring(text), L"tit") << "truncated to the buffer";
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
  EXPECT_TRUE(DestroyWindow(parent));
  std::vector<std::pair<HWND, UINT>> expected = {
      {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(log, expected);
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(parent));
}

// Only the thread that made a window destroys it, and its end destroys them all.
TEST(Windows, WindowsBelongToTheThreadThatMadeThem) {
  HWND mine = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
  HWND made = nullptr, child = nullptr;
  TestThread other([&]() -> DWORD {
    made = CreateTestWindow(WS_POPUP, HWND_MESSAGE);
    child = CreateTestWindow(WS_CHILD, made);
    SetLastError(0);
    return DestroyWindow(mine) ? 0 : GetLastError();
  });
  EXPECT_EQ(other.Join(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(mine));
  ASSERT_NE(child, nullptr);
  EXPECT_FALSE(IsWindow(made));
  EXPECT_FALSE(IsWindow(child));
  DestroyWindow(mine);
}

// GetParent gives a child's parent and an owned popup's owner; an owned window's owner is the top-level window, even
// when a child was named. Children are listed in creation order.
TEST(Windows, ParentOwnerAndChildOrderFollowStyleAndCreation) {
  HWND owner = CreateTestWindow(WS_OVERLAPPED);
  HWND child = CreateTestWindow(WS_CHILD, owner);
  HWND popup = CreateTestWindow(WS_POPUP, owner);
  HWND overlapped = CreateTestWindow(WS_OVERLAPPED, owner);
  HWND grandchild = CreateTestWindow(WS_CHILD, child);
  HWND popupOfChild = CreateTestWindow(WS_POPUP, child);
  HWND secondChild = CreateTestWindow(WS_CHILD, owner);
  // GetAncestor (Microsoft Learn): GA_PARENT never gives the owner, GA_ROOT follows parents only, GA_ROOTOWNER the
  // chain GetParent gives (an overlapped window's owner is not in it).
  const HWND desktop = GetDesktopWindow();
  const struct Case {
    const char* name;
    HWND hwnd;
    HWND parent;
    HWND owner;
    HWND gaParent;
    HWND gaRoot;
    HWND gaRootOwner;
  } cases[] = {
      {"top-level", owner, nullptr, nullptr, desktop, owner, owner},
      {"child", child, owner, nullptr, owner, owner, owner},
      {"grandchild", grandchild, child, nullptr, child, owner, owner},
      {"owned popup", popup, owner, owner, desktop, popup, owner},
      {"owned overlapped", overlapped, nullptr, owner, desktop, overlapped, overlapped},
      {"popup owned through a child", popupOfChild, owner, owner, desktop, popupOfChild, owner},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetParent(c.hwnd), c.parent) << c.name;
    EXPECT_EQ(GetWindow(c.hwnd, GW_OWNER), c.owner) << c.name;
    EXPECT_EQ(GetAncestor(c.hwnd, GA_PARENT), c.gaParent) << c.name;
    EXPECT_EQ(GetAncestor(c.hwnd, GA_ROOT), c.gaRoot) << c.name;
    EXPECT_EQ(GetAncestor(c.hwnd, GA_ROOTOWNER), c.gaRootOwner) << c.name;
  }
  EXPECT_EQ(GetWindow(owner, GW_CHILD), child);
  EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), secondChild);
  EXPECT_EQ(GetWindow(secondChild, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(grandchild, GW_CHILD), nullptr);
  DestroyWindow(owner);
  EXPECT_EQ(GetAncestor(child, GA_ROOT), nullptr) << "gone";
  EXPECT_FALSE(IsWindow(popup)) << "owned windows go with their owner";
  EXPECT_FALSE(IsWindow(overlapped));
}

// Message-only windows are neither enumerated nor ever visible.
TEST(Windows, EnumThreadWindowsGivesTopLevelWindowsOfThatThreadOnly) {
  Event made(true), done(true);
  HWND top = nullptr, popup = nullptr, child = nullptr, messageOnly = nullptr;
  TestThread t([&]() -> DWORD {
    top = CreateTestWindow(WS_OVERLAPPED);
    popup = CreateTestWindow(WS_POPUP, top);
    child = CreateTestWindow(WS_CHILD, top);
    messageOnly = CreateTestWindow(WS_POPUP | WS_VISIBLE, HWND_MESSAGE);
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
  auto listed = [&](HWND hwnd) { return std::find(seen.begin(), seen.end(), hwnd) != seen.end(); };
  // Not an exact count: Windows (and wine) give a GUI thread a default IME window too.
  EXPECT_TRUE(listed(top));
  EXPECT_TRUE(listed(popup));
  EXPECT_FALSE(listed(child));
  EXPECT_FALSE(listed(messageOnly));
  EXPECT_FALSE(IsWindowVisible(messageOnly));
  EXPECT_EQ(GetParent(messageOnly), nullptr);
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

// Posted messages reach their window, a message-only one too, in order; a filtered peek takes out only what it names;
// the quit message comes after every posted message, even one posted after it, and is retrieved once.
TEST(Messages, PostedMessagesAreDispatchedInOrderAndQuitComesLast) {
  DrainQueue();
  std::vector<WPARAM> got;
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER || msg == WM_USER + 1) got.push_back(msg == WM_USER ? wParam : 99);
    return std::nullopt;
  };
  HWND hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
  PostMessageW(hwnd, WM_USER, 1, 0);
  PostMessageW(hwnd, WM_USER + 1, 0, 0);
  PostQuitMessage(7);
  PostMessageW(hwnd, WM_USER, 2, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_USER + 1, WM_USER + 1, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  EXPECT_EQ(got, (std::vector<WPARAM>{1, 2}));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit flag is cleared once retrieved";
  DestroyWindow(hwnd);

  EXPECT_FAILS_WITH(PostMessageW(hwnd, WM_USER, 0, 0), ERROR_INVALID_WINDOW_HANDLE) << "a destroyed window";
  EXPECT_FAILS_WITH(SendMessageW(hwnd, WM_USER, 0, 0), ERROR_INVALID_WINDOW_HANDLE);
}

TEST(Messages, CrossThreadSendBlocksUntilTheOwnerRetrievesMessages) {
  DrainQueue();
  const DWORD owner = GetCurrentThreadId();
  std::atomic<DWORD> handledOn{0};
  Handler h = [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_USER + 7) return std::nullopt;
    handledOn = GetCurrentThreadId();
    return static_cast<LRESULT>(wParam * 2);
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
    if (msg != WM_USER + 1) return std::nullopt;
    backOn = GetCurrentThreadId();
    return 41;
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

// A send to a window whose thread never retrieves messages returns 0 once that thread ends.
TEST(Messages, SendToAThreadThatDoesNotPumpReturnsZeroAtItsEnd) {
  HWND hwnd = nullptr;
  Handler h = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER) return 99;
    return std::nullopt;
  };
  Event ready(true), go(true), sent(true);
  TestThread owner([&]() -> DWORD {
    hwnd = CreateTestWindow(WS_POPUP, HWND_MESSAGE, &h);
    ready.Set();
    go.Wait();
    return 0;
  });
  ASSERT_TRUE(ready.Wait());
  std::atomic<LRESULT> result{-1};
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

}  // namespace
