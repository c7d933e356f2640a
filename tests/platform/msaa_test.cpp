// Conformance of BSTRs and Active Accessibility as Windows (and wine) do it: a window serving its own accessible tree
// through WM_GETOBJECT, AccessibleChildren and VariantClear over it, and the standard client object of a plain window.
#include <atomic>
#include <string>
#include <vector>

#include "accessible_child.h"
#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Handler;

namespace {

// Sets an out parameter and gives the result.
template <class T>
HRESULT Answer(T* out, T value, HRESULT hr = S_OK) {
  *out = value;
  return hr;
}

// An accessible object as a custom-drawn window implements it: children 1..n are objects or simple elements.
class FakeAcc : public IAccessible {
 public:
  explicit FakeAcc(std::wstring name, LONG role = ROLE_SYSTEM_PUSHBUTTON) : name_(std::move(name)), role_(role) {}
  virtual ~FakeAcc() = default;

  std::vector<FakeAcc*> children;  // nullptr: a simple element
  int actions = 0;
  ULONG Refs() const { return refs_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IDispatch) && riid != __uuidof(IAccessible)) {
      return Answer<void*>(ppv, nullptr, E_NOINTERFACE);
    }
    AddRef();
    return Answer<void*>(ppv, static_cast<IAccessible*>(this));
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // owned by the test

