// simwin-only: UI Automation over standard controls and custom MSAA trees,
// cache requests, patterns, call counting and fault injection. Wine cannot
// judge UI Automation (CoCreateInstance(CLSID_CUIAutomation) fails under wine
// 8), so Windows' documented behaviour is the reference; the keys in brackets
// name its source in WINDOWS-ACCESSIBILITY.md.
#ifndef _WIN32

#include <atomic>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "conformance.h"
#include "platform/sim/simwin.h"

using conformance::Event;
using conformance::PumpUntil;
using conformance::TestThread;

namespace {

enum Id : int {
  kLabel = 100,
  kPath = 101,
  kGroup = 102,
  kShortcut = 103,
  kTypical = 104,
  kCustom = 105,
  kHidden = 106,
  kTri = 107,
  kNext = IDOK,
  kCancel = IDCANCEL
};

simwin::DialogLayout SetupDialog() {
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

// Owns one reference.
template <class T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  Com(Com&& o) noexcept : p(o.p) { o.p = nullptr; }
  Com& operator=(Com&& o) noexcept {
    std::swap(p, o.p);
    return *this;
  }
  ~Com() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  T** operator&() {
    if (p) p->Release();
    p = nullptr;
    return &p;
  }
  explicit operator bool() const { return p != nullptr; }
};

std::wstring Take(BSTR b) {
  std::wstring s = b ? std::wstring(b, SysStringLen(b)) : L"<null>";
  SysFreeString(b);
  return s;
}

int CachedType(IUIAutomationElement* e) {
  CONTROLTYPEID t = -1;
  EXPECT_EQ(e->get_CachedControlType(&t), S_OK);
  return t;
}
std::wstring CachedName(IUIAutomationElement* e) {
  BSTR b = nullptr;
  EXPECT_EQ(e->get_CachedName(&b), S_OK);
  return Take(b);
}
std::wstring CurrentName(IUIAutomationElement* e) {
  BSTR b = nullptr;
  EXPECT_EQ(e->get_CurrentName(&b), S_OK);
  return Take(b);
}

std::vector<Com<IUIAutomationElement>> Children(IUIAutomationElement* e, HRESULT* hrOut = nullptr) {
  std::vector<Com<IUIAutomationElement>> out;
  Com<IUIAutomationElementArray> arr;
  HRESULT hr = e->GetCachedChildren(&arr);
  if (hrOut) *hrOut = hr;
  if (FAILED(hr) || !arr) return out;
  int n = 0;
  arr->get_Length(&n);
  for (int i = 0; i < n; ++i) {
    Com<IUIAutomationElement> c;
    EXPECT_EQ(arr->GetElement(i, &c), S_OK);
    out.push_back(std::move(c));
  }
  return out;
}

class SimUia : public ::testing::Test {
 protected:
  void SetUp() override {
    bstrs_ = simwin::LiveBstrCount();
    simwin::ClearAccessibilityFaults();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    process_ = std::make_unique<simwin::Process>(L"setup.exe");
    dialog_ = simwin::CreateDialogFromLayout(*process_, SetupDialog());
    ASSERT_NE(dialog_.hwnd, nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                               reinterpret_cast<void**>(&automation_.p)),
              S_OK);
  }
  void TearDown() override {
    simwin::ClearAccessibilityFaults();
    automation_ = Com<IUIAutomation>();
    process_.reset();
    CoUninitialize();
    // Leak check: every element, pattern, request, condition and string handed
    // out came back.
    EXPECT_EQ(simwin::LiveAccessibleObjectCount(), 0);
    EXPECT_EQ(simwin::LiveBstrCount(), bstrs_);
  }

