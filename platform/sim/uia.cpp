// simwin UI Automation client: CUIAutomation over the same windows and standard
// controls as the MSAA proxies, and over custom MSAA trees through the bridge
// (as Windows does for MSAA-only servers), with cache requests.
//
// Like Windows' Win32 proxies these objects live in the caller's process and
// read and change controls by messages to their windows; bridged elements call
// the window's own IAccessible. So a UI thread that stops pumping blocks them.
// Facts and their sources: WINDOWS-ACCESSIBILITY.md section 3 (keys in
// brackets).
#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/acc_internal.h"

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

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

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

enum class Kind { Window, TitleBar, TitleButton, ScrollBar, Msaa };

struct Node {
  Kind kind = Kind::Window;
  HWND hwnd = nullptr;   // the window; for bridged elements the window that
                         // serves the tree
  LONG part = 0;         // OBJID of a non-client part
  Ref<IAccessible> acc;  // the MSAA object behind the element (LegacyIAccessible, the bridge)
  LONG childId = CHILDID_SELF;
  bool custom = false;  // acc is a tree the window serves itself
  std::wstring key;     // a custom tree's element key, for faults
  const void* tree = nullptr;
  int index = -1;
};

void IdentifyCustom(Node& n) {
  if (!n.acc) return;
  n.custom = CustomTreeElement(n.acc.get(), n.childId, n.key, n.tree, n.index);
}

Node WindowNode(HWND hwnd) {
  Node n;
  n.kind = Kind::Window;
  n.hwnd = hwnd;
  // The window may serve its own tree; UI Automation asks it with WM_GETOBJECT
  // as oleacc does.
  AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                             reinterpret_cast<void**>(n.acc.Put()));
  if (n.acc && !IsStandardProxy(n.acc.get())) IdentifyCustom(n);
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
  if (a.kind != Kind::Msaa && a.kind != Kind::TitleButton) return true;
  if (a.tree || b.tree) return a.tree == b.tree && a.index == b.index;
  return a.acc.get() == b.acc.get();
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

// Control types of Win32 windows [U-STD]; top-level windows are Window and
// plain child containers Pane [U-MSAA] [WT-UIA] (the latter inferred). An
// element the bridge cannot type has the property's default, Custom (inferred).
HRESULT ControlType(const Node& n, int& type) {
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
    case Kind::Msaa: {
      LONG role;
      HRESULT hr = AccRole(n, role);
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
  std::wstring cls = Lower(ClassOf(n.hwnd));
  DWORD style = StyleOf(n.hwnd);
  if (cls == L"button") {
    switch (style & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        type = UIA_CheckBoxControlTypeId;
        break;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        type = UIA_RadioButtonControlTypeId;
        break;
      case BS_GROUPBOX:
        type = UIA_GroupControlTypeId;
        break;
      default:
        type = UIA_ButtonControlTypeId;
        break;
    }
    return S_OK;
  }
  if (cls == L"static") {
    type = UIA_TextControlTypeId;
    return S_OK;
  }
  if (cls == L"edit") {
    // [U-STD] lists Document as well; multi-line edits being Document is
    // inferred.
    type = (style & ES_MULTILINE) ? UIA_DocumentControlTypeId : UIA_EditControlTypeId;
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
  if (n.kind == Kind::Window) {
    StdClientName(n.hwnd, name);
    return S_OK;
  }
  if (!n.acc) return S_OK;
  BSTR b = nullptr;
  HRESULT hr = n.acc->get_accName(I4(n.childId), &b);
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
  if (!n.acc) return E_FAIL;
  long x = 0, y = 0, cx = 0, cy = 0;
  HRESULT hr = n.acc->accLocation(&x, &y, &cx, &cy, I4(n.childId));
  if (FAILED(hr)) return hr;
  r = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + cx), static_cast<LONG>(y + cy)};
  return S_OK;
}

HRESULT EnabledOf(const Node& n, bool& enabled) {
  if (n.kind == Kind::Window) {
    // IsEnabled follows IsWindowEnabled (inferred [U-MSAA]).
    enabled = n.hwnd == GetDesktopWindow() || IsWindowEnabled(n.hwnd);
    return S_OK;
  }
  LONG state;
  HRESULT hr = AccState(n, state);
  enabled = !(state & STATE_SYSTEM_UNAVAILABLE);
  return hr;
}

HRESULT OffscreenOf(const Node& n, bool& offscreen) {
  if (n.kind == Kind::Window) {
    offscreen = n.hwnd != GetDesktopWindow() && !IsWindowVisible(n.hwnd);
    return S_OK;
  }
  // INVISIBLE and OFFSCREEN both make an element off screen [U-MSAA][WT-UIA
  // msaa_state_uia_props].
  LONG state;
  HRESULT hr = AccState(n, state);
  offscreen = (state & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) != 0;
  return hr;
}

