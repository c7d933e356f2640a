// The UI Automation client declarations: the same source checks them against the Windows SDK's vtable layout in the
// mingw builds and in simwin, and checks creation of the automation object where Windows (or wine) can judge it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "conformance.h"

namespace {

#if defined(__GNUC__)
// Itanium C++ ABI (GCC, also mingw-w64): a pointer to a virtual member function holds 1 + the byte offset of its slot.
template <class C, class F>
std::ptrdiff_t Slot(F C::*method) {
  struct Rep {
    std::uintptr_t ptr;
    std::ptrdiff_t adj;
  };
  static_assert(sizeof(Rep) == sizeof(method));
  Rep r;
  std::memcpy(&r, &method, sizeof(r));
  return static_cast<std::ptrdiff_t>((r.ptr - 1) / sizeof(void*));
}

struct SlotCase {
  const char* method;
  std::ptrdiff_t slot;
  std::ptrdiff_t expected;  // IUnknown takes slots 0-2; counts from the SDK's vtable structs
};

// First and last method of every interface, plus those the engine calls. Expected slots follow the SDK order:
// IUIAutomation 55 methods, IUIAutomationElement 82, IUIAutomationCacheRequest 9, IUIAutomationTreeWalker 13,
// IUIAutomationLegacyIAccessiblePattern 24, IUIAutomationSelectionItemPattern 7, IUIAutomationTogglePattern 3.
TEST(UiaDeclarations, VtableSlotsFollowTheSdk) {
// SLOT(Element, SetFocus, 3) stands for IUIAutomationElement::SetFocus in slot 3.
#define SLOT(I, method, expected) {"IUIAutomation" #I "::" #method, Slot(&IUIAutomation##I::method), expected}
  const SlotCase cases[] = {
      SLOT(, CompareElements, 3),                              SLOT(, ElementFromHandle, 6),
      SLOT(, get_RawViewCondition, 17),                        SLOT(, CreateCacheRequest, 20),
      SLOT(, RemoveAllEventHandlers, 41),                      SLOT(, ElementFromIAccessible, 56),
      SLOT(, ElementFromIAccessibleBuildCache, 57),            SLOT(Element, SetFocus, 3),
      SLOT(Element, BuildUpdatedCache, 9),                     SLOT(Element, GetCurrentPropertyValue, 10),
      SLOT(Element, GetCachedPattern, 17),                     SLOT(Element, GetCachedChildren, 19),
      SLOT(Element, get_CurrentControlType, 21),               SLOT(Element, get_CurrentIsEnabled, 28),
      SLOT(Element, get_CurrentIsOffscreen, 38),               SLOT(Element, get_CurrentItemStatus, 42),
      SLOT(Element, get_CurrentBoundingRectangle, 43),         SLOT(Element, get_CachedControlType, 53),
      SLOT(Element, get_CachedName, 55),                       SLOT(Element, get_CachedIsEnabled, 60),
      SLOT(Element, get_CachedNativeWindowHandle, 68),         SLOT(Element, GetClickablePoint, 84),
      SLOT(ElementArray, get_Length, 3),                       SLOT(ElementArray, GetElement, 4),
      SLOT(CacheRequest, AddProperty, 3),                      SLOT(CacheRequest, put_TreeScope, 7),
      SLOT(CacheRequest, put_TreeFilter, 9),                   SLOT(CacheRequest, put_AutomationElementMode, 11),
      SLOT(TreeWalker, GetParentElement, 3),                   SLOT(TreeWalker, get_Condition, 15),
      SLOT(TogglePattern, Toggle, 3),                          SLOT(TogglePattern, get_CurrentToggleState, 4),
      SLOT(TogglePattern, get_CachedToggleState, 5),           SLOT(SelectionItemPattern, Select, 3),
      SLOT(SelectionItemPattern, get_CurrentIsSelected, 6),
      SLOT(SelectionItemPattern, get_CachedSelectionContainer, 9),
      SLOT(InvokePattern, Invoke, 3),                          SLOT(LegacyIAccessiblePattern, Select, 3),
      SLOT(LegacyIAccessiblePattern, get_CurrentState, 11),    SLOT(LegacyIAccessiblePattern, GetIAccessible, 26),
  };
#undef SLOT
  for (const auto& c : cases) EXPECT_EQ(c.slot, c.expected) << c.method;
}
#endif

TEST(UiaDeclarations, IdsAreTheSdkValues) {
  EXPECT_EQ(__uuidof(IUIAutomation), IID_IUIAutomation);
  EXPECT_EQ(__uuidof(IUIAutomationElement).Data1, 0xd22108aau);
  EXPECT_EQ(__uuidof(IUIAutomationTogglePattern).Data1, 0x94cf8058u);
  EXPECT_EQ(__uuidof(IUIAutomationSelectionItemPattern).Data1, 0xa8efa66au);
  EXPECT_EQ(__uuidof(CUIAutomation), CLSID_CUIAutomation);
  EXPECT_EQ(static_cast<int>(TreeScope_Subtree), 7);
}

// Windows and simwin create it in process.
TEST(UiaDeclarations, AutomationObjectIsCreatedInProcess) {
  WINE_DEPARTS("before wine 10, the class is not registered");
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IUnknown* unk = nullptr;
  HRESULT hr =
      CoCreateInstance(CLSID_CUIAutomation, nullptr,
                       CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                       __uuidof(IUnknown), reinterpret_cast<void**>(&unk));
  if (conformance::OldWine(10)) {
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  } else {
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(OleRun(unk), S_OK);
    IUIAutomation* automation = nullptr;
    EXPECT_EQ(unk->QueryInterface(__uuidof(IUIAutomation), reinterpret_cast<void**>(&automation)), S_OK);
    if (automation) automation->Release();
  }
  if (unk) unk->Release();
  // A class nobody registered.
  const CLSID unknown = {0x0badf00d, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  unk = reinterpret_cast<IUnknown*>(&hr);
  EXPECT_EQ(
      CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUnknown), reinterpret_cast<void**>(&unk)),
      REGDB_E_CLASSNOTREG);
  EXPECT_EQ(unk, nullptr);
  CoUninitialize();
}

}  // namespace
