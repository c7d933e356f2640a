// simwin-only facts of its driving API that wine cannot judge in one test process (a second logical process and its
// end, dialogs made from layouts). Root process termination, class registration and ids are relied on, and so checked,
// by the engine's tests.
#include <functional>
#include <memory>
#include <vector>

#include "platform/conformance.h"
#include "platform/sim/simwin.h"

using conformance::CreateTestWindow;
using conformance::kLongWait;

namespace {

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
    EXPECT_FAILS_WITH(OpenProcess(SYNCHRONIZE, FALSE, pid), ERROR_INVALID_PARAMETER) << "no live process nor handle";
  }
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

// A dialog made from a layout gets the frame its style declares, as one made from a template does: a modal frame for
// DS_MODALFRAME, a caption for WS_CAPTION; its rectangle is the whole window and its controls sit in the client area.
TEST(SimwinDialogs, LayoutsGetTheFrameTheirStyleDeclares) {
  const int frame = GetSystemMetrics(SM_CXDLGFRAME);
  const struct Case {
    DWORD style;
    POINT inset;
  } cases[] = {{simwin::DialogLayout{}.style, {frame, frame + GetSystemMetrics(SM_CYCAPTION)}},
               {WS_POPUP | DS_MODALFRAME, {frame, frame}},
               {WS_POPUP, {0, 0}}};
  simwin::Process installer;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    simwin::DialogLayout layout{
        .style = c.style, .rect = {100, 100, 500, 400}, .controls = {{.id = 7, .rect = {10, 20, 90, 44}}}};
    const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, layout);
    RECT window{}, control{};
    GetWindowRect(dialog.hwnd, &window);
    GetWindowRect(dialog.Control(7), &control);
    EXPECT_EQ(std::make_pair(window.left, window.bottom), std::make_pair(100, 400));
    EXPECT_EQ(std::make_pair(control.left, control.top), std::make_pair(110 + c.inset.x, 120 + c.inset.y));
  }
}

}  // namespace
