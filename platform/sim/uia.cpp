// simwin UI Automation client: CUIAutomation over the same windows and standard
// controls as the MSAA proxies, over custom MSAA trees through the bridge
// (as Windows does for MSAA-only servers), and over the native provider trees
// windows serve themselves, with cache requests.
//
// Like Windows' Win32 proxies these objects live in the caller's process and
// read and change controls by messages to their windows; bridged elements call
// the window's own IAccessible, native elements its provider. So a UI thread
// that stops pumping blocks them. Facts and their sources:
// WINDOWS-ACCESSIBILITY.md section 3 (keys in brackets) and, for providers, the
// pages named in uia_tree.cpp.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/acc_internal.h"
#include "platform/sim/uia_provider.h"

namespace simwin::detail {

namespace {

// --- Small helpers
// ---------------------------------------------------------------------------------------------------

template <class T>
class Ref {
 public:
  Ref() = default;
  static Ref Adopt(T* p) {
    Ref r;
    r.p_ = p;
    return r;
  }
  static Ref Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }
  Ref(const Ref& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Ref() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Put() {
    *this = Ref();
    return &p_;
  }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

// Owns one VARIANT.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const Var& o) {
    VariantInit(&v);
    VariantCopy(&v, &o.v);
  }
  Var& operator=(const Var& o) {
    if (this != &o) VariantCopy(&v, &o.v);
    return *this;
  }
  ~Var() { VariantClear(&v); }
};

VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  SetI4(&v, value);
  return v;
}

void SetBool(VARIANT* v, bool value) {
  v->vt = VT_BOOL;
  v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetText(VARIANT* v, const std::wstring& s) {
  v->vt = VT_BSTR;
  v->bstrVal = MakeBstr(s);
}

// A method reached across the process boundary: counted once, subject to
// injected faults, and whatever it calls inside is not counted again.
#define UIA_ENTER(method)                                                 \
  HRESULT fault_;                                                         \
  if (AccCallFails(method, node_.hwnd, node_.key, fault_)) return fault_; \
  CountSuppressor quiet_

// Calls of the automation object and the cache request: they stay in the
// client, so they are not counted, but tests can still make them fail.
bool LocalCallFails(const char* method, HWND hwnd, HRESULT& hr) {
  CountSuppressor quiet;
  return AccCallFails(method, hwnd, std::wstring(), hr);
}

// What Windows does not document is marked inferred; these answers follow the
// managed client's InvalidOperationException for "not in the cache" and "no
// live element" (inferred).
constexpr HRESULT kNotCachedHr = static_cast<HRESULT>(UIA_E_INVALIDOPERATION);
constexpr HRESULT kGoneHr = static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE);
constexpr HRESULT kNotEnabledHr = static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED);

constexpr PROPERTYID kFirstProperty = 30000;
constexpr PROPERTYID kLastProperty = 30174;
constexpr PATTERNID kFirstPattern = 10000;
constexpr PATTERNID kLastPattern = 10033;
// Custom trees may be cyclic or absurdly deep; levels below this are not
// walked.
constexpr int kMaxDepth = 256;

// --- What an element stands for
// --------------------------------------------------------------------------------------

enum class Kind { Window, TitleBar, TitleButton, ScrollBar, Msaa, Provider };

struct Node {
  Kind kind = Kind::Window;
  HWND hwnd = nullptr;   // the window; for bridged and native elements the
                         // window that serves the tree
  LONG part = 0;         // OBJID of a non-client part
  Ref<IAccessible> acc;  // the MSAA object behind the element (LegacyIAccessible, the bridge)
  LONG childId = CHILDID_SELF;
  bool custom = false;  // acc is a tree the window serves itself
  // A native element, or at a window the root its provider serves.
  Ref<IRawElementProviderSimple> provider;
  std::wstring key;  // a custom or native tree's element key, for faults
  const void* tree = nullptr;
  int index = -1;
};

void IdentifyCustom(Node& n) {
  if (!n.acc) return;
  n.custom = CustomTreeElement(n.acc.get(), n.childId, n.key, n.tree, n.index);
}

// The provider a window serves itself, asked as UI Automation asks [U-SSP];
// null if it answers none.
Ref<IRawElementProviderSimple> ServedProvider(HWND hwnd) {
  Ref<IRawElementProviderSimple> provider;
  if (hwnd == GetDesktopWindow()) return provider;
  LRESULT served = SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<LONG>(UiaRootObjectId)));
  if (served > 0) {
    ObjectFromLresult(served, __uuidof(IRawElementProviderSimple), 0, reinterpret_cast<void**>(provider.Put()));
  }
  return provider;
}

Node WindowNode(HWND hwnd) {
  Node n;
  n.kind = Kind::Window;
  n.hwnd = hwnd;
  n.provider = ServedProvider(hwnd);
  if (n.provider) {
    // Its provider's values come first; the window's own stand in for what it
    // leaves out (inferred), and its legacy view is the standard proxy.
    AutomationTreeElement(n.provider.get(), n.key, n.tree, n.index);
    StdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(n.acc.Put()));
    return n;
  }
  // The window may serve its own MSAA tree; UI Automation asks it with
  // WM_GETOBJECT as oleacc does.
  AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                             reinterpret_cast<void**>(n.acc.Put()));
  if (n.acc && !IsStandardProxy(n.acc.get())) IdentifyCustom(n);
  return n;
}

Node ProviderNode(HWND hwnd, Ref<IRawElementProviderSimple> provider) {
  Node n;
  n.kind = Kind::Provider;
  n.hwnd = hwnd;
  n.provider = std::move(provider);
  AutomationTreeElement(n.provider.get(), n.key, n.tree, n.index);
  return n;
}

Node PartNode(HWND hwnd, LONG objid) {
  Node n;
  n.kind = objid == OBJID_TITLEBAR ? Kind::TitleBar : Kind::ScrollBar;
  n.hwnd = hwnd;
  n.part = objid;
  StdAccessibleObject(hwnd, objid, __uuidof(IAccessible), reinterpret_cast<void**>(n.acc.Put()));
  return n;
}

Node MsaaNode(HWND hwnd, Ref<IAccessible> acc, LONG childId) {
  Node n;
  n.kind = Kind::Msaa;
  n.hwnd = hwnd;
  n.acc = std::move(acc);
  n.childId = childId;
  IdentifyCustom(n);
  return n;
}

bool SameNode(const Node& a, const Node& b) {
  if (a.kind != b.kind || a.hwnd != b.hwnd || a.part != b.part || a.childId != b.childId) return false;
  if (a.kind != Kind::Msaa && a.kind != Kind::TitleButton && a.kind != Kind::Provider) return true;
  if (a.tree || b.tree) return a.tree == b.tree && a.index == b.index;
  return a.kind == Kind::Provider ? a.provider.get() == b.provider.get() : a.acc.get() == b.acc.get();
}