  HWND Ctl(int id) const { return dialog_.Control(id); }
  // The engine's request: full elements, whole subtree, raw view, four
  // properties, two patterns.
  Com<IUIAutomationCacheRequest> EngineRequest(TreeScope scope = TreeScope_Subtree) {
    Com<IUIAutomationCacheRequest> r;
    EXPECT_EQ(automation_->CreateCacheRequest(&r), S_OK);
    EXPECT_EQ(r->put_AutomationElementMode(AutomationElementMode_Full), S_OK);
    EXPECT_EQ(r->put_TreeScope(scope), S_OK);
    Com<IUIAutomationCondition> raw;
    EXPECT_EQ(automation_->get_RawViewCondition(&raw), S_OK);
    EXPECT_EQ(r->put_TreeFilter(raw.p), S_OK);
    for (PROPERTYID id :
         {UIA_ControlTypePropertyId, UIA_NativeWindowHandlePropertyId, UIA_NamePropertyId, UIA_IsEnabledPropertyId}) {
      EXPECT_EQ(r->AddProperty(id), S_OK);
    }
    EXPECT_EQ(r->AddPattern(UIA_SelectionItemPatternId), S_OK);
    EXPECT_EQ(r->AddPattern(UIA_TogglePatternId), S_OK);
    return r;
  }
  Com<IUIAutomationElement> FromHandle(HWND hwnd) {
    Com<IUIAutomationElement> e;
    EXPECT_EQ(automation_->ElementFromHandle(hwnd, &e), S_OK);
    return e;
  }
  Com<IUIAutomationElement> Cached(HWND hwnd, IUIAutomationCacheRequest* request) {
    Com<IUIAutomationElement> live = FromHandle(hwnd);
    Com<IUIAutomationElement> cached;
    EXPECT_EQ(live->BuildUpdatedCache(request, &cached), S_OK);
    return cached;
  }
  template <class P>
  Com<P> CachedPattern(IUIAutomationElement* e, PATTERNID id) {
    Com<P> p;
    EXPECT_EQ(e->GetCachedPatternAs(id, __uuidof(P), reinterpret_cast<void**>(&p)), S_OK);
    return p;
  }
  template <class P>
  Com<P> CurrentPattern(HWND hwnd, PATTERNID id) {
    Com<IUIAutomationElement> e = FromHandle(hwnd);
    Com<P> p;
    EXPECT_EQ(e->GetCurrentPatternAs(id, __uuidof(P), reinterpret_cast<void**>(&p)), S_OK);
    return p;
  }
  void Flush() {
    process_->Invoke([] {});
  }
  int Clicks(int id) const {
    int n = 0;
    for (const auto& c : simwin::ReceivedCommands(dialog_.hwnd)) n += c.id == id && c.code == BN_CLICKED;
    return n;
  }

  Com<IUIAutomation> automation_;
  std::unique_ptr<simwin::Process> process_;
  simwin::Dialog dialog_;
  long bstrs_ = 0;
};

struct Expected {
  int depth;
  int type;
  std::wstring name;
  int control;  // control id whose window the element is; 0: the dialog; -1: no
                // window
  bool enabled;
  bool toggle;
  bool selection;
};

void Flatten(IUIAutomationElement* e, int depth, std::vector<std::tuple<int, IUIAutomationElement*>>& out,
             std::vector<Com<IUIAutomationElement>>& keep) {
  out.emplace_back(depth, e);
  for (auto& c : Children(e)) {
    IUIAutomationElement* raw = c.p;
    keep.push_back(std::move(c));
    Flatten(raw, depth + 1, out, keep);
  }
}

