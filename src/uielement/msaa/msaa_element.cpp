#include "uielement/msaa/msaa_element.h"

#include <cwchar>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "common/text.h"
#include "common/trace.h"
#include "uielement/uia_rectangles.h"

namespace installation_assistant {
namespace {

struct RoleRow {
  LONG role;
  ElementType type;
};

constexpr RoleRow kRoleTable[] = {
    {ROLE_SYSTEM_PUSHBUTTON, ElementType::Button},     {ROLE_SYSTEM_CHECKBUTTON, ElementType::CheckBox},
    {ROLE_SYSTEM_COMBOBOX, ElementType::ComboBox},     {ROLE_SYSTEM_CLIENT, ElementType::Pane},
    {ROLE_SYSTEM_DOCUMENT, ElementType::Document},     {ROLE_SYSTEM_TEXT, ElementType::Edit},
    {ROLE_SYSTEM_GROUPING, ElementType::Group},        {ROLE_SYSTEM_COLUMNHEADER, ElementType::HeaderItem},
    {ROLE_SYSTEM_LINK, ElementType::Hyperlink},        {ROLE_SYSTEM_GRAPHIC, ElementType::Image},
    {ROLE_SYSTEM_LIST, ElementType::List},             {ROLE_SYSTEM_LISTITEM, ElementType::ListItem},
    {ROLE_SYSTEM_MENUPOPUP, ElementType::Menu},        {ROLE_SYSTEM_MENUBAR, ElementType::MenuBar},
    {ROLE_SYSTEM_MENUITEM, ElementType::MenuItem},     {ROLE_SYSTEM_PANE, ElementType::Pane},
    {ROLE_SYSTEM_PROGRESSBAR, ElementType::ProgressBar}, {ROLE_SYSTEM_RADIOBUTTON, ElementType::RadioButton},
    {ROLE_SYSTEM_SCROLLBAR, ElementType::ScrollBar},   {ROLE_SYSTEM_SEPARATOR, ElementType::Separator},
    {ROLE_SYSTEM_SLIDER, ElementType::Slider},         {ROLE_SYSTEM_SPINBUTTON, ElementType::Spinner},
    {ROLE_SYSTEM_SPLITBUTTON, ElementType::SplitButton}, {ROLE_SYSTEM_STATUSBAR, ElementType::StatusBar},
    {ROLE_SYSTEM_PAGETABLIST, ElementType::Tab},       {ROLE_SYSTEM_PAGETAB, ElementType::TabItem},
    {ROLE_SYSTEM_TABLE, ElementType::Table},           {ROLE_SYSTEM_STATICTEXT, ElementType::Text},
    {ROLE_SYSTEM_INDICATOR, ElementType::Thumb},       {ROLE_SYSTEM_TITLEBAR, ElementType::TitleBar},
    {ROLE_SYSTEM_TOOLBAR, ElementType::ToolBar},       {ROLE_SYSTEM_TOOLTIP, ElementType::ToolTip},
    {ROLE_SYSTEM_OUTLINE, ElementType::Tree},          {ROLE_SYSTEM_OUTLINEITEM, ElementType::TreeItem},
    {ROLE_SYSTEM_WINDOW, ElementType::Window},         {ROLE_SYSTEM_DIALOG, ElementType::Pane},
    {ROLE_SYSTEM_PROPERTYPAGE, ElementType::Pane},
};
static_assert(sizeof(kRoleTable) / sizeof(kRoleTable[0]) == 37);

constexpr LONG kStateMask = 0x3FFFFFFF;

void ThrowIfFailed(HRESULT result) {
  if (FAILED(result)) throw _com_error(result);
}

// Roles, states and child ids come as VARIANTs; servers differ in the integer type they
// use, and a custom role may even be a string.
LONG VariantToLong(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
      return 0;
    case VT_I4:
    case VT_INT:
      return value.lVal;
    case VT_UI4:
    case VT_UINT:
      return static_cast<LONG>(value.ulVal);
    case VT_I2:
      return value.iVal;
    case VT_UI2:
      return value.uiVal;
    case VT_I1:
      return value.cVal;
    case VT_UI1:
      return value.bVal;
    case VT_BOOL:
      return value.boolVal ? -1 : 0;
    case VT_BSTR: {
      if (value.bstrVal == nullptr) return 0;
      const std::wstring text(value.bstrVal, SysStringLen(value.bstrVal));
      wchar_t* end = nullptr;
      const long long number = std::wcstoll(text.c_str(), &end, 10);
      if (!text.empty() && end != nullptr && *end == L'\0') return static_cast<LONG>(number);
      throw _com_error(DISP_E_TYPEMISMATCH);
    }
    default:
      throw _com_error(DISP_E_TYPEMISMATCH);
  }
}


ComPtr<IAccessible> AccessibleFromDispatch(IDispatch* dispatch) {
  if (dispatch == nullptr) throw _com_error(E_POINTER);
  ComPtr<IAccessible> accessible;
  ThrowIfFailed(dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(accessible.Receive())));
  if (!accessible) throw _com_error(E_POINTER);
  return accessible;
}

