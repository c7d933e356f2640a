#include "uielement/uia/uia_automation.h"

#include <cstdint>
#include <mutex>

#include "common/trace.h"

namespace installation_assistant {
namespace {

// Class contexts: in-process server and handler, local and remote server.
constexpr DWORD kAutomationClassContext = 23;
constexpr int kFirstControlType = UIA_ButtonControlTypeId;
constexpr int kLastControlType = UIA_SeparatorControlTypeId;

class UIAutomationInstance {
 public:
  static UIAutomationInstance& Get() {
    // Never destroyed: releasing COM objects while the module unloads is not safe.
    static UIAutomationInstance* instance = new UIAutomationInstance();
    return *instance;
  }

  ComPtr<IUIAutomation> GetOrCreate() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!automation_) {
      const HRESULT hr = Create();
      if (FAILED(hr)) {
        TRACE(Error) << "UIAutomation failed to initialize, error: 0x" << std::hex << static_cast<std::uint32_t>(hr)
                     << ", message: " << _com_error(hr).ErrorMessage();
      } else {
        TRACE(Info) << "UIAutomation successfully initialized";
      }
    }
    return automation_;
  }

  ComPtr<IUIAutomationCacheRequest> GetCacheRequest() {
    GetOrCreate();
    std::lock_guard<std::mutex> guard(lock_);
    return cacheRequest_;
  }

 private:
  HRESULT Create() {
    ComPtr<IUIAutomation> automation;
    HRESULT hr;
    {
      ComPtr<IUnknown> unknown;
      hr = CoCreateInstance(CLSID_CUIAutomation, nullptr, kAutomationClassContext, __uuidof(IUnknown),
                            reinterpret_cast<void**>(unknown.Receive()));
      if (SUCCEEDED(hr)) hr = OleRun(unknown.Get());
      if (SUCCEEDED(hr)) {
        hr = unknown->QueryInterface(IID_IUIAutomation, reinterpret_cast<void**>(automation.Receive()));
      }
    }
    if (SUCCEEDED(hr) && !automation) hr = E_NOINTERFACE;
    if (FAILED(hr)) return hr;
    // The object is kept only with its request, so that a failing setup is retried too.
    cacheRequest_ = CreateCacheRequest(automation);
    automation_ = std::move(automation);
    return S_OK;
  }

  static ComPtr<IUIAutomationCacheRequest> CreateCacheRequest(const ComPtr<IUIAutomation>& automation) {
    ComPtr<IUIAutomationCacheRequest> request;
    ThrowIfUIAutomationFailed(automation->CreateCacheRequest(request.Receive()));
    if (!request) throw _com_error(E_POINTER);
    ThrowIfUIAutomationFailed(request->put_AutomationElementMode(AutomationElementMode_Full));
    ThrowIfUIAutomationFailed(request->put_TreeScope(TreeScope_Subtree));
    ComPtr<IUIAutomationCondition> rawView;
    ThrowIfUIAutomationFailed(automation->get_RawViewCondition(rawView.Receive()));
    ThrowIfUIAutomationFailed(request->put_TreeFilter(rawView.Get()));
    for (PROPERTYID property : {UIA_ControlTypePropertyId, UIA_NativeWindowHandlePropertyId, UIA_NamePropertyId,
                                UIA_IsEnabledPropertyId, UIA_ToggleToggleStatePropertyId,
                                UIA_SelectionItemIsSelectedPropertyId}) {
      ThrowIfUIAutomationFailed(request->AddProperty(property));
    }
    ThrowIfUIAutomationFailed(request->AddPattern(UIA_SelectionItemPatternId));
    ThrowIfUIAutomationFailed(request->AddPattern(UIA_TogglePatternId));
    return request;
  }

  std::mutex lock_;
  ComPtr<IUIAutomation> automation_;
  ComPtr<IUIAutomationCacheRequest> cacheRequest_;
};

}  // namespace

ComPtr<IUIAutomation> GetUIAutomation() { return UIAutomationInstance::Get().GetOrCreate(); }

ComPtr<IUIAutomationCacheRequest> GetUIAutomationCacheRequest() { return UIAutomationInstance::Get().GetCacheRequest(); }

Option<ElementType> TryGetElementTypeFromControlType(CONTROLTYPEID controlType) {
  if (controlType >= kFirstControlType && controlType <= kLastControlType) {
    return Option<ElementType>::Some(
        static_cast<ElementType>(static_cast<int>(ElementType::Button) + (controlType - kFirstControlType)));
  }
  TRACE(Debug) << "Unknown control type " << std::dec << controlType;
  return Option<ElementType>::None();
}

}  // namespace installation_assistant