// The dialog as one cached request brings it: control types [U-STD], the dialog
// as Window and its title bar in the raw view [U-MSAA][U-TTL] (position after
// the client children inferred, unknowns 13), names as the proxies give them
// (mnemonic stripped, the edit named by its label), toggle only on check boxes
// and selection only on radio buttons [U-MSAA][U-TOG].
TEST_F(SimUia, SetupDialogThroughOneSubtreeRequestInTheRawView) {
  auto request = EngineRequest();
  simwin::ResetAccessibilityCallCount();
  Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u) << "the whole subtree in one call";

  const Expected expected[] = {
      {0, UIA_WindowControlTypeId, L"Setup - &Example", 0, true, false, false},
      {1, UIA_TextControlTypeId, L"Destination:", kLabel, true, false, false},
      {1, UIA_EditControlTypeId, L"Destination:", kPath, true, false, false},
      {1, UIA_GroupControlTypeId, L"Options", kGroup, true, false, false},
      {1, UIA_CheckBoxControlTypeId, L"Desktop shortcut", kShortcut, true, true, false},
      {1, UIA_RadioButtonControlTypeId, L"Typical", kTypical, true, false, true},
      {1, UIA_RadioButtonControlTypeId, L"Custom", kCustom, true, false, true},
      {1, UIA_CheckBoxControlTypeId, L"Hidden", kHidden, true, true, false},
      {1, UIA_CheckBoxControlTypeId, L"Extras", kTri, true, true, false},
      {1, UIA_ButtonControlTypeId, L"Next >", kNext, true, false, false},
      {1, UIA_ButtonControlTypeId, L"Cancel", kCancel, false, false, false},
      {1, UIA_TitleBarControlTypeId, L"", -1, true, false, false},
      {2, UIA_ButtonControlTypeId, L"Close", -1, true, false, false},
  };
  std::vector<std::tuple<int, IUIAutomationElement*>> flat;
  std::vector<Com<IUIAutomationElement>> keep;
  Flatten(root.p, 0, flat, keep);
  ASSERT_EQ(flat.size(), std::size(expected));
  for (size_t i = 0; i < flat.size(); ++i) {
    const Expected& x = expected[i];
    auto [depth, e] = flat[i];
    SCOPED_TRACE(testing::Message() << "element " << i);
    EXPECT_EQ(depth, x.depth);
    EXPECT_EQ(CachedType(e), x.type);
    EXPECT_EQ(CachedName(e), x.name);
    UIA_HWND hwnd = reinterpret_cast<UIA_HWND>(1);
    EXPECT_EQ(e->get_CachedNativeWindowHandle(&hwnd), S_OK);
    HWND want = x.control < 0 ? nullptr : (x.control == 0 ? dialog_.hwnd : Ctl(x.control));
    EXPECT_EQ(hwnd, static_cast<UIA_HWND>(want));
    BOOL enabled = -1;
    EXPECT_EQ(e->get_CachedIsEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled != 0, x.enabled);
    Com<IUnknown> toggle, selection;
    EXPECT_EQ(e->GetCachedPattern(UIA_TogglePatternId, &toggle), S_OK);
    EXPECT_EQ(e->GetCachedPattern(UIA_SelectionItemPatternId, &selection), S_OK);
    EXPECT_EQ(static_cast<bool>(toggle), x.toggle);
    EXPECT_EQ(static_cast<bool>(selection), x.selection);
  }
  // Leaves have no children: a null array, not an error [GCC].
  HRESULT hr = E_FAIL;
  EXPECT_TRUE(Children(std::get<1>(flat[1])).empty());
  Children(std::get<1>(flat[1]), &hr);
  EXPECT_EQ(hr, S_OK);
}

// [GCC]: children are cached only where the scope asked for them; properties
// only where the element was in scope.
TEST_F(SimUia, ScopeDecidesWhatIsCached) {
  struct Case {
    TreeScope scope;
    bool rootProperties;
    bool rootChildren;
    bool grandchildren;
  } cases[] = {
      {TreeScope_Element, true, false, false},
      {TreeScope_Children, false, true, false},
      {static_cast<TreeScope>(TreeScope_Element | TreeScope_Children), true, true, false},
      {TreeScope_Subtree, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "scope " << c.scope);
    auto request = EngineRequest(c.scope);
    Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
    CONTROLTYPEID type = 0;
    EXPECT_EQ(SUCCEEDED(root->get_CachedControlType(&type)), c.rootProperties);
    HRESULT hr = S_OK;
    auto kids = Children(root.p, &hr);
    EXPECT_EQ(SUCCEEDED(hr), c.rootChildren);
    if (!c.rootChildren) continue;
    ASSERT_FALSE(kids.empty());
    EXPECT_EQ(CachedType(kids.back().p), UIA_TitleBarControlTypeId) << "children carry their properties";
    Children(kids.back().p, &hr);
    EXPECT_EQ(SUCCEEDED(hr), c.grandchildren);
  }
  Com<IUIAutomationCacheRequest> request = EngineRequest();
  EXPECT_EQ(request->put_TreeScope(TreeScope_Parent), E_INVALIDARG);
}

