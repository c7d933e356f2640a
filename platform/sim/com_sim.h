// simwin: COM basics, OLE Automation types, Active Accessibility and the standard
// controls' messages, declared as the Windows SDK declares them (unknwn.h, oaidl.h,
// oleidl.h, oleacc.h, winuser.h) with the same names, signatures, values and vtable
// order. Included at the end of win32_sim.h; never include it on its own.
//
// Differences that follow from the platform: `long` in the IAccessible signatures is
// 64 bits on Linux (values stay in the 32-bit range); BSTR units are 32-bit wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// GUIDs and COM calling conventions
// ---------------------------------------------------------------------------------------
typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef IID* LPIID;
typedef const IID& REFIID;
typedef const GUID& REFGUID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define PURE = 0
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define IFACEMETHODIMP STDMETHODIMP
#define IFACEMETHODIMP_(type) STDMETHODIMP_(type)
#define STDAPI HRESULT STDAPICALLTYPE
#define STDAPI_(type) type STDAPICALLTYPE

// __uuidof(Interface), as mingw-w64 provides it: a specialisation per declared interface
// (and its pointer type), so both __uuidof(IFoo) and __uuidof(pointerToFoo) work.
template <typename T>
const GUID& simwin_uuidof();
#define SIMWIN_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)   \
  struct type;                                                           \
  template <>                                                            \
  inline const GUID& simwin_uuidof<type>() {                             \
    static const GUID id = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}; \
    return id;                                                           \
  }                                                                      \
  template <>                                                            \
  inline const GUID& simwin_uuidof<type*>() {                            \
    return simwin_uuidof<type>();                                        \
  }
#define __uuidof(type) simwin_uuidof<__typeof__(type)>()
template <typename T>
void** IID_PPV_ARGS_Helper(T** pp) {
  return reinterpret_cast<void**>(pp);
}
#define IID_PPV_ARGS(ppType) __uuidof(**(ppType)), IID_PPV_ARGS_Helper(ppType)

SIMWIN_UUID_DECL(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
SIMWIN_UUID_DECL(IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
SIMWIN_UUID_DECL(IEnumVARIANT, 0x00020404, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
SIMWIN_UUID_DECL(IOleWindow, 0x00000114, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
SIMWIN_UUID_DECL(IAccessible, 0x618736e0, 0x3c3d, 0x11cf, 0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71)

// ---------------------------------------------------------------------------------------
// More HRESULTs (winerror.h)
// ---------------------------------------------------------------------------------------
#define E_ABORT ((HRESULT)0x80004004L)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_HANDLE ((HRESULT)0x80070006L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define CO_E_OBJNOTCONNECTED ((HRESULT)0x800401FDL)
#define RPC_E_CALL_REJECTED ((HRESULT)0x80010001L)
#define RPC_E_SERVERFAULT ((HRESULT)0x80010105L)
#define RPC_E_DISCONNECTED ((HRESULT)0x80010108L)
#define RPC_E_WRONG_THREAD ((HRESULT)0x8001010EL)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001L)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003L)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004L)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006L)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009L)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000EL)
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)

// ---------------------------------------------------------------------------------------
// OLE Automation types (wtypes.h, oaidl.h, oleauto.h)
// ---------------------------------------------------------------------------------------
typedef short SHORT;
typedef unsigned short USHORT;
typedef float FLOAT;
typedef double DOUBLE;
typedef void* PVOID;
typedef LONG SCODE;
typedef DWORD LCID;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
// A BSTR points at its first character; the length is stored in front of it.
typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
typedef unsigned short VARTYPE;
typedef double DATE;

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0xfff
};

struct IUnknown;
struct IDispatch;
struct ITypeInfo;  // not implemented; only passed through as NULL
typedef IUnknown* LPUNKNOWN;
// Only named in signatures (UI Automation's runtime ids and arrays); simwin makes none.
typedef struct tagSAFEARRAY SAFEARRAY;
typedef SAFEARRAY* LPSAFEARRAY;

// The members the engine reads; the union is as wide as Windows' (16 bytes on Win64
// including the record pair) so VARIANT arrays have Windows' stride.
typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    PVOID byref;
    LONG* plVal;
    BSTR* pbstrVal;
    struct tagVARIANT* pvarVal;
    void* brecord_[2];
  };
} VARIANT;
typedef VARIANT* LPVARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANTARG;

