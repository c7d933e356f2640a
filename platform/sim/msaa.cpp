// simwin Active Accessibility: the standard proxies of windows and controls (window object with its seven parts,
// client objects by class and style), the oleacc functions, call counting and fault injection.
//
// Like Windows' proxies, these objects live in the caller's process and read and change the control by messages to
// its window, so the control's UI thread answers them and a UI thread that stops pumping blocks them.
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

std::atomic<long> g_liveAccObjects{0};

namespace {

std::atomic<uint64_t> g_accCalls{0};
thread_local int t_suppressCount = 0;

struct Fault {
  int id;
  std::string method;  // empty: any
  HWND hwnd;           // null: any
  std::wstring element;
  HRESULT hr;
  int remaining;  // < 0: unlimited
};
std::mutex g_faultMu;
std::vector<Fault> g_faults;
int g_nextFaultId = 1;

// LresultFromObject's references, until ObjectFromLresult takes them.
std::mutex g_lresultMu;
std::map<LRESULT, IUnknown*> g_lresults;
LRESULT g_nextLresult = 0x10000;

}  // namespace

CountSuppressor::CountSuppressor() { ++t_suppressCount; }
CountSuppressor::~CountSuppressor() { --t_suppressCount; }

bool AccCallFails(const char* method, HWND hwnd, const std::wstring& element, HRESULT& hr) {
  if (t_suppressCount == 0) ++g_accCalls;
  std::lock_guard<std::mutex> guard(g_faultMu);
  for (auto& f : g_faults) {
    if (f.remaining == 0) continue;
    if (!f.method.empty() && f.method != method) continue;
    if (f.hwnd && f.hwnd != hwnd) continue;
    if (!f.element.empty() && f.element != element) continue;
    if (f.remaining > 0) --f.remaining;
    hr = f.hr;
    return true;
  }
  return false;
}