// Views [U-MSAA]: the title bar is a control element but not content [U-TTL],
// so the control view keeps it and the content view drops it.
TEST_F(SimUia, TreeFilterSelectsTheView) {
  struct Case {
    HRESULT (STDMETHODCALLTYPE IUIAutomation::*get)(IUIAutomationCondition**);
    bool titleBar;
  } cases[] = {{&IUIAutomation::get_RawViewCondition, true},
               {&IUIAutomation::get_ControlViewCondition, true},
               {&IUIAutomation::get_ContentViewCondition, false}};
  for (const auto& c : cases) {
    auto request = EngineRequest();
    Com<IUIAutomationCondition> view;
    ASSERT_EQ((automation_.p->*c.get)(&view), S_OK);
    ASSERT_EQ(request->put_TreeFilter(view.p), S_OK);
    Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
    auto kids = Children(root.p);
    ASSERT_EQ(kids.size(), c.titleBar ? 11u : 10u);
    EXPECT_EQ(CachedType(kids.back().p) == UIA_TitleBarControlTypeId, c.titleBar);
  }
}

// Cached values are those of the last BuildUpdatedCache; current values are
// read live.
TEST_F(SimUia, CachesStayStaleUntilTheNextBuild) {
  auto request = EngineRequest(TreeScope_Element);
  ASSERT_EQ(request->AddProperty(UIA_ToggleToggleStatePropertyId), S_OK);
  Com<IUIAutomationElement> box = Cached(Ctl(kShortcut), request.p);
  auto toggle = CachedPattern<IUIAutomationTogglePattern>(box.p, UIA_TogglePatternId);
  ASSERT_TRUE(toggle);

  simwin::Click(Ctl(kShortcut));
  process_->Invoke([&] { SetWindowTextW(Ctl(kShortcut), L"Start menu entry"); });

  ToggleState cachedState = ToggleState_Indeterminate, currentState = ToggleState_Indeterminate;
  EXPECT_EQ(toggle->get_CachedToggleState(&cachedState), S_OK);
  EXPECT_EQ(toggle->get_CurrentToggleState(&currentState), S_OK);
  EXPECT_EQ(cachedState, ToggleState_On);
  EXPECT_EQ(currentState, ToggleState_Off);
  EXPECT_EQ(CachedName(box.p), L"Desktop shortcut");
  EXPECT_EQ(CurrentName(box.p), L"Start menu entry");

  Com<IUIAutomationElement> fresh;
  ASSERT_EQ(box->BuildUpdatedCache(request.p, &fresh), S_OK);
  EXPECT_EQ(CachedName(fresh.p), L"Start menu entry");
  auto freshToggle = CachedPattern<IUIAutomationTogglePattern>(fresh.p, UIA_TogglePatternId);
  EXPECT_EQ(freshToggle->get_CachedToggleState(&cachedState), S_OK);
  EXPECT_EQ(cachedState, ToggleState_Off);
  EXPECT_EQ(CachedName(box.p), L"Desktop shortcut") << "the old element keeps its cache";

  // A property the request did not name is not in the cache.
  BOOL offscreen = FALSE;
  EXPECT_EQ(fresh->get_CachedIsOffscreen(&offscreen), static_cast<HRESULT>(UIA_E_INVALIDOPERATION));
}

// Live state: bounding rectangle, off screen for hidden windows (INVISIBLE
// bridge rule [U-MSAA]), enabled (IsWindowEnabled, inferred), item status, and
// the legacy MSAA state of the same control.
TEST_F(SimUia, CurrentPropertiesAreLive) {
  Com<IUIAutomationElement> hidden = FromHandle(Ctl(kHidden));
  Com<IUIAutomationElement> cancel = FromHandle(Ctl(kCancel));
  BOOL value = -1;
  EXPECT_EQ(hidden->get_CurrentIsOffscreen(&value), S_OK);
  EXPECT_TRUE(value);
  EXPECT_EQ(cancel->get_CurrentIsOffscreen(&value), S_OK);
  EXPECT_FALSE(value);
  EXPECT_EQ(cancel->get_CurrentIsEnabled(&value), S_OK);
  EXPECT_FALSE(value);
  simwin::SetEnabled(*process_, Ctl(kCancel), true);
  EXPECT_EQ(cancel->get_CurrentIsEnabled(&value), S_OK);
  EXPECT_TRUE(value);

  RECT r{}, w{};
  EXPECT_EQ(cancel->get_CurrentBoundingRectangle(&r), S_OK);
  GetWindowRect(Ctl(kCancel), &w);
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::tie(w.left, w.top, w.right, w.bottom));

  BSTR status = nullptr;
  EXPECT_EQ(cancel->get_CurrentItemStatus(&status), S_OK);
  EXPECT_EQ(Take(status), L"");

  Com<IUIAutomationElement> box = FromHandle(Ctl(kShortcut));
  VARIANT state;
  VariantInit(&state);
  ASSERT_EQ(box->GetCurrentPropertyValue(UIA_LegacyIAccessibleStatePropertyId, &state), S_OK);
  ASSERT_EQ(state.vt, VT_I4);
  EXPECT_EQ(state.lVal & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE),
            STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE);
  simwin::Click(Ctl(kShortcut));
  ASSERT_EQ(box->GetCurrentPropertyValue(UIA_LegacyIAccessibleStatePropertyId, &state), S_OK);
  EXPECT_EQ(state.lVal & STATE_SYSTEM_CHECKED, 0);
}

