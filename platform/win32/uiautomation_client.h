// The UI Automation client interfaces the engine uses, declared once for both
// worlds: mingw-w64's headers lack them (its uiautomationclient.h holds only
// the id constants) and simwin implements them on Linux. Included from
// platform/win32.h after the SDK or simwin headers; never include it on its
// own.
//
// Vtable order: every method of every interface below is declared, in the order
// of the Windows SDK's UIAutomationClient.idl. Taken from wine's
// include/uiautomationclient.idl (kept binary compatible with the SDK) and
// checked against the vtable structs that Microsoft generates from the SDK
// metadata (windows-docs-rs, Win32::UI::Accessibility::*_Vtbl: IUIAutomation 55
// methods, IUIAutomationElement 82, IUIAutomationCacheRequest 9,
// IUIAutomationTreeWalker 13, IUIAutomationLegacyIAccessiblePattern 24,
// IUIAutomationSelectionItemPattern 7, IUIAutomationTogglePattern 3,
// IUIAutomationInvokePattern 1, IUIAutomationElementArray 2). The Microsoft
// Learn interface pages list methods alphabetically, so they confirm names and
// signatures only. uia_decl_test.cpp checks the slot of each interface's first
// and last methods.
//
// The id constants are spelled exactly as mingw-w64's uiautomationclient.h
// spells them, so including that header as well is harmless.
#pragma once

#ifdef _WIN32
#define IAE_UIA_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  struct type;                                                             \
  __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#define IAE_UIA_CLASS_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  class type;                                                                    \
  __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define IAE_UIA_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  SIMWIN_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#define IAE_UIA_CLASS_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  SIMWIN_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif

// ---------------------------------------------------------------------------------------
// Types and enumerations
// ---------------------------------------------------------------------------------------
typedef int PROPERTYID;
typedef int PATTERNID;
typedef int EVENTID;
typedef int TEXTATTRIBUTEID;
typedef int CONTROLTYPEID;
typedef int LANDMARKTYPEID;
typedef int METADATAID;
typedef int HEADINGLEVELID;
typedef void* UIA_HWND;

enum TreeScope {
  TreeScope_None = 0x0,
  TreeScope_Element = 0x1,
  TreeScope_Children = 0x2,
  TreeScope_Descendants = 0x4,
  TreeScope_Parent = 0x8,
  TreeScope_Ancestors = 0x10,
  TreeScope_Subtree = TreeScope_Element | TreeScope_Children | TreeScope_Descendants
};

enum PropertyConditionFlags {
  PropertyConditionFlags_None = 0x0,
  PropertyConditionFlags_IgnoreCase = 0x1,
  PropertyConditionFlags_MatchSubstring = 0x2
};

enum AutomationElementMode { AutomationElementMode_None = 0, AutomationElementMode_Full = 1 };

enum OrientationType { OrientationType_None = 0, OrientationType_Horizontal = 1, OrientationType_Vertical = 2 };

enum ToggleState { ToggleState_Off = 0, ToggleState_On = 1, ToggleState_Indeterminate = 2 };

// ---------------------------------------------------------------------------------------
// Errors (UIAutomationCoreApi.h)
// ---------------------------------------------------------------------------------------
#define UIA_E_ELEMENTNOTENABLED 0x80040200
#define UIA_E_ELEMENTNOTAVAILABLE 0x80040201
#define UIA_E_NOCLICKABLEPOINT 0x80040202
#define UIA_E_PROXYASSEMBLYNOTLOADED 0x80040203
#define UIA_E_NOTSUPPORTED 0x80040204
#define UIA_E_INVALIDOPERATION 0x80131509
#define UIA_E_TIMEOUT 0x80131505

// ---------------------------------------------------------------------------------------
// Pattern, property and control type ids (UIAutomationClient.h)
// ---------------------------------------------------------------------------------------
#define UIA_InvokePatternId (10000)
#define UIA_SelectionPatternId (10001)
#define UIA_ValuePatternId (10002)
#define UIA_RangeValuePatternId (10003)
#define UIA_ScrollPatternId (10004)
#define UIA_ExpandCollapsePatternId (10005)
#define UIA_GridPatternId (10006)
#define UIA_GridItemPatternId (10007)
#define UIA_MultipleViewPatternId (10008)
#define UIA_WindowPatternId (10009)
#define UIA_SelectionItemPatternId (10010)
#define UIA_DockPatternId (10011)
#define UIA_TablePatternId (10012)
#define UIA_TableItemPatternId (10013)
#define UIA_TextPatternId (10014)
#define UIA_TogglePatternId (10015)
#define UIA_TransformPatternId (10016)
#define UIA_ScrollItemPatternId (10017)
#define UIA_LegacyIAccessiblePatternId (10018)