HRESULT AccState(const Node& n, LONG& state) {
  state = 0;
  if (!n.acc) {
    if (n.kind != Kind::Window) return E_FAIL;
    state = StdClientState(n.hwnd);
    return S_OK;
  }
  Var v;
  HRESULT hr = n.acc->get_accState(I4(n.childId), &v.v);
  if (FAILED(hr)) return hr;
  state = v.v.vt == VT_I4 ? v.v.lVal : 0;
  return S_OK;
}

HRESULT AccRole(const Node& n, LONG& role) {
  role = 0;
  if (!n.acc) return E_FAIL;
  Var v;
  HRESULT hr = n.acc->get_accRole(I4(n.childId), &v.v);
  if (FAILED(hr)) return hr;
  role = v.v.vt == VT_I4 ? v.v.lVal : 0;
  return S_OK;
}

// A property as the node's provider gives it; VT_EMPTY when it leaves it out
// or there is no provider.
HRESULT ProviderValue(const Node& n, PROPERTYID id, Var& value) {
  VariantClear(&value.v);
  return n.provider ? n.provider->GetPropertyValue(id, &value.v) : S_OK;
}

// The provider's value when it gives one of type `vt` (`given`); otherwise a
// native element has the property's default [U-PROP] (`given` false) and a
// window its own value (the caller's).
HRESULT Given(const Node& n, PROPERTYID id, VARTYPE vt, Var& value, bool& given) {
  HRESULT hr = ProviderValue(n, id, value);
  given = SUCCEEDED(hr) && value.v.vt == vt;
  return hr;
}

template <class P>
Ref<P> PatternProvider(const Node& n, PATTERNID id, HRESULT& hr) {
  Ref<P> pattern;
  Ref<IUnknown> unknown;
  hr = n.provider ? n.provider->GetPatternProvider(id, unknown.Put()) : S_OK;
  if (SUCCEEDED(hr) && unknown) {
    unknown->QueryInterface(__uuidof(P), reinterpret_cast<void**>(pattern.Put()));
  }
  return pattern;
}

// MSAA role to control type, as the bridge maps them [WT-UIA
// msaa_role_uia_types]; CLIENT and DIALOG have no mapping. Roles past the
// measured table map by their names (inferred).
std::optional<int> TypeOfRole(LONG role) {
  switch (role) {
    case ROLE_SYSTEM_PUSHBUTTON:
      return UIA_ButtonControlTypeId;
    case ROLE_SYSTEM_CHECKBUTTON:
      return UIA_CheckBoxControlTypeId;
    case ROLE_SYSTEM_RADIOBUTTON:
      return UIA_RadioButtonControlTypeId;
    case ROLE_SYSTEM_GROUPING:
      return UIA_GroupControlTypeId;
    case ROLE_SYSTEM_STATICTEXT:
      return UIA_TextControlTypeId;
    case ROLE_SYSTEM_TEXT:
      return UIA_EditControlTypeId;
    case ROLE_SYSTEM_WINDOW:
      return UIA_WindowControlTypeId;
    case ROLE_SYSTEM_TITLEBAR:
      return UIA_TitleBarControlTypeId;
    case ROLE_SYSTEM_MENUBAR:
      return UIA_MenuBarControlTypeId;
    case ROLE_SYSTEM_SCROLLBAR:
      return UIA_ScrollBarControlTypeId;
    case ROLE_SYSTEM_GRIP:
      return UIA_ThumbControlTypeId;
    case ROLE_SYSTEM_PANE:
      return UIA_PaneControlTypeId;
    case ROLE_SYSTEM_LIST:
      return UIA_ListControlTypeId;
    case ROLE_SYSTEM_LISTITEM:
      return UIA_ListItemControlTypeId;
    case ROLE_SYSTEM_GRAPHIC:
      return UIA_ImageControlTypeId;
    case ROLE_SYSTEM_PROGRESSBAR:
      return UIA_ProgressBarControlTypeId;
    case ROLE_SYSTEM_LINK:
      return UIA_HyperlinkControlTypeId;
    case ROLE_SYSTEM_COMBOBOX:
      return UIA_ComboBoxControlTypeId;
    case ROLE_SYSTEM_MENUITEM:
      return UIA_MenuItemControlTypeId;
    case ROLE_SYSTEM_PAGETABLIST:
      return UIA_TabControlTypeId;
    case ROLE_SYSTEM_PAGETAB:
      return UIA_TabItemControlTypeId;
    default:
      return std::nullopt;
  }
}

// Control types of Win32 windows [U-STD] are the bridge's types of their
// proxies' roles; top-level windows are Window and plain child containers Pane
// [U-MSAA] [WT-UIA] (the latter inferred). An element the bridge cannot type,
// or a native one that gives none, has the property's default, Custom [U-PROP].
HRESULT ControlType(const Node& n, int& type) {
  Var given;
  bool hasType = false;
  HRESULT hr = Given(n, UIA_ControlTypePropertyId, VT_I4, given, hasType);
  if (FAILED(hr)) return hr;
  if (hasType) {
    type = given.v.lVal;
    return S_OK;
  }
  switch (n.kind) {
    case Kind::TitleBar:
      type = UIA_TitleBarControlTypeId;
      return S_OK;
    case Kind::TitleButton:
      type = UIA_ButtonControlTypeId;
      return S_OK;
    case Kind::ScrollBar:
      type = UIA_ScrollBarControlTypeId;
      return S_OK;
    case Kind::Provider:
      type = UIA_CustomControlTypeId;
      return S_OK;
    case Kind::Msaa: {
      LONG role;
      hr = AccRole(n, role);
      if (FAILED(hr)) return hr;
      type = TypeOfRole(role).value_or(UIA_CustomControlTypeId);
      return S_OK;
    }
    case Kind::Window:
      break;
  }
  if (n.hwnd == GetDesktopWindow()) {
    type = UIA_PaneControlTypeId;
    return S_OK;
  }
  DWORD style = StyleOf(n.hwnd);
  if (auto control = TypeOfRole(StdClientRole(n.hwnd))) {
    // [U-STD] lists Document for edits as well; multi-line edits being
    // Document is inferred.
    type = *control == UIA_EditControlTypeId && (style & ES_MULTILINE) ? UIA_DocumentControlTypeId : *control;
    return S_OK;
  }
  if (!(style & WS_CHILD)) {
    type = UIA_WindowControlTypeId;
    return S_OK;
  }
  if (n.custom) {
    LONG role;
    if (SUCCEEDED(AccRole(n, role))) {
      if (auto t = TypeOfRole(role)) {
        type = *t;
        return S_OK;
      }
    }
  }
  type = UIA_PaneControlTypeId;
  return S_OK;
}

bool Alive(const Node& n) { return n.kind == Kind::Msaa || IsWindow(n.hwnd); }