struct Raised {
  HWND hwnd;
  LONG idObject;
  LONG idChild;
};
std::vector<Raised> g_events;
void CALLBACK Record(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG idChild, DWORD, DWORD) {
  g_events.push_back({hwnd, idObject, idChild});
}

// Toggle and Select act as a click (inferred [U-TOG][ISIP]): the control
// changes as [B-STY] says, the dialog hears BN_CLICKED, and the same WinEvents
// as a user's click are raised.
TEST_F(SimUia, ToggleAndSelectClickTheControl) {
  g_events.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, &Record,
                                       process_->Id(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  auto settle = [&]() {
    // A marker raised after everything the click raised; all before it have
    // been delivered once it arrives.
    process_->Invoke([&] { NotifyWinEvent(EVENT_OBJECT_STATECHANGE, dialog_.hwnd, OBJID_CLIENT, 7); });
    EXPECT_TRUE(PumpUntil([] { return !g_events.empty() && g_events.back().idChild == 7; }));
    std::vector<Raised> got(g_events.begin(), g_events.end() - 1);
    g_events.clear();
    return got;
  };

  simwin::Click(Ctl(kShortcut));
  auto byUser = settle();
  ASSERT_FALSE(byUser.empty());

  auto request = EngineRequest();
  Com<IUIAutomationElement> box = Cached(Ctl(kShortcut), request.p);
  auto toggle = CachedPattern<IUIAutomationTogglePattern>(box.p, UIA_TogglePatternId);
  ASSERT_EQ(toggle->Toggle(), S_OK);
  EXPECT_EQ(simwin::CheckState(Ctl(kShortcut)), static_cast<UINT>(BST_CHECKED));
  auto byToggle = settle();
  ASSERT_EQ(byToggle.size(), byUser.size());
  for (size_t i = 0; i < byUser.size(); ++i) {
    EXPECT_EQ(byToggle[i].hwnd, byUser[i].hwnd);
    EXPECT_EQ(byToggle[i].idObject, byUser[i].idObject);
    EXPECT_EQ(byToggle[i].idChild, byUser[i].idChild);
  }
  Flush();
  EXPECT_EQ(Clicks(kShortcut), 2);

  Com<IUIAutomationElement> custom = Cached(Ctl(kCustom), request.p);
  auto select = CachedPattern<IUIAutomationSelectionItemPattern>(custom.p, UIA_SelectionItemPatternId);
  ASSERT_EQ(select->Select(), S_OK);
  EXPECT_EQ(simwin::CheckState(Ctl(kCustom)), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(simwin::CheckState(Ctl(kTypical)), static_cast<UINT>(BST_UNCHECKED)) << "its group is cleared";
  BOOL selected = FALSE;
  EXPECT_EQ(select->get_CurrentIsSelected(&selected), S_OK);
  EXPECT_TRUE(selected);
  ASSERT_EQ(select->Select(), S_OK) << "already selected: nothing happens [ISIP]";
  Flush();
  EXPECT_EQ(Clicks(kCustom), 1);
  settle();
  EXPECT_TRUE(UnhookWinEvent(hook));
}

// [B-STY] BS_AUTO3STATE cycles checked -> indeterminate -> cleared; MIXED is
// the indeterminate toggle state [U-MSAA].
TEST_F(SimUia, ThreeStateBoxCyclesThroughIndeterminate) {
  auto toggle = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kTri), UIA_TogglePatternId);
  ASSERT_TRUE(toggle);
  const ToggleState cycle[] = {ToggleState_Indeterminate, ToggleState_Off, ToggleState_On, ToggleState_Indeterminate};
  for (size_t i = 0; i < std::size(cycle); ++i) {
    ToggleState s = static_cast<ToggleState>(-1);
    EXPECT_EQ(toggle->get_CurrentToggleState(&s), S_OK);
    EXPECT_EQ(s, cycle[i]) << "step " << i;
    if (i + 1 < std::size(cycle)) {
      ASSERT_EQ(toggle->Toggle(), S_OK);
    }
  }
}