std::string HandleText(HWND window) {
  std::ostringstream text;
  text << std::hex << std::uppercase << std::setfill('0') << std::setw(8) << reinterpret_cast<std::uintptr_t>(window);
  return text.str();
}

}  // namespace

ElementType ElementTypeFromRole(LONG role) {
  for (const RoleRow& row : kRoleTable) {
    if (row.role == role) return row.type;
  }
  return ElementType::Unknown;
}

MSAAUIElement::MSAAUIElement(ComPtr<IAccessible> object, LONG childId, std::shared_ptr<TreeBounds> bounds)
    : object_(std::move(object)), childId_(childId), bounds_(std::move(bounds)) {
  if (!object_) throw _com_error(E_POINTER);
  if (!bounds_) bounds_ = std::make_shared<TreeBounds>();
}

LONG MSAAUIElement::Role() {
  if (role_.IsNone()) {
    UniqueVariant role;
    ThrowIfFailed(object_->get_accRole(Self(), role.Receive()));
    role_ = Option<LONG>::Some(VariantToLong(role.Get()));
  }
  return role_.Get();
}

LONG MSAAUIElement::LiveState() {
  UniqueVariant state;
  ThrowIfFailed(object_->get_accState(Self(), state.Receive()));
  return VariantToLong(state.Get()) & kStateMask;
}

LONG MSAAUIElement::CachedState() {
  if (state_.IsNone()) state_ = Option<LONG>::Some(LiveState());
  return state_.Get();
}

Option<std::string> MSAAUIElement::Name() {
  if (name_.IsNone()) {
    UniqueBstr name;
    ThrowIfFailed(object_->get_accName(Self(), name.Receive()));
    name_ = Option<Option<std::string>>::Some(
        name.Get() == nullptr
            ? Option<std::string>::None()
            : Option<std::string>::Some(WideToUtf8(std::wstring_view(name.Get(), SysStringLen(name.Get())))));
  }
  return name_.Get();
}

HWND MSAAUIElement::WindowHandle() {
  if (windowHandle_.IsNone()) {
    HWND window = nullptr;
    ThrowIfFailed(WindowFromAccessibleObject(object_.Get(), &window));
    windowHandle_ = Option<HWND>::Some(window);
  }
  return windowHandle_.Get();
}

std::vector<MSAAUIElement>& MSAAUIElement::RawChildren() {
  if (rawChildren_.IsSome()) return rawChildren_.Get();
  std::vector<MSAAUIElement> children;
  if (childId_ == CHILDID_SELF) {
    long count = 0;
    ThrowIfFailed(object_->get_accChildCount(&count));
    if (count > kMaxChildrenPerElement) {
      bounds_->ReportChildren(count);
      count = kMaxChildrenPerElement;
    }
    if (count > 0) {
      // The entries own references and strings.
      std::vector<UniqueVariant> items(static_cast<std::size_t>(count));
      LONG obtained = 0;
      ThrowIfFailed(
          AccessibleChildren(object_.Get(), 0, static_cast<LONG>(count), VariantArrayData(items), &obtained));
      if (obtained > count) obtained = static_cast<LONG>(count);
      children.reserve(static_cast<std::size_t>(obtained > 0 ? obtained : 0));
      for (LONG i = 0; i < obtained; ++i) {
        const VARIANT& item = items[static_cast<std::size_t>(i)].Get();
        if (item.vt == VT_DISPATCH) {
          children.emplace_back(AccessibleFromDispatch(item.pdispVal), CHILDID_SELF, bounds_);
        } else {
          children.emplace_back(object_, VariantToLong(item), bounds_);
        }
      }
    }
  }
  rawChildren_ = Option<std::vector<MSAAUIElement>>::Some(std::move(children));
  return rawChildren_.Get();
}