// The check state as Toggle reads it: BM_GETCHECK for a Win32 box, CHECKED /
// MIXED for a bridged one [U-MSAA].
HRESULT ToggleStateOf(const Node& n, ToggleState& state) {
  if (n.kind == Kind::Window && !n.custom) {
    LRESULT check = SendMessageW(n.hwnd, BM_GETCHECK, 0, 0);
    state = check == BST_CHECKED ? ToggleState_On
                                 : (check == BST_INDETERMINATE ? ToggleState_Indeterminate : ToggleState_Off);
    return S_OK;
  }
  LONG s;
  HRESULT hr = AccState(n, s);
  state = (s & STATE_SYSTEM_MIXED) ? ToggleState_Indeterminate
                                   : ((s & STATE_SYSTEM_CHECKED) ? ToggleState_On : ToggleState_Off);
  return hr;
}

HRESULT SelectedOf(const Node& n, bool& selected) {
  ToggleState s;
  HRESULT hr = ToggleStateOf(n, s);
  selected = s == ToggleState_On;
  return hr;
}

bool Supports(const Node& n, PATTERNID pattern) {
  if (pattern == UIA_LegacyIAccessiblePatternId) return static_cast<bool>(n.acc);
  int type = 0;
  if (FAILED(ControlType(n, type))) return false;
  switch (pattern) {
    case UIA_TogglePatternId:
      return type == UIA_CheckBoxControlTypeId;  // [U-MSAA]; radio buttons have no
                                                 // Toggle [U-TOG]
    case UIA_SelectionItemPatternId:
      return type == UIA_RadioButtonControlTypeId;
    case UIA_InvokePatternId:
      return type == UIA_ButtonControlTypeId;
    default:
      return false;
  }
}