// [U-ERR] a disabled element refuses with UIA_E_ELEMENTNOTENABLED (for Toggle
// and Invoke on Win32 proxies inferred, unknowns 6), and nothing reaches the
// control.
TEST_F(SimUia, DisabledControlsRefuse) {
  simwin::SetEnabled(*process_, Ctl(kShortcut), false);
  simwin::SetEnabled(*process_, Ctl(kCustom), false);
  auto toggle = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId);
  auto select = CurrentPattern<IUIAutomationSelectionItemPattern>(Ctl(kCustom), UIA_SelectionItemPatternId);
  auto invoke = CurrentPattern<IUIAutomationInvokePattern>(Ctl(kCancel), UIA_InvokePatternId);
  const HRESULT refused = static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED);
  EXPECT_EQ(toggle->Toggle(), refused);
  EXPECT_EQ(select->Select(), refused);
  EXPECT_EQ(invoke->Invoke(), refused);
  Flush();
  EXPECT_EQ(simwin::CheckState(Ctl(kShortcut)), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(simwin::CheckState(Ctl(kCustom)), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(Clicks(kShortcut) + Clicks(kCustom) + Clicks(kCancel), 0);

  auto next = CurrentPattern<IUIAutomationInvokePattern>(Ctl(kNext), UIA_InvokePatternId);
  EXPECT_EQ(next->Invoke(), S_OK);
  Flush();
  EXPECT_EQ(Clicks(kNext), 1);
}

// Toggle goes through the control's UI thread: while that thread is busy the
// call waits, and it acts on the state the thread leaves behind (a direct
// change would have been overwritten).
TEST_F(SimUia, ToggleWaitsForTheUiThread) {
  auto toggle = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId);
  SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_UNCHECKED, 0);
  Event blocked, release, calling;
  process_->Post([&] {
    blocked.Set();
    release.Wait();
    SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_CHECKED, 0);
  });
  ASSERT_TRUE(blocked.Wait());
  std::atomic<HRESULT> result{E_FAIL};
  TestThread caller([&]() -> DWORD {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    calling.Set();
    result = toggle->Toggle();
    CoUninitialize();
    return 0;
  });
  ASSERT_TRUE(calling.Wait());
  release.Set();
  caller.Join();
  EXPECT_EQ(result.load(), S_OK);
  EXPECT_EQ(simwin::CheckState(Ctl(kShortcut)), static_cast<UINT>(BST_UNCHECKED));
}

