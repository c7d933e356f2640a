// simwin-only: the standard MSAA proxies over standard controls, custom trees, call counting and fault injection.
// Wine answers E_NOTIMPL or generic values for the standard proxies (WINDOWS-TOOLCHAIN.md), so Windows' documented
// behaviour is the reference; the keys in brackets name its source in WINDOWS-ACCESSIBILITY.md.
#include <atomic>
#include <string>
#include <vector>

#include "platform/accessible_child.h"
#include "sim/sim_accessibility.h"

namespace {

using namespace simaccess;

VARIANT Self() { return ChildId(CHILDID_SELF); }

struct Acc : Com<IAccessible> {
  Acc() = default;
  explicit Acc(IAccessible* a) { p = a; }
  explicit Acc(IDispatch* d) {
    if (d) {
      d->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&p));
      d->Release();
    }
  }

  std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child = CHILDID_SELF,
                    HRESULT* hrOut = nullptr) const {
    BSTR b = nullptr;
    HRESULT hr = (p->*get)(ChildId(child), &b);
    if (hrOut) *hrOut = hr;
    return Take(b);
  }
  std::wstring Name(LONG child = CHILDID_SELF) const { return Text(&IAccessible::get_accName, child); }
  LONG I4(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child = CHILDID_SELF) const {
    VARIANT v;
    VariantInit(&v);
    if (FAILED((p->*get)(ChildId(child), &v)) || v.vt != VT_I4) return -1;
    return v.lVal;
  }
  LONG Role(LONG child = CHILDID_SELF) const { return I4(&IAccessible::get_accRole, child); }
  LONG State(LONG child = CHILDID_SELF) const { return I4(&IAccessible::get_accState, child); }
  long Count() const {
    long n = -1;
    p->get_accChildCount(&n);
    return n;
  }
  HWND Window() const {
    HWND h = nullptr;
    WindowFromAccessibleObject(p, &h);
    return h;
  }
  Acc Parent() const {
    IDispatch* d = nullptr;
    p->get_accParent(&d);
    return Acc(d);
  }
  Acc Child(LONG id) const {
    IDispatch* d = nullptr;
    p->get_accChild(ChildId(id), &d);
    return Acc(d);
  }
  // All children as AccessibleChildren gives them: objects, or empty Acc plus the id for simple elements.
  std::vector<std::pair<Acc, LONG>> Children(LONG max = 64) const {
    std::vector<VARIANT> v(static_cast<size_t>(max));
    for (auto& x : v) VariantInit(&x);
    LONG got = 0;
    std::vector<std::pair<Acc, LONG>> out;
    if (FAILED(AccessibleChildren(p, 0, max, v.data(), &got))) return out;
    for (LONG i = 0; i < got; ++i) {
      if (v[i].vt == VT_DISPATCH) {
        out.emplace_back(Acc(v[i].pdispVal), 0);
      } else {
        out.emplace_back(Acc(), v[i].lVal);
        VariantClear(&v[i]);
      }
    }
    return out;
  }
};

Acc FromWindow(HWND hwnd, LONG objid) {
  IAccessible* a = nullptr;
  EXPECT_EQ(ObjectFromWindow(hwnd, objid, &a), S_OK);
  return Acc(a);
}

class SimMsaa : public SimDialogTest {
 protected:
  Acc Client(int id) const { return FromWindow(id ? Ctl(id) : dialog_.hwnd, OBJID_CLIENT); }
};