HRESULT NameOf(const Node& n, std::wstring& name) {
  name.clear();
  Var given;
  bool hasName = false;
  HRESULT hr = Given(n, UIA_NamePropertyId, VT_BSTR, given, hasName);
  if (FAILED(hr)) return hr;
  if (hasName) {
    name.assign(given.v.bstrVal, SysStringLen(given.v.bstrVal));
    return S_OK;
  }
  if (n.kind == Kind::Window) {
    StdClientName(n.hwnd, name);
    return S_OK;
  }
  if (!n.acc) return S_OK;
  BSTR b = nullptr;
  hr = n.acc->get_accName(I4(n.childId), &b);
  if (FAILED(hr)) return hr;
  if (b) name.assign(b, SysStringLen(b));
  SysFreeString(b);
  return S_OK;
}

HRESULT RectOf(const Node& n, RECT& r) {
  r = RECT{};
  if (n.kind == Kind::Window) {
    GetWindowRect(n.hwnd, &r);
    return S_OK;
  }
  if (n.kind == Kind::Provider) {
    Ref<IRawElementProviderFragment> fragment;
    n.provider->QueryInterface(__uuidof(IRawElementProviderFragment), reinterpret_cast<void**>(fragment.Put()));
    if (!fragment) return S_OK;  // the property's default [U-PROP]
    UiaRect u{};
    HRESULT hr = fragment->get_BoundingRectangle(&u);
    if (FAILED(hr)) return hr;
    r = RECT{static_cast<LONG>(std::lround(u.left)), static_cast<LONG>(std::lround(u.top)),
             static_cast<LONG>(std::lround(u.left + u.width)), static_cast<LONG>(std::lround(u.top + u.height))};
    return S_OK;
  }
  if (!n.acc) return E_FAIL;
  long x = 0, y = 0, cx = 0, cy = 0;
  HRESULT hr = n.acc->accLocation(&x, &y, &cx, &cy, I4(n.childId));
  if (FAILED(hr)) return hr;
  r = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + cx), static_cast<LONG>(y + cy)};
  return S_OK;
}

// A flag a provider may give; a native element that gives none has the
// property's default, FALSE [U-PROP].
HRESULT ProviderFlag(const Node& n, PROPERTYID id, bool& value, bool& given) {
  Var v;
  HRESULT hr = Given(n, id, VT_BOOL, v, given);
  value = given ? v.v.boolVal != VARIANT_FALSE : false;
  return hr;
}

// A flag as a native element gives it (else FALSE, the property's default),
// as `window` reads it for a window, or as the MSAA state shows it: true when
// `bits` are set if `whenSet`, when they are clear otherwise.
HRESULT FlagOf(const Node& n, PROPERTYID id, const std::function<bool()>& window, LONG bits, bool whenSet,
               bool& value) {
  bool given = false;
  HRESULT hr = ProviderFlag(n, id, value, given);
  if (FAILED(hr) || given || n.kind == Kind::Provider) return hr;
  if (n.kind == Kind::Window && window) {
    value = window();
    return S_OK;
  }
  LONG state;
  hr = AccState(n, state);
  value = ((state & bits) != 0) == whenSet;
  return hr;
}

// IsEnabled follows IsWindowEnabled (inferred [U-MSAA]).
HRESULT EnabledOf(const Node& n, bool& enabled) {
  return FlagOf(
      n, UIA_IsEnabledPropertyId, [&] { return n.hwnd == GetDesktopWindow() || IsWindowEnabled(n.hwnd); },
      STATE_SYSTEM_UNAVAILABLE, false, enabled);
}

// INVISIBLE and OFFSCREEN both make an element off screen [U-MSAA][WT-UIA
// msaa_state_uia_props].
HRESULT OffscreenOf(const Node& n, bool& offscreen) {
  return FlagOf(
      n, UIA_IsOffscreenPropertyId, [&] { return n.hwnd != GetDesktopWindow() && !IsWindowVisible(n.hwnd); },
      STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN, true, offscreen);
}

// The check state as Toggle reads it: the provider's toggle state, else
// CHECKED / MIXED [U-MSAA] of a bridged element or, for a Win32 box, of the
// state its proxy reads from the control.
HRESULT ToggleStateOf(const Node& n, ToggleState& state) {
  state = ToggleState_Off;
  if (n.provider) {
    HRESULT hr;
    Ref<IToggleProvider> toggle = PatternProvider<IToggleProvider>(n, UIA_TogglePatternId, hr);
    return toggle ? toggle->get_ToggleState(&state) : hr;
  }
  LONG s = 0;
  HRESULT hr = S_OK;
  if (n.kind == Kind::Window && !n.custom) {
    s = StdClientState(n.hwnd);
  } else {
    hr = AccState(n, s);
  }
  state = (s & STATE_SYSTEM_MIXED) ? ToggleState_Indeterminate
                                   : ((s & STATE_SYSTEM_CHECKED) ? ToggleState_On : ToggleState_Off);
  return hr;
}

HRESULT SelectedOf(const Node& n, bool& selected) {
  selected = false;
  if (n.provider) {
    HRESULT hr;
    Ref<ISelectionItemProvider> item = PatternProvider<ISelectionItemProvider>(n, UIA_SelectionItemPatternId, hr);
    if (!item) return hr;
    BOOL value = FALSE;
    hr = item->get_IsSelected(&value);
    selected = value != FALSE;
    return hr;
  }
  ToggleState s;
  HRESULT hr = ToggleStateOf(n, s);
  selected = s == ToggleState_On;
  return hr;
}

// A provider says which patterns it has, and its failure to say is the
// caller's; Win32 and bridged elements have the patterns of their control type.
HRESULT Supports(const Node& n, PATTERNID pattern, bool& supported) {
  supported = false;
  if (pattern == UIA_LegacyIAccessiblePatternId) {
    supported = static_cast<bool>(n.acc);
    return S_OK;
  }
  if (n.provider) {
    if (pattern != UIA_TogglePatternId && pattern != UIA_SelectionItemPatternId && pattern != UIA_InvokePatternId) {
      return S_OK;
    }
    Ref<IUnknown> p;
    HRESULT hr = n.provider->GetPatternProvider(pattern, p.Put());
    supported = SUCCEEDED(hr) && p;
    return hr;
  }
  int type = 0;
  if (FAILED(ControlType(n, type))) return S_OK;
  switch (pattern) {
    case UIA_TogglePatternId:
      supported = type == UIA_CheckBoxControlTypeId;  // [U-MSAA]; radio buttons have no Toggle [U-TOG]
      break;
    case UIA_SelectionItemPatternId:
      supported = type == UIA_RadioButtonControlTypeId;
      break;
    case UIA_InvokePatternId:
      supported = type == UIA_ButtonControlTypeId;
      break;
    default:
      break;
  }
  return S_OK;
}

HRESULT AccText(const Node& n, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), VARIANT* out) {
  if (!n.acc && n.kind == Kind::Provider) {
    SetText(out, L"");  // the default, as for the legacy role and state
    return S_OK;
  }
  if (!n.acc) return E_FAIL;
  BSTR b = nullptr;
  HRESULT hr = (n.acc.get()->*get)(I4(n.childId), &b);
  if (FAILED(hr)) return hr;
  out->vt = VT_BSTR;
  out->bstrVal = b ? b : MakeBstr(L"");
  return S_OK;
}