namespace {

#define ACC_ENTER(method)                                                 \
  do {                                                                    \
    HRESULT fault_;                                                       \
    if (AccCallFails(method, hwnd_, std::wstring(), fault_)) return fault_; \
  } while (0)

// --- Reading windows through the public API (never with the lock held) ---------------------------------------------

enum class Kind { Client, Push, Check, Radio, Group, Static, Edit, Dialog };

Kind KindOf(HWND hwnd) {
  std::wstring cls = FoldCase(ClassOf(hwnd));
  if (cls == L"button") {
    switch (StyleOf(hwnd) & BS_TYPEMASK) {
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
  if (cls == L"static") return Kind::Static;
  if (cls == L"edit") return Kind::Edit;
  if (cls == L"#32770") return Kind::Dialog;
  return Kind::Client;
}

LONG RoleOf(Kind k) {
  switch (k) {
    case Kind::Push:
      return ROLE_SYSTEM_PUSHBUTTON;
    case Kind::Check:
      return ROLE_SYSTEM_CHECKBUTTON;
    case Kind::Radio:
      return ROLE_SYSTEM_RADIOBUTTON;
    case Kind::Group:
      return ROLE_SYSTEM_GROUPING;
    case Kind::Static:
      return ROLE_SYSTEM_STATICTEXT;
    case Kind::Edit:
      return ROLE_SYSTEM_TEXT;
    case Kind::Dialog:
      return ROLE_SYSTEM_DIALOG;
    default:
      return ROLE_SYSTEM_CLIENT;
  }
}

bool IsDesktop(HWND hwnd) { return hwnd == GetDesktopWindow(); }

// The window text by WM_GETTEXT, as the proxies obtain it.
std::wstring TextOf(HWND hwnd) {
  if (IsDesktop(hwnd)) return L"";
  LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  if (len <= 0) return L"";
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(std::max<LRESULT>(0, std::min<LRESULT>(got, len))));
  return text;
}

// Controls drop the first '&' (the mnemonic marker); "&&" and later '&'s stay.
std::wstring StripMnemonic(const std::wstring& s) {
  auto pos = s.find(L'&');
  if (pos == std::wstring::npos) return s;
  return s.substr(0, pos) + s.substr(pos + 1);
}

std::wstring ShortcutOf(const std::wstring& s) {
  auto pos = s.find(L'&');
  if (pos == std::wstring::npos || pos + 1 >= s.size()) return L"";
  return std::wstring(L"Alt+") + s[pos + 1];
}

std::vector<HWND> ChildWindows(HWND hwnd) {
  std::vector<HWND> out;
  for (HWND c = ::GetWindow(hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

// An edit's label: the nearest static before it among its siblings.
HWND LabelOf(HWND edit) {
  for (HWND s = ::GetWindow(edit, GW_HWNDPREV); s; s = ::GetWindow(s, GW_HWNDPREV)) {
    if (KindOf(s) == Kind::Static) return s;
  }
  return nullptr;
}

bool Enabled(HWND hwnd) { return IsDesktop(hwnd) || IsWindowEnabled(hwnd); }

HWND ParentOrDesktop(HWND hwnd) {
  if (StyleOf(hwnd) & WS_CHILD) return GetParent(hwnd);
  return GetDesktopWindow();
}

LONG ClientState(HWND hwnd, Kind kind) {
  LONG state = 0;
  if (!IsWindowVisible(hwnd)) state |= STATE_SYSTEM_INVISIBLE;
  if (!Enabled(hwnd)) state |= STATE_SYSTEM_UNAVAILABLE;
  DWORD style = StyleOf(hwnd);
  switch (kind) {
    case Kind::Static:
      state |= STATE_SYSTEM_READONLY;
      break;
    case Kind::Group:
      break;
    case Kind::Edit:
      state |= STATE_SYSTEM_FOCUSABLE;
      if (style & ES_READONLY) state |= STATE_SYSTEM_READONLY;
      if (style & ES_PASSWORD) state |= STATE_SYSTEM_PROTECTED;
      break;
    case Kind::Push:
    case Kind::Check:
    case Kind::Radio: {
      state |= STATE_SYSTEM_FOCUSABLE;
      LRESULT bst = SendMessageW(hwnd, BM_GETSTATE, 0, 0);
      if (bst & BST_CHECKED) state |= STATE_SYSTEM_CHECKED;
      if (bst & BST_INDETERMINATE) state |= STATE_SYSTEM_MIXED;
      if (bst & BST_PUSHED) state |= STATE_SYSTEM_PRESSED;
      if (kind == Kind::Push && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) state |= STATE_SYSTEM_DEFAULT;
      break;
    }
    default:
      state |= STATE_SYSTEM_FOCUSABLE;
      break;
  }
  return state;
}

// Name of a client object (and of the window object around it).
bool ClientName(HWND hwnd, Kind kind, std::wstring& name) {
  switch (kind) {
    case Kind::Edit: {
      HWND label = LabelOf(hwnd);
      if (!label) return false;
      name = StripMnemonic(TextOf(label));
      return true;
    }
    case Kind::Push:
    case Kind::Check:
    case Kind::Radio:
    case Kind::Group:
    case Kind::Static:
      name = StripMnemonic(TextOf(hwnd));
      return true;
    default:
      // Top-level windows keep their text as it is (Windows 10 1607 and later).
      name = TextOf(hwnd);
      return true;
  }
}

HWND DefaultButtonOf(HWND dialog) {
  LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  if (HIWORD(def) != DC_HASDEFID) return nullptr;
  for (HWND c : ChildWindows(dialog)) {
    if (static_cast<WORD>(GetWindowLongW(c, GWLP_ID)) == LOWORD(def)) return c;
  }
  return nullptr;
}

// --- Parts of a window object -------------------------------------------------------------------------------------

bool PartPresent(HWND hwnd, LONG objid) {
  DWORD style = StyleOf(hwnd);
  bool caption = (style & WS_CAPTION) == WS_CAPTION;
  switch (objid) {
    case OBJID_SYSMENU:
      return caption && (style & WS_SYSMENU);
    case OBJID_TITLEBAR:
      return caption;
    case OBJID_MENU:
      return false;  // simwin's windows have no menus
    case OBJID_VSCROLL:
      return style & WS_VSCROLL;
    case OBJID_HSCROLL:
      return style & WS_HSCROLL;
    case OBJID_SIZEGRIP:
      return (style & WS_VSCROLL) && (style & WS_HSCROLL);
    default:
      return true;
  }
}

LONG PartRole(LONG objid) {
  switch (objid) {
    case OBJID_SYSMENU:
    case OBJID_MENU:
      return ROLE_SYSTEM_MENUBAR;
    case OBJID_TITLEBAR:
      return ROLE_SYSTEM_TITLEBAR;
    case OBJID_VSCROLL:
    case OBJID_HSCROLL:
      return ROLE_SYSTEM_SCROLLBAR;
    default:
      return ROLE_SYSTEM_GRIP;
  }
}

const wchar_t* PartName(LONG objid) {
  switch (objid) {
    case OBJID_SYSMENU:
      return L"System";
    case OBJID_MENU:
      return L"Application";
    case OBJID_VSCROLL:
      return L"Vertical";
    case OBJID_HSCROLL:
      return L"Horizontal";
    case OBJID_SIZEGRIP:
      return L"Size box";
    default:
      return nullptr;  // the title bar has no name; its value is the window text
  }
}

// Simple elements of the title bar and scroll bars.
long PartChildCount(LONG objid) {
  return objid == OBJID_TITLEBAR || objid == OBJID_VSCROLL || objid == OBJID_HSCROLL ? 5 : 0;
}

const wchar_t* PartChildName(LONG objid, long id) {
  static const wchar_t* title[] = {L"Minimize", L"Maximize", L"Close", L"Context help", L"IME"};
  static const wchar_t* vert[] = {L"Line up", L"Page up", L"Position", L"Page down", L"Line down"};
  static const wchar_t* horz[] = {L"Column left", L"Page left", L"Position", L"Page right", L"Column right"};
  const wchar_t** names = objid == OBJID_TITLEBAR ? title : (objid == OBJID_VSCROLL ? vert : horz);
  return names[id - 1];
}

bool PartChildVisible(HWND hwnd, LONG objid, long id) {
  if (!PartPresent(hwnd, objid)) return false;
  if (objid != OBJID_TITLEBAR) return true;
  DWORD style = StyleOf(hwnd);
  bool sysmenu = style & WS_SYSMENU;
  switch (id) {
    case 1:
      return sysmenu && (style & WS_MINIMIZEBOX);
    case 2:
      return sysmenu && (style & WS_MAXIMIZEBOX);
    case 3:
      return sysmenu;
    default:
      return false;
  }
}

// --- The proxy object ------------------------------------------------------------------------------------------------

class StdAcc final : public AccObject<IAccessible, IEnumVARIANT, IOleWindow> {
 public:
  StdAcc(HWND hwnd, LONG objid) : hwnd_(hwnd), objid_(objid) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
      *ppv = static_cast<IAccessible*>(this);
    } else if (riid == __uuidof(IEnumVARIANT) && HasEnum()) {
      *ppv = static_cast<IEnumVARIANT*>(this);
    } else if (riid == __uuidof(IOleWindow)) {
      *ppv = static_cast<IOleWindow*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  // IDispatch: no type information; the IAccessible methods are called directly.
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    ACC_ENTER("GetTypeInfoCount");
    if (!pctinfo) return E_INVALIDARG;
    *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** pp) override {
    if (pp) *pp = nullptr;
    ACC_ENTER("GetTypeInfo");
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    ACC_ENTER("GetIDsOfNames");
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ACC_ENTER("Invoke");
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** ppdispParent) override {
    if (!ppdispParent) return E_INVALIDARG;
    *ppdispParent = nullptr;
    ACC_ENTER("get_accParent");
    if (!IsWindow(hwnd_)) return E_FAIL;
    if (objid_ == OBJID_WINDOW) {
      if (IsDesktop(hwnd_)) return S_FALSE;
      HWND parent = ParentOrDesktop(hwnd_);
      if (!parent) return S_FALSE;
      CountSuppressor quiet;
      return AccessibleObjectFromWindow(parent, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IDispatch),
                                        reinterpret_cast<void**>(ppdispParent));
    }
    // The client and the other parts belong to the window object of the same handle.
    return StdAccessibleObject(hwnd_, OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(ppdispParent));
  }

  STDMETHODIMP get_accChildCount(long* pcountChildren) override {
    if (!pcountChildren) return E_INVALIDARG;
    *pcountChildren = 0;
    ACC_ENTER("get_accChildCount");
    if (!IsWindow(hwnd_)) return S_OK;
    *pcountChildren = static_cast<long>(Children().size());
    if (objid_ != OBJID_WINDOW && objid_ != OBJID_CLIENT) *pcountChildren = PartChildCount(objid_);
    return S_OK;
  }

  STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** ppdispChild) override {
    if (!ppdispChild) return E_INVALIDARG;
    *ppdispChild = nullptr;
    ACC_ENTER("get_accChild");
    if (varChild.vt != VT_I4) return E_INVALIDARG;
    long id = varChild.lVal;
    if (objid_ == OBJID_WINDOW) {
      if (id < 1 || id > 7 || !IsWindow(hwnd_)) return E_INVALIDARG;
      return PartObject(-id, ppdispChild);
    }
    if (objid_ == OBJID_CLIENT) return E_INVALIDARG;  // children only through IEnumVARIANT
    if (id < 1 || id > PartChildCount(objid_)) return E_INVALIDARG;
    return S_FALSE;  // a simple element
  }

  STDMETHODIMP get_accName(VARIANT varChild, BSTR* pszName) override {
    if (!pszName) return E_INVALIDARG;
    *pszName = nullptr;
    ACC_ENTER("get_accName");
    long id;
    if (!IsWindow(hwnd_) || !ValidChild(varChild, id)) return E_INVALIDARG;
    if (id != CHILDID_SELF) {
      *pszName = SysAllocString(PartChildName(objid_, id));
      return S_OK;
    }
    std::wstring name;
    if (objid_ == OBJID_WINDOW || objid_ == OBJID_CLIENT) {
      if (!ClientName(hwnd_, KindOf(hwnd_), name)) return S_FALSE;
    } else {
      const wchar_t* part = PartName(objid_);
      if (!part) return S_FALSE;
      name = part;
    }
    *pszName = MakeBstr(name);
    return S_OK;
  }

  STDMETHODIMP get_accValue(VARIANT varChild, BSTR* pszValue) override {
    if (!pszValue) return E_INVALIDARG;
    *pszValue = nullptr;
    ACC_ENTER("get_accValue");
    long id;
    if (!IsWindow(hwnd_)) return S_FALSE;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (id != CHILDID_SELF) return S_FALSE;
    if (objid_ == OBJID_TITLEBAR) {
      *pszValue = MakeBstr(TextOf(hwnd_));
      return S_OK;
    }
    if (objid_ == OBJID_CLIENT && KindOf(hwnd_) == Kind::Edit) {
      if (StyleOf(hwnd_) & ES_PASSWORD) return E_ACCESSDENIED;
      *pszValue = MakeBstr(TextOf(hwnd_));
      return S_OK;
    }
    return S_FALSE;
  }

  STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* psz) override {
    if (!psz) return E_INVALIDARG;
    *psz = nullptr;
    ACC_ENTER("get_accDescription");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    return S_FALSE;
  }

  STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pvarRole) override {
    if (!pvarRole) return E_INVALIDARG;
    VariantInit(pvarRole);
    ACC_ENTER("get_accRole");
    long id;
    if (!IsWindow(hwnd_)) {
      SetI4(pvarRole, objid_ == OBJID_WINDOW ? ROLE_SYSTEM_WINDOW : ROLE_SYSTEM_CLIENT);
      return S_OK;
    }
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    LONG role;
    if (id != CHILDID_SELF) {
      role = (objid_ == OBJID_TITLEBAR || id != 3) ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_INDICATOR;
    } else if (objid_ == OBJID_WINDOW) {
      role = ROLE_SYSTEM_WINDOW;
    } else if (objid_ == OBJID_CLIENT) {
      role = RoleOf(KindOf(hwnd_));
    } else {
      role = PartRole(objid_);
    }
    SetI4(pvarRole, role);
    return S_OK;
  }

  STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pvarState) override {
    if (!pvarState) return E_INVALIDARG;
    VariantInit(pvarState);
    ACC_ENTER("get_accState");
    if (!IsWindow(hwnd_)) {
      SetI4(pvarState, STATE_SYSTEM_INVISIBLE);
      return S_OK;
    }
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    LONG state = 0;
    bool visible = IsWindowVisible(hwnd_);
    if (id != CHILDID_SELF) {
      if (!visible || !PartChildVisible(hwnd_, objid_, id)) state |= STATE_SYSTEM_INVISIBLE;
    } else if (objid_ == OBJID_CLIENT) {
      state = ClientState(hwnd_, KindOf(hwnd_));
    } else if (objid_ == OBJID_WINDOW) {
      DWORD style = StyleOf(hwnd_);
      if (!visible) state |= STATE_SYSTEM_INVISIBLE;
      if (!Enabled(hwnd_)) state |= STATE_SYSTEM_UNAVAILABLE;
      if (style & WS_THICKFRAME) state |= STATE_SYSTEM_SIZEABLE;
      if (!(style & WS_CHILD) && (style & WS_CAPTION) == WS_CAPTION) state |= STATE_SYSTEM_MOVEABLE;
      Kind kind = KindOf(hwnd_);
      if (kind != Kind::Static && kind != Kind::Group) state |= STATE_SYSTEM_FOCUSABLE;
    } else {
      if (!visible || !PartPresent(hwnd_, objid_)) state |= STATE_SYSTEM_INVISIBLE;
      if (objid_ == OBJID_TITLEBAR) state |= STATE_SYSTEM_FOCUSABLE;
    }
    SetI4(pvarState, state);
    return S_OK;
  }

  STDMETHODIMP get_accHelp(VARIANT varChild, BSTR* pszHelp) override {
    if (!pszHelp) return E_INVALIDARG;
    *pszHelp = nullptr;
    ACC_ENTER("get_accHelp");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    return S_FALSE;
  }

  STDMETHODIMP get_accHelpTopic(BSTR* pszHelpFile, VARIANT, long* pidTopic) override {
    if (pszHelpFile) *pszHelpFile = nullptr;
    if (pidTopic) *pidTopic = 0;
    ACC_ENTER("get_accHelpTopic");
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP get_accKeyboardShortcut(VARIANT varChild, BSTR* psz) override {
    if (!psz) return E_INVALIDARG;
    *psz = nullptr;
    ACC_ENTER("get_accKeyboardShortcut");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (id != CHILDID_SELF || (objid_ != OBJID_CLIENT && objid_ != OBJID_WINDOW)) return S_FALSE;
    Kind kind = KindOf(hwnd_);
    std::wstring shortcut;
    if (kind == Kind::Edit) {
      if (HWND label = LabelOf(hwnd_)) shortcut = ShortcutOf(TextOf(label));
    } else if (kind != Kind::Client && kind != Kind::Dialog) {
      shortcut = ShortcutOf(TextOf(hwnd_));
    }
    if (shortcut.empty()) return S_FALSE;
    *psz = MakeBstr(shortcut);
    return S_OK;
  }

  STDMETHODIMP get_accFocus(VARIANT* pvarChild) override {
    if (!pvarChild) return E_INVALIDARG;
    VariantInit(pvarChild);
    ACC_ENTER("get_accFocus");
    return S_FALSE;  // simwin has no keyboard focus
  }

  STDMETHODIMP get_accSelection(VARIANT* pvarChildren) override {
    if (!pvarChildren) return E_INVALIDARG;
    VariantInit(pvarChildren);
    ACC_ENTER("get_accSelection");
    return S_FALSE;
  }

  STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* psz) override {
    if (!psz) return E_INVALIDARG;
    *psz = nullptr;
    ACC_ENTER("get_accDefaultAction");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (id != CHILDID_SELF || objid_ != OBJID_CLIENT) return S_FALSE;
    const wchar_t* action = nullptr;
    switch (KindOf(hwnd_)) {
      case Kind::Push:
        action = L"Press";
        break;
      case Kind::Check: {
        UINT type = StyleOf(hwnd_) & BS_TYPEMASK;
        if (type == BS_3STATE || type == BS_AUTO3STATE) {
          action = L"Toggle";
        } else {
          action = (SendMessageW(hwnd_, BM_GETCHECK, 0, 0) & BST_CHECKED) ? L"UnCheck" : L"Check";
        }
        break;
      }
      case Kind::Radio:
        action = L"Check";
        break;
      case Kind::Dialog:
        if (DefaultButtonOf(hwnd_)) action = L"Press";
        break;
      default:
        break;
    }
    if (!action) return S_FALSE;
    *psz = SysAllocString(action);
    return S_OK;
  }

  STDMETHODIMP accSelect(long, VARIANT varChild) override {
    ACC_ENTER("accSelect");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    return DISP_E_MEMBERNOTFOUND;  // no focus or selection in simwin
  }

  STDMETHODIMP accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight, VARIANT varChild) override {
    if (!pxLeft || !pyTop || !pcxWidth || !pcyHeight) return E_INVALIDARG;
    *pxLeft = *pyTop = *pcxWidth = *pcyHeight = 0;
    ACC_ENTER("accLocation");
    if (!IsWindow(hwnd_)) return S_OK;
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (objid_ != OBJID_WINDOW && objid_ != OBJID_CLIENT && !PartPresent(hwnd_, objid_)) return S_OK;
    RECT r{};
    GetWindowRect(hwnd_, &r);
    *pxLeft = r.left;
    *pyTop = r.top;
    *pcxWidth = r.right - r.left;
    *pcyHeight = r.bottom - r.top;
    return S_OK;
  }

  STDMETHODIMP accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEndUpAt) override {
    if (!pvarEndUpAt) return E_INVALIDARG;
    VariantInit(pvarEndUpAt);
    ACC_ENTER("accNavigate");
    if (!IsWindow(hwnd_)) return S_FALSE;
    long id;
    if (!ValidChild(varStart, id)) return E_INVALIDARG;
    if (objid_ == OBJID_WINDOW) {
      if (id == CHILDID_SELF) {
        switch (navDir) {
          case NAVDIR_FIRSTCHILD:
            return PartVariant(OBJID_SYSMENU, pvarEndUpAt);
          case NAVDIR_LASTCHILD:
            return PartVariant(OBJID_SIZEGRIP, pvarEndUpAt);
          case NAVDIR_NEXT:
          case NAVDIR_PREVIOUS: {
            if (IsDesktop(hwnd_)) return S_FALSE;
            HWND sib = ::GetWindow(hwnd_, navDir == NAVDIR_NEXT ? GW_HWNDNEXT : GW_HWNDPREV);
            return sib ? WindowVariant(sib, pvarEndUpAt) : S_FALSE;
          }
          default:
            return S_FALSE;
        }
      }
      return S_FALSE;
    }
    if (objid_ == OBJID_CLIENT && id == CHILDID_SELF &&
        (navDir == NAVDIR_FIRSTCHILD || navDir == NAVDIR_LASTCHILD)) {
      auto kids = ChildWindows(hwnd_);
      if (kids.empty()) return S_FALSE;
      return WindowVariant(navDir == NAVDIR_FIRSTCHILD ? kids.front() : kids.back(), pvarEndUpAt);
    }
    if (objid_ != OBJID_CLIENT && id != CHILDID_SELF) {
      long n = PartChildCount(objid_);
      long to = navDir == NAVDIR_NEXT ? id + 1 : (navDir == NAVDIR_PREVIOUS ? id - 1 : 0);
      if (to < 1 || to > n) return S_FALSE;
      SetI4(pvarEndUpAt, to);
      return S_OK;
    }
    return S_FALSE;
  }

  STDMETHODIMP accHitTest(long xLeft, long yTop, VARIANT* pvarChild) override {
    if (!pvarChild) return E_INVALIDARG;
    VariantInit(pvarChild);
    ACC_ENTER("accHitTest");
    if (!IsWindow(hwnd_)) return S_FALSE;
    auto inside = [&](HWND h) {
      RECT r{};
      GetWindowRect(h, &r);
      return xLeft >= r.left && xLeft < r.right && yTop >= r.top && yTop < r.bottom;
    };
    if (!inside(hwnd_)) return S_FALSE;
    if (!IsWindowVisible(hwnd_)) {
      SetI4(pvarChild, CHILDID_SELF);
      return S_OK;
    }
    if (objid_ == OBJID_WINDOW) return PartVariant(OBJID_CLIENT, pvarChild);
    if (objid_ == OBJID_CLIENT) {
      for (HWND c : ChildWindows(hwnd_)) {
        if (IsWindowVisible(c) && inside(c)) return WindowVariant(c, pvarChild);
      }
    }
    SetI4(pvarChild, CHILDID_SELF);
    return S_OK;
  }

  STDMETHODIMP accDoDefaultAction(VARIANT varChild) override {
    ACC_ENTER("accDoDefaultAction");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (!IsWindow(hwnd_) || id != CHILDID_SELF || objid_ != OBJID_CLIENT) return DISP_E_MEMBERNOTFOUND;
    HWND target = nullptr;
    switch (KindOf(hwnd_)) {
      case Kind::Push:
      case Kind::Check:
      case Kind::Radio:
        target = hwnd_;
        break;
      case Kind::Dialog:
        target = DefaultButtonOf(hwnd_);
        break;
      default:
        break;
    }
    if (!target) return DISP_E_MEMBERNOTFOUND;
    if (!IsWindowEnabled(target)) return kDisabledDefaultActionHr;
    // Posted, so the call returns at once and the click happens when the control's thread next pumps.
    return PostMessageW(target, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
  }

  STDMETHODIMP put_accName(VARIANT, BSTR) override {
    ACC_ENTER("put_accName");
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP put_accValue(VARIANT varChild, BSTR szValue) override {
    ACC_ENTER("put_accValue");
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (objid_ != OBJID_CLIENT || id != CHILDID_SELF || KindOf(hwnd_) != Kind::Edit) return DISP_E_MEMBERNOTFOUND;
    std::wstring text(szValue ? szValue : L"", SysStringLen(szValue));
    SendMessageW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return S_OK;
  }

  // IEnumVARIANT over the children (window objects: the seven parts; clients: the child windows' window objects).
  STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
    if (pCeltFetched) *pCeltFetched = 0;
    if (!rgVar && celt) return E_INVALIDARG;
    auto kids = Children();
    ULONG fetched = 0;
    std::lock_guard<std::mutex> guard(cursorMu_);
    while (fetched < celt && cursor_ < kids.size()) {
      VariantInit(&rgVar[fetched]);
      HRESULT hr = kids.isParts ? PartVariant(kids.parts[cursor_], &rgVar[fetched])
                                : WindowVariant(kids.windows[cursor_], &rgVar[fetched]);
      ++cursor_;
      if (FAILED(hr)) continue;
      ++fetched;
    }
    if (pCeltFetched) *pCeltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG celt) override {
    size_t n = Children().size();
    std::lock_guard<std::mutex> guard(cursorMu_);
    cursor_ += celt;
    if (cursor_ > n) {
      cursor_ = n;
      return S_FALSE;
    }
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    std::lock_guard<std::mutex> guard(cursorMu_);
    cursor_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override {
    if (!ppEnum) return E_INVALIDARG;
    auto* copy = new StdAcc(hwnd_, objid_);
    std::lock_guard<std::mutex> guard(cursorMu_);
    copy->cursor_ = cursor_;
    *ppEnum = copy;
    return S_OK;
  }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* phwnd) override {
    if (!phwnd) return E_INVALIDARG;
    *phwnd = hwnd_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  ~StdAcc() = default;

  bool HasEnum() const { return objid_ == OBJID_WINDOW || objid_ == OBJID_CLIENT; }

  // Children: part ids for a window object, child handles (z-order, top first) for a client.
  struct Kids {
    std::vector<LONG> parts;
    std::vector<HWND> windows;
    bool isParts;
    size_t size() const { return isParts ? parts.size() : windows.size(); }
  };
  Kids Children() const {
    Kids k{};
    k.isParts = objid_ == OBJID_WINDOW;
    if (!IsWindow(hwnd_)) return k;
    if (k.isParts) {
      for (LONG p = -1; p >= -7; --p) k.parts.push_back(p);
    } else if (objid_ == OBJID_CLIENT) {
      k.windows = ChildWindows(hwnd_);
    }
    return k;
  }

  bool ValidChild(const VARIANT& v, long& id) const {
    if (v.vt != VT_I4) return false;
    id = v.lVal;
    if (id == CHILDID_SELF) return true;
    return objid_ != OBJID_WINDOW && objid_ != OBJID_CLIENT && id >= 1 && id <= PartChildCount(objid_);
  }

  // A part of the window: the client through AccessibleObjectFromWindow, so a window that serves its own client tree
  // appears with it.
  HRESULT PartObject(LONG part, IDispatch** out) const {
    CountSuppressor quiet;
    if (part == OBJID_CLIENT) {
      return AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IDispatch),
                                        reinterpret_cast<void**>(out));
    }
    return StdAccessibleObject(hwnd_, part, __uuidof(IDispatch), reinterpret_cast<void**>(out));
  }
  HRESULT PartVariant(LONG part, VARIANT* out) const {
    IDispatch* d = nullptr;
    HRESULT hr = PartObject(part, &d);
    if (FAILED(hr) || !d) return FAILED(hr) ? hr : E_FAIL;
    out->vt = VT_DISPATCH;
    out->pdispVal = d;
    return S_OK;
  }
  static HRESULT WindowVariant(HWND hwnd, VARIANT* out) {
    IDispatch* d = nullptr;
    CountSuppressor quiet;
    HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                            reinterpret_cast<void**>(&d));
    if (FAILED(hr) || !d) return FAILED(hr) ? hr : E_FAIL;
    out->vt = VT_DISPATCH;
    out->pdispVal = d;
    return S_OK;
  }

  const HWND hwnd_;
  const LONG objid_;
  std::mutex cursorMu_;
  size_t cursor_ = 0;
};

}  // namespace

