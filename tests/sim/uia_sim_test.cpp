// simwin-only: UI Automation over standard controls and custom trees, its patterns, call counting and fault injection.
// Wine cannot judge UI Automation (CoCreateInstance(CLSID_CUIAutomation) fails under wine 8), so Windows' documented
// behaviour is the reference; the keys in brackets name its source in WINDOWS-ACCESSIBILITY.md. What the engine's
// UI Automation backend reads of these trees (types, names, windows, places, states, actions) is checked through it in
// tests/uielement/; here is what it does not show.
#include <atomic>
#include <functional>
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

ToggleState State(const Com<IUIAutomationTogglePattern>& toggle) {
  ToggleState state = static_cast<ToggleState>(-1);
  EXPECT_EQ(toggle->get_CurrentToggleState(&state), S_OK);
  return state;
}

std::vector<Com<IUIAutomationElement>> Children(IUIAutomationElement* e) {
  std::vector<Com<IUIAutomationElement>> out;
  Com<IUIAutomationElementArray> arr;
  EXPECT_EQ(e->GetCachedChildren(&arr), S_OK);
  int n = 0;
  if (arr) arr->get_Length(&n);
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
  Com<IUIAutomationCacheRequest> EngineRequest() {
    Com<IUIAutomationCacheRequest> r;
    EXPECT_EQ(automation_->CreateCacheRequest(&r), S_OK);
    EXPECT_EQ(r->put_AutomationElementMode(AutomationElementMode_Full), S_OK);
    EXPECT_EQ(r->put_TreeScope(TreeScope_Subtree), S_OK);
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

using Raised = std::tuple<HWND, LONG, LONG>;  // window, object, child
std::vector<Raised> g_events;
void CALLBACK Record(HWINEVENTHOOK, DWORD, HWND hwnd, LONG idObject, LONG idChild, DWORD, DWORD) {
  g_events.emplace_back(hwnd, idObject, idChild);
}

// Toggle and Select act as a click (inferred [U-TOG][ISIP]): the dialog hears BN_CLICKED, and the same WinEvents as for
// a user's click are raised; a disabled control refuses [U-ERR]. What a click does to each button style is checked in
// tests/platform/controls_test.cpp.
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
  ASSERT_EQ(CachedPattern<IUIAutomationTogglePattern>(box.p, UIA_TogglePatternId)->Toggle(), S_OK);
  EXPECT_EQ(Check(kShortcut), BST_CHECKED);
  EXPECT_EQ(settle(), byUser);
  Com<IUIAutomationElement> custom = Cached(Ctl(kCustom), request.p);
  ASSERT_EQ(CachedPattern<IUIAutomationSelectionItemPattern>(custom.p, UIA_SelectionItemPatternId)->Select(), S_OK);
  EXPECT_EQ(Check(kCustom), BST_CHECKED);
  Flush();
  EXPECT_EQ(Clicks(kShortcut), 2);
  EXPECT_EQ(Clicks(kCustom), 1);

  simwin::SetEnabled(*process_, Ctl(kTypical), false);
  EXPECT_EQ(CurrentPattern<IUIAutomationSelectionItemPattern>(Ctl(kTypical), UIA_SelectionItemPatternId)->Select(),
            static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED));
  settle();
  EXPECT_EQ(Check(kTypical), BST_UNCHECKED);
  EXPECT_TRUE(UnhookWinEvent(hook));
}