// A custom-drawn installer's own MSAA tree reaches UI Automation through the
// bridge: control types from roles [WT-UIA msaa_role_uia_types] (CLIENT
// unmapped), state bridged [WT-UIA msaa_state_uia_props], simple elements keep
// their child id in LegacyIAccessible [WT-UIA test_UiaProviderFromIAccessible].
TEST_F(SimUia, CustomTreeThroughTheMsaaBridge) {
  simwin::DialogLayout layout;
  layout.title = L"Custom setup";
  simwin::Dialog custom = simwin::CreateDialogFromLayout(*process_, layout);
  simwin::AccNode root;
  root.role = ROLE_SYSTEM_CLIENT;
  root.name = L"canvas";
  simwin::AccNode text;
  text.role = ROLE_SYSTEM_STATICTEXT;
  text.name = L"Welcome";
  simwin::AccNode extras;
  extras.role = ROLE_SYSTEM_CHECKBUTTON;
  extras.name = L"Install extras";
  extras.defaultAction = L"Check";
  extras.toggleOnDefaultAction = true;
  extras.state = STATE_SYSTEM_MIXED;
  simwin::AccNode locked = extras;
  locked.name = L"Locked";
  locked.state = STATE_SYSTEM_UNAVAILABLE;
  simwin::AccNode next;
  next.role = ROLE_SYSTEM_PUSHBUTTON;
  next.name = L"Next";
  next.simple = true;
  simwin::AccNode blob;
  blob.role = ROLE_SYSTEM_CLIENT;
  blob.name = L"blob";
  root.children = {text, extras, locked, next, blob};
  simwin::AttachAccessibleTree(*process_, custom.hwnd, root);

  auto request = EngineRequest();
  ASSERT_EQ(request->AddPattern(UIA_LegacyIAccessiblePatternId), S_OK);
  Com<IUIAutomationElement> window = Cached(custom.hwnd, request.p);
  EXPECT_EQ(CachedType(window.p), UIA_WindowControlTypeId);
  auto kids = Children(window.p);
  const std::tuple<int, std::wstring, bool> expected[] = {
      {UIA_TextControlTypeId, L"Welcome", true},     {UIA_CheckBoxControlTypeId, L"Install extras", true},
      {UIA_CheckBoxControlTypeId, L"Locked", false}, {UIA_ButtonControlTypeId, L"Next", true},
      {UIA_CustomControlTypeId, L"blob", true},      {UIA_TitleBarControlTypeId, L"", true}};
  ASSERT_EQ(kids.size(), std::size(expected));
  for (size_t i = 0; i < kids.size(); ++i) {
    EXPECT_EQ(CachedType(kids[i].p), std::get<0>(expected[i])) << i;
    EXPECT_EQ(CachedName(kids[i].p), std::get<1>(expected[i])) << i;
    BOOL enabled = -1;
    EXPECT_EQ(kids[i]->get_CachedIsEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled != 0, std::get<2>(expected[i])) << i;
  }

  auto legacy = CachedPattern<IUIAutomationLegacyIAccessiblePattern>(kids[3].p, UIA_LegacyIAccessiblePatternId);
  int childId = -1;
  EXPECT_EQ(legacy->get_CurrentChildId(&childId), S_OK);
  EXPECT_EQ(childId, 4) << "a simple element is its parent's child 4";

  auto toggle = CachedPattern<IUIAutomationTogglePattern>(kids[1].p, UIA_TogglePatternId);
  ToggleState s = ToggleState_Off;
  EXPECT_EQ(toggle->get_CurrentToggleState(&s), S_OK);
  EXPECT_EQ(s, ToggleState_Indeterminate);
  ASSERT_EQ(toggle->Toggle(), S_OK);
  EXPECT_EQ(simwin::AccessibleState(custom.hwnd, L"Install extras").value_or(0) & STATE_SYSTEM_CHECKED,
            STATE_SYSTEM_CHECKED);
  auto lockedToggle = CachedPattern<IUIAutomationTogglePattern>(kids[2].p, UIA_TogglePatternId);
  EXPECT_EQ(lockedToggle->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED));

  // ElementFromIAccessible reaches a native server's object [EFIA] but refuses
  // oleacc's proxies (unknowns 12).
  Com<IAccessible> served, proxy;
  ASSERT_EQ(AccessibleObjectFromWindow(custom.hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&served)),
            S_OK);
  Com<IUIAutomationElement> fromAcc;
  ASSERT_EQ(automation_->ElementFromIAccessible(served.p, CHILDID_SELF, &fromAcc), S_OK);
  EXPECT_EQ(CurrentName(fromAcc.p), L"canvas");
  ASSERT_EQ(AccessibleObjectFromWindow(Ctl(kNext), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&proxy)),
            S_OK);
  Com<IUIAutomationElement> refused;
  EXPECT_EQ(automation_->ElementFromIAccessible(proxy.p, CHILDID_SELF, &refused), E_INVALIDARG);
  EXPECT_EQ(automation_->ElementFromIAccessible(nullptr, CHILDID_SELF, &refused), E_INVALIDARG);
}