  STDMETHODIMP GetTypeInfoCount(UINT* p) override { return Answer(p, 0u); }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP get_accParent(IDispatch** pp) override { return Answer<IDispatch*>(pp, nullptr, S_FALSE); }
  STDMETHODIMP get_accChildCount(long* n) override { return Answer(n, static_cast<long>(children.size())); }
  STDMETHODIMP get_accChild(VARIANT v, IDispatch** pp) override {
    if (v.vt != VT_I4 || v.lVal < 1 || v.lVal > static_cast<LONG>(children.size())) {
      return Answer<IDispatch*>(pp, nullptr, E_INVALIDARG);
    }
    FakeAcc* c = children[v.lVal - 1];
    if (c) c->AddRef();
    return Answer<IDispatch*>(pp, c, c ? S_OK : S_FALSE);
  }
  STDMETHODIMP get_accName(VARIANT v, BSTR* p) override {
    std::wstring n = v.lVal == CHILDID_SELF ? name_ : name_ + L" simple " + std::to_wstring(v.lVal);
    return Answer(p, SysAllocString(n.c_str()));
  }
  STDMETHODIMP get_accValue(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accDescription(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accRole(VARIANT, VARIANT* p) override { return I4(p, role_); }
  STDMETHODIMP get_accState(VARIANT, VARIANT* p) override { return I4(p, STATE_SYSTEM_FOCUSABLE); }
  STDMETHODIMP get_accHelp(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accHelpTopic(BSTR*, VARIANT, long*) override { return E_NOTIMPL; }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accFocus(VARIANT* p) override { return Empty(p, S_FALSE); }
  STDMETHODIMP get_accSelection(VARIANT* p) override { return Empty(p, S_FALSE); }
  STDMETHODIMP get_accDefaultAction(VARIANT, BSTR* p) override { return Answer(p, SysAllocString(L"Press")); }
  STDMETHODIMP accSelect(long, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP accLocation(long*, long*, long*, long*, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP accNavigate(long, VARIANT, VARIANT* p) override { return Empty(p, E_NOTIMPL); }
  STDMETHODIMP accHitTest(long, long, VARIANT* p) override { return Empty(p, E_NOTIMPL); }
  STDMETHODIMP accDoDefaultAction(VARIANT) override { return Answer(&actions, actions + 1); }
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  static HRESULT NoText(BSTR* p) { return Answer<BSTR>(p, nullptr, S_FALSE); }
  static HRESULT I4(VARIANT* p, LONG value) {
    p->lVal = value;
    return Answer<VARTYPE>(&p->vt, VT_I4);
  }
  static HRESULT Empty(VARIANT* p, HRESULT hr) { return Answer<VARTYPE>(&p->vt, VT_EMPTY, hr); }

  std::wstring name_;
  LONG role_;
  std::atomic<ULONG> refs_{1};
};

std::wstring Name(IAccessible* acc, LONG child = CHILDID_SELF) {
  BSTR b = nullptr;
  if (FAILED(acc->get_accName(ChildId(child), &b)) || !b) return L"<none>";
  std::wstring s(b, SysStringLen(b));
  SysFreeString(b);
  return s;
}

class Msaa : public ::testing::Test {
 protected:
  void TearDown() override { DrainQueue(); }
  conformance::Apartment apartment_;
};

// A BSTR keeps its length, embedded nulls included, and is terminated after it.
TEST_F(Msaa, BstrKeepsItsLength) {
  const wchar_t text[] = {L'a', L'b', 0, L'c'};
  BSTR b = SysAllocStringLen(text, 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(std::wstring(b, SysStringLen(b)), std::wstring(text, 4));
  EXPECT_EQ(b[4], 0);
  SysFreeString(b);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

// --- A window serving its own tree ------------------------------------------------------------------------------------

struct ServedWindow {
  FakeAcc root{L"Custom page", ROLE_SYSTEM_PANE};
  FakeAcc child{L"Install now"};
  std::vector<LPARAM> objectIds;
  Handler handler;
  HWND hwnd = nullptr;

  ServedWindow() {
    root.children = {&child, nullptr};
    handler = [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
      if (msg != WM_GETOBJECT) return std::nullopt;
      objectIds.push_back(lParam);
      if (static_cast<LONG>(lParam) != OBJID_CLIENT) return std::nullopt;
      // wParam goes back unchanged, whatever the system sent.
      return LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(&root));
    };
    hwnd = CreateTestWindow(WS_OVERLAPPEDWINDOW, nullptr, &handler, L"Setup");
  }
  ~ServedWindow() { DestroyWindow(hwnd); }
};

// The served tree is reached through WM_GETOBJECT; without an enumerator AccessibleChildren asks get_accChild.
TEST_F(Msaa, ServedTreeIsReachedAndEnumerated) {
  ServedWindow w;
  ASSERT_NE(w.hwnd, nullptr);
  Com<IAccessible> acc = StandardObject(w.hwnd);
  ASSERT_TRUE(acc);
  ASSERT_FALSE(w.objectIds.empty());
  EXPECT_EQ(static_cast<LONG>(w.objectIds.back()), OBJID_CLIENT);
  EXPECT_EQ(Name(acc.p), L"Custom page");
  EXPECT_EQ(RoleOf(acc.p), ROLE_SYSTEM_PANE);
  long count = 0;
  EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(acc->accDoDefaultAction(ChildId(CHILDID_SELF)), S_OK);
  EXPECT_EQ(w.root.actions, 1);

  VARIANT kids[3];
  for (auto& k : kids) VariantInit(&k);
  LONG got = -1;
  EXPECT_EQ(AccessibleChildren(acc.p, 0, 3, kids, &got), S_FALSE) << "fewer than asked for";
  ASSERT_EQ(got, 2);
  ASSERT_EQ(kids[0].vt, VT_DISPATCH);
  EXPECT_EQ(Name(AccessibleOf(kids[0].pdispVal).p), L"Install now");
  EXPECT_EQ(kids[1].vt, VT_I4) << "a simple element is named by its child id";
  EXPECT_EQ(kids[1].lVal, 2);
  EXPECT_EQ(kids[2].vt, VT_EMPTY);
  EXPECT_EQ(Name(acc.p, 2), L"Custom page simple 2");
  acc = Com<IAccessible>();
  EXPECT_EQ(w.root.Refs(), 1u) << "every reference handed out came back";
  EXPECT_EQ(w.child.Refs(), 1u);
}

TEST_F(Msaa, WindowAnsweringZeroGetsTheStandardClientObject) {
  Handler none;
  HWND hwnd = CreateTestWindow(WS_OVERLAPPEDWINDOW, nullptr, &none, L"Plain window");
  Com<IAccessible> acc = StandardObject(hwnd);
  ASSERT_TRUE(acc);
  EXPECT_EQ(RoleOf(acc.p), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(Name(acc.p), L"Plain window") << "the name is the window text";
  EXPECT_EQ(WindowOf(acc.p), hwnd);
  IDispatch* parent = nullptr;
  EXPECT_EQ(acc->get_accParent(&parent), S_OK);
  EXPECT_TRUE(AccessibleOf(parent)) << "the window object";
  DestroyWindow(hwnd);
}

}  // namespace

// --- Controls of a toolkit's class derived from a standard one ----------------------------------------------------

WNDPROC g_buttonProc = nullptr;

// A toolkit's button: its own class, the standard procedure underneath (superclassing, Microsoft Learn "Window
// Procedure Superclassing").
LRESULT CALLBACK ToolkitButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(g_buttonProc, hwnd, msg, wParam, lParam);
}

// Standard controls name their class when oleacc asks (Microsoft Learn, "Appendix F: Object Identifier Values for
// OBJID_QUERYCLASSNAMEIDX"), so that a control of a derived class gets the standard object of its base.
TEST_F(Msaa, ADerivedButtonAnswersTheClassQueryAndIsSeenAsAButton) {
  WINE_DEPARTS("user32's controls do not answer the class query, and the client objects have the client role");
  WNDCLASSEXW button{};
  button.cbSize = sizeof(button);
  ASSERT_TRUE(GetClassInfoExW(nullptr, L"Button", &button));
  g_buttonProc = button.lpfnWndProc;
  WNDCLASSEXW derived{};
  derived.cbSize = sizeof(derived);
  derived.lpfnWndProc = &ToolkitButtonProc;
  derived.hInstance = GetModuleHandleW(nullptr);
  derived.lpszClassName = L"ToolkitButton";
  if (!RegisterClassExW(&derived)) {
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  }
  HWND parent = CreateTestWindow(WS_OVERLAPPEDWINDOW);
  const struct Case {
    const wchar_t* className;
    DWORD style;
    LRESULT index;
    LONG role;
  } cases[] = {
      {L"Button", BS_PUSHBUTTON, 65536 + 2, ROLE_SYSTEM_PUSHBUTTON},
      {L"Static", SS_LEFT, 65536 + 3, ROLE_SYSTEM_STATICTEXT},
      {L"ToolkitButton", BS_AUTOCHECKBOX, 65536 + 2, ROLE_SYSTEM_CHECKBUTTON},
      {conformance::TestClassName(), 0, 0, ROLE_SYSTEM_CLIENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.className, c.className + wcslen(c.className)));
    HWND control = CreateWindowExW(0, c.className, L"Install the toolbar", WS_CHILD | WS_VISIBLE | c.style, 0, 0, 100,
                                   20, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(control, nullptr);
    const LRESULT index = SendMessageW(control, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_QUERYCLASSNAMEIDX));
    EXPECT_EQ(index, conformance::WindowsOr<LRESULT>(c.index, 0));
    Com<IAccessible> acc = StandardObject(control);
    ASSERT_TRUE(acc);
    EXPECT_EQ(RoleOf(acc.p), conformance::WindowsOr<LONG>(c.role, ROLE_SYSTEM_CLIENT));
  }
  DestroyWindow(parent);
}