HRESULT AccText(const Node& n, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), VARIANT* out) {
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
      SetText(out, n.kind == Kind::Window ? ClassOf(n.hwnd) : std::wstring());
      return S_OK;
    case UIA_AutomationIdPropertyId: {
      // Win32 proxies use the control id.
      std::wstring id;
      if (n.kind == Kind::Window && (StyleOf(n.hwnd) & WS_CHILD)) id = std::to_wstring(GetWindowLongW(n.hwnd, GWLP_ID));
      SetText(out, id);
      return S_OK;
    }
    case UIA_ItemStatusPropertyId:
      SetText(out, L"");
      return S_OK;
    case UIA_IsControlElementPropertyId:
      // Every element simwin makes is a control element; the title bar too
      // [U-TTL].
      SetBool(out, true);
      return S_OK;
    case UIA_IsContentElementPropertyId: {
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
      LONG state;
      hr = AccState(n, state);
      if (FAILED(hr)) return hr;
      LONG bit = id == UIA_IsKeyboardFocusablePropertyId
                     ? STATE_SYSTEM_FOCUSABLE
                     : (id == UIA_HasKeyboardFocusPropertyId ? STATE_SYSTEM_FOCUSED : STATE_SYSTEM_PROTECTED);
      SetBool(out, (state & bit) != 0);
      return S_OK;
    }
    case UIA_ToggleToggleStatePropertyId: {
      if (!Supports(n, UIA_TogglePatternId)) return S_OK;
      ToggleState s;
      hr = ToggleStateOf(n, s);
      if (SUCCEEDED(hr)) SetI4(out, s);
      return hr;
    }
    case UIA_SelectionItemIsSelectedPropertyId: {
      if (!Supports(n, UIA_SelectionItemPatternId)) return S_OK;
      bool selected = false;
      hr = SelectedOf(n, selected);
      if (SUCCEEDED(hr)) SetBool(out, selected);
      return hr;
    }
    case UIA_IsTogglePatternAvailablePropertyId:
      SetBool(out, Supports(n, UIA_TogglePatternId));
      return S_OK;
    case UIA_IsSelectionItemPatternAvailablePropertyId:
      SetBool(out, Supports(n, UIA_SelectionItemPatternId));
      return S_OK;
    case UIA_IsInvokePatternAvailablePropertyId:
      SetBool(out, Supports(n, UIA_InvokePatternId));
      return S_OK;
    case UIA_IsLegacyIAccessiblePatternAvailablePropertyId:
      SetBool(out, static_cast<bool>(n.acc));
      return S_OK;
    case UIA_LegacyIAccessibleChildIdPropertyId:
      SetI4(out, n.childId);
      return S_OK;
    case UIA_LegacyIAccessibleRolePropertyId:
    case UIA_LegacyIAccessibleStatePropertyId: {
      LONG value = 0;
      hr = id == UIA_LegacyIAccessibleRolePropertyId ? AccRole(n, value) : AccState(n, value);
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
  if (n.custom) {
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

class Condition final : public IUIAutomationCondition, private AccObjectCount {
 public:
  explicit Condition(View view) : view_(view) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IUIAutomationCondition)) return E_NOINTERFACE;
    *ppv = static_cast<IUIAutomationCondition*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
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

class CacheRequest final : public IUIAutomationCacheRequest, private AccObjectCount {
 public:
  CacheRequest() = default;
  explicit CacheRequest(const RequestSettings& settings) : request_(settings) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IUIAutomationCacheRequest)) return E_NOINTERFACE;
    *ppv = static_cast<IUIAutomationCacheRequest*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  STDMETHODIMP AddProperty(PROPERTYID id) override {
    HRESULT hr;
    if (LocalCallFails("AddProperty", nullptr, hr)) return hr;
    if (id < kFirstProperty || id > kLastProperty) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(mu_);
    if (std::find(request_.properties.begin(), request_.properties.end(), id) == request_.properties.end()) {
      request_.properties.push_back(id);
    }
    return S_OK;
  }
  STDMETHODIMP AddPattern(PATTERNID id) override {
    HRESULT hr;
    if (LocalCallFails("AddPattern", nullptr, hr)) return hr;
    if (id < kFirstPattern || id > kLastPattern) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(mu_);
    if (std::find(request_.patterns.begin(), request_.patterns.end(), id) == request_.patterns.end())
      request_.patterns.push_back(id);
    return S_OK;
  }
  STDMETHODIMP Clone(IUIAutomationCacheRequest** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT hr;
    if (LocalCallFails("Clone", nullptr, hr)) return hr;
    *out = new CacheRequest(Snapshot());
    return S_OK;
  }
  STDMETHODIMP get_TreeScope(TreeScope* scope) override {
    if (!scope) return E_POINTER;
    *scope = TreeScope_None;
    HRESULT hr;
    if (LocalCallFails("get_TreeScope", nullptr, hr)) return hr;
    *scope = static_cast<TreeScope>(Snapshot().scope);
    return S_OK;
  }
  STDMETHODIMP put_TreeScope(TreeScope scope) override {
    HRESULT hr;
    if (LocalCallFails("put_TreeScope", nullptr, hr)) return hr;
    // Caching walks down only; a parent or ancestor scope is refused
    // (inferred).
    if (scope == TreeScope_None || (scope & ~TreeScope_Subtree)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(mu_);
    request_.scope = scope;
    return S_OK;
  }
  STDMETHODIMP get_TreeFilter(IUIAutomationCondition** filter) override {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    HRESULT hr;
    if (LocalCallFails("get_TreeFilter", nullptr, hr)) return hr;
    *filter = new Condition(Snapshot().filter);
    return S_OK;
  }
  STDMETHODIMP put_TreeFilter(IUIAutomationCondition* filter) override {
    HRESULT hr;
    if (LocalCallFails("put_TreeFilter", nullptr, hr)) return hr;
    if (!filter) return E_POINTER;
    auto* ours = dynamic_cast<Condition*>(filter);
    if (!ours) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(mu_);
    request_.filter = ours->view();
    return S_OK;
  }
  STDMETHODIMP get_AutomationElementMode(AutomationElementMode* mode) override {
    if (!mode) return E_POINTER;
    *mode = AutomationElementMode_None;
    HRESULT hr;
    if (LocalCallFails("get_AutomationElementMode", nullptr, hr)) return hr;
    *mode = Snapshot().full ? AutomationElementMode_Full : AutomationElementMode_None;
    return S_OK;
  }
  STDMETHODIMP put_AutomationElementMode(AutomationElementMode mode) override {
    HRESULT hr;
    if (LocalCallFails("put_AutomationElementMode", nullptr, hr)) return hr;
    if (mode != AutomationElementMode_None && mode != AutomationElementMode_Full) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(mu_);
    request_.full = mode == AutomationElementMode_Full;
    return S_OK;
  }

  RequestSettings Snapshot() {
    std::lock_guard<std::mutex> guard(mu_);
    return request_;
  }

 private:
  ~CacheRequest() = default;
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

class ElementArray final : public IUIAutomationElementArray, private AccObjectCount {
 public:
  explicit ElementArray(std::vector<Ref<IUIAutomationElement>> items) : items_(std::move(items)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IUIAutomationElementArray)) return E_NOINTERFACE;
    *ppv = static_cast<IUIAutomationElementArray*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
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

// Base of the pattern objects: reference counting, the element they act on and
// the cached values they may answer.
template <class Interface>
class PatternBase : public Interface, private AccObjectCount {
 public:
  PatternBase(Node node, bool full, std::shared_ptr<const std::map<PROPERTYID, Var>> cached)
      : node_(std::move(node)), full_(full), cached_(std::move(cached)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(Interface)) return E_NOINTERFACE;
    *ppv = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

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
    HRESULT hr = Live();
    if (SUCCEEDED(hr)) hr = RequireEnabled();
    return SUCCEEDED(hr) ? Click(true) : hr;
  }
  STDMETHODIMP get_CurrentToggleState(ToggleState* out) override {
    if (!out) return E_POINTER;
    *out = ToggleState_Off;
    UIA_ENTER("get_CurrentToggleState");
    HRESULT hr = Live();
    return SUCCEEDED(hr) ? ToggleStateOf(node_, *out) : hr;
  }
  STDMETHODIMP get_CachedToggleState(ToggleState* out) override {
    if (!out) return E_POINTER;
    *out = ToggleState_Off;
    UIA_ENTER("get_CachedToggleState");
    Var v;
    HRESULT hr = Cached(UIA_ToggleToggleStatePropertyId, &v.v);
    if (SUCCEEDED(hr) && v.v.vt == VT_I4) *out = static_cast<ToggleState>(v.v.lVal);
    return hr;
  }
};

class SelectionItemPattern final : public PatternBase<IUIAutomationSelectionItemPattern> {
 public:
  using PatternBase::PatternBase;
  // Selecting a selected item does nothing [ISIP]; otherwise a click, which
  // checks an auto radio button and clears its group [B-STY].
  STDMETHODIMP Select() override {
    UIA_ENTER("Select");
    HRESULT hr = Live();
    if (SUCCEEDED(hr)) hr = RequireEnabled();
    if (FAILED(hr)) return hr;
    bool selected = false;
    hr = SelectedOf(node_, selected);
    if (FAILED(hr) || selected) return hr;
    return Click(true);
  }
  STDMETHODIMP AddToSelection() override {
    UIA_ENTER("AddToSelection");
    return E_NOTIMPL;
  }
  STDMETHODIMP RemoveFromSelection() override {
    UIA_ENTER("RemoveFromSelection");
    return E_NOTIMPL;
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
  STDMETHODIMP
  get_CurrentSelectionContainer(IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("get_CurrentSelectionContainer");
    return E_NOTIMPL;
  }
  STDMETHODIMP get_CachedIsSelected(BOOL* out) override {
    if (!out) return E_POINTER;
    *out = FALSE;
    UIA_ENTER("get_CachedIsSelected");
    Var v;
    HRESULT hr = Cached(UIA_SelectionItemIsSelectedPropertyId, &v.v);
    if (SUCCEEDED(hr) && v.v.vt == VT_BOOL) *out = v.v.boolVal != 0;
    return hr;
  }
  STDMETHODIMP
  get_CachedSelectionContainer(IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("get_CachedSelectionContainer");
    return E_NOTIMPL;
  }
};

class InvokePattern final : public PatternBase<IUIAutomationInvokePattern> {
 public:
  using PatternBase::PatternBase;
  // Invoke returns at once [IIP]: the click is posted.
  STDMETHODIMP Invoke() override {
    UIA_ENTER("Invoke");
    HRESULT hr = Live();
    if (SUCCEEDED(hr)) hr = RequireEnabled();
    return SUCCEEDED(hr) ? Click(false) : hr;
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
  STDMETHODIMP get_CurrentName(BSTR* out) override {
    return CurrentText("get_CurrentName", UIA_LegacyIAccessibleNamePropertyId, out);
  }
  STDMETHODIMP get_CurrentValue(BSTR* out) override {
    return CurrentText("get_CurrentValue", UIA_LegacyIAccessibleValuePropertyId, out);
  }
  STDMETHODIMP get_CurrentDescription(BSTR* out) override {
    return CurrentText("get_CurrentDescription", UIA_LegacyIAccessibleDescriptionPropertyId, out);
  }
  STDMETHODIMP get_CurrentRole(DWORD* out) override {
    return CurrentNumber("get_CurrentRole", UIA_LegacyIAccessibleRolePropertyId, out);
  }
  STDMETHODIMP get_CurrentState(DWORD* out) override {
    return CurrentNumber("get_CurrentState", UIA_LegacyIAccessibleStatePropertyId, out);
  }
  STDMETHODIMP get_CurrentHelp(BSTR* out) override {
    return CurrentText("get_CurrentHelp", UIA_LegacyIAccessibleHelpPropertyId, out);
  }
  STDMETHODIMP get_CurrentKeyboardShortcut(BSTR* out) override {
    return CurrentText("get_CurrentKeyboardShortcut", UIA_LegacyIAccessibleKeyboardShortcutPropertyId, out);
  }
  STDMETHODIMP GetCurrentSelection(IUIAutomationElementArray** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCurrentSelection");
    return E_NOTIMPL;
  }
  STDMETHODIMP get_CurrentDefaultAction(BSTR* out) override {
    return CurrentText("get_CurrentDefaultAction", UIA_LegacyIAccessibleDefaultActionPropertyId, out);
  }
  STDMETHODIMP get_CachedChildId(int* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    UIA_ENTER("get_CachedChildId");
    Var v;
    HRESULT hr = Cached(UIA_LegacyIAccessibleChildIdPropertyId, &v.v);
    if (SUCCEEDED(hr)) *out = v.v.lVal;
    return hr;
  }
  STDMETHODIMP get_CachedName(BSTR* out) override {
    return CachedText("get_CachedName", UIA_LegacyIAccessibleNamePropertyId, out);
  }
  STDMETHODIMP get_CachedValue(BSTR* out) override {
    return CachedText("get_CachedValue", UIA_LegacyIAccessibleValuePropertyId, out);
  }
  STDMETHODIMP get_CachedDescription(BSTR* out) override {
    return CachedText("get_CachedDescription", UIA_LegacyIAccessibleDescriptionPropertyId, out);
  }
  STDMETHODIMP get_CachedRole(DWORD* out) override {
    return CachedNumber("get_CachedRole", UIA_LegacyIAccessibleRolePropertyId, out);
  }
  STDMETHODIMP get_CachedState(DWORD* out) override {
    return CachedNumber("get_CachedState", UIA_LegacyIAccessibleStatePropertyId, out);
  }
  STDMETHODIMP get_CachedHelp(BSTR* out) override {
    return CachedText("get_CachedHelp", UIA_LegacyIAccessibleHelpPropertyId, out);
  }
  STDMETHODIMP get_CachedKeyboardShortcut(BSTR* out) override {
    return CachedText("get_CachedKeyboardShortcut", UIA_LegacyIAccessibleKeyboardShortcutPropertyId, out);
  }
  STDMETHODIMP GetCachedSelection(IUIAutomationElementArray** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedSelection");
    return E_NOTIMPL;
  }
  STDMETHODIMP get_CachedDefaultAction(BSTR* out) override {
    return CachedText("get_CachedDefaultAction", UIA_LegacyIAccessibleDefaultActionPropertyId, out);
  }
  STDMETHODIMP GetIAccessible(IAccessible** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetIAccessible");
    *out = Ref<IAccessible>(node_.acc).Detach();
    return S_OK;
  }

 private:
  HRESULT CurrentText(const char* method, PROPERTYID id, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER(method);
    HRESULT hr = Live();
    if (FAILED(hr)) return hr;
    VARIANT v;
    hr = ReadProperty(node_, id, &v);
    if (SUCCEEDED(hr) && v.vt == VT_BSTR) *out = v.bstrVal;
    return hr;
  }
  HRESULT CurrentNumber(const char* method, PROPERTYID id, DWORD* out) {
    if (!out) return E_POINTER;
    *out = 0;
    UIA_ENTER(method);
    HRESULT hr = Live();
    if (FAILED(hr)) return hr;
    Var v;
    hr = ReadProperty(node_, id, &v.v);
    if (SUCCEEDED(hr) && v.v.vt == VT_I4) *out = static_cast<DWORD>(v.v.lVal);
    return hr;
  }
  HRESULT CachedText(const char* method, PROPERTYID id, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER(method);
    VARIANT v;
    HRESULT hr = Cached(id, &v);
    if (SUCCEEDED(hr) && v.vt == VT_BSTR) {
      *out = v.bstrVal;
    } else {
      VariantClear(&v);
    }
    return hr;
  }
  HRESULT CachedNumber(const char* method, PROPERTYID id, DWORD* out) {
    if (!out) return E_POINTER;
    *out = 0;
    UIA_ENTER(method);
    Var v;
    HRESULT hr = Cached(id, &v.v);
    if (SUCCEEDED(hr) && v.v.vt == VT_I4) *out = static_cast<DWORD>(v.v.lVal);
    return hr;
  }
};

// A pattern object for the node, or null when the element does not support it.
Ref<IUnknown> MakePattern(const Node& n, PATTERNID id, bool full,
                          std::shared_ptr<const std::map<PROPERTYID, Var>> cached) {
  if (!Supports(n, id)) return {};
  switch (id) {
    case UIA_TogglePatternId:
      return Ref<IUnknown>::Adopt(new TogglePattern(n, full, std::move(cached)));
    case UIA_SelectionItemPatternId:
      return Ref<IUnknown>::Adopt(new SelectionItemPattern(n, full, std::move(cached)));
    case UIA_InvokePatternId:
      return Ref<IUnknown>::Adopt(new InvokePattern(n, full, std::move(cached)));
    case UIA_LegacyIAccessiblePatternId:
      return Ref<IUnknown>::Adopt(new LegacyPattern(n, full, std::move(cached)));
    default:
      return {};
  }
}

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
void Clear(BSTR* out) { *out = nullptr; }
void Clear(int* out) { *out = 0; }
void Clear(UIA_HWND* out) { *out = nullptr; }
void Clear(OrientationType* out) { *out = OrientationType_None; }
void Clear(IUIAutomationElement** out) { *out = nullptr; }
void Clear(IUIAutomationElementArray** out) { *out = nullptr; }

class Element final : public IUIAutomationElement, private AccObjectCount {
 public:
  Element(Node node, bool full, std::shared_ptr<const Cache> cache,
          std::shared_ptr<const std::map<PROPERTYID, Var>> props)
      : node_(std::move(node)), full_(full), cache_(std::move(cache)), props_(std::move(props)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IUIAutomationElement)) return E_NOINTERFACE;
    *ppv = static_cast<IUIAutomationElement*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

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

  STDMETHODIMP get_CurrentProcessId(int* r) override {
    return Current("get_CurrentProcessId", UIA_ProcessIdPropertyId, r);
  }
  STDMETHODIMP get_CurrentControlType(CONTROLTYPEID* r) override {
    return Current("get_CurrentControlType", UIA_ControlTypePropertyId, r);
  }
  STDMETHODIMP get_CurrentLocalizedControlType(BSTR* r) override {
    return Current("get_CurrentLocalizedControlType", UIA_LocalizedControlTypePropertyId, r);
  }
  STDMETHODIMP get_CurrentName(BSTR* r) override { return Current("get_CurrentName", UIA_NamePropertyId, r); }
  STDMETHODIMP get_CurrentAcceleratorKey(BSTR* r) override {
    return Current("get_CurrentAcceleratorKey", UIA_AcceleratorKeyPropertyId, r);
  }
  STDMETHODIMP get_CurrentAccessKey(BSTR* r) override {
    return Current("get_CurrentAccessKey", UIA_AccessKeyPropertyId, r);
  }
  STDMETHODIMP get_CurrentHasKeyboardFocus(BOOL* r) override {
    return Current("get_CurrentHasKeyboardFocus", UIA_HasKeyboardFocusPropertyId, r);
  }
  STDMETHODIMP get_CurrentIsKeyboardFocusable(BOOL* r) override {
    return Current("get_CurrentIsKeyboardFocusable", UIA_IsKeyboardFocusablePropertyId, r);
  }
  STDMETHODIMP get_CurrentIsEnabled(BOOL* r) override {
    return Current("get_CurrentIsEnabled", UIA_IsEnabledPropertyId, r);
  }
  STDMETHODIMP get_CurrentAutomationId(BSTR* r) override {
    return Current("get_CurrentAutomationId", UIA_AutomationIdPropertyId, r);
  }
  STDMETHODIMP get_CurrentClassName(BSTR* r) override {
    return Current("get_CurrentClassName", UIA_ClassNamePropertyId, r);
  }
  STDMETHODIMP get_CurrentHelpText(BSTR* r) override {
    return Current("get_CurrentHelpText", UIA_HelpTextPropertyId, r);
  }
  STDMETHODIMP get_CurrentCulture(int* r) override { return Current("get_CurrentCulture", UIA_CulturePropertyId, r); }
  STDMETHODIMP get_CurrentIsControlElement(BOOL* r) override {
    return Current("get_CurrentIsControlElement", UIA_IsControlElementPropertyId, r);
  }
  STDMETHODIMP get_CurrentIsContentElement(BOOL* r) override {
    return Current("get_CurrentIsContentElement", UIA_IsContentElementPropertyId, r);
  }
  STDMETHODIMP get_CurrentIsPassword(BOOL* r) override {
    return Current("get_CurrentIsPassword", UIA_IsPasswordPropertyId, r);
  }
  STDMETHODIMP get_CurrentNativeWindowHandle(UIA_HWND* r) override {
    return Current("get_CurrentNativeWindowHandle", UIA_NativeWindowHandlePropertyId, r);
  }
  STDMETHODIMP get_CurrentItemType(BSTR* r) override {
    return Current("get_CurrentItemType", UIA_ItemTypePropertyId, r);
  }
  STDMETHODIMP get_CurrentIsOffscreen(BOOL* r) override {
    return Current("get_CurrentIsOffscreen", UIA_IsOffscreenPropertyId, r);
  }
  STDMETHODIMP get_CurrentOrientation(OrientationType* r) override {
    return Current("get_CurrentOrientation", UIA_OrientationPropertyId, r);
  }
  STDMETHODIMP get_CurrentFrameworkId(BSTR* r) override {
    return Current("get_CurrentFrameworkId", UIA_FrameworkIdPropertyId, r);
  }
  STDMETHODIMP get_CurrentIsRequiredForForm(BOOL* r) override {
    return Current("get_CurrentIsRequiredForForm", UIA_IsRequiredForFormPropertyId, r);
  }
  STDMETHODIMP get_CurrentItemStatus(BSTR* r) override {
    return Current("get_CurrentItemStatus", UIA_ItemStatusPropertyId, r);
  }
  STDMETHODIMP get_CurrentBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CurrentBoundingRectangle");
    if (!full_) return kNotCachedHr;
    if (!Alive(node_)) return kGoneHr;
    return RectOf(node_, *r);
  }
  STDMETHODIMP get_CurrentLabeledBy(IUIAutomationElement** r) override { return NotImpl("get_CurrentLabeledBy", r); }
  STDMETHODIMP get_CurrentAriaRole(BSTR* r) override { return NotImpl("get_CurrentAriaRole", r); }
  STDMETHODIMP get_CurrentAriaProperties(BSTR* r) override { return NotImpl("get_CurrentAriaProperties", r); }
  STDMETHODIMP get_CurrentIsDataValidForForm(BOOL* r) override { return NotImpl("get_CurrentIsDataValidForForm", r); }
  STDMETHODIMP
  get_CurrentControllerFor(IUIAutomationElementArray** r) override { return NotImpl("get_CurrentControllerFor", r); }
  STDMETHODIMP get_CurrentDescribedBy(IUIAutomationElementArray** r) override {
    return NotImpl("get_CurrentDescribedBy", r);
  }
  STDMETHODIMP get_CurrentFlowsTo(IUIAutomationElementArray** r) override { return NotImpl("get_CurrentFlowsTo", r); }
  STDMETHODIMP get_CurrentProviderDescription(BSTR* r) override { return NotImpl("get_CurrentProviderDescription", r); }

  STDMETHODIMP get_CachedProcessId(int* r) override {
    return CachedAs("get_CachedProcessId", UIA_ProcessIdPropertyId, r);
  }
  STDMETHODIMP get_CachedControlType(CONTROLTYPEID* r) override {
    return CachedAs("get_CachedControlType", UIA_ControlTypePropertyId, r);
  }
  STDMETHODIMP get_CachedLocalizedControlType(BSTR* r) override {
    return CachedAs("get_CachedLocalizedControlType", UIA_LocalizedControlTypePropertyId, r);
  }
  STDMETHODIMP get_CachedName(BSTR* r) override { return CachedAs("get_CachedName", UIA_NamePropertyId, r); }
  STDMETHODIMP get_CachedAcceleratorKey(BSTR* r) override {
    return CachedAs("get_CachedAcceleratorKey", UIA_AcceleratorKeyPropertyId, r);
  }
  STDMETHODIMP get_CachedAccessKey(BSTR* r) override {
    return CachedAs("get_CachedAccessKey", UIA_AccessKeyPropertyId, r);
  }
  STDMETHODIMP get_CachedHasKeyboardFocus(BOOL* r) override {
    return CachedAs("get_CachedHasKeyboardFocus", UIA_HasKeyboardFocusPropertyId, r);
  }
  STDMETHODIMP get_CachedIsKeyboardFocusable(BOOL* r) override {
    return CachedAs("get_CachedIsKeyboardFocusable", UIA_IsKeyboardFocusablePropertyId, r);
  }
  STDMETHODIMP get_CachedIsEnabled(BOOL* r) override {
    return CachedAs("get_CachedIsEnabled", UIA_IsEnabledPropertyId, r);
  }
  STDMETHODIMP get_CachedAutomationId(BSTR* r) override {
    return CachedAs("get_CachedAutomationId", UIA_AutomationIdPropertyId, r);
  }
  STDMETHODIMP get_CachedClassName(BSTR* r) override {
    return CachedAs("get_CachedClassName", UIA_ClassNamePropertyId, r);
  }
  STDMETHODIMP get_CachedHelpText(BSTR* r) override {
    return CachedAs("get_CachedHelpText", UIA_HelpTextPropertyId, r);
  }
  STDMETHODIMP get_CachedCulture(int* r) override { return CachedAs("get_CachedCulture", UIA_CulturePropertyId, r); }
  STDMETHODIMP get_CachedIsControlElement(BOOL* r) override {
    return CachedAs("get_CachedIsControlElement", UIA_IsControlElementPropertyId, r);
  }
  STDMETHODIMP get_CachedIsContentElement(BOOL* r) override {
    return CachedAs("get_CachedIsContentElement", UIA_IsContentElementPropertyId, r);
  }
  STDMETHODIMP get_CachedIsPassword(BOOL* r) override {
    return CachedAs("get_CachedIsPassword", UIA_IsPasswordPropertyId, r);
  }
  STDMETHODIMP get_CachedNativeWindowHandle(UIA_HWND* r) override {
    return CachedAs("get_CachedNativeWindowHandle", UIA_NativeWindowHandlePropertyId, r);
  }
  STDMETHODIMP get_CachedItemType(BSTR* r) override {
    return CachedAs("get_CachedItemType", UIA_ItemTypePropertyId, r);
  }
  STDMETHODIMP get_CachedIsOffscreen(BOOL* r) override {
    return CachedAs("get_CachedIsOffscreen", UIA_IsOffscreenPropertyId, r);
  }
  STDMETHODIMP get_CachedOrientation(OrientationType* r) override {
    return CachedAs("get_CachedOrientation", UIA_OrientationPropertyId, r);
  }
  STDMETHODIMP get_CachedFrameworkId(BSTR* r) override {
    return CachedAs("get_CachedFrameworkId", UIA_FrameworkIdPropertyId, r);
  }
  STDMETHODIMP get_CachedIsRequiredForForm(BOOL* r) override {
    return CachedAs("get_CachedIsRequiredForForm", UIA_IsRequiredForFormPropertyId, r);
  }
  STDMETHODIMP get_CachedItemStatus(BSTR* r) override {
    return CachedAs("get_CachedItemStatus", UIA_ItemStatusPropertyId, r);
  }
  STDMETHODIMP get_CachedBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CachedBoundingRectangle");
    if (!cache_ || !cache_->rect) return kNotCachedHr;
    *r = *cache_->rect;
    return S_OK;
  }
  STDMETHODIMP get_CachedLabeledBy(IUIAutomationElement** r) override { return NotImpl("get_CachedLabeledBy", r); }
  STDMETHODIMP get_CachedAriaRole(BSTR* r) override { return NotImpl("get_CachedAriaRole", r); }
  STDMETHODIMP get_CachedAriaProperties(BSTR* r) override { return NotImpl("get_CachedAriaProperties", r); }
  STDMETHODIMP get_CachedIsDataValidForForm(BOOL* r) override { return NotImpl("get_CachedIsDataValidForForm", r); }
  STDMETHODIMP get_CachedControllerFor(IUIAutomationElementArray** r) override {
    return NotImpl("get_CachedControllerFor", r);
  }
  STDMETHODIMP get_CachedDescribedBy(IUIAutomationElementArray** r) override {
    return NotImpl("get_CachedDescribedBy", r);
  }
  STDMETHODIMP get_CachedFlowsTo(IUIAutomationElementArray** r) override { return NotImpl("get_CachedFlowsTo", r); }
  STDMETHODIMP get_CachedProviderDescription(BSTR* r) override { return NotImpl("get_CachedProviderDescription", r); }

  STDMETHODIMP GetClickablePoint(POINT* clickable, BOOL* got) override {
    if (clickable) *clickable = POINT{};
    if (got) *got = FALSE;
    UIA_ENTER("GetClickablePoint");
    return E_NOTIMPL;
  }

 private:
  ~Element() = default;

  template <class T>
  HRESULT Current(const char* method, PROPERTYID id, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    if (!full_) return kNotCachedHr;
    Var v;
    HRESULT hr = ReadProperty(node_, id, &v.v);
    if (SUCCEEDED(hr)) Take(v.v, out);
    return hr;
  }
  template <class T>
  HRESULT CachedAs(const char* method, PROPERTYID id, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    Var v;
    HRESULT hr = CachedValue(id, &v.v);
    if (SUCCEEDED(hr)) Take(v.v, out);
    return hr;
  }
  template <class T>
  HRESULT NotImpl(const char* method, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    return E_NOTIMPL;
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
    out = MakePattern(node_, id, true, nullptr);
    return S_OK;
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
    for (PATTERNID id : settings.patterns) cache->patterns[id] = MakePattern(n, id, settings.full, props);
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

class Automation final : public IUIAutomation, private AccObjectCount {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(IUIAutomation)) return E_NOINTERFACE;
    *ppv = static_cast<IUIAutomation*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

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