#define UIA_RuntimeIdPropertyId (30000)
#define UIA_BoundingRectanglePropertyId (30001)
#define UIA_ProcessIdPropertyId (30002)
#define UIA_ControlTypePropertyId (30003)
#define UIA_LocalizedControlTypePropertyId (30004)
#define UIA_NamePropertyId (30005)
#define UIA_AcceleratorKeyPropertyId (30006)
#define UIA_AccessKeyPropertyId (30007)
#define UIA_HasKeyboardFocusPropertyId (30008)
#define UIA_IsKeyboardFocusablePropertyId (30009)
#define UIA_IsEnabledPropertyId (30010)
#define UIA_AutomationIdPropertyId (30011)
#define UIA_ClassNamePropertyId (30012)
#define UIA_HelpTextPropertyId (30013)
#define UIA_ClickablePointPropertyId (30014)
#define UIA_CulturePropertyId (30015)
#define UIA_IsControlElementPropertyId (30016)
#define UIA_IsContentElementPropertyId (30017)
#define UIA_LabeledByPropertyId (30018)
#define UIA_IsPasswordPropertyId (30019)
#define UIA_NativeWindowHandlePropertyId (30020)
#define UIA_ItemTypePropertyId (30021)
#define UIA_IsOffscreenPropertyId (30022)
#define UIA_OrientationPropertyId (30023)
#define UIA_FrameworkIdPropertyId (30024)
#define UIA_IsRequiredForFormPropertyId (30025)
#define UIA_ItemStatusPropertyId (30026)
#define UIA_IsInvokePatternAvailablePropertyId (30031)
#define UIA_IsSelectionItemPatternAvailablePropertyId (30036)
#define UIA_IsTogglePatternAvailablePropertyId (30041)
#define UIA_SelectionItemIsSelectedPropertyId (30079)
#define UIA_ToggleToggleStatePropertyId (30086)
#define UIA_IsLegacyIAccessiblePatternAvailablePropertyId (30090)
#define UIA_LegacyIAccessibleChildIdPropertyId (30091)
#define UIA_LegacyIAccessibleNamePropertyId (30092)
#define UIA_LegacyIAccessibleValuePropertyId (30093)
#define UIA_LegacyIAccessibleDescriptionPropertyId (30094)
#define UIA_LegacyIAccessibleRolePropertyId (30095)
#define UIA_LegacyIAccessibleStatePropertyId (30096)
#define UIA_LegacyIAccessibleHelpPropertyId (30097)
#define UIA_LegacyIAccessibleKeyboardShortcutPropertyId (30098)
#define UIA_LegacyIAccessibleSelectionPropertyId (30099)
#define UIA_LegacyIAccessibleDefaultActionPropertyId (30100)

