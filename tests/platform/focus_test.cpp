// Conformance of keyboard focus and activation: SetFocus, SetActiveWindow, the foreground window, what showing, hiding
// and destroying windows do to them, the messages and WinEvents of each change, buttons and dialogs, and what the
// standard accessible objects say about the focus.
#include <algorithm>
#include <atomic>
#include <functional>
#include <vector>

#include "accessible_child.h"
#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Handler;
using conformance::PumpUntil;
using conformance::TestThread;
using conformance::WindowsOr;

namespace {

// An application event id that nothing else raises: raised last, it tells that the events before it have arrived.
constexpr DWORD kMarker = 0x0000A0FE;

struct Seen {
  DWORD event;
  HWND hwnd;
  LONG idObject;
  LONG idChild;
};
std::vector<Seen> g_events;  // written by the hook, which runs on the test's thread

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD, DWORD) {
  if (event == EVENT_OBJECT_FOCUS || event == EVENT_SYSTEM_FOREGROUND || event == kMarker) {
    g_events.push_back(Seen{event, hwnd, idObject, idChild});
  }
}

// A message of the focus protocol as a window received it.
struct Received {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Received&) const = default;
};

void PrintTo(const Received& r, std::ostream* os) {
  *os << "{" << r.hwnd << " msg " << r.msg << " w " << r.wParam << " l " << r.lParam << "}";
}

WPARAM W(HWND h) { return reinterpret_cast<WPARAM>(h); }
LPARAM L(HWND h) { return reinterpret_cast<LPARAM>(h); }

// A visible top-level window of the test's thread in the foreground, with the focus; the windows made through the
// fixture record the focus messages they receive.
class Focus : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    g_events.clear();
    recorder_ = [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
      if (msg == WM_ACTIVATE || msg == WM_SETFOCUS || msg == WM_KILLFOCUS) {
        received.push_back(Received{hwnd, msg, wParam, lParam});
      }
      return std::nullopt;
    };
    hook_ = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, &RecordEvent, GetCurrentProcessId(), 0,
                            WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook_, nullptr);
    top = Window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(SetForegroundWindow(top));
    ASSERT_EQ(GetFocus(), top);
    Settle();
  }
  void TearDown() override {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    UnhookWinEvent(hook_);
    DrainQueue();
    g_events.clear();
  }

  HWND Window(DWORD style, HWND parent = nullptr) {
    HWND h = CreateTestWindow(style, parent, &recorder_);
    EXPECT_NE(h, nullptr);
    windows_.push_back(h);
    return h;
  }
  HWND Button(DWORD style, HWND parent, int id) {
    HWND h = CreateWindowExW(0, L"Button", L"&Option", WS_CHILD | WS_VISIBLE | style, 10, 10 + 30 * id, 120, 24,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                             nullptr);
    EXPECT_NE(h, nullptr);
    return h;
  }
  // Delivers the events raised so far.
  void Settle() {
    NotifyWinEvent(kMarker, top, OBJID_CLIENT, CHILDID_SELF);
    ASSERT_TRUE(PumpUntil([] { return !g_events.empty() && g_events.back().event == kMarker; }));
    g_events.pop_back();
  }
  // Then forgets them and the messages received.
  void Forget() {
    Settle();
    received.clear();
    g_events.clear();
  }
  int Events(DWORD event, HWND hwnd) {
    Settle();
    return static_cast<int>(std::count_if(g_events.begin(), g_events.end(), [&](const Seen& s) {
      if (s.event != event || s.hwnd != hwnd) return false;
      EXPECT_EQ(s.idObject, event == EVENT_OBJECT_FOCUS ? OBJID_CLIENT : OBJID_WINDOW);
      EXPECT_EQ(s.idChild, CHILDID_SELF);
      return true;
    }));
  }

  HWND top = nullptr;
  std::vector<Received> received;

 private:
  Handler recorder_;
  HWINEVENTHOOK hook_ = nullptr;
  std::vector<HWND> windows_;
};