// The live value of a property, as GetCurrentPropertyValue answers it.
HRESULT ReadProperty(const Node& n, PROPERTYID id, VARIANT* out) {
  VariantInit(out);
  if (id < kFirstProperty || id > kLastProperty) return E_INVALIDARG;
  if (!Alive(n)) return kGoneHr;
  HRESULT hr = S_OK;
  switch (id) {
    case UIA_ControlTypePropertyId: {
      int type = 0;
      hr = ControlType(n, type);
      if (SUCCEEDED(hr)) SetI4(out, type);
      return hr;
    }
    case UIA_NamePropertyId: {
      std::wstring name;
      hr = NameOf(n, name);
      if (SUCCEEDED(hr)) SetText(out, name);
      return hr;
    }
    case UIA_IsEnabledPropertyId: {
      bool enabled = false;
      hr = EnabledOf(n, enabled);
      if (SUCCEEDED(hr)) SetBool(out, enabled);
      return hr;
    }
    case UIA_IsOffscreenPropertyId: {
      bool offscreen = false;
      hr = OffscreenOf(n, offscreen);
      if (SUCCEEDED(hr)) SetBool(out, offscreen);
      return hr;
    }
    case UIA_NativeWindowHandlePropertyId:
      SetI4(out, n.kind == Kind::Window ? static_cast<LONG>(reinterpret_cast<uintptr_t>(n.hwnd)) : 0);
      return S_OK;
    case UIA_ProcessIdPropertyId: {
      DWORD pid = 0;
      GetWindowThreadProcessId(n.hwnd, &pid);
      SetI4(out, static_cast<LONG>(pid));
      return S_OK;
    }
    case UIA_ClassNamePropertyId:
    case UIA_AutomationIdPropertyId: {
      Var given;
      bool hasText = false;
      hr = Given(n, id, VT_BSTR, given, hasText);
      if (FAILED(hr)) return hr;
      if (hasText) return VariantCopy(out, &given.v);
      // Win32 proxies use the control id as the automation id.
      std::wstring text;
      if (n.kind == Kind::Window && id == UIA_ClassNamePropertyId) text = ClassOf(n.hwnd);
      if (n.kind == Kind::Window && id == UIA_AutomationIdPropertyId && (StyleOf(n.hwnd) & WS_CHILD)) {
        text = std::to_wstring(GetWindowLongW(n.hwnd, GWLP_ID));
      }
      SetText(out, text);
      return S_OK;
    }
    case UIA_ItemStatusPropertyId:
      SetText(out, L"");
      return S_OK;
    case UIA_IsControlElementPropertyId:
    case UIA_IsContentElementPropertyId: {
      // Every element simwin makes is a control element; the title bar too
      // [U-TTL]. A native element says, else it is both [U-PROP].
      bool flag = true;
      bool given = false;
      hr = ProviderFlag(n, id, flag, given);
      if (FAILED(hr)) return hr;
      if (given || n.kind == Kind::Provider || id == UIA_IsControlElementPropertyId) {
        SetBool(out, given ? flag : true);
        return S_OK;
      }
      // Title bar: not content [U-TTL]; its buttons and scroll bars likewise
      // (inferred).
      int type = 0;
      hr = ControlType(n, type);
      if (FAILED(hr)) return hr;
      bool chrome = n.kind == Kind::TitleButton || type == UIA_TitleBarControlTypeId ||
                    type == UIA_ScrollBarControlTypeId || type == UIA_ThumbControlTypeId;
      SetBool(out, !chrome);
      return S_OK;
    }
    case UIA_IsKeyboardFocusablePropertyId:
    case UIA_HasKeyboardFocusPropertyId:
    case UIA_IsPasswordPropertyId: {
      const LONG bit = id == UIA_IsKeyboardFocusablePropertyId
                           ? STATE_SYSTEM_FOCUSABLE
                           : (id == UIA_HasKeyboardFocusPropertyId ? STATE_SYSTEM_FOCUSED : STATE_SYSTEM_PROTECTED);
      bool flag = false;
      hr = FlagOf(n, id, nullptr, bit, true, flag);
      if (SUCCEEDED(hr)) SetBool(out, flag);
      return hr;
    }
    case UIA_ToggleToggleStatePropertyId: {
      bool supported = false;
      hr = Supports(n, UIA_TogglePatternId, supported);
      if (FAILED(hr) || !supported) return hr;
      ToggleState s;
      hr = ToggleStateOf(n, s);
      if (SUCCEEDED(hr)) SetI4(out, s);
      return hr;
    }
    case UIA_SelectionItemIsSelectedPropertyId: {
      bool supported = false;
      hr = Supports(n, UIA_SelectionItemPatternId, supported);
      if (FAILED(hr) || !supported) return hr;
      bool selected = false;
      hr = SelectedOf(n, selected);
      if (SUCCEEDED(hr)) SetBool(out, selected);
      return hr;
    }
    case UIA_IsTogglePatternAvailablePropertyId:
    case UIA_IsSelectionItemPatternAvailablePropertyId:
    case UIA_IsInvokePatternAvailablePropertyId:
    case UIA_IsLegacyIAccessiblePatternAvailablePropertyId: {
      const PATTERNID pattern = id == UIA_IsTogglePatternAvailablePropertyId          ? UIA_TogglePatternId
                                : id == UIA_IsSelectionItemPatternAvailablePropertyId ? UIA_SelectionItemPatternId
                                : id == UIA_IsInvokePatternAvailablePropertyId        ? UIA_InvokePatternId
                                                                                      : UIA_LegacyIAccessiblePatternId;
      bool supported = false;
      hr = Supports(n, pattern, supported);
      if (SUCCEEDED(hr)) SetBool(out, supported);
      return hr;
    }
    case UIA_LegacyIAccessibleChildIdPropertyId:
      SetI4(out, n.childId);
      return S_OK;
    case UIA_LegacyIAccessibleRolePropertyId:
    case UIA_LegacyIAccessibleStatePropertyId: {
      // Native elements have no MSAA object here (simwin has no bridge from
      // providers to MSAA): the properties' defaults (inferred).
      LONG value = 0;
      if (n.acc || n.kind != Kind::Provider) {
        hr = id == UIA_LegacyIAccessibleRolePropertyId ? AccRole(n, value) : AccState(n, value);
      }
      if (SUCCEEDED(hr)) SetI4(out, value);
      return hr;
    }
    case UIA_LegacyIAccessibleNamePropertyId:
      return AccText(n, &IAccessible::get_accName, out);
    case UIA_LegacyIAccessibleValuePropertyId:
      return AccText(n, &IAccessible::get_accValue, out);
    case UIA_LegacyIAccessibleDescriptionPropertyId:
      return AccText(n, &IAccessible::get_accDescription, out);
    case UIA_LegacyIAccessibleHelpPropertyId:
      return AccText(n, &IAccessible::get_accHelp, out);
    case UIA_LegacyIAccessibleKeyboardShortcutPropertyId:
      return AccText(n, &IAccessible::get_accKeyboardShortcut, out);
    case UIA_LegacyIAccessibleDefaultActionPropertyId:
      return AccText(n, &IAccessible::get_accDefaultAction, out);
    default:
      // Includes BoundingRectangle, whose VARIANT form is an array (use the RECT
      // getters).
      return E_NOTIMPL;
  }
}