LONG StdClientRole(HWND hwnd) { return IsDesktop(hwnd) ? ROLE_SYSTEM_CLIENT : RoleOf(KindOf(hwnd)); }
bool StdClientName(HWND hwnd, std::wstring& name) { return ClientName(hwnd, KindOf(hwnd), name); }
LONG StdClientState(HWND hwnd) { return ClientState(hwnd, KindOf(hwnd)); }

bool IsStandardProxy(IUnknown* object) {
  IAccessible* acc = nullptr;
  if (!object || FAILED(object->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc))) || !acc) {
    return false;
  }
  bool standard = dynamic_cast<StdAcc*>(acc) != nullptr;
  acc->Release();
  return standard;
}

HRESULT StdAccessibleObject(HWND hwnd, LONG objid, REFIID riid, void** ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!hwnd || !IsWindow(hwnd)) return E_FAIL;
  if (objid > OBJID_WINDOW || objid < OBJID_SIZEGRIP) return E_INVALIDARG;
  auto* obj = new StdAcc(hwnd, objid);
  HRESULT hr = obj->QueryInterface(riid, ppv);
  obj->Release();
  return hr;
}

}  // namespace simwin::detail

using namespace simwin::detail;

// ---------------------------------------------------------------------------------------
// oleacc
// ---------------------------------------------------------------------------------------
STDAPI_(LRESULT) LresultFromObject(REFIID riid, WPARAM, LPUNKNOWN punk) {
  if (!punk) return E_INVALIDARG;
  IUnknown* held = nullptr;
  HRESULT hr = punk->QueryInterface(riid, reinterpret_cast<void**>(&held));
  if (FAILED(hr)) return hr;
  std::lock_guard<std::mutex> guard(g_lresultMu);
  LRESULT cookie = g_nextLresult++;
  g_lresults[cookie] = held;
  return cookie;
}

