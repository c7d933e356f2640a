// simwin-only setup shared by the MSAA and UI Automation tests over simwin: a setup dialog of standard controls,
// a fixture that runs it in an installer process and checks that nothing handed out is still alive at the end.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/accessible_child.h"
#include "platform/conformance.h"
#include "platform/sim/simwin.h"

namespace simaccess {

enum Id : int { kLabel = 100, kPath, kGroup, kShortcut, kTypical, kCustom, kHidden, kTri };
constexpr int kNext = IDOK, kCancel = IDCANCEL;

// Client rectangles are 200x24 at (10, y); the dialog's client area starts at (100, 100) on the screen.
inline simwin::DialogLayout SetupDialog() {
  simwin::DialogLayout d;
  d.title = L"Setup - &Example";
  d.rect = RECT{100, 100, 600, 460};
  auto add = [&](LPCWSTR cls, DWORD style, LPCWSTR text, int id, int y) {
    simwin::ControlLayout c;
    c.className = cls;
    c.style = style;
    c.text = text;
    c.id = id;
    c.rect = RECT{10, y, 210, y + 24};
    d.controls.push_back(c);
    return &d.controls.back();
  };
  add(L"Static", SS_LEFT, L"&Destination:", kLabel, 10);
  add(L"Edit", ES_LEFT, L"C:\\Program Files\\Example", kPath, 40);
  add(L"Button", BS_GROUPBOX, L"Options", kGroup, 70);
  add(L"Button", BS_AUTOCHECKBOX | WS_GROUP, L"&Desktop shortcut", kShortcut, 100)->check = BST_CHECKED;
  add(L"Button", BS_AUTORADIOBUTTON | WS_GROUP, L"&Typical", kTypical, 130)->check = BST_CHECKED;
  add(L"Button", BS_AUTORADIOBUTTON, L"&Custom", kCustom, 160);
  add(L"Button", BS_AUTOCHECKBOX | WS_GROUP, L"Hidden", kHidden, 190)->visible = false;
  add(L"Button", BS_AUTO3STATE | WS_GROUP, L"&Extras", kTri, 220)->check = BST_INDETERMINATE;
  add(L"Button", BS_DEFPUSHBUTTON | WS_GROUP, L"&Next >", kNext, 300);
  add(L"Button", BS_PUSHBUTTON, L"Cancel", kCancel, 330)->enabled = false;
  return d;
}

inline simwin::AccNode Node(LONG role, std::wstring name, LONG state = STATE_SYSTEM_NORMAL) {
  return {.role = role, .name = std::move(name), .state = state};
}

// Frees the string; "<null>" stands for none.
inline std::wstring Take(BSTR b) {
  std::wstring s = b ? std::wstring(b, SysStringLen(b)) : L"<null>";
  SysFreeString(b);
  return s;
}

// Holds the installer's UI thread busy, starts `call` on another thread, and lets the UI thread go (running
// `thenOnUiThread` there first) once `whileBusy` has run on this thread. Returns when the call has ended.
inline void CallWhileUiThreadIsBusy(simwin::Process& process, const std::function<void()>& thenOnUiThread,
                                    const std::function<void()>& call, const std::function<void()>& whileBusy = {}) {
  conformance::Event blocked, release, calling;
  process.Post([&] {
    blocked.Set();
    release.Wait();
    thenOnUiThread();
  });
  ASSERT_TRUE(blocked.Wait());
  conformance::TestThread caller([&]() -> DWORD {
    calling.Set();
    call();
    return 0;
  });
  ASSERT_TRUE(calling.Wait());
  if (whileBusy) whileBusy();
  release.Set();
  caller.Join();
}

class SimDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bstrs_ = simwin::LiveBstrCount();
    simwin::ClearAccessibilityFaults();
    process_ = std::make_unique<simwin::Process>(L"setup.exe");
    dialog_ = simwin::CreateDialogFromLayout(*process_, SetupDialog());
    ASSERT_NE(dialog_.hwnd, nullptr);
  }
  void TearDown() override {
    EndProcess();
    ExpectNothingLeaked();
  }
  void EndProcess() {
    simwin::ClearAccessibilityFaults();
    process_.reset();
  }
  // Every object and string handed out came back.
  void ExpectNothingLeaked() const {
    EXPECT_EQ(simwin::LiveAccessibleObjectCount(), 0);
    EXPECT_EQ(simwin::LiveBstrCount(), bstrs_);
    EXPECT_EQ(simwin::PendingLresultCount(), 0u);
  }

  HWND Ctl(int id) const { return dialog_.Control(id); }
  int Check(int id) const { return static_cast<int>(simwin::CheckState(Ctl(id))); }

  std::unique_ptr<simwin::Process> process_;
  simwin::Dialog dialog_;
  long bstrs_ = 0;
};

}  // namespace simaccess