// --- The raw view
// --------------------------------------------------------------------------------------------------

HRESULT MsaaChildren(const Node& parent, std::vector<Node>& out) {
  if (!parent.acc || parent.childId != CHILDID_SELF) return S_OK;
  long count = 0;
  HRESULT hr = parent.acc->get_accChildCount(&count);
  if (FAILED(hr)) return hr;
  for (long i = 1; i <= count; ++i) {
    Ref<IDispatch> child;
    hr = parent.acc->get_accChild(I4(static_cast<LONG>(i)), child.Put());
    // An untrusted tree may report more children than it has.
    if (FAILED(hr)) break;
    if (child) {
      Ref<IAccessible> acc;
      if (FAILED(child->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(acc.Put())))) continue;
      out.push_back(MsaaNode(parent.hwnd, std::move(acc), CHILDID_SELF));
    } else {
      out.push_back(MsaaNode(parent.hwnd, parent.acc, static_cast<LONG>(i)));
    }
  }
  return S_OK;
}

// A native element's children, as its fragment navigates to them.
HRESULT FragmentChildren(const Node& parent, std::vector<Node>& out) {
  Ref<IRawElementProviderFragment> child;
  {
    Ref<IRawElementProviderFragment> fragment;
    parent.provider->QueryInterface(__uuidof(IRawElementProviderFragment), reinterpret_cast<void**>(fragment.Put()));
    if (!fragment) return S_OK;  // a simple provider has no children
    HRESULT hr = fragment->Navigate(NavigateDirection_FirstChild, child.Put());
    if (FAILED(hr)) return hr;
  }
  while (child) {
    Ref<IRawElementProviderSimple> simple;
    child->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(simple.Put()));
    if (simple) out.push_back(ProviderNode(parent.hwnd, std::move(simple)));
    Ref<IRawElementProviderFragment> next;
    HRESULT hr = child->Navigate(NavigateDirection_NextSibling, next.Put());
    if (FAILED(hr)) return hr;
    child = std::move(next);
  }
  return S_OK;
}

