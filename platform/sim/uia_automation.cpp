// simwin UI Automation: the automation object (CUIAutomation) and the functions that create it; and
// UiaReturnRawElementProvider, through which windows serve native providers.
#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

class Automation final : public SingleInterfaceObject<IUIAutomation> {
 public:

  STDMETHODIMP CompareElements(IUIAutomationElement* a, IUIAutomationElement* b, BOOL* same) override {
    if (!same) return E_POINTER;
    *same = FALSE;
    HRESULT hr;
    if (LocalCallFails("CompareElements", nullptr, hr)) return hr;
    const Node* x = NodeOf(a);
    const Node* y = NodeOf(b);
    if (!x || !y) return E_INVALIDARG;
    *same = SameNode(*x, *y);
    return S_OK;
  }
  STDMETHODIMP CompareRuntimeIds(SAFEARRAY*, SAFEARRAY*, BOOL* same) override { return NotImpl(same); }
  STDMETHODIMP GetRootElement(IUIAutomationElement** out) override {
    return ElementFromHandle(GetDesktopWindow(), out);
  }
  STDMETHODIMP ElementFromHandle(UIA_HWND handle, IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    HWND hwnd = static_cast<HWND>(handle);
    HRESULT hr;
    if (LocalCallFails("ElementFromHandle", hwnd, hr)) return hr;
    if (!hwnd) return E_INVALIDARG;
    if (!IsWindow(hwnd)) return kGoneHr;
    CountSuppressor quiet;
    *out = MakeElement(WindowNode(hwnd));
    return S_OK;
  }
  STDMETHODIMP ElementFromPoint(POINT, IUIAutomationElement** out) override { return NotImpl(out); }
  STDMETHODIMP GetFocusedElement(IUIAutomationElement** out) override { return NotImpl(out); }
  STDMETHODIMP GetRootElementBuildCache(IUIAutomationCacheRequest* request, IUIAutomationElement** out) override {
    return ElementFromHandleBuildCache(GetDesktopWindow(), request, out);
  }
  STDMETHODIMP
  ElementFromHandleBuildCache(UIA_HWND hwnd, IUIAutomationCacheRequest* request, IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Ref<IUIAutomationElement> e;
    HRESULT hr = ElementFromHandle(hwnd, e.Put());
    return SUCCEEDED(hr) ? e->BuildUpdatedCache(request, out) : hr;
  }
  STDMETHODIMP ElementFromPointBuildCache(POINT, IUIAutomationCacheRequest*, IUIAutomationElement** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP
  GetFocusedElementBuildCache(IUIAutomationCacheRequest*, IUIAutomationElement** out) override { return NotImpl(out); }
  STDMETHODIMP CreateTreeWalker(IUIAutomationCondition*, IUIAutomationTreeWalker** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP get_ControlViewWalker(IUIAutomationTreeWalker** out) override { return NotImpl(out); }
  STDMETHODIMP get_ContentViewWalker(IUIAutomationTreeWalker** out) override { return NotImpl(out); }
  STDMETHODIMP get_RawViewWalker(IUIAutomationTreeWalker** out) override { return NotImpl(out); }
  STDMETHODIMP get_RawViewCondition(IUIAutomationCondition** out) override {
    return NewCondition("get_RawViewCondition", View::True, out);
  }
  STDMETHODIMP get_ControlViewCondition(IUIAutomationCondition** out) override {
    return NewCondition("get_ControlViewCondition", View::Control, out);
  }
  STDMETHODIMP get_ContentViewCondition(IUIAutomationCondition** out) override {
    return NewCondition("get_ContentViewCondition", View::Content, out);
  }
  STDMETHODIMP CreateCacheRequest(IUIAutomationCacheRequest** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr;
    if (LocalCallFails("CreateCacheRequest", nullptr, hr)) return hr;
    *out = MakeCacheRequest();
    return S_OK;
  }
  STDMETHODIMP CreateTrueCondition(IUIAutomationCondition** out) override {
    return NewCondition("CreateTrueCondition", View::True, out);
  }
  STDMETHODIMP CreateFalseCondition(IUIAutomationCondition** out) override {
    return NewCondition("CreateFalseCondition", View::False, out);
  }
  STDMETHODIMP CreatePropertyCondition(PROPERTYID, VARIANT, IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP
  CreatePropertyConditionEx(PROPERTYID, VARIANT, PropertyConditionFlags, IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP CreateAndCondition(IUIAutomationCondition*, IUIAutomationCondition*,
                                  IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP
  CreateAndConditionFromArray(SAFEARRAY*, IUIAutomationCondition** out) override { return NotImpl(out); }
  STDMETHODIMP
  CreateAndConditionFromNativeArray(IUIAutomationCondition**, int, IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP CreateOrCondition(IUIAutomationCondition*, IUIAutomationCondition*,
                                 IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP
  CreateOrConditionFromArray(SAFEARRAY*, IUIAutomationCondition** out) override { return NotImpl(out); }
  STDMETHODIMP
  CreateOrConditionFromNativeArray(IUIAutomationCondition**, int, IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP CreateNotCondition(IUIAutomationCondition*, IUIAutomationCondition** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP AddAutomationEventHandler(EVENTID, IUIAutomationElement*, TreeScope, IUIAutomationCacheRequest*,
                                         IUIAutomationEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP
  RemoveAutomationEventHandler(EVENTID, IUIAutomationElement*, IUIAutomationEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AddPropertyChangedEventHandlerNativeArray(IUIAutomationElement*, TreeScope, IUIAutomationCacheRequest*,
                                                         IUIAutomationPropertyChangedEventHandler*, PROPERTYID*,
                                                         int) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AddPropertyChangedEventHandler(IUIAutomationElement*, TreeScope, IUIAutomationCacheRequest*,
                                              IUIAutomationPropertyChangedEventHandler*, SAFEARRAY*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP RemovePropertyChangedEventHandler(IUIAutomationElement*,
                                                 IUIAutomationPropertyChangedEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AddStructureChangedEventHandler(IUIAutomationElement*, TreeScope, IUIAutomationCacheRequest*,
                                               IUIAutomationStructureChangedEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP RemoveStructureChangedEventHandler(IUIAutomationElement*,
                                                  IUIAutomationStructureChangedEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AddFocusChangedEventHandler(IUIAutomationCacheRequest*,
                                           IUIAutomationFocusChangedEventHandler*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP RemoveFocusChangedEventHandler(IUIAutomationFocusChangedEventHandler*) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveAllEventHandlers() override { return E_NOTIMPL; }
  STDMETHODIMP IntNativeArrayToSafeArray(int*, int, SAFEARRAY** out) override { return NotImpl(out); }
  STDMETHODIMP IntSafeArrayToNativeArray(SAFEARRAY*, int** array, int* count) override {
    if (array) *array = nullptr;
    if (count) *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP RectToVariant(RECT, VARIANT* out) override {
    if (out) VariantInit(out);
    return E_NOTIMPL;
  }
  STDMETHODIMP VariantToRect(VARIANT, RECT* out) override {
    if (out) *out = RECT{};
    return E_NOTIMPL;
  }
  STDMETHODIMP SafeArrayToRectNativeArray(SAFEARRAY*, RECT** rects, int* count) override {
    if (rects) *rects = nullptr;
    if (count) *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP
  CreateProxyFactoryEntry(IUIAutomationProxyFactory*, IUIAutomationProxyFactoryEntry** out) override {
    return NotImpl(out);
  }
  STDMETHODIMP
  get_ProxyFactoryMapping(IUIAutomationProxyFactoryMapping** out) override { return NotImpl(out); }
  STDMETHODIMP GetPropertyProgrammaticName(PROPERTYID, BSTR* out) override { return NotImpl(out); }
  STDMETHODIMP GetPatternProgrammaticName(PATTERNID, BSTR* out) override { return NotImpl(out); }
  STDMETHODIMP PollForPotentialSupportedPatterns(IUIAutomationElement*, SAFEARRAY** ids, SAFEARRAY** names) override {
    if (ids) *ids = nullptr;
    if (names) *names = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP PollForPotentialSupportedProperties(IUIAutomationElement*, SAFEARRAY** ids, SAFEARRAY** names) override {
    if (ids) *ids = nullptr;
    if (names) *names = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP CheckNotSupported(VARIANT, BOOL* out) override { return NotImpl(out); }
  STDMETHODIMP get_ReservedNotSupportedValue(IUnknown** out) override { return NotImpl(out); }
  STDMETHODIMP get_ReservedMixedAttributeValue(IUnknown** out) override { return NotImpl(out); }

  // Refused for oleacc's own proxies [EFIA] (unknowns 12); an object with no
  // window behind it fails [WT-UIA].
  STDMETHODIMP ElementFromIAccessible(IAccessible* acc, int childId, IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr;
    if (LocalCallFails("ElementFromIAccessible", nullptr, hr)) return hr;
    if (!acc) return E_INVALIDARG;
    if (IsStandardProxy(acc)) return E_INVALIDARG;
    CountSuppressor quiet;
    HWND hwnd = nullptr;
    if (WindowFromAccessibleObject(acc, &hwnd) != S_OK || !hwnd) return E_FAIL;
    *out = MakeElement(MsaaNode(hwnd, Ref<IAccessible>::Share(acc), childId));
    return S_OK;
  }
  STDMETHODIMP
  ElementFromIAccessibleBuildCache(IAccessible* acc, int childId, IUIAutomationCacheRequest* request,
                                   IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Ref<IUIAutomationElement> e;
    HRESULT hr = ElementFromIAccessible(acc, childId, e.Put());
    return SUCCEEDED(hr) ? e->BuildUpdatedCache(request, out) : hr;
  }

 private:
  ~Automation() = default;

  template <class T>
  static HRESULT NotImpl(T* out) {
    if (out) *out = T{};
    return E_NOTIMPL;
  }
  static HRESULT NewCondition(const char* method, View view, IUIAutomationCondition** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr;
    if (LocalCallFails(method, nullptr, hr)) return hr;
    *out = MakeCondition(view);
    return S_OK;
  }
};

}  // namespace

}  // namespace simwin::detail::uia

using namespace simwin::detail;
using namespace simwin::detail::uia;

STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  HRESULT fault;
  if (LocalCallFails("CoCreateInstance", nullptr, fault)) return fault;
  if (!ComInitializedOnThisThread()) return CO_E_NOTINITIALIZED;
  if (rclsid != CLSID_CUIAutomation || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto* automation = new Automation();
  HRESULT hr = automation->QueryInterface(riid, ppv);
  automation->Release();
  return hr;
}

STDAPI OleRun(LPUNKNOWN pUnknown) { return pUnknown ? S_OK : E_INVALIDARG; }

// The provider side's one function: what a window answers WM_GETOBJECT(UiaRootObjectId) with.
LRESULT WINAPI UiaReturnRawElementProvider(HWND hwnd, WPARAM wParam, LPARAM, IRawElementProviderSimple* el) {
  if (!hwnd || !el) return 0;
  return LresultFromObject(__uuidof(IRawElementProviderSimple), wParam, el);
}