// [A-WIN] seven children; absent parts stay counted as INVISIBLE [A-SG][A-TB]. [WT-ACC][A-PB..A-ST]: a client's
// children are the window objects of its child windows, each wrapping its own client with the same handle; get_accChild
// does not reach them (E_INVALIDARG) [1.6].
TEST_F(SimMsaa, WindowObjectHasSevenPartsAndClientChildrenWrapTheControls) {
  Acc w = FromWindow(dialog_.hwnd, OBJID_WINDOW);
  EXPECT_EQ(w.Role(), ROLE_SYSTEM_WINDOW);
  EXPECT_EQ(w.Name(), L"Setup - &Example") << "the client's name; top-level text is kept as it is";
  EXPECT_EQ(w.Count(), 7);
  auto parts = w.Children();
  ASSERT_EQ(parts.size(), 7u);
  struct Expect {
    LONG role;
    bool visible;
  } expected[] = {{ROLE_SYSTEM_MENUBAR, true}, {ROLE_SYSTEM_TITLEBAR, true},   {ROLE_SYSTEM_MENUBAR, false},
                  {ROLE_SYSTEM_DIALOG, true},  {ROLE_SYSTEM_SCROLLBAR, false}, {ROLE_SYSTEM_SCROLLBAR, false},
                  {ROLE_SYSTEM_GRIP, false}};
  for (size_t i = 0; i < 7; ++i) {
    ASSERT_TRUE(parts[i].first) << i;
    EXPECT_EQ(parts[i].first.Role(), expected[i].role) << "part " << i + 1;
    EXPECT_EQ((parts[i].first.State() & STATE_SYSTEM_INVISIBLE) == 0, expected[i].visible) << "part " << i + 1;
    EXPECT_EQ(parts[i].first.Window(), dialog_.hwnd);
  }
  EXPECT_EQ(parts[1].first.Count(), 5) << "title bar buttons are simple elements";
  EXPECT_EQ(parts[1].first.Text(&IAccessible::get_accValue), L"Setup - &Example");
  EXPECT_EQ(parts[6].first.Name(), L"Size box");
  EXPECT_EQ(parts[3].first.Parent().Role(), ROLE_SYSTEM_WINDOW);

  Acc client = Client(0);
  EXPECT_EQ(client.Role(), ROLE_SYSTEM_DIALOG);
  EXPECT_EQ(client.Count(), static_cast<long>(dialog_.controls.size()));
  IDispatch* none = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(client->get_accChild(ChildId(1), &none), E_INVALIDARG);
  EXPECT_EQ(none, nullptr);
  auto kids = client.Children();
  ASSERT_EQ(kids.size(), dialog_.controls.size());
  for (size_t i = 0; i < kids.size(); ++i) {
    const Acc& window = kids[i].first;
    ASSERT_TRUE(window);
    EXPECT_EQ(window.Role(), ROLE_SYSTEM_WINDOW);
    EXPECT_EQ(window.Window(), dialog_.controls[i]) << "z-order is creation order";
    Acc inner = window.Child(4);
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner.Window(), dialog_.controls[i]);
    EXPECT_EQ(inner.Name(), window.Name()) << "the window object carries its client's name";
    EXPECT_EQ(window.Parent().Window(), dialog_.hwnd);
  }
}

// [1.3][1.4][1.5]: roles, names (first '&' dropped), states and default actions per control.
TEST_F(SimMsaa, ControlsHaveTheirRolesNamesStatesAndActions) {
  const LONG focusable = STATE_SYSTEM_FOCUSABLE;
  struct Case {
    int id;
    LONG role;
    std::wstring name;
    LONG state;
    std::wstring action;
    std::wstring shortcut;
  } cases[] = {
      {kLabel, ROLE_SYSTEM_STATICTEXT, L"Destination:", STATE_SYSTEM_READONLY, L"<null>", L"Alt+D"},
      {kPath, ROLE_SYSTEM_TEXT, L"Destination:", focusable, L"<null>", L"Alt+D"},
      {kGroup, ROLE_SYSTEM_GROUPING, L"Options", 0, L"<null>", L"<null>"},
      {kShortcut, ROLE_SYSTEM_CHECKBUTTON, L"Desktop shortcut", focusable | STATE_SYSTEM_CHECKED, L"UnCheck", L"Alt+D"},
      {kTypical, ROLE_SYSTEM_RADIOBUTTON, L"Typical", focusable | STATE_SYSTEM_CHECKED, L"Check", L"Alt+T"},
      {kCustom, ROLE_SYSTEM_RADIOBUTTON, L"Custom", focusable, L"Check", L"Alt+C"},
      {kHidden, ROLE_SYSTEM_CHECKBUTTON, L"Hidden", focusable | STATE_SYSTEM_INVISIBLE, L"Check", L"<null>"},
      {kNext, ROLE_SYSTEM_PUSHBUTTON, L"Next >", focusable | STATE_SYSTEM_DEFAULT, L"Press", L"Alt+N"},
      {kCancel, ROLE_SYSTEM_PUSHBUTTON, L"Cancel", focusable | STATE_SYSTEM_UNAVAILABLE, L"Press", L"<null>"},
  };
  for (const auto& c : cases) {
    Acc a = Client(c.id);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.Role(), c.role) << c.id;
    EXPECT_EQ(a.Name(), c.name) << c.id;
    EXPECT_EQ(a.State(), c.state) << c.id;
    EXPECT_EQ(a.Text(&IAccessible::get_accDefaultAction), c.action) << c.id;
    EXPECT_EQ(a.Text(&IAccessible::get_accKeyboardShortcut), c.shortcut) << c.id;
    EXPECT_EQ(a.Count(), 0) << c.id;
  }
  EXPECT_EQ(Client(kPath).Text(&IAccessible::get_accValue), L"C:\\Program Files\\Example");
  HRESULT hr;
  EXPECT_EQ(Client(kShortcut).Text(&IAccessible::get_accValue, CHILDID_SELF, &hr), L"<null>");
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(Client(kShortcut).Text(&IAccessible::get_accName, 1, &hr), L"<null>");
  EXPECT_EQ(hr, E_INVALIDARG) << "controls have no simple children";
  EXPECT_EQ(Client(0).Text(&IAccessible::get_accDefaultAction), L"Press") << "a dialog with a default push button";
}

