// simwin's UI Automation client: what its parts share. The client is CUIAutomation over the same windows and
// standard controls as the MSAA proxies, over custom MSAA trees through the bridge (as Windows does for MSAA-only
// servers), and over the native provider trees windows serve themselves, with cache requests.
//
// Like Windows' Win32 proxies these objects live in the caller's process and read and change controls by messages to
// their windows; bridged elements call the window's own IAccessible, native elements its provider. So a UI thread
// that stops pumping blocks them.
//
// Keys in brackets in simwin's UI Automation files name the public source of a fact. Microsoft Learn,
// learn.microsoft.com/windows/win32/: [U-MSAA] winauto/uiauto-msaa (UI Automation and Active Accessibility),
// [U-STD] winauto/uiauto-controlsupport, [U-ERR] winauto/uiauto-error-codes, [U-TOG] winauto/uiauto-implementingtoggle,
// [U-TTL] winauto/uiauto-supporttitlebarcontroltype, [U-PROP] winauto/uiauto-automation-element-propids,
// [GCC] api/uiautomationclient IUIAutomationElement::GetCachedChildren, [EFIA] IUIAutomation::ElementFromIAccessible,
// [IIP] api/uiautomationcore IInvokeProvider::Invoke, [ISIP] ISelectionItemProvider::Select, [B-STY]
// controls/button-styles. Wine's tests (github.com/wine-mirror/wine): [WT-UIA]
// dlls/uiautomationcore/tests/uiautomation.c (tables msaa_role_uia_types and msaa_state_uia_props). The provider
// pages ([U-SSP], [U-BRG], [U-CBX], [U-RBX]) are named in drive/uia_tree.cpp.
//
// The parts: what an element stands for (uia_nodes.cpp) and its properties (uia_properties.cpp), the raw view
// (uia_raw_view.cpp), conditions and the views they select (uia_conditions.cpp), cache requests
// (uia_cache_request.cpp), pattern objects (uia_patterns.cpp), elements (uia_elements.cpp) and the automation object
// (uia_automation.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/acc_internal.h"
#include "platform/sim/uia_provider.h"

namespace simwin::detail::uia {

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

inline VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  SetI4(&v, value);
  return v;
}

