// simwin-only: UI Automation over standard controls and custom MSAA trees, cache requests, patterns, call counting and
// fault injection. Wine cannot judge UI Automation (CoCreateInstance(CLSID_CUIAutomation) fails under wine 8), so
// Windows' documented behaviour is the reference; the keys in brackets name its source in WINDOWS-ACCESSIBILITY.md.
#ifndef _WIN32

#include <atomic>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sim_accessibility.h"

using conformance::PumpUntil;

namespace {

using namespace simaccess;

int CachedType(IUIAutomationElement* e) {
  CONTROLTYPEID t = -1;
  EXPECT_EQ(e->get_CachedControlType(&t), S_OK);
  return t;
}
std::wstring Name(IUIAutomationElement* e, HRESULT (STDMETHODCALLTYPE IUIAutomationElement::*get)(BSTR*)) {
  BSTR b = nullptr;
  EXPECT_EQ((e->*get)(&b), S_OK);
  return Take(b);
}
std::wstring CachedName(IUIAutomationElement* e) { return Name(e, &IUIAutomationElement::get_CachedName); }
std::wstring CurrentName(IUIAutomationElement* e) { return Name(e, &IUIAutomationElement::get_CurrentName); }

ToggleState State(const Com<IUIAutomationTogglePattern>& toggle,
                  HRESULT (STDMETHODCALLTYPE IUIAutomationTogglePattern::*get)(ToggleState*) =
                      &IUIAutomationTogglePattern::get_CurrentToggleState) {
  ToggleState state = static_cast<ToggleState>(-1);
  EXPECT_EQ((toggle.p->*get)(&state), S_OK);
  return state;
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

class SimUia : public SimDialogTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    SimDialogTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                               reinterpret_cast<void**>(&automation_.p)),
              S_OK);
  }
  void TearDown() override {
    automation_ = Com<IUIAutomation>();
    EndProcess();
    CoUninitialize();
    // Elements, patterns, requests and conditions too.
    ExpectNothingLeaked();
  }

  // The engine's request: full elements, whole subtree, raw view, four properties, two patterns.
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
    Com<IUIAutomationElement> cached;
    EXPECT_EQ(FromHandle(hwnd)->BuildUpdatedCache(request, &cached), S_OK);
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
    Com<P> p;
    EXPECT_EQ(FromHandle(hwnd)->GetCurrentPatternAs(id, __uuidof(P), reinterpret_cast<void**>(&p)), S_OK);
    return p;
  }

  Com<IUIAutomation> automation_;
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

// The dialog as one cached request brings it: control types [U-STD], the dialog as Window and its title bar in the raw
// view [U-MSAA][U-TTL] (position after the client children inferred, unknowns 13), names as the proxies give them
// (mnemonic stripped, the edit named by its label), toggle only on check boxes and selection only on radio buttons
// [U-MSAA][U-TOG].
TEST_F(SimUia, SetupDialogThroughOneSubtreeRequestInTheRawView) {
  auto request = EngineRequest();
  simwin::ResetAccessibilityCallCount();
  Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u) << "the whole subtree in one call";

  const struct {
    int depth;
    int type;
    std::wstring name;
    int control;  // control id whose window the element is; 0: the dialog; -1: no window
    bool enabled;
    bool toggle;
    bool selection;
  } expected[] = {
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
    const auto& x = expected[i];
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
  EXPECT_TRUE(Children(std::get<1>(flat[1]), &hr).empty());
  EXPECT_EQ(hr, S_OK);
}

