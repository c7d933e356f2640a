// Conformance of COM basics and Active Accessibility as Windows (and wine) do it: BSTR and VARIANT, a window serving
// its own accessible tree through WM_GETOBJECT, AccessibleChildren, AccessibleObjectFromEvent, and the standard
// client object of a plain window.
#include <atomic>
#include <string>
#include <vector>

#include "accessible_child.h"
#include "conformance.h"

using conformance::CreateTestWindow;
using conformance::DrainQueue;
using conformance::Handler;

namespace {

// An accessible object as a custom-drawn window implements it: children 1..n are objects or simple elements.
class FakeAcc : public IAccessible {
 public:
  explicit FakeAcc(std::wstring name, LONG role = ROLE_SYSTEM_PUSHBUTTON) : name_(std::move(name)), role_(role) {}
  virtual ~FakeAcc() = default;

  // nullptr: a simple element.
  std::vector<FakeAcc*> children;
  ULONG Refs() const { return refs_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
      *ppv = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // owned by the test

  STDMETHODIMP GetTypeInfoCount(UINT* p) override {
    *p = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP get_accParent(IDispatch** pp) override {
    *pp = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP get_accChildCount(long* n) override {
    *n = static_cast<long>(children.size());
    return S_OK;
  }
  STDMETHODIMP get_accChild(VARIANT v, IDispatch** pp) override {
    *pp = nullptr;
    if (v.vt != VT_I4 || v.lVal < 1 || v.lVal > static_cast<LONG>(children.size())) return E_INVALIDARG;
    FakeAcc* c = children[v.lVal - 1];
    if (!c) return S_FALSE;
    c->AddRef();
    *pp = c;
    return S_OK;
  }
  STDMETHODIMP get_accName(VARIANT v, BSTR* p) override {
    if (v.vt != VT_I4) return E_INVALIDARG;
    std::wstring n = v.lVal == CHILDID_SELF ? name_ : name_ + L" simple " + std::to_wstring(v.lVal);
    *p = SysAllocString(n.c_str());
    return S_OK;
  }
  STDMETHODIMP get_accValue(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accDescription(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accRole(VARIANT, VARIANT* p) override {
    p->vt = VT_I4;
    p->lVal = role_;
    return S_OK;
  }
  STDMETHODIMP get_accState(VARIANT, VARIANT* p) override {
    p->vt = VT_I4;
    p->lVal = STATE_SYSTEM_FOCUSABLE;
    return S_OK;
  }
  STDMETHODIMP get_accHelp(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accHelpTopic(BSTR*, VARIANT, long*) override { return E_NOTIMPL; }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* p) override { return NoText(p); }
  STDMETHODIMP get_accFocus(VARIANT* p) override { return Empty(p, S_FALSE); }
  STDMETHODIMP get_accSelection(VARIANT* p) override { return Empty(p, S_FALSE); }
  STDMETHODIMP get_accDefaultAction(VARIANT, BSTR* p) override {
    *p = SysAllocString(L"Press");
    return S_OK;
  }
  STDMETHODIMP accSelect(long, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP accLocation(long*, long*, long*, long*, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP accNavigate(long, VARIANT, VARIANT* p) override { return Empty(p, E_NOTIMPL); }
  STDMETHODIMP accHitTest(long, long, VARIANT* p) override { return Empty(p, E_NOTIMPL); }
  STDMETHODIMP accDoDefaultAction(VARIANT) override {
    ++actions;
    return S_OK;
  }
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  int actions = 0;

 private:
  static HRESULT NoText(BSTR* p) {
    *p = nullptr;
    return S_FALSE;
  }
  static HRESULT Empty(VARIANT* p, HRESULT hr) {
    p->vt = VT_EMPTY;
    return hr;
  }

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

LONG Role(IAccessible* acc) {
  VARIANT role;
  VariantInit(&role);
  if (FAILED(acc->get_accRole(ChildId(CHILDID_SELF), &role)) || role.vt != VT_I4) return -1;
  return role.lVal;
}

IAccessible* AccessibleOf(IDispatch* d) {
  IAccessible* acc = nullptr;
  if (d) d->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc));
  return acc;
}

IAccessible* ClientObject(HWND hwnd) {
  IAccessible* acc = nullptr;
  EXPECT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  return acc;
}

class Msaa : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    DrainQueue();
    CoUninitialize();
  }
};

// --- BSTR and VARIANT -------------------------------------------------------------------------------------------------

TEST_F(Msaa, BstrKeepsItsLengthIncludingEmbeddedNulls) {
  const wchar_t text[] = {L'a', L'b', 0, L'c'};
  BSTR b = SysAllocStringLen(text, 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(b[3], L'c');
  EXPECT_EQ(b[4], 0) << "terminated after the length";
  SysFreeString(b);

  BSTR reserved = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(reserved, nullptr);
  EXPECT_EQ(SysStringLen(reserved), 3u);
  SysFreeString(reserved);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR s = SysAllocString(L"Next >");
  EXPECT_EQ(SysStringLen(s), 6u);
  EXPECT_EQ(std::wstring(s), L"Next >");
  SysFreeString(s);
}

TEST_F(Msaa, VariantCopyDeepCopiesAndClearReleases) {
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  EXPECT_EQ(src.vt, VT_EMPTY);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(L"Install");
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal) << "a new string";
  EXPECT_EQ(std::wstring(dst.bstrVal), L"Install");
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(src.vt, VT_EMPTY);

  FakeAcc obj(L"obj");
  src.vt = VT_DISPATCH;
  src.pdispVal = &obj;
  obj.AddRef();
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK) << "the old BSTR of dst is freed first";
  EXPECT_EQ(dst.vt, VT_DISPATCH);
  EXPECT_EQ(obj.Refs(), 3u);
  VariantClear(&dst);
  VariantClear(&src);
  EXPECT_EQ(dst.vt, VT_EMPTY);
  EXPECT_EQ(obj.Refs(), 1u);
}

// --- A window serving its own tree ------------------------------------------------------------------------------------

struct ServedWindow {
  FakeAcc root{L"Custom page", ROLE_SYSTEM_PANE};
  FakeAcc child{L"Install now"};
  std::vector<LPARAM> objectIds;
  std::vector<WPARAM> flags;
  Handler handler;
  HWND hwnd = nullptr;

  ServedWindow() {
    root.children = {&child, nullptr};
    handler = [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
      if (msg != WM_GETOBJECT) return std::nullopt;
      objectIds.push_back(lParam);
      flags.push_back(wParam);
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
  IAccessible* acc = ClientObject(w.hwnd);
  ASSERT_NE(acc, nullptr);
  ASSERT_FALSE(w.objectIds.empty());
  EXPECT_EQ(static_cast<LONG>(w.objectIds.back()), OBJID_CLIENT);
  EXPECT_EQ(Name(acc), L"Custom page");
  EXPECT_EQ(Role(acc), ROLE_SYSTEM_PANE);
  long count = 0;
  EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(acc->accDoDefaultAction(ChildId(CHILDID_SELF)), S_OK);
  EXPECT_EQ(w.root.actions, 1);

  VARIANT kids[3];
  for (auto& k : kids) VariantInit(&k);
  LONG got = -1;
  EXPECT_EQ(AccessibleChildren(acc, 0, 3, kids, &got), S_FALSE) << "fewer than asked for";
  ASSERT_EQ(got, 2);
  ASSERT_EQ(kids[0].vt, VT_DISPATCH);
  IAccessible* first = AccessibleOf(kids[0].pdispVal);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Name(first), L"Install now");
  first->Release();
  EXPECT_EQ(kids[1].vt, VT_I4) << "a simple element is named by its child id";
  EXPECT_EQ(kids[1].lVal, 2);
  EXPECT_EQ(kids[2].vt, VT_EMPTY);
  EXPECT_EQ(Name(acc, 2), L"Custom page simple 2");
  for (auto& k : kids) VariantClear(&k);

  got = -1;
  EXPECT_EQ(AccessibleChildren(acc, 1, 1, kids, &got), S_OK);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(kids[0].vt, VT_I4);
  EXPECT_EQ(kids[0].lVal, 2) << "the start index skips children";
  VariantClear(&kids[0]);
  got = -1;
  EXPECT_EQ(AccessibleChildren(acc, 0, 0, kids, &got), S_OK);
  EXPECT_EQ(got, 0);
  got = 77;
  EXPECT_EQ(AccessibleChildren(nullptr, 0, 1, kids, &got), E_INVALIDARG);
  EXPECT_EQ(AccessibleChildren(acc, 0, 1, nullptr, &got), E_INVALIDARG);
  EXPECT_EQ(AccessibleChildren(acc, 0, 1, kids, nullptr), E_INVALIDARG);
  EXPECT_EQ(got, 77) << "count untouched on failure";
  acc->Release();
  EXPECT_EQ(w.root.Refs(), 1u) << "every reference handed out came back";
  EXPECT_EQ(w.child.Refs(), 1u);
}

TEST_F(Msaa, AccessibleObjectFromEventResolvesObjectAndSimpleChildren) {
  ServedWindow w;
  IAccessible* acc = nullptr;
  VARIANT child;
  VariantInit(&child);
  ASSERT_EQ(AccessibleObjectFromEvent(w.hwnd, static_cast<DWORD>(OBJID_CLIENT), 1, &acc, &child), S_OK);
  ASSERT_NE(acc, nullptr);
  EXPECT_EQ(Name(acc), L"Install now") << "an object child becomes the result";
  EXPECT_EQ(child.vt, VT_I4);
  EXPECT_EQ(child.lVal, CHILDID_SELF);
  acc->Release();

  ASSERT_EQ(AccessibleObjectFromEvent(w.hwnd, static_cast<DWORD>(OBJID_CLIENT), 2, &acc, &child), S_OK);
  EXPECT_EQ(Name(acc), L"Custom page") << "a simple child keeps its parent";
  EXPECT_EQ(child.vt, VT_I4);
  EXPECT_EQ(child.lVal, 2);
  acc->Release();
  EXPECT_EQ(AccessibleObjectFromEvent(nullptr, static_cast<DWORD>(OBJID_CLIENT), 0, &acc, &child), E_FAIL);
  EXPECT_EQ(w.root.Refs(), 1u);
  EXPECT_EQ(w.child.Refs(), 1u);
}

TEST_F(Msaa, WindowAnsweringZeroGetsTheStandardClientObject) {
  Handler none;
  HWND hwnd = CreateTestWindow(WS_OVERLAPPEDWINDOW, nullptr, &none, L"Plain window");
  IAccessible* acc = ClientObject(hwnd);
  ASSERT_NE(acc, nullptr);
  EXPECT_EQ(Role(acc), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(Name(acc), L"Plain window") << "the name is the window text";
  HWND found = nullptr;
  EXPECT_EQ(WindowFromAccessibleObject(acc, &found), S_OK);
  EXPECT_EQ(found, hwnd);
  IDispatch* parent = nullptr;
  EXPECT_EQ(acc->get_accParent(&parent), S_OK);
  EXPECT_NE(parent, nullptr) << "the window object";
  if (parent) parent->Release();
  acc->Release();
  DestroyWindow(hwnd);
}

}  // namespace
