// simwin-only: UI Automation over standard controls and custom MSAA trees, cache requests, patterns, call counting and
// fault injection. Wine cannot judge UI Automation (CoCreateInstance(CLSID_CUIAutomation) fails under wine 8), so
// Windows' documented behaviour is the reference; the keys in brackets name its source in WINDOWS-ACCESSIBILITY.md.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sim/sim_accessibility.h"

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

// One element of a cached tree, depth first: its depth, cached type and name, window handle (null: none), and whether
// it is enabled and has cached Toggle and SelectionItem patterns.
struct Expected {
  int depth;
  int type;
  std::wstring name;
  HWND window;
  bool enabled;
  bool toggle;
  bool selection;
};

void ExpectTree(IUIAutomationElement* root, const std::vector<Expected>& expected) {
  std::vector<std::tuple<int, IUIAutomationElement*>> flat;
  std::vector<Com<IUIAutomationElement>> keep;
  Flatten(root, 0, flat, keep);
  ASSERT_EQ(flat.size(), expected.size());
  for (size_t i = 0; i < flat.size(); ++i) {
    const auto& x = expected[i];
    auto [depth, e] = flat[i];
    SCOPED_TRACE(testing::Message() << "element " << i);
    EXPECT_EQ(depth, x.depth);
    EXPECT_EQ(CachedType(e), x.type);
    EXPECT_EQ(CachedName(e), x.name);
    UIA_HWND hwnd = reinterpret_cast<UIA_HWND>(1);
    EXPECT_EQ(e->get_CachedNativeWindowHandle(&hwnd), S_OK);
    EXPECT_EQ(hwnd, static_cast<UIA_HWND>(x.window));
    BOOL enabled = -1;
    EXPECT_EQ(e->get_CachedIsEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled != 0, x.enabled);
    Com<IUnknown> toggle, selection;
    EXPECT_EQ(e->GetCachedPattern(UIA_TogglePatternId, &toggle), S_OK);
    EXPECT_EQ(e->GetCachedPattern(UIA_SelectionItemPatternId, &selection), S_OK);
    EXPECT_EQ(static_cast<bool>(toggle), x.toggle);
    EXPECT_EQ(static_cast<bool>(selection), x.selection);
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

  ExpectTree(root.p, {
                        {0, UIA_WindowControlTypeId, L"Setup - &Example", dialog_.hwnd, true, false, false},
                        {1, UIA_TextControlTypeId, L"Destination:", Ctl(kLabel), true, false, false},
                        {1, UIA_EditControlTypeId, L"Destination:", Ctl(kPath), true, false, false},
                        {1, UIA_GroupControlTypeId, L"Options", Ctl(kGroup), true, false, false},
                        {1, UIA_CheckBoxControlTypeId, L"Desktop shortcut", Ctl(kShortcut), true, true, false},
                        {1, UIA_RadioButtonControlTypeId, L"Typical", Ctl(kTypical), true, false, true},
                        {1, UIA_RadioButtonControlTypeId, L"Custom", Ctl(kCustom), true, false, true},
                        {1, UIA_CheckBoxControlTypeId, L"Hidden", Ctl(kHidden), true, true, false},
                        {1, UIA_CheckBoxControlTypeId, L"Extras", Ctl(kTri), true, true, false},
                        {1, UIA_ButtonControlTypeId, L"Next >", Ctl(kNext), true, false, false},
                        {1, UIA_ButtonControlTypeId, L"Cancel", Ctl(kCancel), false, false, false},
                        {1, UIA_TitleBarControlTypeId, L"", nullptr, true, false, false},
                        {2, UIA_ButtonControlTypeId, L"Close", nullptr, true, false, false},
                    });
  // Leaves have no children: a null array, not an error [GCC].
  HRESULT hr = E_FAIL;
  auto kids = Children(root.p);
  ASSERT_FALSE(kids.empty());
  EXPECT_TRUE(Children(kids[0].p, &hr).empty());
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

// --- Native provider trees ------------------------------------------------------------------------------------------
// A custom-drawn installer's own provider, served for WM_GETOBJECT(UiaRootObjectId) [U-SSP]; sources of what simwin
// does are named in platform/sim/drive/uia_tree.cpp.

simwin::UiaNode DrawnOffers() {
  using simwin::UiaNode;
  return UiaNode{.children = {
                     {.controlType = UIA_TextControlTypeId, .name = L"Welcome", .bounds = {110, 110, 400, 130}},
                     {.controlType = UIA_PaneControlTypeId,
                      .name = L"Offers",
                      .bounds = {110, 140, 490, 260},
                      .children = {{.controlType = UIA_CheckBoxControlTypeId,
                                    .name = L"Install extras",
                                    .automationId = L"extras",
                                    .bounds = {120, 150, 480, 170},
                                    .toggle = ToggleState_On,
                                    .threeState = true},
                                   {.controlType = UIA_CheckBoxControlTypeId,
                                    .name = L"Locked",
                                    .enabled = false,
                                    .toggle = ToggleState_Off},
                                   {.controlType = UIA_RadioButtonControlTypeId, .name = L"Typical", .selected = true},
                                   {.controlType = UIA_RadioButtonControlTypeId,
                                    .name = L"Custom",
                                    .selected = false}}},
                     {.name = L"Banner", .offscreen = true},
                     {.controlType = UIA_ButtonControlTypeId, .name = L"Next", .invoke = true}}};
}

class SimUiaNative : public SimUia {
 protected:
  void SetUp() override {
    SimUia::SetUp();
    simwin::DialogLayout layout;
    layout.title = L"Drawn setup";
    drawn_ = simwin::CreateDialogFromLayout(*process_, layout).hwnd;
    simwin::UiaNode tree = DrawnOffers();
    tree.children.back().onInvoke = [this] { invokedOn_ = GetCurrentThreadId(); };
    simwin::AttachAutomationTree(*process_, drawn_, std::move(tree));
  }
  // The drawn window's element with the whole subtree cached, its children, and the offers pane's children.
  void Build() {
    request_ = EngineRequest();
    simwin::ResetAccessibilityCallCount();
    root_ = Cached(drawn_, request_.p);
    buildCalls_ = simwin::AccessibilityCallCount();
    kids_ = Children(root_.p);
    ASSERT_EQ(kids_.size(), 5u);
    offers_ = Children(kids_[1].p);
    ASSERT_EQ(offers_.size(), 4u);
  }
  void TearDown() override {
    offers_.clear();
    kids_.clear();
    root_ = Com<IUIAutomationElement>();
    request_ = Com<IUIAutomationCacheRequest>();
    SimUia::TearDown();
  }

  HWND drawn_ = nullptr;
  std::atomic<DWORD> invokedOn_{0};
  uint64_t buildCalls_ = 0;
  Com<IUIAutomationCacheRequest> request_;
  Com<IUIAutomationElement> root_;
  std::vector<Com<IUIAutomationElement>> kids_, offers_;
};

// The client sees the provider's elements natively: types, names, enabled, patterns as the provider gives them, the
// property defaults where it gives none [U-PROP] (a native element has no window handle, an untyped one is Custom); at
// the root the window's own values stand in, and its title bar follows the provider's children as with any window.
TEST_F(SimUiaNative, TheProviderTreeInOneSubtreeRequest) {
  Build();
  EXPECT_EQ(buildCalls_, 1u) << "the whole provider tree in one call";
  ExpectTree(root_.p, {
                         {0, UIA_WindowControlTypeId, L"Drawn setup", drawn_, true, false, false},
                         {1, UIA_TextControlTypeId, L"Welcome", nullptr, true, false, false},
                         {1, UIA_PaneControlTypeId, L"Offers", nullptr, true, false, false},
                         {2, UIA_CheckBoxControlTypeId, L"Install extras", nullptr, true, true, false},
                         {2, UIA_CheckBoxControlTypeId, L"Locked", nullptr, false, true, false},
                         {2, UIA_RadioButtonControlTypeId, L"Typical", nullptr, true, false, true},
                         {2, UIA_RadioButtonControlTypeId, L"Custom", nullptr, true, false, true},
                         {1, UIA_CustomControlTypeId, L"Banner", nullptr, true, false, false},
                         {1, UIA_ButtonControlTypeId, L"Next", nullptr, true, false, false},
                         {1, UIA_TitleBarControlTypeId, L"", nullptr, true, false, false},
                         {2, UIA_ButtonControlTypeId, L"Close", nullptr, true, false, false},
                     });

  // Live: the bounding rectangle is the element's own (the root's is its window's), off screen as the provider says.
  RECT r{}, w{};
  EXPECT_EQ(offers_[0]->get_CurrentBoundingRectangle(&r), S_OK);
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::make_tuple(120, 150, 480, 170));
  EXPECT_EQ(root_->get_CurrentBoundingRectangle(&r), S_OK);
  GetWindowRect(drawn_, &w);
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::tie(w.left, w.top, w.right, w.bottom));
  BOOL offscreen = FALSE;
  EXPECT_EQ(kids_[2]->get_CurrentIsOffscreen(&offscreen), S_OK);
  EXPECT_TRUE(offscreen);
  EXPECT_EQ(Name(offers_[0].p, &IUIAutomationElement::get_CurrentAutomationId), L"extras");
  Com<IUnknown> legacy;
  EXPECT_EQ(offers_[0]->GetCurrentPattern(UIA_LegacyIAccessiblePatternId, &legacy), S_OK);
  EXPECT_FALSE(legacy) << "no bridge from providers to MSAA in simwin";

  // What the root's provider gives comes before the window's own values.
  simwin::AttachAutomationTree(*process_, drawn_, {.controlType = UIA_PaneControlTypeId, .name = L"Canvas"});
  Com<IUIAutomationElement> canvas = FromHandle(drawn_);
  EXPECT_EQ(CurrentName(canvas.p), L"Canvas");
  CONTROLTYPEID type = 0;
  EXPECT_EQ(canvas->get_CurrentControlType(&type), S_OK);
  EXPECT_EQ(type, UIA_PaneControlTypeId);

  // The window answers only UI Automation's request: MSAA clients get its standard proxy, without the drawn elements.
  Com<IAccessible> client;
  ASSERT_EQ(ObjectFromWindow(drawn_, OBJID_CLIENT, &client.p), S_OK);
  long count = -1;
  EXPECT_EQ(client->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

using Bridged = std::tuple<DWORD, LONG>;  // event, child
std::vector<Bridged> g_bridged;
void CALLBACK RecordBridged(HWINEVENTHOOK, DWORD event, HWND, LONG, LONG idChild, DWORD, DWORD) {
  g_bridged.emplace_back(event, idChild);
}

// Toggle cycles On, Off, Indeterminate [U-TOG]; Select selects one item of its container [ISIP]; Invoke returns before
// its action [IIP]; all run on the installer's UI thread and refuse on a disabled element [U-ERR]. The provider raises
// the property changes and events its control type requires [U-CBX][U-RBX][IIP], and the bridge turns those that
// change CHECKED or UNAVAILABLE into EVENT_OBJECT_STATECHANGE and ElementSelected into EVENT_OBJECT_SELECTION [U-BRG].
TEST_F(SimUiaNative, PatternsActInTheInstallerAndRaiseTheirEvents) {
  Build();
  g_bridged.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_SELECTION, EVENT_OBJECT_STATECHANGE, nullptr, &RecordBridged,
                                       process_->Id(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  auto bridged = [&] {
    process_->Invoke([&] { NotifyWinEvent(EVENT_OBJECT_STATECHANGE, drawn_, OBJID_CLIENT, 7); });
    EXPECT_TRUE(PumpUntil([] { return !g_bridged.empty() && std::get<1>(g_bridged.back()) == 7; }));
    std::vector<DWORD> got;
    for (size_t i = 0; i + 1 < g_bridged.size(); ++i) got.push_back(std::get<0>(g_bridged[i]));
    g_bridged.clear();
    return got;
  };
  using Events = std::vector<DWORD>;
  const Events stateChange{EVENT_OBJECT_STATECHANGE};

  auto extras = CachedPattern<IUIAutomationTogglePattern>(offers_[0].p, UIA_TogglePatternId);
  const std::pair<ToggleState, Events> steps[] = {
      {ToggleState_Off, stateChange}, {ToggleState_Indeterminate, {}}, {ToggleState_On, stateChange}};
  for (const auto& [state, events] : steps) {
    ASSERT_EQ(extras->Toggle(), S_OK);
    EXPECT_EQ(State(extras), state);
    EXPECT_EQ(bridged(), events) << state;
  }
  auto locked = CachedPattern<IUIAutomationTogglePattern>(offers_[1].p, UIA_TogglePatternId);
  EXPECT_EQ(locked->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED));
  EXPECT_EQ(simwin::AutomationElementState(drawn_, L"Locked")->toggle, ToggleState_Off);
  EXPECT_EQ(bridged(), Events{});
  simwin::SetAutomationElementState(*process_, drawn_, L"Locked", {.toggle = ToggleState_Off});
  EXPECT_EQ(bridged(), stateChange) << "enabled by the installer";
  ASSERT_EQ(locked->Toggle(), S_OK);
  EXPECT_EQ(bridged(), stateChange);

  auto typical = CachedPattern<IUIAutomationSelectionItemPattern>(offers_[2].p, UIA_SelectionItemPatternId);
  auto custom = CachedPattern<IUIAutomationSelectionItemPattern>(offers_[3].p, UIA_SelectionItemPatternId);
  ASSERT_EQ(custom->Select(), S_OK);
  BOOL selected = TRUE;
  EXPECT_EQ(typical->get_CurrentIsSelected(&selected), S_OK);
  EXPECT_FALSE(selected) << "its sibling is cleared";
  EXPECT_EQ(bridged(), (Events{EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_SELECTION}));
  ASSERT_EQ(custom->Select(), S_OK);
  EXPECT_EQ(bridged(), Events{}) << "already selected: nothing happens";

  Com<IUIAutomationInvokePattern> next;
  ASSERT_EQ(kids_[3]->GetCurrentPatternAs(UIA_InvokePatternId, __uuidof(IUIAutomationInvokePattern),
                                          reinterpret_cast<void**>(&next)),
            S_OK);
  // Called from the installer's own thread, where the provider runs directly: the action has to wait for it.
  process_->Invoke([&] {
    EXPECT_EQ(next->Invoke(), S_OK);
    EXPECT_EQ(invokedOn_.load(), 0u) << "Invoke returns before its action";
  });
  Flush();
  EXPECT_EQ(invokedOn_.load(), process_->UiThreadId());
  EXPECT_EQ(bridged(), Events{});

  using simwin::RaisedAutomationEvent;
  const PROPERTYID toggleState = UIA_ToggleToggleStatePropertyId, isSelected = UIA_SelectionItemIsSelectedPropertyId;
  const EVENTID changed = UIA_AutomationPropertyChangedEventId;
  EXPECT_EQ(simwin::RaisedAutomationEvents(drawn_),
            (std::vector<RaisedAutomationEvent>{{changed, toggleState, L"extras"},
                                                {changed, toggleState, L"extras"},
                                                {changed, toggleState, L"extras"},
                                                {changed, UIA_IsEnabledPropertyId, L"Locked"},
                                                {changed, toggleState, L"Locked"},
                                                {changed, isSelected, L"Typical"},
                                                {changed, isSelected, L"Custom"},
                                                {UIA_SelectionItem_ElementSelectedEventId, 0, L"Custom"},
                                                {UIA_Invoke_InvokedEventId, 0, L"Next"}}));
  EXPECT_TRUE(UnhookWinEvent(hook));
}

// Toggle runs on the installer's UI thread, through a Win32 control's proxy and a provider alike: while that thread is
// busy the call waits, and it acts on the state the thread leaves behind (a direct change would have been overwritten).
TEST_F(SimUiaNative, ToggleWaitsForTheInstallersUiThread) {
  Build();
  auto toggleWhileBusy = [&](IUIAutomationTogglePattern* toggle, const std::function<void()>& onUiThread) {
    std::atomic<HRESULT> result{E_FAIL};
    CallWhileUiThreadIsBusy(*process_, onUiThread, [&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      result = toggle->Toggle();
      CoUninitialize();
    });
    EXPECT_EQ(result.load(), S_OK);
  };
  SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_UNCHECKED, 0);
  toggleWhileBusy(CurrentPattern<IUIAutomationTogglePattern>(Ctl(kShortcut), UIA_TogglePatternId).p,
                  [&] { SendMessageW(Ctl(kShortcut), BM_SETCHECK, BST_CHECKED, 0); });
  EXPECT_EQ(Check(kShortcut), BST_UNCHECKED);

  toggleWhileBusy(CachedPattern<IUIAutomationTogglePattern>(offers_[0].p, UIA_TogglePatternId).p, [&] {
    simwin::SetAutomationElementState(*process_, drawn_, L"extras", {.toggle = ToggleState_Off});
  });
  EXPECT_EQ(simwin::AutomationElementState(drawn_, L"extras")->toggle, ToggleState_Indeterminate);
}

// Provider calls are subject to injected faults by method and element, and are not counted inside a client call; an
// element whose window is gone is no longer available [U-ERR].
TEST_F(SimUiaNative, ProviderFaultsReachTheClient) {
  Build();
  const int fault = simwin::InjectAccessibilityFault({"GetPropertyValue", E_ACCESSDENIED, drawn_, L"extras"});
  Com<IUIAutomationElement> failed;
  EXPECT_EQ(root_->BuildUpdatedCache(request_.p, &failed), E_ACCESSDENIED);
  EXPECT_FALSE(failed);
  simwin::RemoveAccessibilityFault(fault);

  simwin::InjectAccessibilityFault({"Toggle", RPC_E_CALL_REJECTED, drawn_, L"extras", 1});
  auto extras = CachedPattern<IUIAutomationTogglePattern>(offers_[0].p, UIA_TogglePatternId);
  EXPECT_EQ(extras->Toggle(), RPC_E_CALL_REJECTED);
  simwin::InjectAccessibilityFault({"get_ToggleState", E_FAIL, drawn_, L"extras", 1});
  ToggleState state = ToggleState_Indeterminate;
  EXPECT_EQ(extras->get_CurrentToggleState(&state), E_FAIL) << "the provider's own getter failed";
  EXPECT_EQ(simwin::AutomationElementState(drawn_, L"extras")->toggle, ToggleState_On);

  simwin::ResetAccessibilityCallCount();
  EXPECT_EQ(CurrentName(offers_[0].p), L"Install extras");
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u);

  process_->Invoke([&] { DestroyWindow(drawn_); });
  BSTR name = nullptr;
  EXPECT_EQ(offers_[0]->get_CurrentName(&name), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
  EXPECT_EQ(extras->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
}

}  // namespace