// SetFocus answers the window that had the focus; the one losing it hears which window gains it and the other way
// round (Microsoft Learn, WM_KILLFOCUS and WM_SETFOCUS), and the window gaining it raises EVENT_OBJECT_FOCUS
// (Microsoft Learn, event constants).
TEST_F(Focus, SetFocusMovesTheFocusWithItsMessagesAndEvent) {
  WINE_DEPARTS("before wine 10, no EVENT_OBJECT_FOCUS when no window had the focus before");
  HWND a = Window(WS_CHILD | WS_VISIBLE, top);
  HWND b = Window(WS_CHILD | WS_VISIBLE, top);
  const HWND windows[] = {nullptr, top, a, b};
  const struct Step {
    const char* what;
    int from;
    int to;
  } steps[] = {
      {"to a child", 1, 2}, {"to its sibling", 2, 3}, {"to the same window", 3, 3}, {"to no window", 3, 0},
      {"from no window", 0, 2},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    const HWND from = windows[s.from], to = windows[s.to];
    Forget();
    EXPECT_EQ(SetFocus(to), from);
    EXPECT_EQ(GetFocus(), to);
    std::vector<Received> expected;
    if (from != to) {
      if (from) expected.push_back({from, WM_KILLFOCUS, W(to), 0});
      if (to) expected.push_back({to, WM_SETFOCUS, W(from), 0});
    }
    EXPECT_EQ(received, expected);
    const int raised = to && to != from ? 1 : 0;
    EXPECT_EQ(Events(EVENT_OBJECT_FOCUS, to), from ? raised : WindowsOr(raised, 0, 10));
  }
}