// [GCC]: children are cached only where the scope asked for them, properties only where the element was in scope
// (the whole subtree in the raw view: SetupDialogThroughOneSubtreeRequestInTheRawView).
// Views [U-MSAA]: the title bar is a control element but not content [U-TTL], so the control view keeps it and the
// content view drops it.
TEST_F(SimUia, ScopeAndViewDecideWhatIsCached) {
  using View = HRESULT (STDMETHODCALLTYPE IUIAutomation::*)(IUIAutomationCondition**);
  const View raw = &IUIAutomation::get_RawViewCondition;
  struct Case {
    TreeScope scope;
    View view;
    bool rootProperties;
    bool rootChildren;
    bool grandchildren;
    bool titleBar;
  } cases[] = {
      {TreeScope_Element, raw, true, false, false, false},
      {TreeScope_Children, raw, false, true, false, true},
      {static_cast<TreeScope>(TreeScope_Element | TreeScope_Children), raw, true, true, false, true},
      {TreeScope_Subtree, &IUIAutomation::get_ControlViewCondition, true, true, true, true},
      {TreeScope_Subtree, &IUIAutomation::get_ContentViewCondition, true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    auto request = EngineRequest(c.scope);
    Com<IUIAutomationCondition> view;
    ASSERT_EQ((automation_.p->*c.view)(&view), S_OK);
    ASSERT_EQ(request->put_TreeFilter(view.p), S_OK);
    Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
    CONTROLTYPEID type = 0;
    EXPECT_EQ(SUCCEEDED(root->get_CachedControlType(&type)), c.rootProperties);
    HRESULT hr = S_OK;
    auto kids = Children(root.p, &hr);
    EXPECT_EQ(SUCCEEDED(hr), c.rootChildren);
    if (!c.rootChildren) continue;
    ASSERT_EQ(kids.size(), c.titleBar ? 11u : 10u);
    EXPECT_EQ(CachedType(kids.back().p) == UIA_TitleBarControlTypeId, c.titleBar) << "children carry properties";
    Children(kids.back().p, &hr);
    EXPECT_EQ(SUCCEEDED(hr), c.grandchildren);
  }
  EXPECT_EQ(EngineRequest()->put_TreeScope(TreeScope_Parent), E_INVALIDARG);
}

// Cached values are those of the last BuildUpdatedCache; current values are read live.
TEST_F(SimUia, CachesStayStaleUntilTheNextBuild) {
  auto request = EngineRequest(TreeScope_Element);
  ASSERT_EQ(request->AddProperty(UIA_ToggleToggleStatePropertyId), S_OK);
  Com<IUIAutomationElement> box = Cached(Ctl(kShortcut), request.p);
  auto toggle = CachedPattern<IUIAutomationTogglePattern>(box.p, UIA_TogglePatternId);
  ASSERT_TRUE(toggle);

  simwin::Click(Ctl(kShortcut));
  process_->Invoke([&] { SetWindowTextW(Ctl(kShortcut), L"Start menu entry"); });

  EXPECT_EQ(State(toggle, &IUIAutomationTogglePattern::get_CachedToggleState), ToggleState_On);
  EXPECT_EQ(State(toggle), ToggleState_Off);
  EXPECT_EQ(CachedName(box.p), L"Desktop shortcut");
  EXPECT_EQ(CurrentName(box.p), L"Start menu entry");

  Com<IUIAutomationElement> fresh;
  ASSERT_EQ(box->BuildUpdatedCache(request.p, &fresh), S_OK);
  EXPECT_EQ(CachedName(fresh.p), L"Start menu entry");
  auto freshToggle = CachedPattern<IUIAutomationTogglePattern>(fresh.p, UIA_TogglePatternId);
  EXPECT_EQ(State(freshToggle, &IUIAutomationTogglePattern::get_CachedToggleState), ToggleState_Off);
  EXPECT_EQ(CachedName(box.p), L"Desktop shortcut") << "the old element keeps its cache";

  // A property the request did not name is not in the cache.
  BOOL offscreen = FALSE;
  EXPECT_EQ(fresh->get_CachedIsOffscreen(&offscreen), static_cast<HRESULT>(UIA_E_INVALIDOPERATION));
}

// Live state: bounding rectangle, off screen for hidden windows (INVISIBLE bridge rule [U-MSAA]), enabled
// (IsWindowEnabled, inferred), item status, and the legacy MSAA state of the same control.
TEST_F(SimUia, CurrentPropertiesAreLive) {
  Com<IUIAutomationElement> hidden = FromHandle(Ctl(kHidden));
  Com<IUIAutomationElement> cancel = FromHandle(Ctl(kCancel));
  auto is = [](const Com<IUIAutomationElement>& e, HRESULT (STDMETHODCALLTYPE IUIAutomationElement::*get)(BOOL*)) {
    BOOL value = -1;
    EXPECT_EQ((e.p->*get)(&value), S_OK);
    return value;
  };
  EXPECT_TRUE(is(hidden, &IUIAutomationElement::get_CurrentIsOffscreen));
  EXPECT_FALSE(is(cancel, &IUIAutomationElement::get_CurrentIsOffscreen));
  EXPECT_FALSE(is(cancel, &IUIAutomationElement::get_CurrentIsEnabled));
  simwin::SetEnabled(*process_, Ctl(kCancel), true);
  EXPECT_TRUE(is(cancel, &IUIAutomationElement::get_CurrentIsEnabled));

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
  for (LONG checked : {STATE_SYSTEM_CHECKED, 0}) {
    ASSERT_EQ(box->GetCurrentPropertyValue(UIA_LegacyIAccessibleStatePropertyId, &state), S_OK);
    ASSERT_EQ(state.vt, VT_I4);
    EXPECT_EQ(state.lVal & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE), checked | STATE_SYSTEM_FOCUSABLE);
    if (checked) simwin::Click(Ctl(kShortcut));
  }
}