inline void SetBool(VARIANT* v, bool value) {
  v->vt = VT_BOOL;
  v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

inline void SetText(VARIANT* v, const std::wstring& s) {
  v->vt = VT_BSTR;
  v->bstrVal = MakeBstr(s);
}

// A method reached across the process boundary: counted once, subject to
// injected faults, and whatever it calls inside is not counted again. Reads of
// what an element's cache holds stay in the client: not counted, but they can
// still be made to fail.
#define UIA_ENTER(method)                                                    \
  HRESULT fault_;                                                            \
  if (UiaCallFails(method, node_.hwnd, node_.key, fault_)) return fault_;    \
  CountSuppressor quiet_

inline bool UiaCallFails(const char* method, HWND hwnd, const std::wstring& key, HRESULT& hr) {
  const std::string_view name(method);
  std::optional<CountSuppressor> local;
  if (name.starts_with("GetCached") || name.starts_with("get_Cached")) local.emplace();
  return AccCallFails(method, hwnd, key, hr);
}

// Calls of the automation object and the cache request: they stay in the
// client, so they are not counted, but tests can still make them fail.
inline bool LocalCallFails(const char* method, HWND hwnd, HRESULT& hr) {
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

// --- What an element stands for (uia_nodes.cpp)
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

// A window, with the provider or the MSAA tree it may serve itself.
Node WindowNode(HWND hwnd);
// An element of a native tree that `hwnd` serves.
Node ProviderNode(HWND hwnd, Ref<IRawElementProviderSimple> provider);
// A non-client part of a window: its title bar or a scroll bar.
Node PartNode(HWND hwnd, LONG objid);
// An MSAA object (or its simple child), through the bridge.
Node MsaaNode(HWND hwnd, Ref<IAccessible> acc, LONG childId);
bool SameNode(const Node& a, const Node& b);
bool Alive(const Node& n);

// --- Properties (uia_properties.cpp)
// --------------------------------------------------------------------------------------

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

HRESULT RectOf(const Node& n, RECT& r);
HRESULT EnabledOf(const Node& n, bool& enabled);
HRESULT ToggleStateOf(const Node& n, ToggleState& state);
HRESULT SelectedOf(const Node& n, bool& selected);
HRESULT Supports(const Node& n, PATTERNID pattern, bool& supported);
HRESULT ReadProperty(const Node& n, PROPERTYID id, VARIANT* out);

// --- The raw view (uia_raw_view.cpp)
// --------------------------------------------------------------------------------------

HRESULT RawChildren(const Node& n, std::vector<Node>& out);

// --- Conditions (uia_conditions.cpp)
// --------------------------------------------------------------------------------------

enum class View { True, False, Control, Content };

IUIAutomationCondition* MakeCondition(View view);
// The view of one of simwin's conditions; nullopt for any other object (or null).
std::optional<View> ViewOf(IUIAutomationCondition* condition);
HRESULT ViewChildren(const Node& n, View view, int depth, std::vector<Node>& out);

// --- Cache requests (uia_cache_request.cpp)
// --------------------------------------------------------------------------------------

struct RequestSettings {
  std::vector<PROPERTYID> properties;
  std::vector<PATTERNID> patterns;
  int scope = TreeScope_Element;
  // A new request's filter is the control view (fact sheet, unknowns 11: not
  // re-read).
  View filter = View::Control;
  bool full = true;
};

IUIAutomationCacheRequest* MakeCacheRequest();
// What one of simwin's cache requests asks for now; nullopt for any other object (or null).
std::optional<RequestSettings> SettingsOf(IUIAutomationCacheRequest* request);

// --- Patterns and elements (uia_patterns.cpp, uia_elements.cpp)
// --------------------------------------------------------------------------------------

// Out-parameter conversions from a property value the caller owns.
inline void Take(VARIANT& v, BSTR* out) {
  if (v.vt == VT_BSTR) {
    *out = v.bstrVal;
    v.vt = VT_EMPTY;
  }
}
// BOOL is int: one overload serves both.
inline void Take(VARIANT& v, int* out) {
  *out = v.vt == VT_BOOL ? (v.boolVal != 0) : (v.vt == VT_I4 ? v.lVal : 0);
}
inline void Take(VARIANT& v, UIA_HWND* out) {
  *out = v.vt == VT_I4 ? reinterpret_cast<UIA_HWND>(static_cast<uintptr_t>(static_cast<ULONG>(v.lVal))) : nullptr;
}
inline void Take(VARIANT& v, OrientationType* out) {
  *out = v.vt == VT_I4 ? static_cast<OrientationType>(v.lVal) : OrientationType_None;
}
inline void Take(VARIANT& v, DWORD* out) { *out = v.vt == VT_I4 ? static_cast<DWORD>(v.lVal) : 0; }
inline void Take(VARIANT& v, ToggleState* out) {
  *out = v.vt == VT_I4 ? static_cast<ToggleState>(v.lVal) : ToggleState_Off;
}
inline void Clear(BSTR* out) { *out = nullptr; }
inline void Clear(int* out) { *out = 0; }
inline void Clear(UIA_HWND* out) { *out = nullptr; }
inline void Clear(OrientationType* out) { *out = OrientationType_None; }
inline void Clear(DWORD* out) { *out = 0; }
inline void Clear(ToggleState* out) { *out = ToggleState_Off; }
inline void Clear(IUIAutomationElement** out) { *out = nullptr; }
inline void Clear(IUIAutomationElementArray** out) { *out = nullptr; }

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

// A pattern object for the node, or null when the element does not support it.
HRESULT MakePattern(const Node& n, PATTERNID id, bool full, std::shared_ptr<const std::map<PROPERTYID, Var>> cached,
                    Ref<IUnknown>& out);
// A live element with nothing cached.
IUIAutomationElement* MakeElement(Node node);
// The node of one of simwin's elements; null for any other object (or null).
const Node* NodeOf(IUIAutomationElement* element);

}  // namespace simwin::detail::uia
