#include "accessible.h"

#include <oleacc.h>

#include <string>
#include <vector>

namespace setup_sample {
namespace {

void (*requestCallback)() = nullptr;

void Request() {
  if (requestCallback) requestCallback();
}

enum class Kind { Plain, Push, Check, Radio, Group, Static };

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)); }

Kind KindOf(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (lstrcmpiW(name, L"Button") == 0) {
    switch (StyleOf(window) & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return Kind::Check;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return Kind::Radio;
      case BS_GROUPBOX:
        return Kind::Group;
      default:
        return Kind::Push;
    }
  }
  if (lstrcmpiW(name, L"Static") == 0) return Kind::Static;
  return Kind::Plain;
}

LONG ClientRole(Kind kind) {
  switch (kind) {
    case Kind::Push: return ROLE_SYSTEM_PUSHBUTTON;
    case Kind::Check: return ROLE_SYSTEM_CHECKBUTTON;
    case Kind::Radio: return ROLE_SYSTEM_RADIOBUTTON;
    case Kind::Group: return ROLE_SYSTEM_GROUPING;
    case Kind::Static: return ROLE_SYSTEM_STATICTEXT;
    default: return ROLE_SYSTEM_CLIENT;
  }
}

std::wstring TextOf(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// Controls drop the mnemonic marker; a top-level window keeps its text as it is.
std::wstring NameOf(HWND window, Kind kind) {
  std::wstring text = TextOf(window);
  if (kind == Kind::Plain) return text;
  const std::size_t at = text.find(L'&');
  if (at != std::wstring::npos) text.erase(at, 1);
  return text;
}

std::wstring ShortcutOf(HWND window, Kind kind) {
  if (kind == Kind::Plain) return {};
  const std::wstring text = TextOf(window);
  const std::size_t at = text.find(L'&');
  if (at == std::wstring::npos || at + 1 >= text.size()) return {};
  return std::wstring(L"Alt+") + text[at + 1];
}

BSTR Bstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

void SetLong(VARIANT* value, LONG number) {
  value->vt = VT_I4;
  value->lVal = number;
}

// The seven parts of a window object, in child order.
constexpr LONG kParts[7] = {OBJID_SYSMENU, OBJID_TITLEBAR, OBJID_MENU,    OBJID_CLIENT,
                            OBJID_VSCROLL, OBJID_HSCROLL,  OBJID_SIZEGRIP};

bool PartPresent(HWND window, LONG part) {
  const DWORD style = StyleOf(window);
  const bool caption = (style & WS_CAPTION) == WS_CAPTION;
  switch (part) {
    case OBJID_SYSMENU: return caption && (style & WS_SYSMENU);
    case OBJID_TITLEBAR: return caption;
    case OBJID_MENU: return !(style & WS_CHILD) && GetMenu(window) != nullptr;
    case OBJID_VSCROLL: return style & WS_VSCROLL;
    case OBJID_HSCROLL: return style & WS_HSCROLL;
    case OBJID_SIZEGRIP: return (style & WS_VSCROLL) && (style & WS_HSCROLL);
    default: return true;
  }
}

LONG PartRole(LONG part) {
  switch (part) {
    case OBJID_SYSMENU:
    case OBJID_MENU: return ROLE_SYSTEM_MENUBAR;
    case OBJID_TITLEBAR: return ROLE_SYSTEM_TITLEBAR;
    case OBJID_VSCROLL:
    case OBJID_HSCROLL: return ROLE_SYSTEM_SCROLLBAR;
    default: return ROLE_SYSTEM_GRIP;
  }
}

const wchar_t* PartName(LONG part) {
  switch (part) {
    case OBJID_SYSMENU: return L"System";
    case OBJID_MENU: return L"Application";
    case OBJID_VSCROLL: return L"Vertical";
    case OBJID_HSCROLL: return L"Horizontal";
    case OBJID_SIZEGRIP: return L"Size box";
    default: return nullptr;  // the title bar has no name; its value is the window text
  }
}

// The title bar's buttons and the scroll bars' arrows, pages and thumb are simple elements 1 to 5.
long SimpleCount(LONG part) {
  return part == OBJID_TITLEBAR || part == OBJID_VSCROLL || part == OBJID_HSCROLL ? 5 : 0;
}

const wchar_t* SimpleName(LONG part, long id) {
  static const wchar_t* title[] = {L"Minimize", L"Maximize", L"Close", L"Context help", L"IME"};
  static const wchar_t* vertical[] = {L"Line up", L"Page up", L"Position", L"Page down", L"Line down"};
  static const wchar_t* horizontal[] = {L"Column left", L"Page left", L"Position", L"Page right", L"Column right"};
  return (part == OBJID_TITLEBAR ? title : part == OBJID_VSCROLL ? vertical : horizontal)[id - 1];
}

bool SimpleVisible(HWND window, LONG part, long id) {
  if (!PartPresent(window, part)) return false;
  if (part != OBJID_TITLEBAR) return true;
  const DWORD style = StyleOf(window);
  if (!(style & WS_SYSMENU)) return false;
  return id == 3 || (id == 1 && (style & WS_MINIMIZEBOX)) || (id == 2 && (style & WS_MAXIMIZEBOX));
}

LONG ClientState(HWND window, Kind kind) {
  LONG state = 0;
  if (!IsWindowVisible(window)) state |= STATE_SYSTEM_INVISIBLE;
  if (!IsWindowEnabled(window)) state |= STATE_SYSTEM_UNAVAILABLE;
  if (GetFocus() == window) state |= STATE_SYSTEM_FOCUSED;
  switch (kind) {
    case Kind::Static:
      state |= STATE_SYSTEM_READONLY;
      break;
    case Kind::Group:
      break;
    case Kind::Push:
    case Kind::Check:
    case Kind::Radio: {
      state |= STATE_SYSTEM_FOCUSABLE;
      const LRESULT button = SendMessageW(window, BM_GETSTATE, 0, 0);
      if (button & BST_CHECKED) state |= STATE_SYSTEM_CHECKED;
      if (button & BST_INDETERMINATE) state |= STATE_SYSTEM_MIXED;
      if (button & BST_PUSHED) state |= STATE_SYSTEM_PRESSED;
      if (kind == Kind::Push && (StyleOf(window) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) state |= STATE_SYSTEM_DEFAULT;
      break;
    }
    default:
      state |= STATE_SYSTEM_FOCUSABLE;
  }
  return state;
}

std::vector<HWND> ChildWindows(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

class Accessible final : public IAccessible, public IEnumVARIANT, public IOleWindow {
 public:
  // part: OBJID_WINDOW for the window object, OBJID_CLIENT for the client object, or one of the other parts.
  Accessible(HWND window, LONG part) : window_(window), part_(part) {}

  static HRESULT Make(HWND window, LONG part, IDispatch** out) {
    *out = static_cast<IAccessible*>(new Accessible(window, part));
    return S_OK;
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
    } else if (riid == __uuidof(IEnumVARIANT) && (part_ == OBJID_WINDOW || part_ == OBJID_CLIENT)) {
      *object = static_cast<IEnumVARIANT*>(this);
    } else if (riid == __uuidof(IOleWindow)) {
      *object = static_cast<IOleWindow*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: no type information; callers use the IAccessible methods.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_INVALIDARG;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override {
    Request();
    if (!parent) return E_INVALIDARG;
    *parent = nullptr;
    if (!IsWindow(window_)) return E_FAIL;
    if (part_ != OBJID_WINDOW) return Make(window_, OBJID_WINDOW, parent);
    if (StyleOf(window_) & WS_CHILD) return Make(GetParent(window_), OBJID_CLIENT, parent);
    return AccessibleObjectFromWindow(GetDesktopWindow(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IDispatch),
                                      reinterpret_cast<void**>(parent));
  }

  STDMETHODIMP get_accChildCount(long* count) override {
    Request();
    if (!count) return E_INVALIDARG;
    *count = IsWindow(window_) ? ChildCount() : 0;
    return S_OK;
  }

  STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override {
    Request();
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (child.vt != VT_I4 || !IsWindow(window_)) return E_INVALIDARG;
    if (part_ == OBJID_WINDOW) {
      if (child.lVal < 1 || child.lVal > 7) return E_INVALIDARG;
      return Make(window_, kParts[child.lVal - 1], object);
    }
    // A client object hands out its children through its enumerator only.
    if (part_ == OBJID_CLIENT || child.lVal < 1 || child.lVal > SimpleCount(part_)) return E_INVALIDARG;
    return S_FALSE;  // a simple element
  }

  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, name, id); hr != S_OK) return hr;
    if (!IsWindow(window_)) return E_INVALIDARG;
    if (id != CHILDID_SELF) {
      *name = SysAllocString(SimpleName(part_, id));
      return S_OK;
    }
    if (part_ == OBJID_WINDOW || part_ == OBJID_CLIENT) {
      *name = Bstr(NameOf(window_, KindOf(window_)));
      return S_OK;
    }
    const wchar_t* part = PartName(part_);
    if (!part) return S_FALSE;
    *name = SysAllocString(part);
    return S_OK;
  }

  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, value, id); hr != S_OK) return hr;
    if (id != CHILDID_SELF || part_ != OBJID_TITLEBAR || !IsWindow(window_)) return S_FALSE;
    *value = Bstr(TextOf(window_));
    return S_OK;
  }

  STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override { return NoText(child, text); }
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* text) override { return NoText(child, text); }
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    Request();
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, shortcut, id); hr != S_OK) return hr;
    if (id != CHILDID_SELF || (part_ != OBJID_WINDOW && part_ != OBJID_CLIENT) || !IsWindow(window_)) {
      return S_FALSE;
    }
    const std::wstring text = ShortcutOf(window_, KindOf(window_));
    if (text.empty()) return S_FALSE;
    *shortcut = Bstr(text);
    return S_OK;
  }

  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, role, id); hr != S_OK) return hr;
    if (id != CHILDID_SELF) {
      SetLong(role, part_ == OBJID_TITLEBAR || id != 3 ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_INDICATOR);
    } else if (part_ == OBJID_WINDOW) {
      SetLong(role, ROLE_SYSTEM_WINDOW);
    } else if (part_ == OBJID_CLIENT) {
      SetLong(role, IsWindow(window_) ? ClientRole(KindOf(window_)) : ROLE_SYSTEM_CLIENT);
    } else {
      SetLong(role, PartRole(part_));
    }
    return S_OK;
  }

  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, state, id); hr != S_OK) return hr;
    if (!IsWindow(window_)) {
      SetLong(state, STATE_SYSTEM_INVISIBLE);
      return S_OK;
    }
    const bool visible = IsWindowVisible(window_);
    LONG bits = 0;
    if (id != CHILDID_SELF) {
      if (!visible || !SimpleVisible(window_, part_, id)) bits |= STATE_SYSTEM_INVISIBLE;
    } else if (part_ == OBJID_CLIENT) {
      bits = ClientState(window_, KindOf(window_));
    } else if (part_ == OBJID_WINDOW) {
      const DWORD style = StyleOf(window_);
      const Kind kind = KindOf(window_);
      if (!visible) bits |= STATE_SYSTEM_INVISIBLE;
      if (!IsWindowEnabled(window_)) bits |= STATE_SYSTEM_UNAVAILABLE;
      if (style & WS_THICKFRAME) bits |= STATE_SYSTEM_SIZEABLE;
      if (!(style & WS_CHILD) && (style & WS_CAPTION) == WS_CAPTION) bits |= STATE_SYSTEM_MOVEABLE;
      if (kind != Kind::Static && kind != Kind::Group) bits |= STATE_SYSTEM_FOCUSABLE;
      if (GetFocus() == window_) bits |= STATE_SYSTEM_FOCUSED;
    } else {
      if (!visible || !PartPresent(window_, part_)) bits |= STATE_SYSTEM_INVISIBLE;
      if (part_ == OBJID_TITLEBAR) bits |= STATE_SYSTEM_FOCUSABLE;
    }
    SetLong(state, bits);
    return S_OK;
  }

  // Focus, selection, navigation and hit testing: the engine does not use them, and this server does not offer
  // them.
  STDMETHODIMP get_accFocus(VARIANT* focus) override { return Unsupported(focus); }
  STDMETHODIMP get_accSelection(VARIANT* selection) override { return Unsupported(selection); }
  STDMETHODIMP accNavigate(long, VARIANT, VARIANT* end) override { return Unsupported(end); }
  STDMETHODIMP accHitTest(long, long, VARIANT* hit) override { return Unsupported(hit); }
  STDMETHODIMP accSelect(long, VARIANT) override {
    Request();
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override {
    long id = 0;
    if (const HRESULT hr = Begin(child, action, id); hr != S_OK) return hr;
    if (id != CHILDID_SELF || part_ != OBJID_CLIENT || !IsWindow(window_)) return S_FALSE;
    const wchar_t* text = nullptr;
    switch (KindOf(window_)) {
      case Kind::Push:
        text = L"Press";
        break;
      case Kind::Check: {
        const DWORD type = StyleOf(window_) & BS_TYPEMASK;
        if (type == BS_3STATE || type == BS_AUTO3STATE) {
          text = L"Toggle";
        } else {
          text = (SendMessageW(window_, BM_GETCHECK, 0, 0) & BST_CHECKED) ? L"UnCheck" : L"Check";
        }
        break;
      }
      case Kind::Radio:
        text = L"Check";
        break;
      default:
        return S_FALSE;
    }
    *action = SysAllocString(text);
    return S_OK;
  }

  STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    Request();
    if (!left || !top || !width || !height) return E_INVALIDARG;
    *left = *top = *width = *height = 0;
    long id = 0;
    if (!Target(child, id)) return E_INVALIDARG;
    if (!IsWindow(window_) || id != CHILDID_SELF) return S_OK;
    RECT rect = {};
    if (part_ == OBJID_WINDOW) {
      GetWindowRect(window_, &rect);
    } else if (part_ == OBJID_CLIENT) {
      GetClientRect(window_, &rect);
      MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    } else if (part_ == OBJID_TITLEBAR && PartPresent(window_, part_)) {
      TITLEBARINFO info = {};
      info.cbSize = sizeof(info);
      if (GetTitleBarInfo(window_, &info)) rect = info.rcTitleBar;
    }
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
  }

  // The button is clicked through its own window: BM_CLICK, posted, so that the call returns at once and the
  // click happens when the wizard next reads its messages.
  STDMETHODIMP accDoDefaultAction(VARIANT child) override {
    Request();
    long id = 0;
    if (!Target(child, id)) return E_INVALIDARG;
    if (id != CHILDID_SELF || part_ != OBJID_CLIENT || !IsWindow(window_)) return DISP_E_MEMBERNOTFOUND;
    const Kind kind = KindOf(window_);
    if (kind != Kind::Push && kind != Kind::Check && kind != Kind::Radio) return DISP_E_MEMBERNOTFOUND;
    if (!IsWindowEnabled(window_)) return DISP_E_MEMBERNOTFOUND;
    return PostMessageW(window_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
  }

  STDMETHODIMP put_accName(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }

  // IEnumVARIANT: a window object's parts, or a client's child windows (their window objects, top first).
  STDMETHODIMP Next(ULONG wanted, VARIANT* items, ULONG* fetched) override {
    Request();
    if (fetched) *fetched = 0;
    if (!items && wanted) return E_INVALIDARG;
    const std::vector<HWND> children = part_ == OBJID_CLIENT ? ChildWindows(window_) : std::vector<HWND>();
    const long count = part_ == OBJID_CLIENT ? static_cast<long>(children.size()) : ChildCount();
    ULONG done = 0;
    for (; done < wanted && cursor_ < count; ++done, ++cursor_) {
      VariantInit(&items[done]);
      items[done].vt = VT_DISPATCH;
      if (part_ == OBJID_WINDOW) {
        Make(window_, kParts[cursor_], &items[done].pdispVal);
      } else {
        Make(children[static_cast<std::size_t>(cursor_)], OBJID_WINDOW, &items[done].pdispVal);
      }
    }
    if (fetched) *fetched = done;
    return done == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    cursor_ += static_cast<long>(count);
    const long total = ChildCount();
    if (cursor_ <= total) return S_OK;
    cursor_ = total;
    return S_FALSE;
  }
  STDMETHODIMP Reset() override {
    cursor_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** copy) override {
    if (!copy) return E_INVALIDARG;
    auto* clone = new Accessible(window_, part_);
    clone->cursor_ = cursor_;
    *copy = static_cast<IEnumVARIANT*>(clone);
    return S_OK;
  }

  // IOleWindow: how WindowFromAccessibleObject finds the window.
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_INVALIDARG;
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  ~Accessible() = default;

  long ChildCount() const {
    if (part_ == OBJID_WINDOW) return 7;
    if (part_ == OBJID_CLIENT) return static_cast<long>(ChildWindows(window_).size());
    return SimpleCount(part_);
  }

  // The object itself or one of its simple elements.
  bool Target(const VARIANT& child, long& id) const {
    if (child.vt != VT_I4) return false;
    id = child.lVal;
    return id == CHILDID_SELF || (id >= 1 && id <= SimpleCount(part_));
  }

  static HRESULT Unsupported(VARIANT* out) {
    Request();
    if (!out) return E_INVALIDARG;
    VariantInit(out);
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT NoText(const VARIANT& child, BSTR* text) {
    long id = 0;
    const HRESULT hr = Begin(child, text, id);
    return hr == S_OK ? S_FALSE : hr;
  }

  // How every getter about one child starts: the request is counted, the answer cleared, the child found.
  static void Clear(BSTR* out) { *out = nullptr; }
  static void Clear(VARIANT* out) { VariantInit(out); }
  template <typename Out>
  HRESULT Begin(const VARIANT& child, Out* out, long& id) const {
    Request();
    if (!out) return E_INVALIDARG;
    Clear(out);
    return Target(child, id) ? S_OK : E_INVALIDARG;
  }

  LONG references_ = 1;
  const HWND window_;
  const LONG part_;
  long cursor_ = 0;
};

}  // namespace

LRESULT AnswerGetObject(HWND window, WPARAM flags, LPARAM objectId) {
  const LONG id = static_cast<LONG>(objectId);
  if (id != OBJID_WINDOW && id != OBJID_CLIENT) return 0;
  Request();
  auto* object = new Accessible(window, id);
  // Wine passes flags 0xffffffff; they go back unchanged, whatever they mean to the caller.
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(object));
  object->Release();
  return result;
}

void SetRequestCallback(void (*callback)()) { requestCallback = callback; }

}  // namespace setup_sample
