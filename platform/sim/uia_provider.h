// simwin: the provider side of UI Automation (UIAutomationCore.h), for simulated installers that serve a native tree.
// Names, values, signatures and vtable order as the Windows SDK declares them (checked against UIAutomationCore.idl as
// other projects carry it). The engine is a UI Automation client and never includes this header; only simwin and its
// driving API do.
#pragma once

#include "platform/win32.h"

// WM_GETOBJECT's lParam when UI Automation asks a window for its provider (ElementFromHandle and the like).
#define UiaRootObjectId (-25)

#define UIA_StructureChangedEventId (20002)
#define UIA_AutomationPropertyChangedEventId (20004)
#define UIA_Invoke_InvokedEventId (20009)
#define UIA_SelectionItem_ElementSelectedEventId (20012)

enum ProviderOptions {
  ProviderOptions_ClientSideProvider = 0x1,
  ProviderOptions_ServerSideProvider = 0x2,
  ProviderOptions_NonClientAreaProvider = 0x4,
  ProviderOptions_OverrideProvider = 0x8,
  ProviderOptions_ProviderOwnsSetFocus = 0x10,
  ProviderOptions_UseComThreading = 0x20
};

enum NavigateDirection {
  NavigateDirection_Parent = 0,
  NavigateDirection_NextSibling = 1,
  NavigateDirection_PreviousSibling = 2,
  NavigateDirection_FirstChild = 3,
  NavigateDirection_LastChild = 4
};

// Screen coordinates: the top left corner and the size.
struct UiaRect {
  double left;
  double top;
  double width;
  double height;
};

SIMWIN_UUID_DECL(IRawElementProviderSimple, 0xd6dd68d1, 0x86fd, 0x4332, 0x86, 0x66, 0x9a, 0xbe, 0xde, 0xa2, 0xd2, 0x4c)
SIMWIN_UUID_DECL(IRawElementProviderFragment, 0xf7063da8, 0x8359, 0x439c, 0x92, 0x97, 0xbb, 0xc5, 0x29, 0x9a, 0x7d,
                 0x87)
SIMWIN_UUID_DECL(IRawElementProviderFragmentRoot, 0x620ce2a5, 0xab8f, 0x40a9, 0x86, 0xcb, 0xde, 0x3c, 0x75, 0x59, 0x9b,
                 0x58)
SIMWIN_UUID_DECL(IToggleProvider, 0x56d00bd0, 0xc4f4, 0x433c, 0xa8, 0x36, 0x1a, 0x52, 0xa5, 0x7e, 0x08, 0x92)
SIMWIN_UUID_DECL(ISelectionItemProvider, 0x2acad808, 0xb2d4, 0x452d, 0xa4, 0x07, 0x91, 0xff, 0x1a, 0xd1, 0x67, 0xb2)
SIMWIN_UUID_DECL(IInvokeProvider, 0x54fcb24b, 0xe18e, 0x47a2, 0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2)

struct IRawElementProviderSimple : public IUnknown {
  STDMETHOD(get_ProviderOptions)(ProviderOptions* pRetVal) PURE;
  STDMETHOD(GetPatternProvider)(PATTERNID patternId, IUnknown** pRetVal) PURE;
  // VT_EMPTY: the provider does not supply the property (UI Automation falls back to another provider or the
  // property's default).
  STDMETHOD(GetPropertyValue)(PROPERTYID propertyId, VARIANT* pRetVal) PURE;
  STDMETHOD(get_HostRawElementProvider)(IRawElementProviderSimple** pRetVal) PURE;

 protected:
  ~IRawElementProviderSimple() = default;
};

struct IRawElementProviderFragmentRoot;

struct IRawElementProviderFragment : public IUnknown {
  // Null (S_OK) when there is no element in that direction; the root has no parent or siblings of its own.
  STDMETHOD(Navigate)(NavigateDirection direction, IRawElementProviderFragment** pRetVal) PURE;
  STDMETHOD(GetRuntimeId)(SAFEARRAY** pRetVal) PURE;
  STDMETHOD(get_BoundingRectangle)(UiaRect* pRetVal) PURE;
  STDMETHOD(GetEmbeddedFragmentRoots)(SAFEARRAY** pRetVal) PURE;
  STDMETHOD(SetFocus)() PURE;
  STDMETHOD(get_FragmentRoot)(IRawElementProviderFragmentRoot** pRetVal) PURE;

 protected:
  ~IRawElementProviderFragment() = default;
};

struct IRawElementProviderFragmentRoot : public IUnknown {
  STDMETHOD(ElementProviderFromPoint)(double x, double y, IRawElementProviderFragment** pRetVal) PURE;
  STDMETHOD(GetFocus)(IRawElementProviderFragment** pRetVal) PURE;

 protected:
  ~IRawElementProviderFragmentRoot() = default;
};

struct IToggleProvider : public IUnknown {
  STDMETHOD(Toggle)() PURE;
  STDMETHOD(get_ToggleState)(ToggleState* pRetVal) PURE;

 protected:
  ~IToggleProvider() = default;
};

struct ISelectionItemProvider : public IUnknown {
  STDMETHOD(Select)() PURE;
  STDMETHOD(AddToSelection)() PURE;
  STDMETHOD(RemoveFromSelection)() PURE;
  STDMETHOD(get_IsSelected)(BOOL* pRetVal) PURE;
  STDMETHOD(get_SelectionContainer)(IRawElementProviderSimple** pRetVal) PURE;

 protected:
  ~ISelectionItemProvider() = default;
};

struct IInvokeProvider : public IUnknown {
  STDMETHOD(Invoke)() PURE;

 protected:
  ~IInvokeProvider() = default;
};

// A window procedure answers WM_GETOBJECT with this; like LresultFromObject, the result holds one reference to the
// provider until UI Automation takes it. (hwnd, 0, 0, NULL), the call a window makes when it is destroyed, returns 0.
LRESULT WINAPI UiaReturnRawElementProvider(HWND hwnd, WPARAM wParam, LPARAM lParam, IRawElementProviderSimple* el);