#define UIA_ButtonControlTypeId (50000)
#define UIA_CalendarControlTypeId (50001)
#define UIA_CheckBoxControlTypeId (50002)
#define UIA_ComboBoxControlTypeId (50003)
#define UIA_EditControlTypeId (50004)
#define UIA_HyperlinkControlTypeId (50005)
#define UIA_ImageControlTypeId (50006)
#define UIA_ListItemControlTypeId (50007)
#define UIA_ListControlTypeId (50008)
#define UIA_MenuControlTypeId (50009)
#define UIA_MenuBarControlTypeId (50010)
#define UIA_MenuItemControlTypeId (50011)
#define UIA_ProgressBarControlTypeId (50012)
#define UIA_RadioButtonControlTypeId (50013)
#define UIA_ScrollBarControlTypeId (50014)
#define UIA_SliderControlTypeId (50015)
#define UIA_SpinnerControlTypeId (50016)
#define UIA_StatusBarControlTypeId (50017)
#define UIA_TabControlTypeId (50018)
#define UIA_TabItemControlTypeId (50019)
#define UIA_TextControlTypeId (50020)
#define UIA_ToolBarControlTypeId (50021)
#define UIA_ToolTipControlTypeId (50022)
#define UIA_TreeControlTypeId (50023)
#define UIA_TreeItemControlTypeId (50024)
#define UIA_CustomControlTypeId (50025)
#define UIA_GroupControlTypeId (50026)
#define UIA_ThumbControlTypeId (50027)
#define UIA_DataGridControlTypeId (50028)
#define UIA_DataItemControlTypeId (50029)
#define UIA_DocumentControlTypeId (50030)
#define UIA_SplitButtonControlTypeId (50031)
#define UIA_WindowControlTypeId (50032)
#define UIA_PaneControlTypeId (50033)
#define UIA_HeaderControlTypeId (50034)
#define UIA_HeaderItemControlTypeId (50035)
#define UIA_TableControlTypeId (50036)
#define UIA_TitleBarControlTypeId (50037)
#define UIA_SeparatorControlTypeId (50038)
#define UIA_SemanticZoomControlTypeId (50039)
#define UIA_AppBarControlTypeId (50040)

// ---------------------------------------------------------------------------------------
// Interface ids and the class
// ---------------------------------------------------------------------------------------
IAE_UIA_UUID_DECL(IUIAutomationCondition, 0x352ffba8, 0x0973, 0x437c, 0xa6, 0x1f, 0xf6, 0x4c, 0xaf, 0xd8, 0x1d, 0xf9)
IAE_UIA_UUID_DECL(IUIAutomationCacheRequest, 0xb32a92b5, 0xbc25, 0x4078, 0x9c, 0x08, 0xd7, 0xee, 0x95, 0xc4, 0x8e, 0x03)
IAE_UIA_UUID_DECL(IUIAutomationTreeWalker, 0x4042c624, 0x389c, 0x4afc, 0xa6, 0x30, 0x9d, 0xf8, 0x54, 0xa5, 0x41, 0xfc)
IAE_UIA_UUID_DECL(IUIAutomationInvokePattern, 0xfb377fbe, 0x8ea6, 0x46d5, 0x9c, 0x73, 0x64, 0x99, 0x64, 0x2d, 0x30,
                  0x59)
IAE_UIA_UUID_DECL(IUIAutomationSelectionItemPattern, 0xa8efa66a, 0x0fda, 0x421a, 0x91, 0x94, 0x38, 0x02, 0x1f, 0x35,
                  0x78, 0xea)
IAE_UIA_UUID_DECL(IUIAutomationTogglePattern, 0x94cf8058, 0x9b8d, 0x4ab9, 0x8b, 0xfd, 0x4c, 0xd0, 0xa3, 0x3c, 0x8c,
                  0x70)
IAE_UIA_UUID_DECL(IUIAutomationLegacyIAccessiblePattern, 0x828055ad, 0x355b, 0x4435, 0x86, 0xd5, 0x3b, 0x51, 0xc1, 0x4a,
                  0x9b, 0x1b)
IAE_UIA_UUID_DECL(IUIAutomationElement, 0xd22108aa, 0x8ac5, 0x49a5, 0x83, 0x7b, 0x37, 0xbb, 0xb3, 0xd7, 0x59, 0x1e)
IAE_UIA_UUID_DECL(IUIAutomationElementArray, 0x14314595, 0xb4bc, 0x4055, 0x95, 0xf2, 0x58, 0xf2, 0xe4, 0x2c, 0x98, 0x55)
IAE_UIA_UUID_DECL(IUIAutomation, 0x30cbe57d, 0xd9d0, 0x452a, 0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee)
IAE_UIA_CLASS_UUID_DECL(CUIAutomation, 0xff48dba4, 0x60ef, 0x4201, 0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e)