#define V_VT(X) ((X)->vt)
#define V_I4(X) ((X)->lVal)
#define V_BSTR(X) ((X)->bstrVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_BOOL(X) ((X)->boolVal)

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDAPICALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

// BSTRs: NULL is a valid empty string for SysStringLen; SysFreeString(NULL) is a no-op.
BSTR WINAPI SysAllocString(const OLECHAR* psz);
BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
void WINAPI SysFreeString(BSTR bstrString);
UINT WINAPI SysStringLen(BSTR pbstr);
UINT WINAPI SysStringByteLen(BSTR bstr);

// VARIANTs: VariantClear releases interfaces and frees BSTRs, then leaves VT_EMPTY;
// VariantCopy clears the destination, then deep-copies (AddRef / new BSTR).
void WINAPI VariantInit(VARIANTARG* pvarg);
HRESULT WINAPI VariantClear(VARIANTARG* pvarg);
HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// ---------------------------------------------------------------------------------------
// Interfaces (vtable order as in the SDK)
// ---------------------------------------------------------------------------------------
struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;

  template <class Q>
  HRESULT QueryInterface(Q** pp) {
    return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
  }

 protected:
  ~IUnknown() = default;
};

struct IDispatch : public IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;

 protected:
  ~IDispatch() = default;
};
typedef IDispatch* LPDISPATCH;

struct IEnumVARIANT : public IUnknown {
  STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) PURE;
  STDMETHOD(Skip)(ULONG celt) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumVARIANT** ppEnum) PURE;

 protected:
  ~IEnumVARIANT() = default;
};

struct IOleWindow : public IUnknown {
  STDMETHOD(GetWindow)(HWND* phwnd) PURE;
  STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) PURE;

 protected:
  ~IOleWindow() = default;
};

struct IAccessible : public IDispatch {
  STDMETHOD(get_accParent)(IDispatch** ppdispParent) PURE;
  STDMETHOD(get_accChildCount)(long* pcountChildren) PURE;
  STDMETHOD(get_accChild)(VARIANT varChild, IDispatch** ppdispChild) PURE;
  STDMETHOD(get_accName)(VARIANT varChild, BSTR* pszName) PURE;
  STDMETHOD(get_accValue)(VARIANT varChild, BSTR* pszValue) PURE;
  STDMETHOD(get_accDescription)(VARIANT varChild, BSTR* pszDescription) PURE;
  STDMETHOD(get_accRole)(VARIANT varChild, VARIANT* pvarRole) PURE;
  STDMETHOD(get_accState)(VARIANT varChild, VARIANT* pvarState) PURE;
  STDMETHOD(get_accHelp)(VARIANT varChild, BSTR* pszHelp) PURE;
  STDMETHOD(get_accHelpTopic)(BSTR* pszHelpFile, VARIANT varChild, long* pidTopic) PURE;
  STDMETHOD(get_accKeyboardShortcut)(VARIANT varChild, BSTR* pszKeyboardShortcut) PURE;
  STDMETHOD(get_accFocus)(VARIANT* pvarChild) PURE;
  STDMETHOD(get_accSelection)(VARIANT* pvarChildren) PURE;
  STDMETHOD(get_accDefaultAction)(VARIANT varChild, BSTR* pszDefaultAction) PURE;
  STDMETHOD(accSelect)(long flagsSelect, VARIANT varChild) PURE;
  STDMETHOD(accLocation)(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight, VARIANT varChild) PURE;
  STDMETHOD(accNavigate)(long navDir, VARIANT varStart, VARIANT* pvarEndUpAt) PURE;
  STDMETHOD(accHitTest)(long xLeft, long yTop, VARIANT* pvarChild) PURE;
  STDMETHOD(accDoDefaultAction)(VARIANT varChild) PURE;
  STDMETHOD(put_accName)(VARIANT varChild, BSTR szName) PURE;
  STDMETHOD(put_accValue)(VARIANT varChild, BSTR szValue) PURE;