// Only a window of the calling thread with no disabled window from it up to its top-level window can take the focus;
// a refused SetFocus answers null and leaves the focus where it was (measured under wine 8).
TEST_F(Focus, SetFocusRefusesWhatCannotTakeTheFocus) {
  HWND focused = Window(WS_CHILD | WS_VISIBLE, top);
  const struct Case {
    const char* what;
    std::function<HWND()> make;
    DWORD error;  // 0: not looked at
  } cases[] = {
      {"a destroyed window",
       [&] {
         HWND h = Window(WS_CHILD | WS_VISIBLE, top);
         DestroyWindow(h);
         return h;
       },
       ERROR_INVALID_WINDOW_HANDLE},
      {"a disabled child", [&] { return Window(WS_CHILD | WS_VISIBLE | WS_DISABLED, top); }, 0},
      {"a child of a disabled child",
       [&] { return Window(WS_CHILD | WS_VISIBLE, Window(WS_CHILD | WS_VISIBLE | WS_DISABLED, top)); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetFocus(focused);
    HWND target = c.make();
    Forget();
    SetLastError(0);
    EXPECT_EQ(SetFocus(target), nullptr);
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(GetFocus(), focused);
    EXPECT_TRUE(received.empty());
  }
}

// Focus and active window are the calling thread's; another thread has neither, cannot take them, and sees the
// foreground window and its thread's focus through GetGUIThreadInfo (Microsoft Learn, SetFocus, SetActiveWindow,
// GetGUIThreadInfo).
TEST_F(Focus, FocusAndActivationBelongToTheirThread) {
  HWND child = Window(WS_CHILD | WS_VISIBLE, top);
  SetFocus(child);
  // Its focus, active and foreground windows, the foreground thread's active and focus windows, what SetFocus and
  // SetActiveWindow answer.
  std::vector<HWND> seen;
  std::atomic<bool> done{false};
  TestThread other([&]() -> DWORD {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    EXPECT_TRUE(GetGUIThreadInfo(0, &info));
    seen = {GetFocus(), GetActiveWindow(), GetForegroundWindow(), info.hwndActive, info.hwndFocus, SetFocus(child),
            SetActiveWindow(top)};
    done = true;
    return 0;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  other.Join();
  EXPECT_EQ(seen, (std::vector<HWND>{nullptr, nullptr, top, top, child, nullptr, nullptr}));
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(GetActiveWindow(), top);
}

// SetActiveWindow answers the window that was active; WM_ACTIVATE tells each of the two windows about the other, and
// DefWindowProc gives the window it activates the focus, whatever the way (Microsoft Learn, WM_ACTIVATE); the
// foreground follows with EVENT_SYSTEM_FOREGROUND (Microsoft Learn, event constants). A child is not activated.
TEST_F(Focus, ActivationTellsBothWindowsAndTheFocusFollows) {
  WINE_DEPARTS("before wine 10, no EVENT_SYSTEM_FOREGROUND");
  HWND second = Window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND child = Window(WS_CHILD | WS_VISIBLE, second);
  ASSERT_EQ(GetActiveWindow(), second) << "shown, so activated";
  Forget();
  EXPECT_EQ(SetActiveWindow(top), second);
  const std::vector<Received> expected = {{second, WM_ACTIVATE, WA_INACTIVE, L(top)},
                                          {top, WM_ACTIVATE, WA_ACTIVE, L(second)},
                                          {second, WM_KILLFOCUS, W(top), 0},
                                          {top, WM_SETFOCUS, W(second), 0}};
  EXPECT_EQ(received, expected);
  EXPECT_EQ(GetForegroundWindow(), top);
  EXPECT_EQ(Events(EVENT_SYSTEM_FOREGROUND, top), WindowsOr(1, 0, 10));
  for (HWND again : {child, top}) {
    Forget();
    EXPECT_EQ(SetActiveWindow(again), top);
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_TRUE(received.empty());
  }
  for (WPARAM state : {WA_INACTIVE, WA_ACTIVE, WA_CLICKACTIVE}) {
    SetFocus(nullptr);
    SendMessageW(top, WM_ACTIVATE, state, 0);
    EXPECT_EQ(GetFocus(), state == WA_INACTIVE ? nullptr : top) << "WM_ACTIVATE " << state;
  }
}

// Showing a top-level window activates it unless the command says not to; hiding or destroying the active window
// hands activation to another visible window of the thread, or to none; a destroyed or hidden child hands the focus
// to its parent (measured under wine 8; Microsoft Learn, ShowWindow).
TEST_F(Focus, ShowingHidingAndDestroyingMoveActivationAndFocus) {
  HWND second = Window(WS_OVERLAPPEDWINDOW);
  HWND quiet = Window(WS_OVERLAPPEDWINDOW);
  HWND child = Window(WS_CHILD | WS_VISIBLE, top);
  HWND other = Window(WS_CHILD | WS_VISIBLE, top);
  const struct Step {
    const char* what;
    std::function<void()> act;
    HWND active;
    HWND focus;
  } steps[] = {
      {"shown without activation", [&] { ShowWindow(quiet, SW_SHOWNA); }, top, top},
      {"hidden again", [&] { ShowWindow(quiet, SW_HIDE); }, top, top},
      {"shown", [&] { ShowWindow(second, SW_SHOW); }, second, second},
      {"the active window hidden", [&] { ShowWindow(second, SW_HIDE); }, top, top},
      {"the focused child destroyed",
       [&] {
         SetFocus(child);
         DestroyWindow(child);
       },
       top, top},
      {"the focused child hidden",
       [&] {
         SetFocus(other);
         ShowWindow(other, SW_HIDE);
       },
       top, top},
      {"the last window destroyed", [&] { DestroyWindow(top); }, nullptr, nullptr},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(GetActiveWindow(), s.active);
    EXPECT_EQ(GetFocus(), s.focus);
  }
}

// --- Buttons ---------------------------------------------------------------------------------------------------------

// Pressing a button gives it the focus, which BM_GETSTATE shows as BST_FOCUS until it goes; the press and release
// click it, so an auto radio button pressed into focus is checked. Focus alone checks nothing (Wine's comctl32
// button.c test_button_messages: unchecked after SetFocus on every style). A radio button is a tab stop exactly while
// it is checked, so a dialog's first tab stop in a group is its checked button (the same tests for checking; measured
// under wine 8 for unchecking).
TEST_F(Focus, ButtonsTakeTheFocusWhenPressedAndShowIt) {
  const struct Case {
    DWORD style;
    LRESULT checkAfterClick;
  } cases[] = {{BS_PUSHBUTTON, BST_UNCHECKED}, {BS_AUTOCHECKBOX, BST_CHECKED}, {BS_AUTORADIOBUTTON, BST_CHECKED}};
  int id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    HWND button = Button(c.style, top, ++id);
    EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_FOCUS, 0);
    SetFocus(button);
    EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_FOCUS, BST_FOCUS);
    EXPECT_EQ(SendMessageW(button, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "focused, not clicked";
    SetFocus(top);
    EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_FOCUS, 0);

    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetFocus(), button);
    EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & (BST_FOCUS | BST_PUSHED), BST_FOCUS | BST_PUSHED);
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(SendMessageW(button, BM_GETCHECK, 0, 0), c.checkAfterClick);
    EXPECT_EQ(GetFocus(), button);
    if (c.style != BS_AUTORADIOBUTTON) continue;
    for (WPARAM check : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
      SendMessageW(button, BM_SETCHECK, check, 0);
      EXPECT_EQ((GetWindowLongW(button, GWL_STYLE) & WS_TABSTOP) != 0, check == BST_CHECKED) << "check " << check;
    }
  }
}

// --- Dialogs ---------------------------------------------------------------------------------------------------------