// Constants rather than import-library data: a statically linked IID_ symbol
// has the wrong address under mingw.
inline constexpr CLSID CLSID_CUIAutomation = {
    0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
inline constexpr IID IID_IUIAutomation = {0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
inline constexpr IID IID_IUIAutomationElement = {
    0xd22108aa, 0x8ac5, 0x49a5, {0x83, 0x7b, 0x37, 0xbb, 0xb3, 0xd7, 0x59, 0x1e}};
inline constexpr IID IID_IUIAutomationElementArray = {
    0x14314595, 0xb4bc, 0x4055, {0x95, 0xf2, 0x58, 0xf2, 0xe4, 0x2c, 0x98, 0x55}};
inline constexpr IID IID_IUIAutomationCacheRequest = {
    0xb32a92b5, 0xbc25, 0x4078, {0x9c, 0x08, 0xd7, 0xee, 0x95, 0xc4, 0x8e, 0x03}};
inline constexpr IID IID_IUIAutomationCondition = {
    0x352ffba8, 0x0973, 0x437c, {0xa6, 0x1f, 0xf6, 0x4c, 0xaf, 0xd8, 0x1d, 0xf9}};
inline constexpr IID IID_IUIAutomationTreeWalker = {
    0x4042c624, 0x389c, 0x4afc, {0xa6, 0x30, 0x9d, 0xf8, 0x54, 0xa5, 0x41, 0xfc}};
inline constexpr IID IID_IUIAutomationTogglePattern = {
    0x94cf8058, 0x9b8d, 0x4ab9, {0x8b, 0xfd, 0x4c, 0xd0, 0xa3, 0x3c, 0x8c, 0x70}};
inline constexpr IID IID_IUIAutomationSelectionItemPattern = {
    0xa8efa66a, 0x0fda, 0x421a, {0x91, 0x94, 0x38, 0x02, 0x1f, 0x35, 0x78, 0xea}};
inline constexpr IID IID_IUIAutomationInvokePattern = {
    0xfb377fbe, 0x8ea6, 0x46d5, {0x9c, 0x73, 0x64, 0x99, 0x64, 0x2d, 0x30, 0x59}};
inline constexpr IID IID_IUIAutomationLegacyIAccessiblePattern = {
    0x828055ad, 0x355b, 0x4435, {0x86, 0xd5, 0x3b, 0x51, 0xc1, 0x4a, 0x9b, 0x1b}};

// Declared only so the methods that take them have their real signatures.
struct IUIAutomationEventHandler;
struct IUIAutomationPropertyChangedEventHandler;
struct IUIAutomationStructureChangedEventHandler;
struct IUIAutomationFocusChangedEventHandler;
struct IUIAutomationProxyFactory;
struct IUIAutomationProxyFactoryEntry;
struct IUIAutomationProxyFactoryMapping;

// ---------------------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------------------
struct IUIAutomationCondition : public IUnknown {
 protected:
  ~IUIAutomationCondition() = default;
};

struct IUIAutomationCacheRequest : public IUnknown {
  STDMETHOD(AddProperty)(PROPERTYID propertyId) PURE;
  STDMETHOD(AddPattern)(PATTERNID patternId) PURE;
  STDMETHOD(Clone)(IUIAutomationCacheRequest** clonedRequest) PURE;
  STDMETHOD(get_TreeScope)(enum TreeScope* scope) PURE;
  STDMETHOD(put_TreeScope)(enum TreeScope scope) PURE;
  STDMETHOD(get_TreeFilter)(IUIAutomationCondition** filter) PURE;
  STDMETHOD(put_TreeFilter)(IUIAutomationCondition* filter) PURE;
  STDMETHOD(get_AutomationElementMode)(enum AutomationElementMode* mode) PURE;
  STDMETHOD(put_AutomationElementMode)(enum AutomationElementMode mode) PURE;

 protected:
  ~IUIAutomationCacheRequest() = default;
};

struct IUIAutomationTreeWalker : public IUnknown {
  STDMETHOD(GetParentElement)
  (IUIAutomationElement* element, IUIAutomationElement** parent) PURE;
  STDMETHOD(GetFirstChildElement)
  (IUIAutomationElement* element, IUIAutomationElement** first) PURE;
  STDMETHOD(GetLastChildElement)
  (IUIAutomationElement* element, IUIAutomationElement** last) PURE;
  STDMETHOD(GetNextSiblingElement)
  (IUIAutomationElement* element, IUIAutomationElement** next) PURE;
  STDMETHOD(GetPreviousSiblingElement)
  (IUIAutomationElement* element, IUIAutomationElement** previous) PURE;
  STDMETHOD(NormalizeElement)
  (IUIAutomationElement* element, IUIAutomationElement** normalized) PURE;
  STDMETHOD(GetParentElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** parent) PURE;
  STDMETHOD(GetFirstChildElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** first) PURE;
  STDMETHOD(GetLastChildElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** last) PURE;
  STDMETHOD(GetNextSiblingElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** next) PURE;
  STDMETHOD(GetPreviousSiblingElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** previous) PURE;
  STDMETHOD(NormalizeElementBuildCache)
  (IUIAutomationElement* element, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** normalized) PURE;
  STDMETHOD(get_Condition)(IUIAutomationCondition** condition) PURE;

 protected:
  ~IUIAutomationTreeWalker() = default;
};

struct IUIAutomationInvokePattern : public IUnknown {
  STDMETHOD(Invoke)() PURE;

 protected:
  ~IUIAutomationInvokePattern() = default;
};

struct IUIAutomationSelectionItemPattern : public IUnknown {
  STDMETHOD(Select)() PURE;
  STDMETHOD(AddToSelection)() PURE;
  STDMETHOD(RemoveFromSelection)() PURE;
  STDMETHOD(get_CurrentIsSelected)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentSelectionContainer)(IUIAutomationElement** retVal) PURE;
  STDMETHOD(get_CachedIsSelected)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedSelectionContainer)(IUIAutomationElement** retVal) PURE;

 protected:
  ~IUIAutomationSelectionItemPattern() = default;
};