 protected:
  ~IAccessible() = default;
};
typedef IAccessible* LPACCESSIBLE;

// ---------------------------------------------------------------------------------------
// Object creation (objbase.h, ole2.h)
// ---------------------------------------------------------------------------------------
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
// The only class registered is CLSID_CUIAutomation (in-process); every other CLSID gives REGDB_E_CLASSNOTREG.
// CO_E_NOTINITIALIZED on a thread that has not called CoInitializeEx; CLASS_E_NOAGGREGATION with an outer unknown.
STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// simwin's objects are always running: S_OK for any object, E_INVALIDARG for NULL.
STDAPI OleRun(LPUNKNOWN pUnknown);

// ---------------------------------------------------------------------------------------
// Active Accessibility (oleacc.h)
// ---------------------------------------------------------------------------------------
#define WM_GETOBJECT 0x003D
#define OBJID_CARET ((LONG)0xFFFFFFF8)
#define OBJID_CURSOR ((LONG)0xFFFFFFF7)
#define OBJID_ALERT ((LONG)0xFFFFFFF6)
#define OBJID_SOUND ((LONG)0xFFFFFFF5)
#define OBJID_QUERYCLASSNAMEIDX ((LONG)0xFFFFFFF4)
#define OBJID_NATIVEOM ((LONG)0xFFFFFFF0)

