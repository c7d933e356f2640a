// simwin Active Accessibility: the standard proxies of windows and controls (window object with its seven parts,
// client objects by class and style).
//
// Like Windows' proxies, these objects live in the caller's process and read and change the control by messages to
// its window, so the control's UI thread answers them and a UI thread that stops pumping blocks them.
#include <mutex>
#include <vector>

#include "platform/sim/msaa_internal.h"

namespace simwin::detail::msaa {

namespace {

#define ACC_ENTER(method)                                                 \
  do {                                                                    \
    HRESULT fault_;                                                       \
    if (AccCallFails(method, hwnd_, std::wstring(), fault_)) return fault_; \
  } while (0)

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

  // A client object answers S_OK: itself (CHILDID_SELF) when its window has the focus, the window object of a
  // descendant window that has it, else VT_EMPTY (Wine's oleacc main.c, test_default_client_accessible_object).
  STDMETHODIMP get_accFocus(VARIANT* pvarChild) override {
    if (!pvarChild) return E_INVALIDARG;
    VariantInit(pvarChild);
    ACC_ENTER("get_accFocus");
    if (objid_ != OBJID_CLIENT) return S_FALSE;
    HWND focus = ForegroundFocus();
    if (focus == hwnd_) {
      SetI4(pvarChild, CHILDID_SELF);
    } else if (focus && IsChild(hwnd_, focus)) {
      return WindowVariant(focus, pvarChild);
    }
    return S_OK;
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
    return DISP_E_MEMBERNOTFOUND;  // the proxies take neither focus nor selection
  }

  STDMETHODIMP accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight, VARIANT varChild) override {
    if (!pxLeft || !pyTop || !pcxWidth || !pcyHeight) return E_INVALIDARG;
    *pxLeft = *pyTop = *pcxWidth = *pcyHeight = 0;
    ACC_ENTER("accLocation");
    if (!IsWindow(hwnd_)) return S_OK;
    long id;
    if (!ValidChild(varChild, id)) return E_INVALIDARG;
    if (objid_ != OBJID_WINDOW && objid_ != OBJID_CLIENT && !PartPresent(hwnd_, objid_)) return S_OK;
    const RECT r = objid_ == OBJID_CLIENT ? ClientRectOnScreen(hwnd_) : WindowRectOf(hwnd_);
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
    auto inside = [&](const RECT& r) { return xLeft >= r.left && xLeft < r.right && yTop >= r.top && yTop < r.bottom; };
    if (!inside(objid_ == OBJID_CLIENT ? ClientRectOnScreen(hwnd_) : WindowRectOf(hwnd_))) return S_FALSE;
    if (!IsWindowVisible(hwnd_)) {
      SetI4(pvarChild, CHILDID_SELF);
      return S_OK;
    }
    // The frame around the client area is the window object's own.
    if (objid_ == OBJID_WINDOW && inside(ClientRectOnScreen(hwnd_))) return PartVariant(OBJID_CLIENT, pvarChild);
    if (objid_ == OBJID_CLIENT) {
      for (HWND c : ChildWindows(hwnd_)) {
        if (IsWindowVisible(c) && inside(WindowRectOf(c))) return WindowVariant(c, pvarChild);
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

}  // namespace simwin::detail::msaa

namespace simwin::detail {

bool IsStandardProxy(IUnknown* object) {
  IAccessible* acc = nullptr;
  if (!object || FAILED(object->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc))) || !acc) {
    return false;
  }
  bool standard = dynamic_cast<msaa::StdAcc*>(acc) != nullptr;
  acc->Release();
  return standard;
}

HRESULT StdAccessibleObject(HWND hwnd, LONG objid, REFIID riid, void** ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!hwnd || !IsWindow(hwnd)) return E_FAIL;
  if (objid > OBJID_WINDOW || objid < OBJID_SIZEGRIP) return E_INVALIDARG;
  auto* obj = new msaa::StdAcc(hwnd, objid);
  HRESULT hr = obj->QueryInterface(riid, ppv);
  obj->Release();
  return hr;
}

}  // namespace simwin::detail