// A custom-drawn installer's own MSAA tree reaches UI Automation through the bridge: control types from roles [WT-UIA
// msaa_role_uia_types], state bridged [WT-UIA msaa_state_uia_props] (MIXED is the indeterminate toggle state), and
// Toggle runs the element's default action unless it is unavailable.
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
  simwin::AttachAccessibleTree(*process_, custom.hwnd,
                               {.name = L"canvas",
                                .children = {Node(ROLE_SYSTEM_STATICTEXT, L"Welcome"), extras, locked,
                                             {.role = ROLE_SYSTEM_PUSHBUTTON, .name = L"Next", .simple = true}}});

  Com<IUIAutomationElement> window = Cached(custom.hwnd, EngineRequest().p);
  EXPECT_EQ(CachedType(window.p), UIA_WindowControlTypeId);
  auto kids = Children(window.p);
  const std::tuple<int, std::wstring, bool> expected[] = {
      {UIA_TextControlTypeId, L"Welcome", true},     {UIA_CheckBoxControlTypeId, L"Install extras", true},
      {UIA_CheckBoxControlTypeId, L"Locked", false}, {UIA_ButtonControlTypeId, L"Next", true},
      {UIA_TitleBarControlTypeId, L"", true}};
  ASSERT_EQ(kids.size(), std::size(expected));
  for (size_t i = 0; i < kids.size(); ++i) {
    EXPECT_EQ(CachedType(kids[i].p), std::get<0>(expected[i])) << i;
    EXPECT_EQ(CachedName(kids[i].p), std::get<1>(expected[i])) << i;
    BOOL enabled = -1;
    EXPECT_EQ(kids[i]->get_CachedIsEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled != 0, std::get<2>(expected[i])) << i;
  }

  auto toggle = CachedPattern<IUIAutomationTogglePattern>(kids[1].p, UIA_TogglePatternId);
  EXPECT_EQ(State(toggle), ToggleState_Indeterminate);
  ASSERT_EQ(toggle->Toggle(), S_OK);
  EXPECT_EQ(simwin::AccessibleState(custom.hwnd, L"Install extras").value_or(0) & STATE_SYSTEM_CHECKED,
            STATE_SYSTEM_CHECKED);
  auto lockedToggle = CachedPattern<IUIAutomationTogglePattern>(kids[2].p, UIA_TogglePatternId);
  EXPECT_EQ(lockedToggle->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED));
}