#define ROLE_SYSTEM_TITLEBAR 0x1
#define ROLE_SYSTEM_MENUBAR 0x2
#define ROLE_SYSTEM_SCROLLBAR 0x3
#define ROLE_SYSTEM_GRIP 0x4
#define ROLE_SYSTEM_SOUND 0x5
#define ROLE_SYSTEM_CURSOR 0x6
#define ROLE_SYSTEM_CARET 0x7
#define ROLE_SYSTEM_ALERT 0x8
#define ROLE_SYSTEM_WINDOW 0x9
#define ROLE_SYSTEM_CLIENT 0xa
#define ROLE_SYSTEM_MENUPOPUP 0xb
#define ROLE_SYSTEM_MENUITEM 0xc
#define ROLE_SYSTEM_TOOLTIP 0xd
#define ROLE_SYSTEM_APPLICATION 0xe
#define ROLE_SYSTEM_DOCUMENT 0xf
#define ROLE_SYSTEM_PANE 0x10
#define ROLE_SYSTEM_CHART 0x11
#define ROLE_SYSTEM_DIALOG 0x12
#define ROLE_SYSTEM_BORDER 0x13
#define ROLE_SYSTEM_GROUPING 0x14
#define ROLE_SYSTEM_SEPARATOR 0x15
#define ROLE_SYSTEM_TOOLBAR 0x16
#define ROLE_SYSTEM_STATUSBAR 0x17
#define ROLE_SYSTEM_TABLE 0x18
#define ROLE_SYSTEM_COLUMNHEADER 0x19
#define ROLE_SYSTEM_ROWHEADER 0x1a
#define ROLE_SYSTEM_COLUMN 0x1b
#define ROLE_SYSTEM_ROW 0x1c
#define ROLE_SYSTEM_CELL 0x1d
#define ROLE_SYSTEM_LINK 0x1e
#define ROLE_SYSTEM_HELPBALLOON 0x1f
#define ROLE_SYSTEM_CHARACTER 0x20
#define ROLE_SYSTEM_LIST 0x21
#define ROLE_SYSTEM_LISTITEM 0x22
#define ROLE_SYSTEM_OUTLINE 0x23
#define ROLE_SYSTEM_OUTLINEITEM 0x24
#define ROLE_SYSTEM_PAGETAB 0x25
#define ROLE_SYSTEM_PROPERTYPAGE 0x26
#define ROLE_SYSTEM_INDICATOR 0x27
#define ROLE_SYSTEM_GRAPHIC 0x28
#define ROLE_SYSTEM_STATICTEXT 0x29
#define ROLE_SYSTEM_TEXT 0x2a
#define ROLE_SYSTEM_PUSHBUTTON 0x2b
#define ROLE_SYSTEM_CHECKBUTTON 0x2c
#define ROLE_SYSTEM_RADIOBUTTON 0x2d
#define ROLE_SYSTEM_COMBOBOX 0x2e
#define ROLE_SYSTEM_DROPLIST 0x2f
#define ROLE_SYSTEM_PROGRESSBAR 0x30
#define ROLE_SYSTEM_DIAL 0x31
#define ROLE_SYSTEM_HOTKEYFIELD 0x32
#define ROLE_SYSTEM_SLIDER 0x33
#define ROLE_SYSTEM_SPINBUTTON 0x34
#define ROLE_SYSTEM_DIAGRAM 0x35
#define ROLE_SYSTEM_ANIMATION 0x36
#define ROLE_SYSTEM_EQUATION 0x37
#define ROLE_SYSTEM_BUTTONDROPDOWN 0x38
#define ROLE_SYSTEM_BUTTONMENU 0x39
#define ROLE_SYSTEM_BUTTONDROPDOWNGRID 0x3a
#define ROLE_SYSTEM_WHITESPACE 0x3b
#define ROLE_SYSTEM_PAGETABLIST 0x3c
#define ROLE_SYSTEM_CLOCK 0x3d
#define ROLE_SYSTEM_SPLITBUTTON 0x3e
#define ROLE_SYSTEM_IPADDRESS 0x3f
#define ROLE_SYSTEM_OUTLINEBUTTON 0x40

#define STATE_SYSTEM_NORMAL 0
#define STATE_SYSTEM_UNAVAILABLE 0x1
#define STATE_SYSTEM_SELECTED 0x2
#define STATE_SYSTEM_FOCUSED 0x4
#define STATE_SYSTEM_PRESSED 0x8
#define STATE_SYSTEM_CHECKED 0x10
#define STATE_SYSTEM_MIXED 0x20
#define STATE_SYSTEM_INDETERMINATE STATE_SYSTEM_MIXED
#define STATE_SYSTEM_READONLY 0x40
#define STATE_SYSTEM_HOTTRACKED 0x80
#define STATE_SYSTEM_DEFAULT 0x100
#define STATE_SYSTEM_EXPANDED 0x200
#define STATE_SYSTEM_COLLAPSED 0x400
#define STATE_SYSTEM_BUSY 0x800
#define STATE_SYSTEM_FLOATING 0x1000
#define STATE_SYSTEM_MARQUEED 0x2000
#define STATE_SYSTEM_ANIMATED 0x4000
#define STATE_SYSTEM_INVISIBLE 0x8000
#define STATE_SYSTEM_OFFSCREEN 0x10000
#define STATE_SYSTEM_SIZEABLE 0x20000
#define STATE_SYSTEM_MOVEABLE 0x40000
#define STATE_SYSTEM_SELFVOICING 0x80000
#define STATE_SYSTEM_FOCUSABLE 0x100000
#define STATE_SYSTEM_SELECTABLE 0x200000
#define STATE_SYSTEM_LINKED 0x400000
#define STATE_SYSTEM_TRAVERSED 0x800000
#define STATE_SYSTEM_MULTISELECTABLE 0x1000000
#define STATE_SYSTEM_EXTSELECTABLE 0x2000000
#define STATE_SYSTEM_ALERT_LOW 0x4000000
#define STATE_SYSTEM_ALERT_MEDIUM 0x8000000
#define STATE_SYSTEM_ALERT_HIGH 0x10000000
#define STATE_SYSTEM_PROTECTED 0x20000000
#define STATE_SYSTEM_HASPOPUP 0x40000000
#define STATE_SYSTEM_VALID 0x7fffffff