STDAPI ObjectFromLresult(LRESULT lResult, REFIID riid, WPARAM, void** ppvObject) {
  if (!ppvObject) return E_INVALIDARG;
  *ppvObject = nullptr;
  IUnknown* held = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lresultMu);
    auto it = g_lresults.find(lResult);
    if (it == g_lresults.end()) return E_INVALIDARG;
    held = it->second;
    g_lresults.erase(it);
  }
  HRESULT hr = held->QueryInterface(riid, ppvObject);
  held->Release();
  return hr;
}

STDAPI CreateStdAccessibleObject(HWND hwnd, LONG idObject, REFIID riid, void** ppvObject) {
  return StdAccessibleObject(hwnd, idObject, riid, ppvObject);
}

STDAPI AccessibleObjectFromWindow(HWND hwnd, DWORD dwId, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_INVALIDARG;
  *ppvObject = nullptr;
  HRESULT fault;
  {
    CountSuppressor quiet;
    if (AccCallFails("AccessibleObjectFromWindow", hwnd, std::wstring(), fault)) return fault;
  }
  if (!hwnd || !IsWindow(hwnd)) return E_FAIL;
  // The window may serve its own object; only when it answers 0 does the standard proxy stand in.
  LRESULT served = IsDesktop(hwnd) ? 0 : SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<LONG>(dwId)));
  if (served < 0) return static_cast<HRESULT>(served);
  if (served > 0) return ObjectFromLresult(served, riid, 0, ppvObject);
  return StdAccessibleObject(hwnd, static_cast<LONG>(dwId), riid, ppvObject);
}

