// Conformance of kernel objects, waits, threads, processes, tool help, text conversion, modules and COM apartments.
#include <atomic>
#include <string>

#include "conformance.h"

using conformance::Event;
using conformance::kLongWait;
using conformance::TestThread;

namespace {

constexpr DWORD kTimedOut = WAIT_TIMEOUT;

// One set releases one wait of an auto-reset event, which resets; a manual-reset event releases every waiter and stays
// set until reset.
TEST(Events, AutoResetReleasesOneWaitManualResetEveryWaitUntilReset) {
  for (bool manualReset : {false, true}) {
    SCOPED_TRACE(manualReset ? "manual reset" : "auto reset");
    Event ev(manualReset), done(true);
    std::atomic<int> released{0};
    auto waiter = [&]() -> DWORD {
      HANDLE hs[] = {ev.get(), done.get()};
      if (WaitForMultipleObjects(2, hs, FALSE, kLongWait) == WAIT_OBJECT_0) ++released;
      return 0;
    };
    TestThread a(waiter), b(waiter);
    SetEvent(ev.get());
    HANDLE threads[] = {a.Handle(), b.Handle()};
    const DWORD first = WaitForMultipleObjects(2, threads, FALSE, kLongWait);
    ASSERT_LT(first, 2u);
    EXPECT_EQ(WaitForSingleObject(threads[1 - first], manualReset ? kLongWait : 100),
              manualReset ? WAIT_OBJECT_0 : kTimedOut);
    EXPECT_EQ(released.load(), manualReset ? 2 : 1);
    EXPECT_EQ(WaitForSingleObject(ev.get(), 0), manualReset ? WAIT_OBJECT_0 : kTimedOut);
    ResetEvent(ev.get());
    EXPECT_EQ(WaitForSingleObject(ev.get(), 0), kTimedOut);
    done.Set();
  }
}

TEST(Waits, WaitAnyGivesTheLowestSignalledIndexAndBadHandlesFail) {
  Event e0, e1, e2;
  HANDLE hs[] = {e0.get(), e1.get(), e2.get()};
  SetEvent(e2.get());
  SetEvent(e1.get());
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), WAIT_OBJECT_0 + 2) << "e1 was consumed, e2 was not";
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), kTimedOut);

  HANDLE closed = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // made after e0-e2: its value is not reused by them
  ASSERT_TRUE(CloseHandle(closed));
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(closed));
  HANDLE mixed[] = {e0.get(), closed};
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
}

TEST(Threads, HandleIsSignalledAtExitAndIdsNameTheirThread) {
  Event go;
  DWORD seenId = 0;
  TestThread t([&]() -> DWORD {
    seenId = GetCurrentThreadId();
    go.Wait();
    return 42;
  });
  EXPECT_EQ(GetThreadId(t.Handle()), t.Id());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t.Handle(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t.Handle(), 0), kTimedOut);
  go.Set();
  EXPECT_EQ(t.Join(), 42u);
  EXPECT_EQ(WaitForSingleObject(t.Handle(), 0), WAIT_OBJECT_0) << "a thread handle is not consumed by a wait";
  EXPECT_EQ(seenId, t.Id());
  EXPECT_NE(seenId, GetCurrentThreadId());

  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(GetProcessId(GetCurrentProcess()), GetCurrentProcessId());
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), kTimedOut);
  EXPECT_TRUE(CloseHandle(GetCurrentThread())) << "closing a pseudo handle is a no-op";
}

TEST(Processes, OnlyALiveProcessOpens) {
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), kTimedOut);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(h, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  CloseHandle(h);
  for (DWORD pid : {0u, 0x7FFFFFF0u}) EXPECT_FAILS_WITH(OpenProcess(SYNCHRONIZE, FALSE, pid), ERROR_INVALID_PARAMETER);
}

#ifdef _WIN32
// simwin's logical processes end otherwise: covered in tests/sim/simwin_driving_test.cpp.
void ExitWithSeven() { ExitProcess(7); }
const bool g_exitChild = conformance::ChildBody(L"exit-7", &ExitWithSeven);

TEST(Processes, ChildExitIsObservedThroughOpenProcess) {
  conformance::ChildProcess child(L"exit-7", &ExitWithSeven);
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child.Id());
  ASSERT_NE(h, nullptr);
  child.Start();
  EXPECT_EQ(WaitForSingleObject(h, kLongWait), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(h, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(h);
}
#endif

TEST(ToolHelp, ThreadSnapshotListsACreatedThreadWithItsProcess) {
  Event go;
  TestThread t([&]() -> DWORD { return go.Wait(); });
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  THREADENTRY32 te{};
  te.dwSize = sizeof(te);
  int found = 0;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
    if (te.th32ThreadID != t.Id() && te.th32ThreadID != GetCurrentThreadId()) continue;
    ++found;
    EXPECT_EQ(te.th32OwnerProcessID, GetCurrentProcessId());
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_EQ(found, 2) << "the created thread and this one";
  EXPECT_TRUE(CloseHandle(snap));
  go.Set();
}

// Malformed input is not refused: each bad byte becomes U+FFFD.
TEST(Text, Utf8ConvertsBothWaysAndMalformedBytesAreReplaced) {
  const struct Case {
    const char* utf8;
    std::wstring wide;
  } cases[] = {{"", L""},
               {"Install", L"Install"},
               {"Gr\xC3\xBC\xC3\x9F" "e", L"Gr\u00FC\u00DFe"},
               {"\xE2\x82\xAC 5", L"\u20AC 5"},
               {"a\xFF" "b", L"a\uFFFDb"}};
  for (const auto& c : cases) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, c.utf8, -1, nullptr, 0);  // with the terminator
    std::wstring wide(n, L'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8, -1, wide.data(), n), n) << c.utf8;
    EXPECT_EQ(wide, c.wide + L'\0');
    if (c.wide.find(L'\uFFFD') != std::wstring::npos) continue;
    const int m = WideCharToMultiByte(CP_UTF8, 0, c.wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string back(m, '\0');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.wide.c_str(), -1, back.data(), m, nullptr, nullptr), m);
    EXPECT_EQ(back, std::string(c.utf8) + '\0');
  }
}

TEST(Modules, User32ExportsSetProcessDpiAware) {
  HMODULE user32 = LoadLibraryW(L"User32.dll");
  ASSERT_NE(user32, nullptr);
  EXPECT_NE(GetProcAddress(user32, "SetProcessDPIAware"), nullptr);
  EXPECT_FAILS_WITH(GetProcAddress(user32, "NoSuchExportAnywhere"), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(user32));
  EXPECT_FAILS_WITH(LoadLibraryW(L"no-such-library-anywhere.dll"), ERROR_MOD_NOT_FOUND);
  HMODULE self = nullptr;
  EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&conformance::TestWindowProc), &self));
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
