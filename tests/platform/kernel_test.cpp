// Conformance of kernel objects, waits, APCs, threads, processes and tool help.
#include <atomic>
#include <string>
#include <vector>

#include "conformance.h"

using conformance::Event;
using conformance::kLongWait;
using conformance::TestThread;

namespace {

TEST(Events, AutoResetIsConsumedByOneWaitManualResetStaysUntilReset) {
  for (bool manualReset : {false, true}) {
    Event ev(manualReset);
    ASSERT_NE(ev.get(), nullptr);
    SetEvent(ev.get());
    SetEvent(ev.get());
    EXPECT_EQ(WaitForSingleObject(ev.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ev.get(), 0), manualReset ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT));
    ResetEvent(ev.get());
    EXPECT_EQ(WaitForSingleObject(ev.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << manualReset;
  }
}

TEST(Events, ManualResetReleasesEveryWaiter) {
  Event ev(true);
  std::vector<std::unique_ptr<TestThread>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::make_unique<TestThread>([&] { return WaitForSingleObject(ev.get(), kLongWait); }));
  }
  SetEvent(ev.get());
  for (auto& t : waiters) EXPECT_EQ(t->Join(), WAIT_OBJECT_0);
}

TEST(Events, AutoResetReleasesOneWaiterPerSet) {
  Event ev;
  Event done(true);
  std::atomic<int> released{0};
  auto body = [&]() -> DWORD {
    HANDLE hs[] = {ev.get(), done.get()};
    if (WaitForMultipleObjects(2, hs, FALSE, kLongWait) == WAIT_OBJECT_0) ++released;
    return 0;
  };
  TestThread a(body);
  TestThread b(body);
  SetEvent(ev.get());
  HANDLE threads[] = {a.Handle(), b.Handle()};
  DWORD first = WaitForMultipleObjects(2, threads, FALSE, kLongWait);
  ASSERT_LT(first, 2u);
  // The other waiter is still blocked: one SetEvent released one wait.
  EXPECT_EQ(WaitForSingleObject(threads[1 - first], 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(released.load(), 1);
  done.Set();
}

TEST(Events, NamedEventIsSharedAndReportsExisting) {
  std::wstring name = L"conformance-named-event-" + std::to_wstring(GetCurrentProcessId());
  Event first(false, false, name.c_str());
  ASSERT_NE(first.get(), nullptr);
  SetLastError(0xDEAD);
  HANDLE second = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE opened = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);
  SetEvent(second);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "one object, auto reset";
  CloseHandle(second);
  CloseHandle(opened);

  std::wstring missing = name + L"-missing";
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, missing.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Waits, WaitAnyReturnsLowestSignalledIndex) {
  Event e0, e1, e2, e3;
  HANDLE hs[] = {e0.get(), e1.get(), e2.get(), e3.get()};
  SetEvent(e3.get());
  SetEvent(e1.get());
  EXPECT_EQ(WaitForMultipleObjects(4, hs, FALSE, 0), WAIT_OBJECT_0 + 1);
  // Auto reset: e1 was consumed, e3 was not.
  EXPECT_EQ(WaitForMultipleObjects(4, hs, FALSE, 0), WAIT_OBJECT_0 + 3);
  EXPECT_EQ(WaitForMultipleObjects(4, hs, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Waits, WaitAllNeedsEveryObjectAndConsumesNoneOtherwise) {
  Event e0, e1;
  HANDLE hs[] = {e0.get(), e1.get()};
  SetEvent(e0.get());
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(e1.get());
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e0.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(e1.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Waits, WaitAllIsSatisfiedLaterByAnotherThread) {
  Event e0(true), e1(true);
  HANDLE hs[] = {e0.get(), e1.get()};
  SetEvent(e0.get());
  TestThread setter([&]() -> DWORD {
    SetEvent(e1.get());
    return 0;
  });
  EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, kLongWait), WAIT_OBJECT_0);
}

TEST(Waits, BadHandlesFail) {
  Event good;  // made first: a closed handle's value may be reused by the next
               // object
  HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(SetEvent(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  HANDLE mixed[] = {good.get(), h};
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
}

// --- APCs
// --------------------------------------------------------------------------------

std::atomic<int> g_apcCalls{0};
std::atomic<ULONG_PTR> g_apcData{0};
void WINAPI CountingApc(ULONG_PTR data) {
  ++g_apcCalls;
  g_apcData = data;
}

TEST(Apcs, RunOnlyInAlertableWaits) {
  g_apcCalls = 0;
  Event never;
  ASSERT_NE(QueueUserAPC(&CountingApc, GetCurrentThread(), 77), 0u);
  EXPECT_EQ(WaitForSingleObject(never.get(), 10), static_cast<DWORD>(WAIT_TIMEOUT));
  HANDLE hs[] = {never.get()};
  EXPECT_EQ(WaitForMultipleObjects(1, hs, FALSE, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  Sleep(1);
  EXPECT_EQ(SleepEx(0, FALSE), 0u);
  EXPECT_EQ(g_apcCalls.load(), 0) << "non-alertable waits must not run APCs";

  EXPECT_EQ(WaitForSingleObjectEx(never.get(), kLongWait, TRUE), static_cast<DWORD>(WAIT_IO_COMPLETION));
  EXPECT_EQ(g_apcCalls.load(), 1);
  EXPECT_EQ(g_apcData.load(), 77u);
  // The queue is empty now: the next alertable wait just times out.
  EXPECT_EQ(WaitForSingleObjectEx(never.get(), 0, TRUE), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Apcs, EveryAlertableWaitKindRunsThem) {
  Event never;
  HANDLE hs[] = {never.get()};
  struct Case {
    const char* name;
    std::function<DWORD()> wait;
  };
  const Case cases[] = {
      {"SleepEx", [] { return SleepEx(kLongWait, TRUE); }},
      {"WaitForSingleObjectEx", [&] { return WaitForSingleObjectEx(never.get(), kLongWait, TRUE); }},
      {"WaitForMultipleObjectsEx", [&] { return WaitForMultipleObjectsEx(1, hs, FALSE, kLongWait, TRUE); }},
  };
  for (const auto& c : cases) {
    g_apcCalls = 0;
    ASSERT_NE(QueueUserAPC(&CountingApc, GetCurrentThread(), 1), 0u);
    ASSERT_NE(QueueUserAPC(&CountingApc, GetCurrentThread(), 2), 0u);
    EXPECT_EQ(c.wait(), static_cast<DWORD>(WAIT_IO_COMPLETION)) << c.name;
    EXPECT_EQ(g_apcCalls.load(), 2) << c.name << ": all queued APCs run";
    EXPECT_EQ(g_apcData.load(), 2u) << c.name << ": in order";
  }
}

TEST(Apcs, WakeAThreadInAnAlertableWait) {
  Event ready(true);
  TestThread sleeper([&]() -> DWORD {
    ready.Set();
    return SleepEx(INFINITE, TRUE);
  });
  ASSERT_TRUE(ready.Wait());
  ASSERT_NE(QueueUserAPC(&CountingApc, sleeper.Handle(), 5), 0u);
  EXPECT_EQ(sleeper.Join(), static_cast<DWORD>(WAIT_IO_COMPLETION));
}

// --- Threads
// -------------------------------------------------------------------------------

TEST(Threads, HandleIsSignalledAtExitWithExitCode) {
  Event go;
  TestThread t([&]() -> DWORD {
    go.Wait();
    return 42;
  });
  ASSERT_NE(t.Handle(), nullptr);
  EXPECT_NE(t.Id(), 0u);
  EXPECT_EQ(GetThreadId(t.Handle()), t.Id());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t.Handle(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  go.Set();
  EXPECT_EQ(WaitForSingleObject(t.Handle(), kLongWait), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t.Handle(), &code));
  EXPECT_EQ(code, 42u);
  // Still signalled: a thread handle is not consumed by a wait.
  EXPECT_EQ(WaitForSingleObject(t.Handle(), 0), WAIT_OBJECT_0);
}

TEST(Threads, IdsAreDistinctAndPseudoHandlesNameTheCaller) {
  DWORD other = 0;
  TestThread t([&]() -> DWORD {
    other = GetCurrentThreadId();
    return 0;
  });
  t.Join();
  EXPECT_EQ(other, t.Id());
  EXPECT_NE(other, GetCurrentThreadId());
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(GetProcessId(GetCurrentProcess()), GetCurrentProcessId());
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(CloseHandle(GetCurrentThread())) << "closing a pseudo handle is a no-op";
}

// --- Processes
// -----------------------------------------------------------------------------

TEST(Processes, OpenProcessOfUnknownIdIsAnInvalidParameter) {
  for (DWORD pid : {static_cast<DWORD>(0), static_cast<DWORD>(0x7FFFFFF0)}) {
    SetLastError(0);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, pid), nullptr) << pid;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << pid;
  }
}

TEST(Processes, OwnProcessIsRunning) {
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetProcessId(h), GetCurrentProcessId());
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(h, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  CloseHandle(h);
}

#ifdef _WIN32
// The test program started as a child of itself exits at once with the code it is given, before any test runs. (simwin
// has no CreateProcessW: its logical processes are covered in simwin_driving_test.cpp.)
const int g_childExit = [] {
  const wchar_t* flag = wcsstr(GetCommandLineW(), L"--conformance-child-exit=");
  if (flag) ExitProcess(static_cast<UINT>(_wtoi(flag + wcslen(L"--conformance-child-exit="))));
  return 0;
}();

TEST(Processes, ChildExitIsObservedThroughOpenProcess) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  std::wstring cmd = L"\"" + std::wstring(path) + L"\" --conformance-child-exit=7";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pi.dwProcessId);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, kLongWait), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(h, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(h);
}
#endif

// --- Tool help
// -----------------------------------------------------------------------------

TEST(ToolHelp, ThreadSnapshotListsACreatedThreadWithItsProcess) {
  Event go;
  TestThread t([&]() -> DWORD {
    go.Wait();
    return 0;
  });
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  THREADENTRY32 te{};
  te.dwSize = 0;
  EXPECT_FALSE(Thread32First(snap, &te)) << "dwSize must be set";
  te.dwSize = sizeof(te);
  bool foundCreated = false;
  bool foundSelf = false;
  int count = 0;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
    ++count;
    if (te.th32ThreadID == t.Id()) {
      foundCreated = true;
      EXPECT_EQ(te.th32OwnerProcessID, GetCurrentProcessId());
    }
    if (te.th32ThreadID == GetCurrentThreadId()) {
      foundSelf = true;
      EXPECT_EQ(te.th32OwnerProcessID, GetCurrentProcessId());
    }
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_GE(count, 2);
  EXPECT_TRUE(foundCreated);
  EXPECT_TRUE(foundSelf);
  EXPECT_TRUE(CloseHandle(snap));
  go.Set();
}

// --- Text, errors, modules, COM
// -------------------------------------------------------------

TEST(Text, Utf8RoundTrips) {
  struct Case {
    const char* utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"", L""},
      {"Install", L"Install"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       L"Gr\u00FC\u00DFe"},
      {"\xE2\x82\xAC 5", L"\u20AC 5"},
  };
  for (const auto& c : cases) {
    int n = MultiByteToWideChar(CP_UTF8, 0, c.utf8, -1, nullptr, 0);
    ASSERT_EQ(n, static_cast<int>(c.wide.size()) + 1) << c.utf8;
    std::wstring wide(n, L'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8, -1, wide.data(), n), n);
    wide.resize(n - 1);
    EXPECT_EQ(wide, c.wide);
    int m = WideCharToMultiByte(CP_UTF8, 0, c.wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string back(m, '\0');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.wide.c_str(), -1, back.data(), m, nullptr, nullptr), m);
    back.resize(m - 1);
    EXPECT_EQ(back, c.utf8);
  }
}

TEST(Text, MalformedUtf8IsReplacedOrRefused) {
  const char bad[] =
      "a\xFF"
      "b";
  wchar_t out[8] = {};
  int n = MultiByteToWideChar(CP_UTF8, 0, bad, 3, out, 8);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(out[0], L'a');
  EXPECT_EQ(out[1], static_cast<wchar_t>(0xFFFD));
  EXPECT_EQ(out[2], L'b');
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, 3, out, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", 4, out, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Errors, SystemMessagesAreWindowsEnglishTexts) {
  SKIP_UNDER_WINE("its message table has texts of its own (87 is \"Invalid parameter.\")");
  struct Case {
    DWORD code;
    const wchar_t* text;
  };
  const Case cases[] = {
      {ERROR_INVALID_PARAMETER, L"The parameter is incorrect.\r\n"},
      {ERROR_INVALID_HANDLE, L"The handle is invalid.\r\n"},
      {ERROR_ACCESS_DENIED, L"Access is denied.\r\n"},
      {ERROR_CLASS_ALREADY_EXISTS, L"Class already exists.\r\n"},
      {ERROR_INVALID_WINDOW_HANDLE, L"Invalid window handle.\r\n"},
  };
  for (const auto& c : cases) {
    wchar_t buffer[256] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, c.code,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 256, nullptr);
    EXPECT_EQ(std::wstring(buffer), c.text) << c.code;
    EXPECT_EQ(n, std::wstring(c.text).size()) << c.code;
  }
  EXPECT_EQ(std::wstring(_com_error(E_INVALIDARG).ErrorMessage()), L"The parameter is incorrect.");
}

TEST(Modules, User32ExportsSetProcessDpiAware) {
  HMODULE user32 = LoadLibraryW(L"User32.dll");
  ASSERT_NE(user32, nullptr);
  EXPECT_NE(GetProcAddress(user32, "SetProcessDPIAware"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(user32, "NoSuchExportAnywhere"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(user32));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L"no-such-library-anywhere.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  HMODULE self = nullptr;
  EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&CountingApc), &self));
  EXPECT_NE(self, nullptr);
}

TEST(Com, ApartmentBookkeepingPerThread) {
  TestThread t([]() -> DWORD {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    // Fully uninitialised: another model is accepted now.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
    return 0;
  });
  t.Join();
}

}  // namespace