STDAPI AccessibleChildren(IAccessible* paccContainer, LONG iChildStart, LONG cChildren, VARIANT* rgvarChildren,
                          LONG* pcObtained) {
  if (!paccContainer || !rgvarChildren || !pcObtained) return E_INVALIDARG;
  HRESULT fault;
  if (AccCallFails("AccessibleChildren", nullptr, std::wstring(), fault)) return fault;
  CountSuppressor quiet;
  if (iChildStart < 0 || cChildren < 0) return E_INVALIDARG;
  IEnumVARIANT* e = nullptr;
  if (SUCCEEDED(paccContainer->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&e))) && e) {
    e->Reset();
    HRESULT hr = iChildStart > 0 ? e->Skip(static_cast<ULONG>(iChildStart)) : S_OK;
    ULONG fetched = 0;
    if (SUCCEEDED(hr)) hr = e->Next(static_cast<ULONG>(cChildren), rgvarChildren, &fetched);
    e->Release();
    if (FAILED(hr)) return hr;
    *pcObtained = static_cast<LONG>(fetched);
    return fetched == static_cast<ULONG>(cChildren) ? S_OK : S_FALSE;
  }
  long count = 0;
  HRESULT hr = paccContainer->get_accChildCount(&count);
  if (FAILED(hr)) return hr;
  LONG obtained = 0;
  for (long i = iChildStart; i < count && obtained < cChildren; ++i, ++obtained) {
    VARIANT id;
    SetI4(&id, static_cast<LONG>(i + 1));
    IDispatch* child = nullptr;
    VARIANT& out = rgvarChildren[obtained];
    VariantInit(&out);
    // A child that is not an object is a simple element named by its id.
    if (SUCCEEDED(paccContainer->get_accChild(id, &child)) && child) {
      out.vt = VT_DISPATCH;
      out.pdispVal = child;
    } else {
      SetI4(&out, static_cast<LONG>(i + 1));
    }
  }
  *pcObtained = obtained;
  return obtained == cChildren ? S_OK : S_FALSE;
}

