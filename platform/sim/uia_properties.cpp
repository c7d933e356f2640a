// simwin UI Automation: an element's properties, read live from its provider, its MSAA object or its window.
#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

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

}  // namespace

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

namespace {

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

// INVISIBLE and OFFSCREEN both make an element off screen [U-MSAA][WT-UIA
// msaa_state_uia_props].
HRESULT OffscreenOf(const Node& n, bool& offscreen) {
  return FlagOf(
      n, UIA_IsOffscreenPropertyId, [&] { return n.hwnd != GetDesktopWindow() && !IsWindowVisible(n.hwnd); },
      STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN, true, offscreen);
}

}  // namespace

// IsEnabled follows IsWindowEnabled (inferred [U-MSAA]).
HRESULT EnabledOf(const Node& n, bool& enabled) {
  return FlagOf(
      n, UIA_IsEnabledPropertyId, [&] { return n.hwnd == GetDesktopWindow() || IsWindowEnabled(n.hwnd); },
      STATE_SYSTEM_UNAVAILABLE, false, enabled);
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

namespace {

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

}  // namespace

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

}  // namespace simwin::detail::uia
