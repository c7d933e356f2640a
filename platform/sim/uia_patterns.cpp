// simwin UI Automation: the pattern objects (Toggle, SelectionItem, Invoke, LegacyIAccessible) of an element.
#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

// Base of the pattern objects: reference counting, the element they act on and
// the cached values they may answer.
template <class Interface>
class PatternBase : public SingleInterfaceObject<Interface> {
 public:
  PatternBase(Node node, bool full, std::shared_ptr<const std::map<PROPERTYID, Var>> cached)
      : node_(std::move(node)), full_(full), cached_(std::move(cached)) {}

 protected:
  virtual ~PatternBase() = default;

  // A cached pattern property; it must have been added to the request like any
  // property.
  HRESULT Cached(PROPERTYID id, VARIANT* out) const {
    VariantInit(out);
    if (!cached_) return kNotCachedHr;
    auto it = cached_->find(id);
    if (it == cached_->end()) return kNotCachedHr;
    return VariantCopy(out, &it->second.v);
  }
  HRESULT Live() const {
    if (!full_) return kNotCachedHr;
    return Alive(node_) ? S_OK : kGoneHr;
  }
  // Windows' proxies refuse actions on a disabled control [U-ERR] (for Toggle
  // and Invoke on Win32 proxies inferred, see "Where sources disagree" 6).
  HRESULT RequireEnabled() const {
    bool enabled = false;
    HRESULT hr = EnabledOf(node_, enabled);
    if (FAILED(hr)) return hr;
    return enabled ? S_OK : kNotEnabledHr;
  }
  // The action as a click: BM_CLICK handled by the control's thread, or the
  // bridged object's default action.
  HRESULT Click(bool wait) const {
    if (node_.kind == Kind::Window && !node_.custom) {
      if (wait) {
        SendMessageW(node_.hwnd, BM_CLICK, 0, 0);
        return S_OK;
      }
      return PostMessageW(node_.hwnd, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
    }
    if (!node_.acc) return E_FAIL;
    return node_.acc->accDoDefaultAction(I4(node_.childId));
  }
  // One getter for the current and the cached value of a pattern property.
  template <class T>
  HRESULT Property(bool cached, const char* method, PROPERTYID id, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    Var v;
    HRESULT hr = cached ? Cached(id, &v.v) : Live();
    if (!cached && SUCCEEDED(hr)) hr = ReadProperty(node_, id, &v.v);
    if (SUCCEEDED(hr)) Take(v.v, out);
    return hr;
  }
  template <class T>
  HRESULT NotImpl(const char* method, T* out) const {
    return NotModelled(method, node_, out);
  }
  // An action of a live element: a native element's own pattern acts (and
  // refuses when the element is disabled [U-ERR]); a Win32 or bridged one is
  // acted on, by `win32`, once it is found enabled.
  template <class P, class Native, class Win32>
  HRESULT Act(PATTERNID id, Native native, Win32 win32) const {
    HRESULT hr = Live();
    if (FAILED(hr)) return hr;
    if (node_.provider) {
      Ref<P> pattern = PatternProvider<P>(node_, id, hr);
      if (FAILED(hr)) return hr;
      return pattern ? native(pattern.get()) : static_cast<HRESULT>(UIA_E_NOTSUPPORTED);
    }
    hr = RequireEnabled();
    return SUCCEEDED(hr) ? win32() : hr;
  }

  const Node node_;
  const bool full_;
  const std::shared_ptr<const std::map<PROPERTYID, Var>> cached_;
};

class TogglePattern final : public PatternBase<IUIAutomationTogglePattern> {
 public:
  using PatternBase::PatternBase;
  // Toggle clicks the box, so it cycles as the control does on a click
  // [U-TOG][B-STY] (clicking is inferred).
  STDMETHODIMP Toggle() override {
    UIA_ENTER("Toggle");
    return Act<IToggleProvider>(
        UIA_TogglePatternId, [](IToggleProvider* p) { return p->Toggle(); }, [this] { return Click(true); });
  }
  STDMETHODIMP get_CurrentToggleState(ToggleState* out) override {
    if (!out) return E_POINTER;
    *out = ToggleState_Off;
    UIA_ENTER("get_CurrentToggleState");
    HRESULT hr = Live();
    return SUCCEEDED(hr) ? ToggleStateOf(node_, *out) : hr;
  }
  STDMETHODIMP get_CachedToggleState(ToggleState* out) override {
    return Property(true, "get_CachedToggleState", UIA_ToggleToggleStatePropertyId, out);
  }
};

class SelectionItemPattern final : public PatternBase<IUIAutomationSelectionItemPattern> {
 public:
  using PatternBase::PatternBase;
  // Selecting a selected item does nothing [ISIP]; otherwise a click, which
  // checks an auto radio button and clears its group [B-STY].
  STDMETHODIMP Select() override {
    UIA_ENTER("Select");
    return Act<ISelectionItemProvider>(
        UIA_SelectionItemPatternId, [](ISelectionItemProvider* p) { return p->Select(); },
        [this] {
          bool selected = false;
          HRESULT hr = SelectedOf(node_, selected);
          return FAILED(hr) || selected ? hr : Click(true);
        });
  }
  STDMETHODIMP AddToSelection() override {
    UIA_ENTER("AddToSelection");
    return E_NOTIMPL;
  }
  STDMETHODIMP RemoveFromSelection() override {
    UIA_ENTER("RemoveFromSelection");
    return E_NOTIMPL;
  }
  STDMETHODIMP get_CurrentSelectionContainer(IUIAutomationElement** out) override {
    return NotImpl("get_CurrentSelectionContainer", out);
  }
  STDMETHODIMP get_CachedSelectionContainer(IUIAutomationElement** out) override {
    return NotImpl("get_CachedSelectionContainer", out);
  }
  STDMETHODIMP get_CachedIsSelected(BOOL* out) override {
    return Property(true, "get_CachedIsSelected", UIA_SelectionItemIsSelectedPropertyId, out);
  }
  STDMETHODIMP get_CurrentIsSelected(BOOL* out) override {
    if (!out) return E_POINTER;
    *out = FALSE;
    UIA_ENTER("get_CurrentIsSelected");
    HRESULT hr = Live();
    bool selected = false;
    if (SUCCEEDED(hr)) hr = SelectedOf(node_, selected);
    *out = selected;
    return hr;
  }
};

class InvokePattern final : public PatternBase<IUIAutomationInvokePattern> {
 public:
  using PatternBase::PatternBase;
  // Invoke returns at once [IIP]: the click is posted (a native element posts
  // its action itself).
  STDMETHODIMP Invoke() override {
    UIA_ENTER("Invoke");
    return Act<IInvokeProvider>(
        UIA_InvokePatternId, [](IInvokeProvider* p) { return p->Invoke(); }, [this] { return Click(false); });
  }
};

// The wrapped IAccessible and its child id [WT-UIA
// test_UiaProviderFromIAccessible].
class LegacyPattern final : public PatternBase<IUIAutomationLegacyIAccessiblePattern> {
 public:
  using PatternBase::PatternBase;
  STDMETHODIMP Select(long flagsSelect) override {
    UIA_ENTER("Select");
    HRESULT hr = Live();
    return SUCCEEDED(hr) ? node_.acc->accSelect(flagsSelect, I4(node_.childId)) : hr;
  }
  STDMETHODIMP DoDefaultAction() override {
    UIA_ENTER("DoDefaultAction");
    HRESULT hr = Live();
    return SUCCEEDED(hr) ? node_.acc->accDoDefaultAction(I4(node_.childId)) : hr;
  }
  STDMETHODIMP SetValue(LPCWSTR value) override {
    UIA_ENTER("SetValue");
    HRESULT hr = Live();
    if (FAILED(hr)) return hr;
    BSTR b = SysAllocString(value ? value : L"");
    hr = node_.acc->put_accValue(I4(node_.childId), b);
    SysFreeString(b);
    return hr;
  }
  STDMETHODIMP get_CurrentChildId(int* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    UIA_ENTER("get_CurrentChildId");
    *out = node_.childId;
    return Live();
  }
  UIA_PROPERTY_GETTERS(Name, BSTR, UIA_LegacyIAccessibleNamePropertyId)
  UIA_PROPERTY_GETTERS(Value, BSTR, UIA_LegacyIAccessibleValuePropertyId)
  UIA_PROPERTY_GETTERS(Description, BSTR, UIA_LegacyIAccessibleDescriptionPropertyId)
  UIA_PROPERTY_GETTERS(Role, DWORD, UIA_LegacyIAccessibleRolePropertyId)
  UIA_PROPERTY_GETTERS(State, DWORD, UIA_LegacyIAccessibleStatePropertyId)
  UIA_PROPERTY_GETTERS(Help, BSTR, UIA_LegacyIAccessibleHelpPropertyId)
  UIA_PROPERTY_GETTERS(KeyboardShortcut, BSTR, UIA_LegacyIAccessibleKeyboardShortcutPropertyId)
  UIA_PROPERTY_GETTERS(DefaultAction, BSTR, UIA_LegacyIAccessibleDefaultActionPropertyId)
  STDMETHODIMP GetCurrentSelection(IUIAutomationElementArray** out) override {
    return NotImpl("GetCurrentSelection", out);
  }
  STDMETHODIMP GetCachedSelection(IUIAutomationElementArray** out) override {
    return NotImpl("GetCachedSelection", out);
  }
  STDMETHODIMP get_CachedChildId(int* out) override {
    return Property(true, "get_CachedChildId", UIA_LegacyIAccessibleChildIdPropertyId, out);
  }
  STDMETHODIMP GetIAccessible(IAccessible** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetIAccessible");
    *out = Ref<IAccessible>(node_.acc).Detach();
    return S_OK;
  }
};

}  // namespace

HRESULT MakePattern(const Node& n, PATTERNID id, bool full, std::shared_ptr<const std::map<PROPERTYID, Var>> cached,
                    Ref<IUnknown>& out) {
  out = Ref<IUnknown>();
  bool supported = false;
  HRESULT hr = Supports(n, id, supported);
  if (FAILED(hr) || !supported) return hr;
  switch (id) {
    case UIA_TogglePatternId:
      out = Ref<IUnknown>::Adopt(new TogglePattern(n, full, std::move(cached)));
      break;
    case UIA_SelectionItemPatternId:
      out = Ref<IUnknown>::Adopt(new SelectionItemPattern(n, full, std::move(cached)));
      break;
    case UIA_InvokePatternId:
      out = Ref<IUnknown>::Adopt(new InvokePattern(n, full, std::move(cached)));
      break;
    case UIA_LegacyIAccessiblePatternId:
      out = Ref<IUnknown>::Adopt(new LegacyPattern(n, full, std::move(cached)));
      break;
    default:
      break;
  }
  return S_OK;
}

}  // namespace simwin::detail::uia