// [A-CB]: the default action is a posted BM_CLICK, so it happens when the control's UI thread next pumps; a disabled
// control refuses (HRESULT not documented: simwin answers DISP_E_MEMBERNOTFOUND), as do controls without an action.
TEST_F(SimMsaa, DefaultActionClicksLikeTheUser) {
  struct Case {
    int id;  // 0: the dialog, which presses its default push button
    HRESULT hr;
    int clicked;
    int clicks;
  } cases[] = {{kShortcut, S_OK, kShortcut, 1},
               {kCustom, S_OK, kCustom, 1},
               {kNext, S_OK, kNext, 1},
               {0, S_OK, kNext, 2},
               {kCancel, DISP_E_MEMBERNOTFOUND, kCancel, 0},
               {kLabel, DISP_E_MEMBERNOTFOUND, kLabel, 0},
               {kPath, DISP_E_MEMBERNOTFOUND, kPath, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(Client(c.id)->accDoDefaultAction(Self()), c.hr) << c.id;
    Flush();
    EXPECT_EQ(Clicks(c.clicked), c.clicks) << c.id;
  }
  EXPECT_EQ(Check(kShortcut), BST_UNCHECKED);
  EXPECT_EQ(Check(kCustom), BST_CHECKED);
  EXPECT_EQ(Check(kTypical), BST_UNCHECKED) << "its group is cleared";
  EXPECT_EQ(Client(kTypical).State() & STATE_SYSTEM_CHECKED, 0);
  simwin::SetEnabled(*process_, Ctl(kCancel), true);
  EXPECT_EQ(Client(kCancel)->accDoDefaultAction(Self()), S_OK);
  Flush();
  EXPECT_EQ(Clicks(kCancel), 1);
}

// [1.4 inferred, unknown 10]: the proxy reads the check state by a message, so it sees what the UI thread answers once
// it pumps again, never a value read past it.
TEST_F(SimMsaa, ProxyReadsThroughTheUiThread) {
  Acc box = Client(kShortcut);
  std::atomic<LONG> seen{-1};
  CallWhileUiThreadIsBusy(
      *process_, [&] { SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_UNCHECKED, 0); }, [&] { seen = box.State(); },
      [&] {
        Sleep(20);  // lets the reader reach the UI thread's queue (not an assertion)
        EXPECT_EQ(seen.load(), -1) << "still waiting for the UI thread";
      });
  EXPECT_EQ(seen.load() & STATE_SYSTEM_CHECKED, 0) << "answered after the blocked work ran";
}