using Raised = std::tuple<HWND, LONG, LONG>;  // window, object, child
std::vector<Raised> g_events;
void CALLBACK Record(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG idChild, DWORD, DWORD) {
  g_events.emplace_back(hwnd, idObject, idChild);
}

// Toggle and Select act as a click (inferred [U-TOG][ISIP]): the control changes as [B-STY] says (a three-state box
// too), the dialog hears BN_CLICKED, and the same WinEvents as a user's click are raised.
TEST_F(SimUia, ToggleAndSelectClickTheControl) {
  g_events.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, &Record,
                                       process_->Id(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  auto settle = [&]() {
    // A marker raised after everything the click raised; all before it have been delivered once it arrives.
    process_->Invoke([&] { NotifyWinEvent(EVENT_OBJECT_STATECHANGE, dialog_.hwnd, OBJID_CLIENT, 7); });
    EXPECT_TRUE(PumpUntil([] { return !g_events.empty() && std::get<2>(g_events.back()) == 7; }));
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
  EXPECT_EQ(Check(kShortcut), BST_CHECKED);
  EXPECT_EQ(settle(), byUser);
  Flush();
  EXPECT_EQ(Clicks(kShortcut), 2);

  Com<IUIAutomationElement> custom = Cached(Ctl(kCustom), request.p);
  auto select = CachedPattern<IUIAutomationSelectionItemPattern>(custom.p, UIA_SelectionItemPatternId);
  ASSERT_EQ(select->Select(), S_OK);
  EXPECT_EQ(Check(kCustom), BST_CHECKED);
  EXPECT_EQ(Check(kTypical), BST_UNCHECKED) << "its group is cleared";
  BOOL selected = FALSE;
  EXPECT_EQ(select->get_CurrentIsSelected(&selected), S_OK);
  EXPECT_TRUE(selected);
  ASSERT_EQ(select->Select(), S_OK) << "already selected: nothing happens [ISIP]";
  Flush();
  EXPECT_EQ(Clicks(kCustom), 1);

  // BS_AUTO3STATE cycles checked -> indeterminate -> cleared; MIXED is the indeterminate toggle state [U-MSAA].
  auto tri = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kTri), UIA_TogglePatternId);
  ASSERT_TRUE(tri);
  for (ToggleState want : {ToggleState_Indeterminate, ToggleState_Off, ToggleState_On, ToggleState_Indeterminate}) {
    EXPECT_EQ(State(tri), want);
    EXPECT_EQ(tri->Toggle(), S_OK);
  }
  settle();
  EXPECT_TRUE(UnhookWinEvent(hook));
}

// [U-ERR] a disabled element refuses with UIA_E_ELEMENTNOTENABLED (for Toggle and Invoke on Win32 proxies inferred,
// unknowns 6), and nothing reaches the control.
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
  EXPECT_EQ(Check(kShortcut), BST_CHECKED);
  EXPECT_EQ(Check(kCustom), BST_UNCHECKED);
  EXPECT_EQ(Clicks(kShortcut) + Clicks(kCustom) + Clicks(kCancel), 0);

  EXPECT_EQ(CurrentPattern<IUIAutomationInvokePattern>(Ctl(kNext), UIA_InvokePatternId)->Invoke(), S_OK);
  Flush();
  EXPECT_EQ(Clicks(kNext), 1);
}

// Toggle goes through the control's UI thread: while that thread is busy the call waits, and it acts on the state the
// thread leaves behind (a direct change would have been overwritten).
TEST_F(SimUia, ToggleWaitsForTheUiThread) {
  auto toggle = CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId);
  SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_UNCHECKED, 0);
  std::atomic<HRESULT> result{E_FAIL};
  CallWhileUiThreadIsBusy(
      *process_, [&] { SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_CHECKED, 0); },
      [&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result = toggle->Toggle();
        CoUninitialize();
      });
  EXPECT_EQ(result.load(), S_OK);
  EXPECT_EQ(Check(kShortcut), BST_UNCHECKED);
}

