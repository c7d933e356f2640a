// The process-wide UI Automation object and the one cache request that brings a
// window's whole subtree with what the engine reads of it.
#pragma once

#include "common/option.h"
#include "platform/win32.h"
#include "common/com_handles.h"
#include "uielement/element_type.h"

namespace installation_assistant {

// Null when UI Automation cannot be created; a later call tries again.
ComPtr<IUIAutomation> GetUIAutomation();
// Null when UI Automation cannot be created.
ComPtr<IUIAutomationCacheRequest> GetUIAutomationCacheRequest();

// None (after a Debug trace) for a control type without an element type.
Option<ElementType> TryGetElementTypeFromControlType(CONTROLTYPEID controlType);

// Raises _com_error for a negative result.
inline void ThrowIfUIAutomationFailed(HRESULT result) {
  if (FAILED(result)) throw _com_error(result);
}

}  // namespace installation_assistant