// [1.4]: a proxy outlives its window and answers like an empty, invisible object.
TEST_F(SimMsaa, ProxyOfADestroyedWindowStillAnswers) {
  Acc a = Client(kShortcut);
  process_->Invoke([&] { DestroyWindow(dialog_.hwnd); });
  EXPECT_EQ(a.Count(), 0);
  HRESULT hr;
  a.Text(&IAccessible::get_accName, CHILDID_SELF, &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  a.Text(&IAccessible::get_accValue, CHILDID_SELF, &hr);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(a.Role(), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(a.State(), STATE_SYSTEM_INVISIBLE);
  IDispatch* parent = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(a->get_accParent(&parent), E_FAIL);
  EXPECT_EQ(parent, nullptr);
  long x = 1, y = 1, cx = 1, cy = 1;
  EXPECT_EQ(a->accLocation(&x, &y, &cx, &cy, Self()), S_OK);
  EXPECT_EQ(x | y | cx | cy, 0);
  IAccessible* gone = nullptr;
  EXPECT_EQ(ObjectFromWindow(dialog_.hwnd, OBJID_CLIENT, &gone), E_FAIL);
}

// Location and navigation of the standard objects, in screen coordinates.
TEST_F(SimMsaa, LocationHitTestAndNavigation) {
  long x, y, cx, cy;
  ASSERT_EQ(Client(kShortcut)->accLocation(&x, &y, &cx, &cy, Self()), S_OK);
  EXPECT_EQ(std::vector<long>({x, y, cx, cy}), std::vector<long>({110, 200, 200, 24}));
  Acc client = Client(0);
  VARIANT hit;
  ASSERT_EQ(client->accHitTest(120, 205, &hit), S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH);
  EXPECT_EQ(Acc(hit.pdispVal).Window(), Ctl(kShortcut));
  ASSERT_EQ(client->accHitTest(120, 295, &hit), S_OK) << "over the hidden box: the dialog itself";
  EXPECT_EQ(hit.vt, VT_I4);
  EXPECT_EQ(client->accHitTest(5, 5, &hit), S_FALSE);
  VARIANT to;
  ASSERT_EQ(client->accNavigate(NAVDIR_FIRSTCHILD, Self(), &to), S_OK);
  ASSERT_EQ(to.vt, VT_DISPATCH);
  Acc first(to.pdispVal);
  EXPECT_EQ(first.Window(), Ctl(kLabel));
  ASSERT_EQ(first->accNavigate(NAVDIR_NEXT, Self(), &to), S_OK);
  ASSERT_EQ(to.vt, VT_DISPATCH);
  EXPECT_EQ(Acc(to.pdispVal).Window(), Ctl(kPath));
}

// --- Custom trees ---------------------------------------------------------------------------------------------------

simwin::AccNode Page(std::atomic<DWORD>* actionThread) {
  simwin::AccNode root = Node(ROLE_SYSTEM_PANE, L"Custom page");
  root.location = RECT{100, 100, 600, 460};
  simwin::AccNode box = Node(ROLE_SYSTEM_CHECKBUTTON, L"Launch when done", STATE_SYSTEM_FOCUSABLE);
  box.defaultAction = L"Check";
  box.toggleOnDefaultAction = true;
  box.onDefaultAction = [actionThread] { *actionThread = GetCurrentThreadId(); };
  box.location = RECT{110, 120, 300, 140};
  simwin::AccNode off = Node(ROLE_SYSTEM_PUSHBUTTON, L"Back", STATE_SYSTEM_UNAVAILABLE);
  off.key = L"back";
  off.defaultAction = L"Press";
  root.children = {box, {.role = ROLE_SYSTEM_STATICTEXT, .name = L"Ready to install", .simple = true}, off};
  return root;
}

// The served tree is reached like the standard client, its calls run on the installer's UI thread, and once the
// installer has ended its objects report the disconnection.
TEST_F(SimMsaa, ServedTreeRunsOnTheUiThreadUntilTheInstallerEnds) {
  std::atomic<DWORD> actionThread{0};
  simwin::AttachAccessibleTree(*process_, dialog_.hwnd, Page(&actionThread));
  Acc root = Client(0);
  EXPECT_EQ(root.Name(), L"Custom page");
  EXPECT_EQ(root.Role(), ROLE_SYSTEM_PANE);
  EXPECT_EQ(FromWindow(dialog_.hwnd, OBJID_WINDOW).Child(4).Name(), L"Custom page")
      << "the window object's client part is the served tree";
  EXPECT_EQ(root.Parent().Role(), ROLE_SYSTEM_WINDOW);
  EXPECT_EQ(root.Window(), dialog_.hwnd) << "found through the parent chain";
  auto kids = root.Children();
  ASSERT_EQ(kids.size(), 3u);
  ASSERT_TRUE(kids[0].first);
  EXPECT_FALSE(kids[1].first);
  EXPECT_EQ(kids[1].second, 2);
  EXPECT_EQ(root.Name(2), L"Ready to install");
  EXPECT_EQ(root.Role(2), ROLE_SYSTEM_STATICTEXT);

  const Acc& box = kids[0].first;
  EXPECT_EQ(box->accDoDefaultAction(Self()), S_OK);
  EXPECT_EQ(actionThread.load(), process_->UiThreadId());
  EXPECT_EQ(box.State(), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED);
  EXPECT_EQ(simwin::AccessibleState(dialog_.hwnd, L"Launch when done"),
            std::optional<LONG>(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED));
  EXPECT_EQ(kids[2].first->accDoDefaultAction(Self()), DISP_E_MEMBERNOTFOUND) << "unavailable element refuses";
  simwin::SetAccessibleState(*process_, dialog_.hwnd, L"back", STATE_SYSTEM_NORMAL);
  EXPECT_EQ(kids[2].first->accDoDefaultAction(Self()), S_OK);

  process_->Exit(0);
  BSTR name = nullptr;
  EXPECT_EQ(root->get_accName(Self(), &name), RPC_E_DISCONNECTED);
  EXPECT_EQ(name, nullptr);
}

TEST_F(SimMsaa, UntrustedTreesCanLieAndLoop) {
  const simwin::AccNode root{
      .name = L"root",
      .children = {{.name = L"loop", .ancestorAsChild = 1},  // lists the root as its child
                   {.name = L"self", .ancestorAsChild = 0},
                   {.name = L"liar", .children = {{.name = L"only"}}, .reportedChildCount = 0x7FFFFFFF},
                   {.name = L"deep", .chainDepth = 100000}}};
  simwin::AttachAccessibleTree(*process_, dialog_.hwnd, root);

  Acc r = Client(0);
  EXPECT_EQ(r.Child(1).Child(1).Name(), L"root");
  EXPECT_EQ(r.Child(2).Child(1).Name(), L"self");
  Acc l = r.Child(3);
  EXPECT_EQ(l.Count(), 0x7FFFFFFF);
  IDispatch* d = nullptr;
  EXPECT_EQ(l->get_accChild(ChildId(2), &d), E_INVALIDARG);
  auto kids = l.Children(3);
  ASSERT_EQ(kids.size(), 3u) << "AccessibleChildren believes the count";
  EXPECT_EQ(kids[0].first.Name(), L"only");
  EXPECT_EQ(kids[2].second, 3);

  // Walked inside the installer's process: one chain of 100,000 objects below "deep".
  long depth = 0;
  process_->Invoke([&] {
    Acc node = Client(0).Child(4);
    while (node && node.Count() == 1) {
      node = node.Child(1);
      ++depth;
    }
  });
  EXPECT_EQ(depth, 100000);
}

// Counting: each IAccessible call is one, AccessibleChildren is one whatever it does inside. Faults: by method name,
// window, element of a custom tree and count.
TEST_F(SimMsaa, CallsAreCountedAndFaultsInjected) {
  Acc client = Client(0);
  simwin::ResetAccessibilityCallCount();
  client.Name();
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u);
  auto kids = client.Children();
  EXPECT_EQ(simwin::AccessibilityCallCount(), 2u) << "whatever AccessibleChildren does inside";
  kids[0].first.Role();
  kids[0].first.State();
  EXPECT_EQ(simwin::AccessibilityCallCount(), 4u);

  Acc box = Client(kShortcut);
  Acc next = Client(kNext);
  int id = simwin::InjectAccessibilityFault({"get_accName", RPC_E_SERVERFAULT, Ctl(kShortcut), L"", 1});
  HRESULT hr;
  EXPECT_EQ(box.Text(&IAccessible::get_accName, CHILDID_SELF, &hr), L"<null>");
  EXPECT_EQ(hr, RPC_E_SERVERFAULT);
  EXPECT_EQ(next.Name(), L"Next >") << "another window is not affected";
  EXPECT_EQ(box.Name(), L"Desktop shortcut") << "the fault was for one call";
  simwin::RemoveAccessibilityFault(id);

  simwin::InjectAccessibilityFault({"accDoDefaultAction", E_ACCESSDENIED});
  EXPECT_EQ(next->accDoDefaultAction(Self()), E_ACCESSDENIED);
  simwin::InjectAccessibilityFault({"AccessibleChildren", E_OUTOFMEMORY});
  VARIANT v[2];
  LONG got = 0;
  EXPECT_EQ(AccessibleChildren(client.p, 0, 2, v, &got), E_OUTOFMEMORY);
  simwin::InjectAccessibilityFault({"AccessibleObjectFromWindow", E_NOINTERFACE, Ctl(kNext)});
  IAccessible* a = nullptr;
  EXPECT_EQ(ObjectFromWindow(Ctl(kNext), OBJID_CLIENT, &a), E_NOINTERFACE);
  simwin::ClearAccessibilityFaults();

  std::atomic<DWORD> unused{0};
  simwin::AttachAccessibleTree(*process_, dialog_.hwnd, Page(&unused));
  simwin::InjectAccessibilityFault({"get_accState", E_FAIL, nullptr, L"Ready to install"});
  Acc root = Client(0);
  EXPECT_EQ(root.State(2), -1);
  EXPECT_EQ(root.State(), STATE_SYSTEM_NORMAL);
}

}  // namespace
