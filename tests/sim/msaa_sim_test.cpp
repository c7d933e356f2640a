// simwin-only: the served custom trees, call counting and fault injection, which the engine's tests rely on. What the
// standard proxies answer is checked through the engine's MSAA backend in tests/uielement/ (BackendTest).
#include <atomic>
#include <optional>
#include <string>
#include <utility>
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
  // All children as AccessibleChildren gives them: objects, or an empty Acc for a simple element.
  std::vector<Acc> Children() const {
    VARIANT v[64];
    LONG got = 0;
    std::vector<Acc> out;
    if (FAILED(AccessibleChildren(p, 0, 64, v, &got))) return out;
    for (LONG i = 0; i < got; ++i) {
      out.push_back(v[i].vt == VT_DISPATCH ? Acc(v[i].pdispVal) : Acc());  // which takes over the reference
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

// --- Custom trees ---------------------------------------------------------------------------------------------------
// How the engine walks them, hostile ones too, is checked through its MSAA backend in tests/uielement/.

simwin::AccNode Page(std::atomic<DWORD>* actionThread) {
  simwin::AccNode root = Node(ROLE_SYSTEM_PANE, L"Custom page");
  simwin::AccNode box = Node(ROLE_SYSTEM_CHECKBUTTON, L"Launch when done", STATE_SYSTEM_FOCUSABLE);
  box.defaultAction = L"Check";
  box.toggleOnDefaultAction = true;
  box.onDefaultAction = [actionThread] { *actionThread = GetCurrentThreadId(); };
  simwin::AccNode off = Node(ROLE_SYSTEM_PUSHBUTTON, L"Back", STATE_SYSTEM_UNAVAILABLE);
  off.key = L"back";
  off.defaultAction = L"Press";
  root.children = {box, {.role = ROLE_SYSTEM_STATICTEXT, .name = L"Ready to install", .simple = true}, off};
  return root;
}

// The served tree is reached like the standard client, inside the window object, its calls run on the installer's UI
// thread, and once the installer has ended its objects report the disconnection.
TEST_F(SimMsaa, ServedTreeRunsOnTheUiThreadUntilTheInstallerEnds) {
  std::atomic<DWORD> actionThread{0};
  simwin::AttachAccessibleTree(*process_, dialog_.hwnd, Page(&actionThread));
  Acc root = Client(0);
  EXPECT_EQ(root.Name(), L"Custom page");
  EXPECT_EQ(FromWindow(dialog_.hwnd, OBJID_WINDOW).Child(4).Name(), L"Custom page");
  EXPECT_EQ(root.Parent().Role(), ROLE_SYSTEM_WINDOW);
  EXPECT_EQ(root.Window(), dialog_.hwnd) << "found through the parent chain";
  auto kids = root.Children();
  ASSERT_EQ(kids.size(), 3u);

  const Acc& box = kids[0];
  EXPECT_EQ(box->accDoDefaultAction(Self()), S_OK);
  EXPECT_EQ(actionThread.load(), process_->UiThreadId());
  EXPECT_EQ(box.State(), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED);
  EXPECT_EQ(simwin::AccessibleState(dialog_.hwnd, L"Launch when done"),
            std::optional<LONG>(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED));
  EXPECT_EQ(kids[2]->accDoDefaultAction(Self()), DISP_E_MEMBERNOTFOUND) << "unavailable element refuses";
  simwin::SetAccessibleState(*process_, dialog_.hwnd, L"back", STATE_SYSTEM_NORMAL);
  EXPECT_EQ(kids[2]->accDoDefaultAction(Self()), S_OK);

  process_->Exit(0);
  BSTR name = nullptr;
  EXPECT_EQ(root->get_accName(Self(), &name), RPC_E_DISCONNECTED);
  EXPECT_EQ(name, nullptr);
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
  kids[0].Role();
  kids[0].State();
  EXPECT_EQ(simwin::AccessibilityCallCount(), 4u);

  Acc box = Client(kShortcut);
  Acc next = Client(kNext);
  simwin::InjectAccessibilityFault({"get_accName", RPC_E_SERVERFAULT, Ctl(kShortcut), L"", 1});
  HRESULT hr;
  EXPECT_EQ(box.Text(&IAccessible::get_accName, CHILDID_SELF, &hr), L"<null>");
  EXPECT_EQ(hr, RPC_E_SERVERFAULT);
  EXPECT_EQ(next.Name(), L"Next >") << "another window is not affected";
  EXPECT_EQ(box.Name(), L"Desktop shortcut") << "the fault was for one call";

  std::atomic<DWORD> unused{0};
  simwin::AttachAccessibleTree(*process_, dialog_.hwnd, Page(&unused));
  simwin::InjectAccessibilityFault({"get_accState", E_FAIL, nullptr, L"Ready to install"});
  Acc root = Client(0);
  EXPECT_EQ(root.State(2), -1);
  EXPECT_EQ(root.State(), STATE_SYSTEM_NORMAL);
}

}  // namespace