Option<MSAAUIElement> MSAAUIElement::ParentObject() {
  ComPtr<IDispatch> parent;
  const HRESULT result = object_->get_accParent(parent.Receive());
  ThrowIfFailed(result);
  if (result == S_FALSE || !parent) return Option<MSAAUIElement>::None();
  return Option<MSAAUIElement>::Some(MSAAUIElement(AccessibleFromDispatch(parent.Get()), CHILDID_SELF, bounds_));
}

RECT MSAAUIElement::Location() {
  long left = 0, top = 0, width = 0, height = 0;
  if (FAILED(object_->accLocation(&left, &top, &width, &height, Self()))) return RECT{0, 0, 0, 0};
  return RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + width),
              static_cast<LONG>(top + height)};
}

HRESULT MSAAUIElement::DoDefaultAction() { return object_->accDoDefaultAction(Self()); }

void MSAAUIElement::Refresh() {
  rawChildren_ = {};
  windowHandle_ = {};
  role_ = {};
  name_ = {};
  state_ = {};
}

bool MSAAUIElement::HasSingleVisibleChildOf(HWND window) {
  MSAAUIElement* visible = nullptr;
  for (MSAAUIElement& child : RawChildren()) {
    if (child.CachedState() & STATE_SYSTEM_INVISIBLE) continue;
    if (visible != nullptr) return false;
    visible = &child;
  }
  return visible != nullptr && visible->WindowHandle() == window;
}

bool MSAAUIElement::IsInteresting() {
  if (!IsKeptElementType(Type())) return false;
  return !(Role() == ROLE_SYSTEM_WINDOW && HasSingleVisibleChildOf(WindowHandle()));
}

Option<MSAAUIElement> MSAAUIElement::ClientOfBareChildWindow(HWND parent) {
  if (childId_ != CHILDID_SELF || parent == nullptr) return Option<MSAAUIElement>::None();
  // A standard client object lists each child window by its window object. The handle comes from the object
  // itself (IOleWindow), not from a call into the installer.
  const HWND window = WindowHandle();
  if (window == nullptr || window == parent || GetAncestor(window, GA_PARENT) != parent) {
    return Option<MSAAUIElement>::None();
  }
  // The window object's seven children are the system menu, title bar, menu bar, client, two scroll bars and
  // size grip; all but the client are invisible for a child window without a caption or scroll bars, and a child
  // window has no menu ("Window" and "Size Grip" in Microsoft Learn's MSAA UI element reference).
  const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  if ((style & WS_CHILD) == 0 || (style & WS_CAPTION) == WS_CAPTION || (style & (WS_VSCROLL | WS_HSCROLL)) != 0) {
    return Option<MSAAUIElement>::None();
  }
  ComPtr<IAccessible> client;
  ThrowIfFailed(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(client.Receive())));
  if (!client) throw _com_error(E_POINTER);
  MSAAUIElement element(std::move(client), CHILDID_SELF, bounds_);
  element.windowHandle_ = Option<HWND>::Some(window);
  element.clientOf_ = window;
  return Option<MSAAUIElement>::Some(std::move(element));
}

HWND MSAAUIElement::LocationWindow() {
  const HWND window = WindowHandle();
  MSAAUIElement current = *this;
  Option<MSAAUIElement> parent = current.ParentObject();
  for (int steps = 0; parent.IsSome(); ++steps) {
    if (steps == kMaxParentWalkSteps) {
      bounds_->ReportParentWalk();
      break;
    }
    MSAAUIElement& candidate = parent.Get();
    const bool skipped = !IsKeptElementType(candidate.Type()) ||
                         (candidate.Role() == ROLE_SYSTEM_WINDOW &&
                          candidate.HasSingleVisibleChildOf(current.WindowHandle()));
    if (!skipped) {
      if (candidate.WindowHandle() != window) break;  // the handle is this element's alone
      throw std::logic_error("Cannot use hwnd " + HandleText(window) + " to extract location ");
    }
    current = std::move(candidate);
    parent = current.ParentObject();
  }
  return window;
}

RECT MSAAUIElement::GetDPIAwareLocation() {
  try {
    return UIAutomationRectangleOfAccessible(object_.Get(), childId_);
  } catch (const _com_error& error) {
    TRACE(Error) << "Cannot convert IAccessible to UI Automation element" << std::hex
                 << static_cast<std::uint32_t>(error.Error()) << ", " << error.ErrorMessage();
  }
  return UIAutomationRectangleOfWindow(LocationWindow());
}

}  // namespace installation_assistant