// The dialog manager gives a dialog's focus to its first visible, enabled tab stop, keeps the focused control when the
// dialog is deactivated and gives it back when it is activated again (Microsoft Learn, DefDlgProcW; The Old New
// Thing, 2014-05-21); activated with nothing kept, it leaves the focus alone (Wine's dialog.c test_focus).
TEST_F(Focus, DialogsKeepTheirFocusedControlAcrossActivation) {
  HWND dialog = CreateWindowExW(0, L"#32770", L"Setup", WS_POPUP | WS_CAPTION, 300, 0, 300, 200, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(dialog, nullptr);
  HWND label = CreateWindowExW(0, L"Static", L"Options", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, dialog, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  HWND noStop = Button(BS_AUTOCHECKBOX, dialog, 1);
  HWND disabledStop = Button(BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED, dialog, 2);
  HWND firstStop = Button(BS_AUTOCHECKBOX | WS_TABSTOP, dialog, 3);
  HWND secondStop = Button(BS_AUTOCHECKBOX | WS_TABSTOP, dialog, 4);
  ASSERT_TRUE(label && noStop && disabledStop);
  const struct Step {
    const char* what;
    std::function<void()> act;
    HWND focus;
  } steps[] = {
      {"shown", [&] { ShowWindow(dialog, SW_SHOW); }, firstStop},
      {"a control focused", [&] { SetFocus(secondStop); }, secondStop},
      {"deactivated", [&] { SetActiveWindow(top); }, top},
      {"activated again", [&] { SetActiveWindow(dialog); }, secondStop},
      {"activated with nothing kept",
       [&] {
         SetFocus(nullptr);
         SendMessageW(dialog, WM_ACTIVATE, WA_ACTIVE, 0);
       },
       nullptr},
      {"the dialog itself focused", [&] { SetFocus(dialog); }, firstStop},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(GetFocus(), s.focus);
  }
  DestroyWindow(dialog);
}

// --- What accessibility sees -----------------------------------------------------------------------------------------

// What a window's standard client object says about the focus: its state, and its get_accFocus answer with the
// window and role of an object answered.
struct ClientFocus {
  LONG state = -1;
  HRESULT hr = E_FAIL;
  VARTYPE vt = VT_EMPTY;
  LONG childId = -1;
  HWND window = nullptr;
  LONG role = -1;
};

ClientFocus AskClient(HWND hwnd) {
  ClientFocus a;
  Com<IAccessible> acc = StandardObject(hwnd);
  if (!acc) return a;
  VARIANT v;
  VariantInit(&v);
  if (SUCCEEDED(acc->get_accState(ChildId(CHILDID_SELF), &v)) && v.vt == VT_I4) a.state = v.lVal;
  VariantInit(&v);
  a.hr = acc->get_accFocus(&v);
  a.vt = v.vt;
  if (v.vt == VT_I4) a.childId = v.lVal;
  if (Com<IAccessible> focused = AccessibleOf(v.vt == VT_DISPATCH ? v.pdispVal : nullptr)) {
    a.window = WindowOf(focused.p);
    a.role = RoleOf(focused.p);
  }
  return a;
}

// The standard client object is focused when its window has the focus of the foreground thread, for every thread
// that asks; get_accFocus answers S_OK with itself, the window object of a focused descendant, or nothing (Wine's
// oleacc main.c, test_default_client_accessible_object; Microsoft Learn, IAccessible::get_accFocus).
TEST_F(Focus, ClientObjectsTellTheForegroundFocus) {
  WINE_DEPARTS("the focused descendant's object has no role");
  const conformance::Apartment apartment;
  HWND button = Button(BS_AUTOCHECKBOX | WS_TABSTOP, top, 1);
  HWND pane = Window(WS_CHILD | WS_VISIBLE, top);
  HWND inner = Window(WS_CHILD | WS_VISIBLE, pane);
  const struct Case {
    const char* what;
    HWND focus;
    HWND asked;
    VARTYPE vt;
    HWND window;  // of the object answered
  } cases[] = {
      {"the window itself", top, top, VT_I4, nullptr},
      {"a child", button, top, VT_DISPATCH, button},
      {"a grandchild", inner, top, VT_DISPATCH, inner},
      {"the focused child asked", button, button, VT_I4, nullptr},
      {"another child asked", button, pane, VT_EMPTY, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetFocus(c.focus);
    const ClientFocus a = AskClient(c.asked);
    EXPECT_EQ(a.hr, S_OK);
    EXPECT_EQ(a.vt, c.vt);
    if (c.vt == VT_I4) {
      EXPECT_EQ(a.childId, CHILDID_SELF);
    }
    if (c.vt == VT_DISPATCH) {
      EXPECT_EQ(a.window, c.window);
      EXPECT_EQ(a.role, WindowsOr<LONG>(ROLE_SYSTEM_WINDOW, -1));
    }
    EXPECT_EQ((a.state & STATE_SYSTEM_FOCUSED) != 0, c.asked == c.focus);
  }

  // Another thread sees the same focus: the foreground thread's.
  SetFocus(button);
  std::atomic<LONG> seen{-1};
  TestThread other([&]() -> DWORD {
    seen = AskClient(button).state;
    return 0;
  });
  ASSERT_TRUE(PumpUntil([&] { return seen.load() != -1; }));
  other.Join();
  EXPECT_EQ(seen.load() & STATE_SYSTEM_FOCUSED, STATE_SYSTEM_FOCUSED);
}

}  // namespace