struct IUIAutomationTogglePattern : public IUnknown {
  STDMETHOD(Toggle)() PURE;
  STDMETHOD(get_CurrentToggleState)(enum ToggleState* retVal) PURE;
  STDMETHOD(get_CachedToggleState)(enum ToggleState* retVal) PURE;

 protected:
  ~IUIAutomationTogglePattern() = default;
};

struct IUIAutomationLegacyIAccessiblePattern : public IUnknown {
  STDMETHOD(Select)(long flagsSelect) PURE;
  STDMETHOD(DoDefaultAction)() PURE;
  STDMETHOD(SetValue)(LPCWSTR szValue) PURE;
  STDMETHOD(get_CurrentChildId)(int* pRetVal) PURE;
  STDMETHOD(get_CurrentName)(BSTR* pszName) PURE;
  STDMETHOD(get_CurrentValue)(BSTR* pszValue) PURE;
  STDMETHOD(get_CurrentDescription)(BSTR* pszDescription) PURE;
  STDMETHOD(get_CurrentRole)(DWORD* pdwRole) PURE;
  STDMETHOD(get_CurrentState)(DWORD* pdwState) PURE;
  STDMETHOD(get_CurrentHelp)(BSTR* pszHelp) PURE;
  STDMETHOD(get_CurrentKeyboardShortcut)(BSTR* pszKeyboardShortcut) PURE;
  STDMETHOD(GetCurrentSelection)
  (IUIAutomationElementArray** pvarSelectedChildren) PURE;
  STDMETHOD(get_CurrentDefaultAction)(BSTR* pszDefaultAction) PURE;
  STDMETHOD(get_CachedChildId)(int* pRetVal) PURE;
  STDMETHOD(get_CachedName)(BSTR* pszName) PURE;
  STDMETHOD(get_CachedValue)(BSTR* pszValue) PURE;
  STDMETHOD(get_CachedDescription)(BSTR* pszDescription) PURE;
  STDMETHOD(get_CachedRole)(DWORD* pdwRole) PURE;
  STDMETHOD(get_CachedState)(DWORD* pdwState) PURE;
  STDMETHOD(get_CachedHelp)(BSTR* pszHelp) PURE;
  STDMETHOD(get_CachedKeyboardShortcut)(BSTR* pszKeyboardShortcut) PURE;
  STDMETHOD(GetCachedSelection)
  (IUIAutomationElementArray** pvarSelectedChildren) PURE;
  STDMETHOD(get_CachedDefaultAction)(BSTR* pszDefaultAction) PURE;
  STDMETHOD(GetIAccessible)(IAccessible** ppAccessible) PURE;

 protected:
  ~IUIAutomationLegacyIAccessiblePattern() = default;
};

