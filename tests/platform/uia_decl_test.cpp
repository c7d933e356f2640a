// The UI Automation client declarations: the same source checks them against
// the Windows SDK's vtable layout in the mingw builds and in simwin, and checks
// creation of the automation object where Windows (or wine) can judge it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "conformance.h"

namespace {

#if defined(__GNUC__)
// Itanium C++ ABI (GCC, also mingw-w64): a pointer to a virtual member function
// holds 1 + the byte offset of its slot.
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
  std::ptrdiff_t expected;  // IUnknown takes slots 0-2; counts from the SDK's
                            // vtable structs
};

// First and last method of every interface, plus those the engine calls.
// Expected slots follow the SDK order: IUIAutomation 55 methods,
// IUIAutomationElement 82, IUIAutomationCacheRequest 9, IUIAutomationTreeWalker
// 13, IUIAutomationLegacyIAccessiblePattern 24,
// IUIAutomationSelectionItemPattern 7, IUIAutomationTogglePattern 3.
TEST(UiaDeclarations, VtableSlotsFollowTheSdk) {
  const SlotCase cases[] = {
      {"IUIAutomation::CompareElements", Slot(&IUIAutomation::CompareElements), 3},
      {"IUIAutomation::ElementFromHandle", Slot(&IUIAutomation::ElementFromHandle), 6},
      {"IUIAutomation::get_RawViewCondition", Slot(&IUIAutomation::get_RawViewCondition), 17},
      {"IUIAutomation::CreateCacheRequest", Slot(&IUIAutomation::CreateCacheRequest), 20},
      {"IUIAutomation::RemoveAllEventHandlers", Slot(&IUIAutomation::RemoveAllEventHandlers), 41},
      {"IUIAutomation::ElementFromIAccessible", Slot(&IUIAutomation::ElementFromIAccessible), 56},
      {"IUIAutomation::ElementFromIAccessibleBuildCache", Slot(&IUIAutomation::ElementFromIAccessibleBuildCache), 57},
      {"IUIAutomationElement::SetFocus", Slot(&IUIAutomationElement::SetFocus), 3},
      {"IUIAutomationElement::BuildUpdatedCache", Slot(&IUIAutomationElement::BuildUpdatedCache), 9},
      {"IUIAutomationElement::GetCurrentPropertyValue", Slot(&IUIAutomationElement::GetCurrentPropertyValue), 10},
      {"IUIAutomationElement::GetCachedPattern", Slot(&IUIAutomationElement::GetCachedPattern), 17},
      {"IUIAutomationElement::GetCachedChildren", Slot(&IUIAutomationElement::GetCachedChildren), 19},
      {"IUIAutomationElement::get_CurrentControlType", Slot(&IUIAutomationElement::get_CurrentControlType), 21},
      {"IUIAutomationElement::get_CurrentIsEnabled", Slot(&IUIAutomationElement::get_CurrentIsEnabled), 28},
      {"IUIAutomationElement::get_CurrentIsOffscreen", Slot(&IUIAutomationElement::get_CurrentIsOffscreen), 38},
      {"IUIAutomationElement::get_CurrentItemStatus", Slot(&IUIAutomationElement::get_CurrentItemStatus), 42},
      {"IUIAutomationElement::get_CurrentBoundingRectangle", Slot(&IUIAutomationElement::get_CurrentBoundingRectangle),
       43},
      {"IUIAutomationElement::get_CachedControlType", Slot(&IUIAutomationElement::get_CachedControlType), 53},
      {"IUIAutomationElement::get_CachedName", Slot(&IUIAutomationElement::get_CachedName), 55},
      {"IUIAutomationElement::get_CachedIsEnabled", Slot(&IUIAutomationElement::get_CachedIsEnabled), 60},
      {"IUIAutomationElement::get_CachedNativeWindowHandle", Slot(&IUIAutomationElement::get_CachedNativeWindowHandle),
       68},
      {"IUIAutomationElement::GetClickablePoint", Slot(&IUIAutomationElement::GetClickablePoint), 84},
      {"IUIAutomationElementArray::get_Length", Slot(&IUIAutomationElementArray::get_Length), 3},
      {"IUIAutomationElementArray::GetElement", Slot(&IUIAutomationElementArray::GetElement), 4},
      {"IUIAutomationCacheRequest::AddProperty", Slot(&IUIAutomationCacheRequest::AddProperty), 3},
      {"IUIAutomationCacheRequest::put_TreeScope", Slot(&IUIAutomationCacheRequest::put_TreeScope), 7},
      {"IUIAutomationCacheRequest::put_TreeFilter", Slot(&IUIAutomationCacheRequest::put_TreeFilter), 9},
      {"IUIAutomationCacheRequest::put_AutomationElementMode",
       Slot(&IUIAutomationCacheRequest::put_AutomationElementMode), 11},
      {"IUIAutomationTreeWalker::GetParentElement", Slot(&IUIAutomationTreeWalker::GetParentElement), 3},
      {"IUIAutomationTreeWalker::get_Condition", Slot(&IUIAutomationTreeWalker::get_Condition), 15},
      {"IUIAutomationTogglePattern::Toggle", Slot(&IUIAutomationTogglePattern::Toggle), 3},
      {"IUIAutomationTogglePattern::get_CurrentToggleState", Slot(&IUIAutomationTogglePattern::get_CurrentToggleState),
       4},
      {"IUIAutomationTogglePattern::get_CachedToggleState", Slot(&IUIAutomationTogglePattern::get_CachedToggleState),
       5},
      {"IUIAutomationSelectionItemPattern::Select", Slot(&IUIAutomationSelectionItemPattern::Select), 3},
      {"IUIAutomationSelectionItemPattern::get_CurrentIsSelected",
       Slot(&IUIAutomationSelectionItemPattern::get_CurrentIsSelected), 6},
      {"IUIAutomationSelectionItemPattern::get_CachedSelectionContainer",
       Slot(&IUIAutomationSelectionItemPattern::get_CachedSelectionContainer), 9},
      {"IUIAutomationInvokePattern::Invoke", Slot(&IUIAutomationInvokePattern::Invoke), 3},
      {"IUIAutomationLegacyIAccessiblePattern::Select", Slot(&IUIAutomationLegacyIAccessiblePattern::Select), 3},
      {"IUIAutomationLegacyIAccessiblePattern::get_CurrentState",
       Slot(&IUIAutomationLegacyIAccessiblePattern::get_CurrentState), 11},
      {"IUIAutomationLegacyIAccessiblePattern::GetIAccessible",
       Slot(&IUIAutomationLegacyIAccessiblePattern::GetIAccessible), 26},
  };
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

// Wine 8 does not register the class (WINDOWS-TOOLCHAIN.md); Windows and simwin
// create it in process.
TEST(UiaDeclarations, AutomationObjectIsCreatedInProcess) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IUnknown* unk = nullptr;
  HRESULT hr =
      CoCreateInstance(CLSID_CUIAutomation, nullptr,
                       CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                       __uuidof(IUnknown), reinterpret_cast<void**>(&unk));
  if (conformance::RunningUnderWine()) {
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