// A custom-drawn installer's own MSAA tree reaches UI Automation through the bridge: control types from roles [WT-UIA
// msaa_role_uia_types] (CLIENT unmapped), state bridged [WT-UIA msaa_state_uia_props], simple elements keep their child
// id in LegacyIAccessible [WT-UIA test_UiaProviderFromIAccessible]; a tree that lists an ancestor as a child still
// gives a finite cache.
TEST_F(SimUia, CustomTreeThroughTheMsaaBridge) {
  simwin::DialogLayout layout;
  layout.title = L"Custom setup";
  simwin::Dialog custom = simwin::CreateDialogFromLayout(*process_, layout);
  simwin::AccNode extras = Node(ROLE_SYSTEM_CHECKBUTTON, L"Install extras", STATE_SYSTEM_MIXED);
  extras.defaultAction = L"Check";
  extras.toggleOnDefaultAction = true;
  simwin::AccNode locked = extras;
  locked.name = L"Locked";
  locked.state = STATE_SYSTEM_UNAVAILABLE;
  // blob's child lists the root again: an untrusted tree with a cycle.
  simwin::AccNode blob{.name = L"blob",
                       .children = {{.role = ROLE_SYSTEM_PUSHBUTTON, .name = L"loop", .ancestorAsChild = 2}}};
  simwin::AccNode root{.name = L"canvas", .children = {Node(ROLE_SYSTEM_STATICTEXT, L"Welcome"), extras, locked}};
  root.children.push_back({.role = ROLE_SYSTEM_PUSHBUTTON, .name = L"Next", .simple = true});
  root.children.push_back(blob);
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

  auto loop = Children(kids[4].p);
  ASSERT_EQ(loop.size(), 1u);
  EXPECT_EQ(CachedName(loop[0].p), L"loop");
  EXPECT_TRUE(Children(loop[0].p).empty()) << "the cycle ends at the repeated ancestor: a finite cache";

  auto legacy = CachedPattern<IUIAutomationLegacyIAccessiblePattern>(kids[3].p, UIA_LegacyIAccessiblePatternId);
  int childId = -1;
  EXPECT_EQ(legacy->get_CurrentChildId(&childId), S_OK);
  EXPECT_EQ(childId, 4) << "a simple element is its parent's child 4";

  auto toggle = CachedPattern<IUIAutomationTogglePattern>(kids[1].p, UIA_TogglePatternId);
  EXPECT_EQ(State(toggle), ToggleState_Indeterminate);
  ASSERT_EQ(toggle->Toggle(), S_OK);
  EXPECT_EQ(simwin::AccessibleState(custom.hwnd, L"Install extras").value_or(0) & STATE_SYSTEM_CHECKED,
            STATE_SYSTEM_CHECKED);
  auto lockedToggle = CachedPattern<IUIAutomationTogglePattern>(kids[2].p, UIA_TogglePatternId);
  EXPECT_EQ(lockedToggle->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED));

  // ElementFromIAccessible reaches a native server's object [EFIA] but refuses oleacc's proxies (unknowns 12).
  Com<IAccessible> served, proxy;
  ASSERT_EQ(ObjectFromWindow(custom.hwnd, OBJID_CLIENT, &served.p), S_OK);
  Com<IUIAutomationElement> fromAcc;
  ASSERT_EQ(automation_->ElementFromIAccessible(served.p, CHILDID_SELF, &fromAcc), S_OK);
  EXPECT_EQ(CurrentName(fromAcc.p), L"canvas");
  ASSERT_EQ(ObjectFromWindow(Ctl(kNext), OBJID_CLIENT, &proxy.p), S_OK);
  Com<IUIAutomationElement> refused;
  EXPECT_EQ(automation_->ElementFromIAccessible(proxy.p, CHILDID_SELF, &refused), E_INVALIDARG);
  EXPECT_EQ(automation_->ElementFromIAccessible(nullptr, CHILDID_SELF, &refused), E_INVALIDARG);
}

// Counting: each element call is one, BuildUpdatedCache is one however much it brings, the array is local. Faults: by
// method name, window and count; creation can fail and be retried.
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
  EXPECT_EQ(FromHandle(Ctl(kNext))->get_CurrentName(&name), E_ACCESSDENIED);
  EXPECT_EQ(name, nullptr) << "out parameter cleared";
  EXPECT_EQ(CurrentName(FromHandle(Ctl(kCancel)).p), L"Cancel") << "other windows unaffected";

  simwin::InjectAccessibilityFault({"Toggle", E_FAIL, Ctl(kShortcut)});
  EXPECT_EQ(CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId)->Toggle(), E_FAIL);
  EXPECT_EQ(Check(kShortcut), BST_CHECKED);

  simwin::InjectAccessibilityFault({"CoCreateInstance", REGDB_E_CLASSNOTREG, nullptr, L"", 1});
  for (HRESULT expected : {REGDB_E_CLASSNOTREG, S_OK}) {
    Com<IUIAutomation> again;
    EXPECT_EQ(CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                               reinterpret_cast<void**>(&again)),
              expected);
  }
}

// What simwin does not model answers E_NOTIMPL with the out parameters cleared; a destroyed window's element is gone.
TEST_F(SimUia, UnimplementedAndGoneElements) {
  int sentinel = 0;
  auto* raw = reinterpret_cast<IUIAutomationElementArray*>(&sentinel);
  EXPECT_EQ(FromHandle(Ctl(kNext))->FindAll(TreeScope_Children, nullptr, &raw), E_NOTIMPL);
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