struct IUIAutomationElement : public IUnknown {
  STDMETHOD(SetFocus)() PURE;
  STDMETHOD(GetRuntimeId)(SAFEARRAY** runtimeId) PURE;
  STDMETHOD(FindFirst)
  (enum TreeScope scope, IUIAutomationCondition* condition, IUIAutomationElement** found) PURE;
  STDMETHOD(FindAll)
  (enum TreeScope scope, IUIAutomationCondition* condition, IUIAutomationElementArray** found) PURE;
  STDMETHOD(FindFirstBuildCache)
  (enum TreeScope scope, IUIAutomationCondition* condition, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationElement** found) PURE;
  STDMETHOD(FindAllBuildCache)
  (enum TreeScope scope, IUIAutomationCondition* condition, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationElementArray** found) PURE;
  STDMETHOD(BuildUpdatedCache)
  (IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** updatedElement) PURE;
  STDMETHOD(GetCurrentPropertyValue)
  (PROPERTYID propertyId, VARIANT* retVal) PURE;
  STDMETHOD(GetCurrentPropertyValueEx)
  (PROPERTYID propertyId, BOOL ignoreDefaultValue, VARIANT* retVal) PURE;
  STDMETHOD(GetCachedPropertyValue)
  (PROPERTYID propertyId, VARIANT* retVal) PURE;
  STDMETHOD(GetCachedPropertyValueEx)
  (PROPERTYID propertyId, BOOL ignoreDefaultValue, VARIANT* retVal) PURE;
  STDMETHOD(GetCurrentPatternAs)
  (PATTERNID patternId, REFIID riid, void** patternObject) PURE;
  STDMETHOD(GetCachedPatternAs)
  (PATTERNID patternId, REFIID riid, void** patternObject) PURE;
  STDMETHOD(GetCurrentPattern)
  (PATTERNID patternId, IUnknown** patternObject) PURE;
  STDMETHOD(GetCachedPattern)
  (PATTERNID patternId, IUnknown** patternObject) PURE;
  STDMETHOD(GetCachedParent)(IUIAutomationElement** parent) PURE;
  STDMETHOD(GetCachedChildren)(IUIAutomationElementArray** children) PURE;

  STDMETHOD(get_CurrentProcessId)(int* retVal) PURE;
  STDMETHOD(get_CurrentControlType)(CONTROLTYPEID* retVal) PURE;
  STDMETHOD(get_CurrentLocalizedControlType)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentName)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentAcceleratorKey)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentAccessKey)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentHasKeyboardFocus)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentIsKeyboardFocusable)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentIsEnabled)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentAutomationId)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentClassName)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentHelpText)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentCulture)(int* retVal) PURE;
  STDMETHOD(get_CurrentIsControlElement)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentIsContentElement)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentIsPassword)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentNativeWindowHandle)(UIA_HWND* retVal) PURE;
  STDMETHOD(get_CurrentItemType)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentIsOffscreen)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentOrientation)(enum OrientationType* retVal) PURE;
  STDMETHOD(get_CurrentFrameworkId)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentIsRequiredForForm)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentItemStatus)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentBoundingRectangle)(RECT* retVal) PURE;
  STDMETHOD(get_CurrentLabeledBy)(IUIAutomationElement** retVal) PURE;
  STDMETHOD(get_CurrentAriaRole)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentAriaProperties)(BSTR* retVal) PURE;
  STDMETHOD(get_CurrentIsDataValidForForm)(BOOL* retVal) PURE;
  STDMETHOD(get_CurrentControllerFor)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CurrentDescribedBy)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CurrentFlowsTo)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CurrentProviderDescription)(BSTR* retVal) PURE;

  STDMETHOD(get_CachedProcessId)(int* retVal) PURE;
  STDMETHOD(get_CachedControlType)(CONTROLTYPEID* retVal) PURE;
  STDMETHOD(get_CachedLocalizedControlType)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedName)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedAcceleratorKey)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedAccessKey)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedHasKeyboardFocus)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedIsKeyboardFocusable)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedIsEnabled)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedAutomationId)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedClassName)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedHelpText)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedCulture)(int* retVal) PURE;
  STDMETHOD(get_CachedIsControlElement)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedIsContentElement)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedIsPassword)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedNativeWindowHandle)(UIA_HWND* retVal) PURE;
  STDMETHOD(get_CachedItemType)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedIsOffscreen)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedOrientation)(enum OrientationType* retVal) PURE;
  STDMETHOD(get_CachedFrameworkId)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedIsRequiredForForm)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedItemStatus)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedBoundingRectangle)(RECT* retVal) PURE;
  STDMETHOD(get_CachedLabeledBy)(IUIAutomationElement** retVal) PURE;
  STDMETHOD(get_CachedAriaRole)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedAriaProperties)(BSTR* retVal) PURE;
  STDMETHOD(get_CachedIsDataValidForForm)(BOOL* retVal) PURE;
  STDMETHOD(get_CachedControllerFor)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CachedDescribedBy)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CachedFlowsTo)(IUIAutomationElementArray** retVal) PURE;
  STDMETHOD(get_CachedProviderDescription)(BSTR* retVal) PURE;

  STDMETHOD(GetClickablePoint)(POINT* clickable, BOOL* gotClickable) PURE;

 protected:
  ~IUIAutomationElement() = default;
};