// Counting: the whole subtree is one call, each element call is one, the array is local. Faults: by method name and
// window, out parameters cleared. An element whose window is gone is no longer available [U-ERR].
TEST_F(SimUia, CallsAreCountedFaultsInjectedAndGoneElementsUnavailable) {
  auto request = EngineRequest();
  simwin::ResetAccessibilityCallCount();
  Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u) << "the whole subtree in one call";
  auto kids = Children(root.p);
  CachedName(kids[0].p);
  CachedType(kids[0].p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 4u);

  simwin::InjectAccessibilityFault({"get_CurrentName", E_ACCESSDENIED, Ctl(kNext)});
  BSTR name = reinterpret_cast<BSTR>(&request);
  EXPECT_EQ(FromHandle(Ctl(kNext))->get_CurrentName(&name), E_ACCESSDENIED);
  EXPECT_EQ(name, nullptr) << "out parameter cleared";
  EXPECT_EQ(CurrentName(FromHandle(Ctl(kCancel)).p), L"Cancel") << "other windows unaffected";

  HWND doomed = Ctl(kLabel);
  Com<IUIAutomationElement> label = FromHandle(doomed);
  process_->Invoke([&] { DestroyWindow(doomed); });
  EXPECT_EQ(label->get_CurrentName(&name), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
  Com<IUIAutomationElement> none;
  EXPECT_EQ(automation_->ElementFromHandle(doomed, &none), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
}

// --- Native provider trees ------------------------------------------------------------------------------------------
// A custom-drawn installer's own provider, served for WM_GETOBJECT(UiaRootObjectId) [U-SSP]; sources of what simwin
// does are named in platform/sim/drive/uia_tree.cpp.

class SimUiaNative : public SimUia {
 protected:
  void SetUp() override {
    SimUia::SetUp();
    simwin::DialogLayout layout;
    layout.title = L"Drawn setup";
    drawn_ = simwin::CreateDialogFromLayout(*process_, layout).hwnd;
    simwin::AttachAutomationTree(
        *process_, drawn_,
        {.children = {{.controlType = UIA_CheckBoxControlTypeId,
                       .name = L"Install extras",
                       .automationId = L"extras",
                       .toggle = ToggleState_On,
                       .threeState = true},
                      {.controlType = UIA_CheckBoxControlTypeId, .name = L"Locked", .enabled = false,
                       .toggle = ToggleState_Off},
                      {.controlType = UIA_RadioButtonControlTypeId, .name = L"Typical", .selected = true},
                      {.controlType = UIA_RadioButtonControlTypeId, .name = L"Custom", .selected = false}}});
    request_ = EngineRequest();
    simwin::ResetAccessibilityCallCount();
    root_ = Cached(drawn_, request_.p);
    buildCalls_ = simwin::AccessibilityCallCount();
    offers_ = Children(root_.p);
    ASSERT_EQ(offers_.size(), 5u) << "the four offers and the title bar";
  }
  void TearDown() override {
    offers_.clear();
    root_ = Com<IUIAutomationElement>();
    request_ = Com<IUIAutomationCacheRequest>();
    SimUia::TearDown();
  }

  HWND drawn_ = nullptr;
  uint64_t buildCalls_ = 0;
  Com<IUIAutomationCacheRequest> request_;
  Com<IUIAutomationElement> root_;
  std::vector<Com<IUIAutomationElement>> offers_;
};

using Bridged = std::tuple<DWORD, LONG>;  // event, child
std::vector<Bridged> g_bridged;
void CALLBACK RecordBridged(HWINEVENTHOOK, DWORD event, HWND, LONG, LONG idChild, DWORD, DWORD) {
  g_bridged.emplace_back(event, idChild);
}

// The whole provider tree comes in one call. Toggle cycles On, Off, Indeterminate [U-TOG]; Select selects one item of
// its container [ISIP]; both run in the installer and refuse on a disabled element [U-ERR]. The provider raises the
// property changes and events its control type requires [U-CBX][U-RBX], and the bridge turns those that change CHECKED
// or UNAVAILABLE into EVENT_OBJECT_STATECHANGE and ElementSelected into EVENT_OBJECT_SELECTION [U-BRG].
TEST_F(SimUiaNative, PatternsActInTheInstallerAndRaiseTheirEvents) {
  EXPECT_EQ(buildCalls_, 1u) << "provider calls are not counted inside a client call";
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

  const PROPERTYID toggleState = UIA_ToggleToggleStatePropertyId, isSelected = UIA_SelectionItemIsSelectedPropertyId;
  const EVENTID changed = UIA_AutomationPropertyChangedEventId;
  EXPECT_EQ(simwin::RaisedAutomationEvents(drawn_),
            (std::vector<simwin::RaisedAutomationEvent>{{changed, toggleState, L"extras"},
                                                        {changed, toggleState, L"extras"},
                                                        {changed, toggleState, L"extras"},
                                                        {changed, UIA_IsEnabledPropertyId, L"Locked"},
                                                        {changed, toggleState, L"Locked"},
                                                        {changed, isSelected, L"Typical"},
                                                        {changed, isSelected, L"Custom"},
                                                        {UIA_SelectionItem_ElementSelectedEventId, 0, L"Custom"}}));
  EXPECT_TRUE(UnhookWinEvent(hook));
}

// Toggle runs on the installer's UI thread, through a Win32 control's proxy and a provider alike: while that thread is
// busy the call waits, and it acts on the state the thread leaves behind (a direct change would have been overwritten).
TEST_F(SimUiaNative, ToggleWaitsForTheInstallersUiThread) {
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

// A fault in the provider's own getter reaches the client; an element whose window is gone is no longer available.
// (Faults while building the tree and in Toggle: tests/uielement/uia/uia_ui_element_test.cpp.)
TEST_F(SimUiaNative, ProviderFaultsReachTheClient) {
  simwin::InjectAccessibilityFault({"get_ToggleState", E_FAIL, drawn_, L"extras", 1});
  auto extras = CachedPattern<IUIAutomationTogglePattern>(offers_[0].p, UIA_TogglePatternId);
  ToggleState state = ToggleState_Indeterminate;
  EXPECT_EQ(extras->get_CurrentToggleState(&state), E_FAIL);
  EXPECT_EQ(State(extras), ToggleState_On) << "the fault was for one call";

  process_->Invoke([&] { DestroyWindow(drawn_); });
  BSTR name = nullptr;
  EXPECT_EQ(offers_[0]->get_CurrentName(&name), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
  EXPECT_EQ(extras->Toggle(), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
}

}  // namespace