// An untrusted tree that lists its own ancestor as a child still gives a finite
// cache.
TEST_F(SimUia, CyclicCustomTreeEndsAtTheRepeatedAncestor) {
  simwin::DialogLayout layout;
  simwin::Dialog custom = simwin::CreateDialogFromLayout(*process_, layout);
  simwin::AccNode root;
  root.name = L"root";
  simwin::AccNode child;
  child.role = ROLE_SYSTEM_PUSHBUTTON;
  child.name = L"loop";
  child.ancestorAsChild = 1;
  root.children = {child};
  simwin::AttachAccessibleTree(*process_, custom.hwnd, root);
  Com<IUIAutomationElement> window = Cached(custom.hwnd, EngineRequest().p);
  auto kids = Children(window.p);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(CachedName(kids[0].p), L"loop");
  EXPECT_TRUE(Children(kids[0].p).empty()) << "the root is not repeated below its child";
}

// Counting: each element call is one, BuildUpdatedCache is one however much it
// brings, the array is local. Faults: by method name, window and count;
// creation can fail and be retried.
TEST_F(SimUia, CallsAreCountedAndFaultsInjected) {
  auto request = EngineRequest();
  Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
  simwin::ResetAccessibilityCallCount();
  auto kids = Children(root.p);
  CachedName(kids[0].p);
  CachedType(kids[0].p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 3u);

  int id = simwin::InjectAccessibilityFault({"BuildUpdatedCache", RPC_E_DISCONNECTED, nullptr, L"", 1});
  Com<IUIAutomationElement> failed, retried;
  EXPECT_EQ(root->BuildUpdatedCache(request.p, &failed), RPC_E_DISCONNECTED);
  EXPECT_FALSE(failed);
  EXPECT_EQ(root->BuildUpdatedCache(request.p, &retried), S_OK) << "the fault was for one call";
  simwin::RemoveAccessibilityFault(id);

  simwin::InjectAccessibilityFault({"get_CurrentName", E_ACCESSDENIED, Ctl(kNext)});
  BSTR name = reinterpret_cast<BSTR>(&id);
  Com<IUIAutomationElement> next = FromHandle(Ctl(kNext));
  EXPECT_EQ(next->get_CurrentName(&name), E_ACCESSDENIED);
  EXPECT_EQ(name, nullptr) << "out parameter cleared";
  EXPECT_EQ(CurrentName(FromHandle(Ctl(kCancel)).p), L"Cancel") << "other windows unaffected";

  simwin::InjectAccessibilityFault({"Toggle", E_FAIL, Ctl(kShortcut)});
  auto toggle = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId);
  EXPECT_EQ(toggle->Toggle(), E_FAIL);
  EXPECT_EQ(simwin::CheckState(Ctl(kShortcut)), static_cast<UINT>(BST_CHECKED));

  simwin::InjectAccessibilityFault({"CoCreateInstance", REGDB_E_CLASSNOTREG, nullptr, L"", 1});
  Com<IUIAutomation> again;
  EXPECT_EQ(CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                             reinterpret_cast<void**>(&again)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                             reinterpret_cast<void**>(&again)),
            S_OK);
}

// What simwin does not model answers E_NOTIMPL with the out parameters cleared;
// a destroyed window's element is gone.
TEST_F(SimUia, UnimplementedAndGoneElements) {
  Com<IUIAutomationElement> e = FromHandle(Ctl(kNext));
  int sentinel = 0;
  auto* raw = reinterpret_cast<IUIAutomationElementArray*>(&sentinel);
  EXPECT_EQ(e->FindAll(TreeScope_Children, nullptr, &raw), E_NOTIMPL);
  EXPECT_EQ(raw, nullptr);
  Com<IUIAutomationTreeWalker> walker;
  EXPECT_EQ(automation_->get_RawViewWalker(&walker), E_NOTIMPL);

  HWND doomed = Ctl(kLabel);
  Com<IUIAutomationElement> label = FromHandle(doomed);
  process_->Invoke([&] { DestroyWindow(doomed); });
  BSTR name = nullptr;
  EXPECT_EQ(label->get_CurrentName(&name), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
  Com<IUIAutomationElement> none;
  EXPECT_EQ(automation_->ElementFromHandle(doomed, &none), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
}

}  // namespace

#endif  // _WIN32