struct IUIAutomationElementArray : public IUnknown {
  STDMETHOD(get_Length)(int* length) PURE;
  STDMETHOD(GetElement)(int index, IUIAutomationElement** element) PURE;

 protected:
  ~IUIAutomationElementArray() = default;
};

struct IUIAutomation : public IUnknown {
  STDMETHOD(CompareElements)
  (IUIAutomationElement* el1, IUIAutomationElement* el2, BOOL* areSame) PURE;
  STDMETHOD(CompareRuntimeIds)
  (SAFEARRAY* runtimeId1, SAFEARRAY* runtimeId2, BOOL* areSame) PURE;
  STDMETHOD(GetRootElement)(IUIAutomationElement** root) PURE;
  STDMETHOD(ElementFromHandle)
  (UIA_HWND hwnd, IUIAutomationElement** element) PURE;
  STDMETHOD(ElementFromPoint)(POINT pt, IUIAutomationElement** element) PURE;
  STDMETHOD(GetFocusedElement)(IUIAutomationElement** element) PURE;
  STDMETHOD(GetRootElementBuildCache)
  (IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** root) PURE;
  STDMETHOD(ElementFromHandleBuildCache)
  (UIA_HWND hwnd, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** element) PURE;
  STDMETHOD(ElementFromPointBuildCache)
  (POINT pt, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** element) PURE;
  STDMETHOD(GetFocusedElementBuildCache)
  (IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** element) PURE;
  STDMETHOD(CreateTreeWalker)
  (IUIAutomationCondition* pCondition, IUIAutomationTreeWalker** walker) PURE;
  STDMETHOD(get_ControlViewWalker)(IUIAutomationTreeWalker** walker) PURE;
  STDMETHOD(get_ContentViewWalker)(IUIAutomationTreeWalker** walker) PURE;
  STDMETHOD(get_RawViewWalker)(IUIAutomationTreeWalker** walker) PURE;
  STDMETHOD(get_RawViewCondition)(IUIAutomationCondition** condition) PURE;
  STDMETHOD(get_ControlViewCondition)(IUIAutomationCondition** condition) PURE;
  STDMETHOD(get_ContentViewCondition)(IUIAutomationCondition** condition) PURE;
  STDMETHOD(CreateCacheRequest)(IUIAutomationCacheRequest** cacheRequest) PURE;
  STDMETHOD(CreateTrueCondition)(IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateFalseCondition)(IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreatePropertyCondition)
  (PROPERTYID propertyId, VARIANT value, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreatePropertyConditionEx)
  (PROPERTYID propertyId, VARIANT value, enum PropertyConditionFlags flags, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateAndCondition)
  (IUIAutomationCondition* condition1, IUIAutomationCondition* condition2, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateAndConditionFromArray)
  (SAFEARRAY* conditions, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateAndConditionFromNativeArray)
  (IUIAutomationCondition** conditions, int conditionCount, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateOrCondition)
  (IUIAutomationCondition* condition1, IUIAutomationCondition* condition2, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateOrConditionFromArray)
  (SAFEARRAY* conditions, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateOrConditionFromNativeArray)
  (IUIAutomationCondition** conditions, int conditionCount, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(CreateNotCondition)
  (IUIAutomationCondition* condition, IUIAutomationCondition** newCondition) PURE;
  STDMETHOD(AddAutomationEventHandler)
  (EVENTID eventId, IUIAutomationElement* element, enum TreeScope scope, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationEventHandler* handler) PURE;
  STDMETHOD(RemoveAutomationEventHandler)
  (EVENTID eventId, IUIAutomationElement* element, IUIAutomationEventHandler* handler) PURE;
  STDMETHOD(AddPropertyChangedEventHandlerNativeArray)
  (IUIAutomationElement* element, enum TreeScope scope, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationPropertyChangedEventHandler* handler, PROPERTYID* propertyArray, int propertyCount) PURE;
  STDMETHOD(AddPropertyChangedEventHandler)
  (IUIAutomationElement* element, enum TreeScope scope, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationPropertyChangedEventHandler* handler, SAFEARRAY* propertyArray) PURE;
  STDMETHOD(RemovePropertyChangedEventHandler)
  (IUIAutomationElement* element, IUIAutomationPropertyChangedEventHandler* handler) PURE;
  STDMETHOD(AddStructureChangedEventHandler)
  (IUIAutomationElement* element, enum TreeScope scope, IUIAutomationCacheRequest* cacheRequest,
   IUIAutomationStructureChangedEventHandler* handler) PURE;
  STDMETHOD(RemoveStructureChangedEventHandler)
  (IUIAutomationElement* element, IUIAutomationStructureChangedEventHandler* handler) PURE;
  STDMETHOD(AddFocusChangedEventHandler)
  (IUIAutomationCacheRequest* cacheRequest, IUIAutomationFocusChangedEventHandler* handler) PURE;
  STDMETHOD(RemoveFocusChangedEventHandler)
  (IUIAutomationFocusChangedEventHandler* handler) PURE;
  STDMETHOD(RemoveAllEventHandlers)() PURE;
  STDMETHOD(IntNativeArrayToSafeArray)
  (int* array, int arrayCount, SAFEARRAY** safeArray) PURE;
  STDMETHOD(IntSafeArrayToNativeArray)
  (SAFEARRAY* intArray, int** array, int* arrayCount) PURE;
  STDMETHOD(RectToVariant)(RECT rc, VARIANT* var) PURE;
  STDMETHOD(VariantToRect)(VARIANT var, RECT* rc) PURE;
  STDMETHOD(SafeArrayToRectNativeArray)
  (SAFEARRAY* rects, RECT** rectArray, int* rectArrayCount) PURE;
  STDMETHOD(CreateProxyFactoryEntry)
  (IUIAutomationProxyFactory* factory, IUIAutomationProxyFactoryEntry** factoryEntry) PURE;
  STDMETHOD(get_ProxyFactoryMapping)
  (IUIAutomationProxyFactoryMapping** factoryMapping) PURE;
  STDMETHOD(GetPropertyProgrammaticName)(PROPERTYID property, BSTR* name) PURE;
  STDMETHOD(GetPatternProgrammaticName)(PATTERNID pattern, BSTR* name) PURE;
  STDMETHOD(PollForPotentialSupportedPatterns)
  (IUIAutomationElement* pElement, SAFEARRAY** patternIds, SAFEARRAY** patternNames) PURE;
  STDMETHOD(PollForPotentialSupportedProperties)
  (IUIAutomationElement* pElement, SAFEARRAY** propertyIds, SAFEARRAY** propertyNames) PURE;
  STDMETHOD(CheckNotSupported)(VARIANT value, BOOL* isNotSupported) PURE;
  STDMETHOD(get_ReservedNotSupportedValue)(IUnknown** notSupportedValue) PURE;
  STDMETHOD(get_ReservedMixedAttributeValue)
  (IUnknown** mixedAttributeValue) PURE;
  STDMETHOD(ElementFromIAccessible)
  (IAccessible* accessible, int childId, IUIAutomationElement** element) PURE;
  STDMETHOD(ElementFromIAccessibleBuildCache)
  (IAccessible* accessible, int childId, IUIAutomationCacheRequest* cacheRequest, IUIAutomationElement** element) PURE;

 protected:
  ~IUIAutomation() = default;
};
