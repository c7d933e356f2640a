// simwin-only: UI Automation's served trees, call counting and fault injection. Wine cannot judge UI Automation
// (CoCreateInstance(CLSID_CUIAutomation) fails under wine 8), so Windows' documented behaviour is the reference; the
// keys in brackets name its source (listed in platform/sim/uia_internal.h). What the engine's UI Automation backend reads of these
// trees and does with their patterns (events included) is checked through it in tests/uielement/.
#include <atomic>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "sim/sim_accessibility.h"

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

// HasKeyboardFocus is the client object's STATE_SYSTEM_FOCUSED [WT-UIA msaa_state_uia_props]: the installer's control
// that has the focus of the foreground window's thread.
TEST_F(SimUia, HasKeyboardFocusIsTheInstallersFocusedControl) {
  for (int focused : {int{kShortcut}, int{kNext}}) {
    process_->Invoke([&] { SetFocus(Ctl(focused)); });
    for (int id : {int{kShortcut}, int{kNext}}) {
      BOOL has = -1;
      EXPECT_EQ(FromHandle(Ctl(id))->get_CurrentHasKeyboardFocus(&has), S_OK);
      EXPECT_EQ(has != FALSE, id == focused) << "focus on " << focused << ", asked " << id;
    }
  }
}

// Counting: the whole subtree is one call; reads of the cache, the array included, are local; each live call is one.
// Faults: by method name and window, out parameters cleared. An element whose window is gone is no longer available
// [U-ERR].
TEST_F(SimUia, CallsAreCountedFaultsInjectedAndGoneElementsUnavailable) {
  auto request = EngineRequest();
  simwin::ResetAccessibilityCallCount();
  Com<IUIAutomationElement> root = Cached(dialog_.hwnd, request.p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u) << "the whole subtree in one call";
  auto kids = Children(root.p);
  CachedName(kids[0].p);
  CachedType(kids[0].p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 1u);
  CurrentName(kids[0].p);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 2u);

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

// Provider calls are not counted inside a client call. A fault in the provider's own getter reaches the client; an
// element whose window is gone is no longer available. (Faults while building the tree and in Toggle:
// tests/uielement/uia/uia_ui_element_test.cpp.)
TEST_F(SimUiaNative, ProviderCallsAreNotCountedAndFaultsReachTheClient) {
  EXPECT_EQ(buildCalls_, 1u);
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