STDAPI WindowFromAccessibleObject(IAccessible* pacc, HWND* phwnd) {
  if (!pacc || !phwnd) return E_INVALIDARG;
  *phwnd = nullptr;
  IAccessible* current = pacc;
  current->AddRef();
  HRESULT result = S_FALSE;
  for (;;) {
    IOleWindow* ow = nullptr;
    if (SUCCEEDED(current->QueryInterface(__uuidof(IOleWindow), reinterpret_cast<void**>(&ow))) && ow) {
      HWND h = nullptr;
      HRESULT hr = ow->GetWindow(&h);
      ow->Release();
      if (SUCCEEDED(hr) && h) {
        *phwnd = h;
        result = S_OK;
        break;
      }
    }
    IDispatch* parent = nullptr;
    HRESULT hr = current->get_accParent(&parent);
    if (FAILED(hr) || !parent) {
      result = FAILED(hr) ? hr : S_FALSE;
      break;
    }
    IAccessible* next = nullptr;
    hr = parent->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&next));
    parent->Release();
    if (FAILED(hr) || !next) {
      result = E_FAIL;
      break;
    }
    current->Release();
    current = next;
  }
  current->Release();
  return result;
}

STDAPI AccessibleObjectFromEvent(HWND hwnd, DWORD dwId, DWORD dwChildId, IAccessible** ppacc, VARIANT* pvarChild) {
  if (!ppacc || !pvarChild) return E_INVALIDARG;
  *ppacc = nullptr;
  VariantInit(pvarChild);
  if (!hwnd) return E_FAIL;
  IAccessible* acc = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(hwnd, dwId, __uuidof(IAccessible), reinterpret_cast<void**>(&acc));
  if (FAILED(hr)) return hr;
  if (!acc) return E_FAIL;
  if (static_cast<LONG>(dwChildId) == CHILDID_SELF) {
    *ppacc = acc;
    SetI4(pvarChild, CHILDID_SELF);
    return S_OK;
  }
  VARIANT id;
  SetI4(&id, static_cast<LONG>(dwChildId));
  IDispatch* child = nullptr;
  hr = acc->get_accChild(id, &child);
  if (SUCCEEDED(hr) && child) {
    IAccessible* childAcc = nullptr;
    hr = child->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&childAcc));
    child->Release();
    if (SUCCEEDED(hr) && childAcc) {
      acc->Release();
      *ppacc = childAcc;
      SetI4(pvarChild, CHILDID_SELF);
      return S_OK;
    }
  }
  *ppacc = acc;
  SetI4(pvarChild, static_cast<LONG>(dwChildId));
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// Driving API: counting and faults
// ---------------------------------------------------------------------------------------
namespace simwin {

uint64_t AccessibilityCallCount() { return detail::g_accCalls.load(); }
void ResetAccessibilityCallCount() { detail::g_accCalls = 0; }

int InjectAccessibilityFault(const AccessibilityFault& fault) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  int id = detail::g_nextFaultId++;
  detail::g_faults.push_back(
      detail::Fault{id, fault.method, fault.hwnd, fault.element, fault.hr, fault.times});
  return id;
}

void RemoveAccessibilityFault(int id) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  auto& f = detail::g_faults;
  f.erase(std::remove_if(f.begin(), f.end(), [id](const detail::Fault& x) { return x.id == id; }), f.end());
}

void ClearAccessibilityFaults() {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  detail::g_faults.clear();
}

long LiveAccessibleObjectCount() { return detail::g_liveAccObjects.load(); }
long LiveBstrCount() { return detail::g_liveBstrs.load(); }

std::size_t PendingLresultCount() {
  std::lock_guard<std::mutex> guard(detail::g_lresultMu);
  return detail::g_lresults.size();
}

}  // namespace simwin