// Children in the raw view. A window's client children come first (child
// windows in z-order, or the tree it serves), then its non-client parts: the
// title bar [U-TTL] and the scroll bars that exist (order and presence
// inferred, see "Where sources disagree" 13). Hidden child windows stay, off
// screen (inferred from the INVISIBLE bridge rule).
HRESULT RawChildren(const Node& n, std::vector<Node>& out) {
  out.clear();
  if (!Alive(n)) return kGoneHr;
  switch (n.kind) {
    case Kind::Msaa:
      return MsaaChildren(n, out);
    case Kind::Provider:
      return FragmentChildren(n, out);
    case Kind::TitleBar:
      // The title bar's buttons that are shown [U-TTL]: MSAA's title bar children
      // without INVISIBLE.
      for (LONG id = 1; id <= 3 && n.acc; ++id) {
        Var state;
        if (FAILED(n.acc->get_accState(I4(id), &state.v)) || (state.v.lVal & STATE_SYSTEM_INVISIBLE)) continue;
        Node b;
        b.kind = Kind::TitleButton;
        b.hwnd = n.hwnd;
        b.part = OBJID_TITLEBAR;
        b.acc = n.acc;
        b.childId = id;
        out.push_back(std::move(b));
      }
      return S_OK;
    case Kind::TitleButton:
    case Kind::ScrollBar:
      return S_OK;
    case Kind::Window:
      break;
  }
  if (n.provider) {
    HRESULT hr = FragmentChildren(n, out);
    if (FAILED(hr)) return hr;
  } else if (n.custom) {
    Node root = n;
    root.childId = CHILDID_SELF;
    HRESULT hr = MsaaChildren(root, out);
    if (FAILED(hr)) return hr;
  } else {
    for (HWND c = ::GetWindow(n.hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) out.push_back(WindowNode(c));
  }
  if (n.hwnd == GetDesktopWindow()) return S_OK;
  DWORD style = StyleOf(n.hwnd);
  if ((style & WS_CAPTION) == WS_CAPTION) out.push_back(PartNode(n.hwnd, OBJID_TITLEBAR));
  if (style & WS_VSCROLL) out.push_back(PartNode(n.hwnd, OBJID_VSCROLL));
  if (style & WS_HSCROLL) out.push_back(PartNode(n.hwnd, OBJID_HSCROLL));
  return S_OK;
}

// --- Conditions
// ----------------------------------------------------------------------------------------------------

enum class View { True, False, Control, Content };

class Condition final : public SingleInterfaceObject<IUIAutomationCondition> {
 public:
  explicit Condition(View view) : view_(view) {}
  View view() const { return view_; }

 private:
  ~Condition() = default;
  const View view_;
};

HRESULT Matches(const Node& n, View view, bool& match) {
  match = view == View::True;
  if (view == View::True || view == View::False) return S_OK;
  Var v;
  HRESULT hr =
      ReadProperty(n, view == View::Control ? UIA_IsControlElementPropertyId : UIA_IsContentElementPropertyId, &v.v);
  match = SUCCEEDED(hr) && v.v.vt == VT_BOOL && v.v.boolVal;
  return hr;
}

// Children in a view: an element the view leaves out is replaced by its own
// children in that view [U-MSAA].
HRESULT ViewChildren(const Node& n, View view, int depth, std::vector<Node>& out) {
  std::vector<Node> raw;
  HRESULT hr = RawChildren(n, raw);
  if (FAILED(hr)) return hr;
  for (auto& c : raw) {
    bool match = false;
    hr = Matches(c, view, match);
    if (FAILED(hr)) return hr;
    if (match) {
      out.push_back(std::move(c));
    } else if (depth < kMaxDepth) {
      hr = ViewChildren(c, view, depth + 1, out);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

// --- Cache requests
// ------------------------------------------------------------------------------------------------

struct RequestSettings {
  std::vector<PROPERTYID> properties;
  std::vector<PATTERNID> patterns;
  int scope = TreeScope_Element;
  // A new request's filter is the control view (fact sheet, unknowns 11: not
  // re-read).
  View filter = View::Control;
  bool full = true;
};

class CacheRequest final : public SingleInterfaceObject<IUIAutomationCacheRequest> {
 public:
  CacheRequest() = default;
  explicit CacheRequest(const RequestSettings& settings) : request_(settings) {}

  STDMETHODIMP AddProperty(PROPERTYID id) override {
    return Set("AddProperty", id < kFirstProperty || id > kLastProperty ? E_INVALIDARG : S_OK,
               [id](RequestSettings& r) { AddOnce(r.properties, id); });
  }
  STDMETHODIMP AddPattern(PATTERNID id) override {
    return Set("AddPattern", id < kFirstPattern || id > kLastPattern ? E_INVALIDARG : S_OK,
               [id](RequestSettings& r) { AddOnce(r.patterns, id); });
  }
  STDMETHODIMP Clone(IUIAutomationCacheRequest** out) override {
    return Get("Clone", out, [](const RequestSettings& r) -> IUIAutomationCacheRequest* {
      return new CacheRequest(r);
    });
  }
  STDMETHODIMP get_TreeScope(TreeScope* scope) override {
    return Get("get_TreeScope", scope, [](const RequestSettings& r) { return static_cast<TreeScope>(r.scope); });
  }
  // Caching walks down only; a parent or ancestor scope is refused (inferred).
  STDMETHODIMP put_TreeScope(TreeScope scope) override {
    return Set("put_TreeScope", scope == TreeScope_None || (scope & ~TreeScope_Subtree) ? E_INVALIDARG : S_OK,
               [scope](RequestSettings& r) { r.scope = scope; });
  }
  STDMETHODIMP get_TreeFilter(IUIAutomationCondition** filter) override {
    return Get("get_TreeFilter", filter,
               [](const RequestSettings& r) -> IUIAutomationCondition* { return new Condition(r.filter); });
  }
  STDMETHODIMP put_TreeFilter(IUIAutomationCondition* filter) override {
    auto* ours = dynamic_cast<Condition*>(filter);
    return Set("put_TreeFilter", !filter ? E_POINTER : (!ours ? E_INVALIDARG : S_OK),
               [ours](RequestSettings& r) { r.filter = ours->view(); });
  }
  STDMETHODIMP get_AutomationElementMode(AutomationElementMode* mode) override {
    return Get("get_AutomationElementMode", mode, [](const RequestSettings& r) {
      return r.full ? AutomationElementMode_Full : AutomationElementMode_None;
    });
  }
  STDMETHODIMP put_AutomationElementMode(AutomationElementMode mode) override {
    const bool known = mode == AutomationElementMode_None || mode == AutomationElementMode_Full;
    return Set("put_AutomationElementMode", known ? S_OK : E_INVALIDARG,
               [mode](RequestSettings& r) { r.full = mode == AutomationElementMode_Full; });
  }

  RequestSettings Snapshot() {
    std::lock_guard<std::mutex> guard(mu_);
    return request_;
  }

 private:
  ~CacheRequest() = default;

  // Every getter: the out parameter cleared, injected faults, then the value read from the settings.
  template <class T, class Read>
  HRESULT Get(const char* method, T* out, Read read) {
    if (!out) return E_POINTER;
    *out = T{};
    HRESULT hr;
    if (LocalCallFails(method, nullptr, hr)) return hr;
    *out = read(Snapshot());
    return S_OK;
  }
  // Every setter: injected faults, then the argument's check (`invalid`, S_OK when it is valid), then the change.
  template <class Write>
  HRESULT Set(const char* method, HRESULT invalid, Write write) {
    HRESULT hr;
    if (LocalCallFails(method, nullptr, hr)) return hr;
    if (FAILED(invalid)) return invalid;
    std::lock_guard<std::mutex> guard(mu_);
    write(request_);
    return S_OK;
  }
  template <class Id>
  static void AddOnce(std::vector<Id>& ids, Id id) {
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }

  std::mutex mu_;
  RequestSettings request_;
};

// --- Elements
// ------------------------------------------------------------------------------------------------------

// What one BuildUpdatedCache brought for one element. Immutable once built.
struct Cache {
  bool self = false;  // properties and patterns of the element itself were requested
  std::map<PROPERTYID, Var> properties;
  std::optional<RECT> rect;
  std::map<PATTERNID, Ref<IUnknown>> patterns;                     // a null entry: requested, not supported
  std::optional<std::vector<Ref<IUIAutomationElement>>> children;  // empty optional: not requested
};

HRESULT Build(const Node& n, const RequestSettings& settings, int level, std::vector<const Node*>& path, IUIAutomationElement** out);

class ElementArray final : public SingleInterfaceObject<IUIAutomationElementArray> {
 public:
  explicit ElementArray(std::vector<Ref<IUIAutomationElement>> items) : items_(std::move(items)) {}
  // The array lives in the client: its calls are not cross-process.
  STDMETHODIMP get_Length(int* length) override {
    if (!length) return E_POINTER;
    *length = static_cast<int>(items_.size());
    return S_OK;
  }
  STDMETHODIMP GetElement(int index, IUIAutomationElement** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return E_INVALIDARG;
    *element = Ref<IUIAutomationElement>(items_[static_cast<size_t>(index)]).Detach();
    return S_OK;
  }

 private:
  ~ElementArray() = default;
  const std::vector<Ref<IUIAutomationElement>> items_;
};

// Out-parameter conversions from a property value the caller owns.
void Take(VARIANT& v, BSTR* out) {
  if (v.vt == VT_BSTR) {
    *out = v.bstrVal;
    v.vt = VT_EMPTY;
  }
}
// BOOL is int: one overload serves both.
void Take(VARIANT& v, int* out) { *out = v.vt == VT_BOOL ? (v.boolVal != 0) : (v.vt == VT_I4 ? v.lVal : 0); }
void Take(VARIANT& v, UIA_HWND* out) {
  *out = v.vt == VT_I4 ? reinterpret_cast<UIA_HWND>(static_cast<uintptr_t>(static_cast<ULONG>(v.lVal))) : nullptr;
}
void Take(VARIANT& v, OrientationType* out) {
  *out = v.vt == VT_I4 ? static_cast<OrientationType>(v.lVal) : OrientationType_None;
}
void Take(VARIANT& v, DWORD* out) { *out = v.vt == VT_I4 ? static_cast<DWORD>(v.lVal) : 0; }
void Take(VARIANT& v, ToggleState* out) { *out = v.vt == VT_I4 ? static_cast<ToggleState>(v.lVal) : ToggleState_Off; }
void Clear(BSTR* out) { *out = nullptr; }
void Clear(int* out) { *out = 0; }
void Clear(UIA_HWND* out) { *out = nullptr; }
void Clear(OrientationType* out) { *out = OrientationType_None; }
void Clear(DWORD* out) { *out = 0; }
void Clear(ToggleState* out) { *out = ToggleState_Off; }
void Clear(IUIAutomationElement** out) { *out = nullptr; }
void Clear(IUIAutomationElementArray** out) { *out = nullptr; }

// The current and the cached getter of one property: both are served by the
// class's one templated getter, Property(cached, method, id, out).
#define UIA_PROPERTY_GETTERS(Name, Type, Id)                                                               \
  STDMETHODIMP get_Current##Name(Type* out) override { return Property(false, "get_Current" #Name, Id, out); } \
  STDMETHODIMP get_Cached##Name(Type* out) override { return Property(true, "get_Cached" #Name, Id, out); }
// What simwin does not model: E_NOTIMPL, with the out parameter cleared and
// faults applied first, as for any call of the element.
template <class T>
HRESULT NotModelled(const char* method, const Node& node, T* out) {
  if (!out) return E_POINTER;
  Clear(out);
  HRESULT fault;
  if (AccCallFails(method, node.hwnd, node.key, fault)) return fault;
  return E_NOTIMPL;
}

#define UIA_NOT_MODELLED_GETTERS(Name, Type)                                                 \
  STDMETHODIMP get_Current##Name(Type* out) override { return NotImpl("get_Current" #Name, out); } \
  STDMETHODIMP get_Cached##Name(Type* out) override { return NotImpl("get_Cached" #Name, out); }

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

// A pattern object for the node, or null when the element does not support it.
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

class Element final : public SingleInterfaceObject<IUIAutomationElement> {
 public:
  Element(Node node, bool full, std::shared_ptr<const Cache> cache,
          std::shared_ptr<const std::map<PROPERTYID, Var>> props)
      : node_(std::move(node)), full_(full), cache_(std::move(cache)), props_(std::move(props)) {}

  const Node& node() const { return node_; }

  STDMETHODIMP SetFocus() override {
    UIA_ENTER("SetFocus");
    return E_NOTIMPL;
  }
  STDMETHODIMP GetRuntimeId(SAFEARRAY** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("GetRuntimeId");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindFirst(TreeScope, IUIAutomationCondition*, IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindFirst");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindAll(TreeScope, IUIAutomationCondition*, IUIAutomationElementArray** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindAll");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindFirstBuildCache(TreeScope, IUIAutomationCondition*, IUIAutomationCacheRequest*,
                                   IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindFirstBuildCache");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindAllBuildCache(TreeScope, IUIAutomationCondition*, IUIAutomationCacheRequest*,
                                 IUIAutomationElementArray** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindAllBuildCache");
    return E_NOTIMPL;
  }

  // One call however large the subtree: the whole request is answered at once.
  STDMETHODIMP BuildUpdatedCache(IUIAutomationCacheRequest* request, IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("BuildUpdatedCache");
    auto* ours = dynamic_cast<CacheRequest*>(request);
    if (!ours) return E_INVALIDARG;
    if (!Alive(node_)) return kGoneHr;
    std::vector<const Node*> path;
    return Build(node_, ours->Snapshot(), 0, path, out);
  }

  STDMETHODIMP GetCurrentPropertyValue(PROPERTYID id, VARIANT* out) override {
    return GetCurrentPropertyValueEx(id, FALSE, out);
  }
  STDMETHODIMP GetCurrentPropertyValueEx(PROPERTYID id, BOOL, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    UIA_ENTER("GetCurrentPropertyValue");
    if (!full_) return kNotCachedHr;
    return ReadProperty(node_, id, out);
  }
  STDMETHODIMP GetCachedPropertyValue(PROPERTYID id, VARIANT* out) override {
    return GetCachedPropertyValueEx(id, FALSE, out);
  }
  STDMETHODIMP GetCachedPropertyValueEx(PROPERTYID id, BOOL, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    UIA_ENTER("GetCachedPropertyValue");
    return CachedValue(id, out);
  }

  STDMETHODIMP GetCurrentPatternAs(PATTERNID id, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCurrentPatternAs");
    Ref<IUnknown> p;
    HRESULT hr = CurrentPattern(id, p);
    if (FAILED(hr) || !p) return hr;
    return p->QueryInterface(riid, out);
  }
  STDMETHODIMP GetCachedPatternAs(PATTERNID id, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedPatternAs");
    Ref<IUnknown> p;
    HRESULT hr = CachedPattern(id, p);
    if (FAILED(hr) || !p) return hr;
    return p->QueryInterface(riid, out);
  }
  STDMETHODIMP GetCurrentPattern(PATTERNID id, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCurrentPattern");
    Ref<IUnknown> p;
    HRESULT hr = CurrentPattern(id, p);
    *out = p.Detach();
    return hr;
  }
  STDMETHODIMP GetCachedPattern(PATTERNID id, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedPattern");
    Ref<IUnknown> p;
    HRESULT hr = CachedPattern(id, p);
    *out = p.Detach();
    return hr;
  }

  STDMETHODIMP GetCachedParent(IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("GetCachedParent");
    return E_NOTIMPL;  // requests never include the parent scope here
  }
  // Children exist only if the request's scope asked for them at this level;
  // none is a null array [GCC] (S_OK inferred, unknowns 11).
  STDMETHODIMP GetCachedChildren(IUIAutomationElementArray** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedChildren");
    if (!cache_ || !cache_->children) return kNotCachedHr;
    if (cache_->children->empty()) return S_OK;
    *out = new ElementArray(*cache_->children);
    return S_OK;
  }

  UIA_PROPERTY_GETTERS(ProcessId, int, UIA_ProcessIdPropertyId)
  UIA_PROPERTY_GETTERS(ControlType, CONTROLTYPEID, UIA_ControlTypePropertyId)
  UIA_PROPERTY_GETTERS(LocalizedControlType, BSTR, UIA_LocalizedControlTypePropertyId)
  UIA_PROPERTY_GETTERS(Name, BSTR, UIA_NamePropertyId)
  UIA_PROPERTY_GETTERS(AcceleratorKey, BSTR, UIA_AcceleratorKeyPropertyId)
  UIA_PROPERTY_GETTERS(AccessKey, BSTR, UIA_AccessKeyPropertyId)
  UIA_PROPERTY_GETTERS(HasKeyboardFocus, BOOL, UIA_HasKeyboardFocusPropertyId)
  UIA_PROPERTY_GETTERS(IsKeyboardFocusable, BOOL, UIA_IsKeyboardFocusablePropertyId)
  UIA_PROPERTY_GETTERS(IsEnabled, BOOL, UIA_IsEnabledPropertyId)
  UIA_PROPERTY_GETTERS(AutomationId, BSTR, UIA_AutomationIdPropertyId)
  UIA_PROPERTY_GETTERS(ClassName, BSTR, UIA_ClassNamePropertyId)
  UIA_PROPERTY_GETTERS(HelpText, BSTR, UIA_HelpTextPropertyId)
  UIA_PROPERTY_GETTERS(Culture, int, UIA_CulturePropertyId)
  UIA_PROPERTY_GETTERS(IsControlElement, BOOL, UIA_IsControlElementPropertyId)
  UIA_PROPERTY_GETTERS(IsContentElement, BOOL, UIA_IsContentElementPropertyId)
  UIA_PROPERTY_GETTERS(IsPassword, BOOL, UIA_IsPasswordPropertyId)
  UIA_PROPERTY_GETTERS(NativeWindowHandle, UIA_HWND, UIA_NativeWindowHandlePropertyId)
  UIA_PROPERTY_GETTERS(ItemType, BSTR, UIA_ItemTypePropertyId)
  UIA_PROPERTY_GETTERS(IsOffscreen, BOOL, UIA_IsOffscreenPropertyId)
  UIA_PROPERTY_GETTERS(Orientation, OrientationType, UIA_OrientationPropertyId)
  UIA_PROPERTY_GETTERS(FrameworkId, BSTR, UIA_FrameworkIdPropertyId)
  UIA_PROPERTY_GETTERS(IsRequiredForForm, BOOL, UIA_IsRequiredForFormPropertyId)
  UIA_PROPERTY_GETTERS(ItemStatus, BSTR, UIA_ItemStatusPropertyId)
  UIA_NOT_MODELLED_GETTERS(LabeledBy, IUIAutomationElement*)
  UIA_NOT_MODELLED_GETTERS(AriaRole, BSTR)
  UIA_NOT_MODELLED_GETTERS(AriaProperties, BSTR)
  UIA_NOT_MODELLED_GETTERS(IsDataValidForForm, BOOL)
  UIA_NOT_MODELLED_GETTERS(ControllerFor, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(DescribedBy, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(FlowsTo, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(ProviderDescription, BSTR)
  STDMETHODIMP get_CurrentBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CurrentBoundingRectangle");
    if (!full_) return kNotCachedHr;
    if (!Alive(node_)) return kGoneHr;
    return RectOf(node_, *r);
  }
  STDMETHODIMP get_CachedBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CachedBoundingRectangle");
    if (!cache_ || !cache_->rect) return kNotCachedHr;
    *r = *cache_->rect;
    return S_OK;
  }

  STDMETHODIMP GetClickablePoint(POINT* clickable, BOOL* got) override {
    if (clickable) *clickable = POINT{};
    if (got) *got = FALSE;
    UIA_ENTER("GetClickablePoint");
    return E_NOTIMPL;
  }

 private:
  ~Element() = default;

  // One getter for the current and the cached value of a property.
  template <class T>
  HRESULT Property(bool cached, const char* method, PROPERTYID id, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    Var v;
    HRESULT hr = cached ? CachedValue(id, &v.v) : (full_ ? ReadProperty(node_, id, &v.v) : kNotCachedHr);
    if (SUCCEEDED(hr)) Take(v.v, out);
    return hr;
  }

  template <class T>
  HRESULT NotImpl(const char* method, T* out) const {
    return NotModelled(method, node_, out);
  }

  HRESULT CachedValue(PROPERTYID id, VARIANT* out) const {
    if (id < kFirstProperty || id > kLastProperty) return E_INVALIDARG;
    if (!props_) return kNotCachedHr;
    auto it = props_->find(id);
    if (it == props_->end()) return kNotCachedHr;
    return VariantCopy(out, &it->second.v);
  }
  HRESULT CurrentPattern(PATTERNID id, Ref<IUnknown>& out) const {
    if (id < kFirstPattern || id > kLastPattern) return E_INVALIDARG;
    if (!full_) return kNotCachedHr;
    if (!Alive(node_)) return kGoneHr;
    return MakePattern(node_, id, true, nullptr, out);
  }
  HRESULT CachedPattern(PATTERNID id, Ref<IUnknown>& out) const {
    if (id < kFirstPattern || id > kLastPattern) return E_INVALIDARG;
    if (!cache_ || !cache_->self) return kNotCachedHr;
    auto it = cache_->patterns.find(id);
    if (it == cache_->patterns.end()) return kNotCachedHr;
    out = it->second;
    return S_OK;
  }

  const Node node_;
  const bool full_;
  const std::shared_ptr<const Cache> cache_;
  const std::shared_ptr<const std::map<PROPERTYID, Var>> props_;
};

bool OnPath(const Node& n, const std::vector<const Node*>& path) {
  if (!n.tree) return false;
  for (const Node* p : path) {
    if (p->tree == n.tree && p->index == n.index) return true;
  }
  return false;
}

HRESULT Build(const Node& n, const RequestSettings& settings, int level, std::vector<const Node*>& path, IUIAutomationElement** out) {
  auto cache = std::make_shared<Cache>();
  auto props = std::make_shared<std::map<PROPERTYID, Var>>();
  cache->self = level > 0 || (settings.scope & TreeScope_Element);
  if (cache->self) {
    for (PROPERTYID id : settings.properties) {
      if (id == UIA_BoundingRectanglePropertyId) {
        RECT r;
        HRESULT hr = RectOf(n, r);
        if (FAILED(hr)) return hr;
        cache->rect = r;
        continue;
      }
      Var v;
      HRESULT hr = ReadProperty(n, id, &v.v);
      // A property simwin does not model is cached as empty rather than failing
      // the whole request.
      if (FAILED(hr) && hr != E_NOTIMPL) return hr;
      (*props)[id] = v;
    }
    for (PATTERNID id : settings.patterns) {
      HRESULT hr = MakePattern(n, id, settings.full, props, cache->patterns[id]);
      if (FAILED(hr)) return hr;
    }
  }
  bool children = level == 0 ? (settings.scope & (TreeScope_Children | TreeScope_Descendants)) != 0
                             : (settings.scope & TreeScope_Descendants) != 0;
  if (children) {
    cache->children.emplace();
    if (level < kMaxDepth) {
      std::vector<Node> kids;
      HRESULT hr = ViewChildren(n, settings.filter, level, kids);
      if (FAILED(hr)) return hr;
      path.push_back(&n);
      for (const Node& k : kids) {
        if (OnPath(k, path)) continue;  // a cyclic custom tree: the ancestor is not repeated
        IUIAutomationElement* child = nullptr;
        hr = Build(k, settings, level + 1, path, &child);
        if (FAILED(hr)) {
          path.pop_back();
          return hr;
        }
        cache->children->push_back(Ref<IUIAutomationElement>::Adopt(child));
      }
      path.pop_back();
    }
  }
  *out = new Element(n, settings.full, cache, cache->self ? props : nullptr);
  return S_OK;
}

// --- The automation object
// -----------------------------------------------------------------------------------------

class Automation final : public SingleInterfaceObject<IUIAutomation> {
 public:

  STDMETHODIMP CompareElements(IUIAutomationElement* a, IUIAutomationElement* b, BOOL* same) override {
    if (!same) return E_POINTER;
    *same = FALSE;
    HRESULT hr;
    if (LocalCallFails("CompareElements", nullptr, hr)) return hr;
    auto* x = dynamic_cast<Element*>(a);
    auto* y = dynamic_cast<Element*>(b);
    if (!x || !y) return E_INVALIDARG;
    *same = SameNode(x->node(), y->node());
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
    *out = new Element(WindowNode(hwnd), true, nullptr, nullptr);
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
    *out = new CacheRequest();
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
    *out = new Element(MsaaNode(hwnd, Ref<IAccessible>::Share(acc), childId), true, nullptr, nullptr);
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
    *out = new Condition(view);
    return S_OK;
  }
};

}  // namespace

}  // namespace simwin::detail

using namespace simwin::detail;

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