#define NAVDIR_MIN 0
#define NAVDIR_UP 0x1
#define NAVDIR_DOWN 0x2
#define NAVDIR_LEFT 0x3
#define NAVDIR_RIGHT 0x4
#define NAVDIR_NEXT 0x5
#define NAVDIR_PREVIOUS 0x6
#define NAVDIR_FIRSTCHILD 0x7
#define NAVDIR_LASTCHILD 0x8
#define NAVDIR_MAX 0x9

#define SELFLAG_NONE 0
#define SELFLAG_TAKEFOCUS 0x1
#define SELFLAG_TAKESELECTION 0x2
#define SELFLAG_EXTENDSELECTION 0x4
#define SELFLAG_ADDSELECTION 0x8
#define SELFLAG_REMOVESELECTION 0x10
#define SELFLAG_VALID 0x1f

// Sends WM_GETOBJECT(0, dwId) to the window first; a window that answers with
// LresultFromObject serves its own object, one that answers 0 gets the standard proxy
// (OBJID_WINDOW or OBJID_CLIENT; other ids give E_FAIL from simwin's proxies).
STDAPI AccessibleObjectFromWindow(HWND hwnd, DWORD dwId, REFIID riid, void** ppvObject);
// Windows' rules: through IEnumVARIANT when the object has it, else get_accChildCount
// and get_accChild per child (VT_I4 child id for a simple element). S_FALSE when fewer
// than cChildren were obtained.
STDAPI AccessibleChildren(IAccessible* paccContainer, LONG iChildStart, LONG cChildren, VARIANT* rgvarChildren,
                          LONG* pcObtained);
STDAPI WindowFromAccessibleObject(IAccessible* pacc, HWND* phwnd);
STDAPI AccessibleObjectFromEvent(HWND hwnd, DWORD dwId, DWORD dwChildId, IAccessible** ppacc, VARIANT* pvarChild);
STDAPI CreateStdAccessibleObject(HWND hwnd, LONG idObject, REFIID riid, void** ppvObject);
// A window procedure answers WM_GETOBJECT with this; the result holds one reference to
// the object until ObjectFromLresult takes it (once).
STDAPI_(LRESULT) LresultFromObject(REFIID riid, WPARAM wParam, LPUNKNOWN punk);
STDAPI ObjectFromLresult(LRESULT lResult, REFIID riid, WPARAM wParam, void** ppvObject);

// ---------------------------------------------------------------------------------------
// Standard controls: styles, messages, notifications (winuser.h)
// ---------------------------------------------------------------------------------------
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_INITDIALOG 0x0110
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define MK_LBUTTON 0x0001
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_3STATE 0x00000005L
#define BS_AUTO3STATE 0x00000006L
#define BS_GROUPBOX 0x00000007L
#define BS_USERBUTTON 0x00000008L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_PUSHBOX 0x0000000AL
#define BS_OWNERDRAW 0x0000000BL
#define BS_TYPEMASK 0x0000000FL
#define BS_LEFTTEXT 0x00000020L
#define BS_NOTIFY 0x00004000L

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008
#define BST_HOT 0x0200

#define BN_CLICKED 0
#define BN_PAINT 1
#define BN_HILITE 2
#define BN_UNHILITE 3
#define BN_DISABLE 4
#define BN_DOUBLECLICKED 5
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_NOPREFIX 0x00000080L

#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_PASSWORD 0x0020L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L

#define DS_MODALFRAME 0x80L
#define DS_SETFONT 0x40L
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define IDOK 1
#define IDCANCEL 2
